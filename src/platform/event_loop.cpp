#include "platform/event_loop.h"

#include "platform/failure.h"

#include <QCoreApplication>

namespace quillmere {

void QtEventLoop::doEvents() {
    if (!m_ending) QCoreApplication::processEvents(QEventLoop::AllEvents);
    if (m_ending) throw ProgramEnding{};
}

void QtEventLoop::endProgram() {
    m_ending = true;
    // Leaves every running event loop, the nested ones of modal dialogs included.
    QCoreApplication::quit();
}

}  // namespace quillmere
