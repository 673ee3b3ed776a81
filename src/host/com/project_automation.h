#pragma once

#include "host/com/automation.h"
#include "host/com/call_thread.h"
#include "host/com/run_lock.h"
#include "host/com/server_process.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

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
    // Told, on the thread that called the step, when a step that onUserWaited was told of has
    // returned.
    std::function<void()> onAnswered;
    // How long a quit private instance may take to exit before its process is ended.
    std::chrono::milliseconds quitLinger = std::chrono::seconds(30);
    // Asked while another Quillmere run holds Project (see RunLock); without it, a creation waits
    // for at most limit.
    WaitingForAnotherRun onWaitingForAnotherRun = {};
    // Makes the instance; tests put a creation of their own in place.
    std::function<AutomationObject(const std::wstring& progId)> create = AutomationObject::Create;
    // A creation that fails with CO_E_SERVER_EXEC_FAILURE, as Project's does for a few seconds
    // after an instance ended, is tried again this often, for at most this long.
    std::chrono::milliseconds startRetryEvery = std::chrono::seconds(1);
    std::chrono::milliseconds startRetryFor = std::chrono::seconds(10);
    // Set, for every copy of this deadline, once a hidden instance was left stuck in a call:
    // Project would hand that instance to the next creation, which could then only wait for ever.
    std::shared_ptr<std::atomic<bool>> stuck = std::make_shared<std::atomic<bool>>(false);
};

// Microsoft Project driven through its automation server. Project hands a client the user's
// running instance when there is one: such an instance is never quit, only the project this
// client opened is closed, without saving. Project's Replace, FileSaveAs and FileClose act on
// the active project, which the user may switch at any time; so each of them first makes sure the
// project our FileOpen opened is the active one, and without one they touch nothing. A FileOpen
// that returns False, or only activates a copy of the file that was already open, opened nothing of
// ours. A private instance that passes a step's deadline (a prompt nobody can see, most likely)
// is ended, provided its process is surely the one this pass started and shows no window; the
// step then fails, and so does every later one. An instance whose process ended under a call
// fails that step and every later one, and has nothing left to quit. A file already open in the
// instance is left alone, and FileOpen is not called for it. A call that Project refuses while
// it is busy (starting, or showing a dialog) is tried again until the step's deadline.
//
// Project hands its one instance to everyone, so a private instance can become someone else's
// while a pass runs: a plan the user double-clicks, or a Project the user starts, lands there.
// Such an instance is never quit or ended: quit() closes only our project and makes the instance
// visible, and a step that passes its deadline while the instance shows a window is abandoned (its
// call stays blocked on a thread of its own, see CallThread) and the instance is left alone. An
// instance that the user started (UserControl) is the user's, even when its process appeared
// during our creation.
//
// One Quillmere run at a time uses Project (RunLock): from the creation until a quit private
// instance's process has exited, which is waited for, so that the next creation is not handed
// the dying instance.
class ProjectAutomation {
  public:
    ~ProjectAutomation();

    // A private instance, or the user's running one; notes which.
    // Waits, first, while another run uses Project.
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
    // save prompt would block forever); for the user's instance, or a private one that someone
    // else uses now, closes only our project, and nothing when we have none. Then lets go of the
    // instance, waits for a private one's process to exit, and lets another run have Project.
    void quit();

    bool sharesUsersInstance() const { return m_usersInstance; }

  private:
    ProjectAutomation(std::unique_ptr<CallThread> calls, AutomationObject application,
                      bool usersInstance, ServerProcess server = {}, StepDeadline deadline = {},
                      std::vector<std::wstring> initial = {})
        : m_calls(std::move(calls)),
          m_application(std::move(application)),
          m_usersInstance(usersInstance),
          m_server(std::move(server)),
          m_deadline(std::move(deadline)),
          m_initial(std::move(initial)) {}

    // Runs one step under the deadline, on the call thread.
    template <typename Step>
    auto guarded(Step&& step) -> decltype(step());
    // What passing a step's deadline did.
    struct Expiry {
        bool ended = false;      // the instance was ended
        bool told = false;       // onUserWaited was told
        bool abandoned = false;  // the step's call was abandoned, the instance left alone
        std::wstring why;        // when abandoned: why the instance was not ended
    };
    // Why every step fails once the instance was ended or left alone.
    std::wstring gone() const;
    // On the deadline's thread: ends a private instance that is surely ours and shows no window;
    // else abandons the call; in the user's instance, or when the call cannot be abandoned, says
    // that the step waits.
    Expiry expire();
    // Once the step is over: an ended instance has nothing left to act on, and a user who was
    // told that Project waits hears that it answered.
    void settled(const Expiry& expiry);

    void open(const std::wstring& path);
    // After a FileOpen that returned: the project it opened, looked for a few seconds, as Project
    // may list it only a moment later; before: the full names open before it.
    void findOpened(const std::wstring& path, const std::vector<std::wstring>& before);
    void close();
    // A private instance holds something besides its initial projects and ours, or shows, or is
    // under the user's control.
    bool someoneElseUses();
    // Closes only our project, without saving, and leaves the instance running, visible.
    void leaveToSomeoneElse();
    // Releases the instance, waits for a private one that was quit to exit, and releases the
    // lock; once.
    void letGo();
    bool oursIsActive();
    // Activates our project when another one is active; throws, naming method, when Project
    // leaves another project active.
    void makeOursActive(const std::wstring& method);

    RunLock m_lock;  // first: let go of last, after the instance and its thread
    // Declared early, so that it goes late: every COM object below lives on its thread.
    std::unique_ptr<CallThread> m_calls;
    AutomationObject m_application;
    std::optional<AutomationObject> m_project;  // what our last successful FileOpen opened
    std::wstring m_whyNoProject;                // when FileOpen ran but opened nothing of ours: why
    bool m_usersInstance;
    ServerProcess m_server;  // a private instance's process, when surely known
    StepDeadline m_deadline;
    // A private instance's projects when it was created: its initial empty project. The user
    // cannot have touched them, since nobody saw the instance.
    std::vector<std::wstring> m_initial;
    bool m_ended = false;      // the instance was ended for passing a deadline
    bool m_abandoned = false;  // a call passed its deadline in an instance that was not ended
    std::wstring m_abandonedWhy;
    bool m_leftToSomeoneElse = false;  // quit() found the instance in someone else's use
    bool m_quitAlone = false;          // quit() found nobody else there and called Quit
    bool m_saved = false;              // our FileSaveAs returned
    std::wstring m_died;               // the instance's process ended during a call: what was said
    HRESULT m_diedHr = S_OK;
    bool m_letGo = false;  // the instance was released
};

}  // namespace quillmere::com
