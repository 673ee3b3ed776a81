#pragma once

#include <QElapsedTimer>

namespace quillmere {

// The only way the program yields to the user: processing every pending window event. Closing
// the main window during a yield makes the program end; the yield then throws ProgramEnding so
// the running command unwinds cleanly.
class EventLoop {
  public:
    virtual ~EventLoop() = default;
    virtual void doEvents() = 0;
    // Called when the main window closes: every running command stops at its next yield or
    // dialog, and the program ends.
    virtual void endProgram() = 0;
    virtual bool ending() const = 0;
};

// The real loop of the application. Yields that follow each other within a few milliseconds
// (a folder walk yields at every folder) process events once: the window stays just as live, and
// a walk over thousands of folders does not spend its time polling for events.
class QtEventLoop : public EventLoop {
  public:
    void doEvents() override;
    void endProgram() override;
    bool ending() const override { return m_ending; }

  private:
    bool m_ending = false;
    QElapsedTimer m_sinceEvents;
};

}  // namespace quillmere
