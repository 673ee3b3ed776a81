#pragma once

#include "platform/failure.h"

#include <QPushButton>

namespace quillmere {

// Runs the owner's handler when the button is clicked. No exception may reach Qt's event loop:
// a command unwound by the program's end (ProgramEnding) stops here, and the end of the event
// loop it was started from (the window's, or a modal dialog's) carries the end on.
template <typename Owner>
void ConnectCommand(QPushButton* button, Owner* owner, void (Owner::*handler)()) {
    QObject::connect(button, &QPushButton::clicked, owner, [owner, handler] {
        try {
            (owner->*handler)();
        } catch (const ProgramEnding&) {
        }
    });
}

}  // namespace quillmere
