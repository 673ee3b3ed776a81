#pragma once

class QWidget;

namespace quillmere {

// Gives the window and its option buttons, check boxes, frames and labels the system's
// button-face colour; other controls keep theirs.
void ApplyFormColours(QWidget& form);

}  // namespace quillmere
