#pragma once

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

// The real loop of the application.
class QtEventLoop : public EventLoop {
public:
    void doEvents() override;
    void endProgram() override;
    bool ending() const override { return m_ending; }

private:
    bool m_ending = false;
};

}  // namespace quillmere
