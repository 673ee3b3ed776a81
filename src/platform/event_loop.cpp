#include "platform/event_loop.h"

#include "platform/failure.h"

#include <QCoreApplication>

namespace quillmere {

namespace {
const qint64 kYieldIntervalNs = 4'000'000;
}

void QtEventLoop::doEvents() {
    if (!m_ending &&
        (!m_sinceEvents.isValid() || m_sinceEvents.nsecsElapsed() >= kYieldIntervalNs)) {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        m_sinceEvents.start();
    }
    if (m_ending) throw ProgramEnding{};
}

void QtEventLoop::endProgram() {
    m_ending = true;
    // Leaves every running event loop, the nested ones of modal dialogs included.
    QCoreApplication::quit();
}

}  // namespace quillmere
