#pragma once

#include "host/com/automation.h"
#include "host/com/busy_retry.h"
#include "host/com/server_process.h"

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace quillmere::com {

struct ReplaceCall {
    std::wstring field;
    std::wstring test;
    std::wstring value;
    std::wstring replacement;
    bool replaceAll = true;
    bool next = true;
    bool matchCase = false;
};

// How long one step of a pass (opening, one Replace, saving, closing) may take. Generous: a large
// plan can take minutes to open or save.
struct StepDeadline {
    std::chrono::milliseconds limit = std::chrono::minutes(10);
    // Told, on another thread, when a step in the user's own Project passes the limit: that step
    // is never ended, since Project is waiting for the user.
    std::function<void(const std::wstring&)> onUserWaited;
    // Told, on the step's thread, when a step that onUserWaited was told of has returned.
    std::function<void()> onAnswered;
};

// Microsoft Project driven through its automation server. Project hands a client the user's
// running instance when there is one: such an instance is never quit, only the project this
// client opened is closed, without saving. Project's Replace, FileSaveAs and FileClose act on
// the active project, which the user may switch at any time; so each of them first makes sure the
// project our FileOpen opened is the active one, and without one they touch nothing. A FileOpen
// that returns False, or only activates a copy of the file that was already open, opened nothing of
// ours. A call that Project refuses while it is busy (starting, or showing a dialog) is tried
// again until the step's deadline; an object lives on the thread that made it, whose apartment
// retries while it lives. A private instance that passes a step's deadline (a prompt nobody can
// see, most likely) is ended, provided its process is surely the one this pass started; the step
// then fails, and so does every later one.
class ProjectAutomation {
  public:
    // A private instance, or the user's running one; notes which.
    static std::unique_ptr<ProjectAutomation> Create(const std::wstring& progId,
                                                     StepDeadline deadline = {});
    // The running instance, for reading its name; never quit.
    static std::unique_ptr<ProjectAutomation> Attach(const std::wstring& progId);

    std::wstring name();
    // Throws only when Project raises an error; a file Project did not open leaves us without
    // a project, which FileSaveAs reports.
    void fileOpen(const std::wstring& path);
    // Changes nothing, and calls nothing, when no FileOpen of ours succeeded.
    bool replace(const ReplaceCall& call);
    // Throws when no FileOpen of ours succeeded: there is nothing of ours to save.
    void fileSaveAs(const std::wstring& path);
    // Ends the instance without saving (the result is already saved, or the save failed and a
    // save prompt would block forever); for the user's instance, closes only our project, and
    // nothing when we have none.
    void quit();

    bool sharesUsersInstance() const { return m_usersInstance; }

  private:
    ProjectAutomation(AutomationObject application, bool usersInstance, ServerProcess server = {},
                      StepDeadline deadline = {})
        : m_application(std::move(application)),
          m_usersInstance(usersInstance),
          m_server(std::move(server)),
          m_deadline(std::move(deadline)) {}

    // Runs one step under the deadline.
    template <typename Step>
    auto guarded(Step&& step) -> decltype(step());
    // What passing a step's deadline did.
    struct Expiry {
        bool ended = false;  // the instance was ended
        bool told = false;   // onUserWaited was told
    };
    // On the deadline's thread: ends a private instance, or says why it cannot be.
    Expiry expire();
    // Once the step is over: an ended instance has nothing left to act on, and a user who was
    // told that Project waits hears that it answered.
    void settled(const Expiry& expiry);

    void open(const std::wstring& path);
    void close();
    bool oursIsActive();
    // Activates our project when another one is active; throws, naming method, when Project
    // leaves another project active.
    void makeOursActive(const std::wstring& method);

    // First, so that it goes last: every call, releases too, is made while it lives.
    std::unique_ptr<BusyRetry> m_busyRetry;
    AutomationObject m_application;
    std::optional<AutomationObject> m_project;  // what our last successful FileOpen opened
    std::wstring m_whyNoProject;                // when FileOpen ran but opened nothing of ours: why
    bool m_usersInstance;
    ServerProcess m_server;  // a private instance's process, when surely known
    StepDeadline m_deadline;
    bool m_ended = false;  // the instance was ended for passing a deadline
    bool m_saved = false;  // our FileSaveAs returned
};

}  // namespace quillmere::com
