#include "host/com/project_automation.h"

#include "host/com/com_error.h"

#include <olectl.h>

#include <algorithm>
#include <thread>
#include <utility>
#include <vector>

namespace quillmere::com {
namespace {

const long kDoNotSave = 0;  // pjDoNotSave
const wchar_t kNothingOpen[] = L"No project is open, so nothing was saved.";

bool IsRunning(const std::wstring& progId) {
    try {
        AutomationObject::Attach(progId);
        return true;
    } catch (const ComError&) {
        return false;
    }
}

// The full name of every project open in the instance.
std::vector<std::wstring> OpenProjects(AutomationObject& application) {
    AutomationObject projects = application.object(L"Projects");
    const long count = projects.property(L"Count").asInteger();
    std::vector<std::wstring> names;
    for (long i = 1; i <= count; ++i) {
        std::vector<Variant> index;
        index.push_back(Variant::integer(i));
        names.push_back(projects.object(L"Item", std::move(index)).property(L"FullName").asText());
    }
    return names;
}

// The active project's full name; empty when Project has none active.
std::wstring ActiveName(AutomationObject& application) {
    try {
        return application.object(L"ActiveProject").property(L"FullName").asText();
    } catch (const ComError&) {
        return {};
    }
}

std::wstring Seconds(std::chrono::milliseconds limit) {
    return std::to_wstring(std::chrono::duration_cast<std::chrono::seconds>(limit).count()) + L" s";
}

// Why a step failed whose instance was ended at its deadline; saved: the result was saved before.
std::wstring StoppedAnswering(std::chrono::milliseconds limit, bool saved) {
    if (saved)
        return L"Project stopped answering for " + Seconds(limit) +
               L" after the result was saved, probably showing a dialog nobody could see; its "
               L"instance was ended.";
    return L"Project stopped answering for " + Seconds(limit) +
           L", probably showing a dialog nobody could see; its instance was ended and nothing "
           L"was saved.";
}

// Why a private instance that passed a step's deadline was not ended.
const wchar_t kShowsWindow[] = L" and is showing a window to the user";
const wchar_t kProgramUnread[] =
    L", and the program that serves Project could not be read from the registry: its instance "
    L"cannot be told apart from another Project";
const wchar_t kNotToldApart[] = L", and its instance cannot be told apart from another Project";
const wchar_t kNotEnded[] = L", and its process could not be ended";
const wchar_t kStuck[] =
    L"An earlier file left Project stuck on a dialog nobody can see, in an instance that could not "
    L"be ended; Project would hand that instance to this file too, so it was not worked on. End "
    L"Project (in the Task Manager) and start Quillmere again.";

// Why a step failed whose call was abandoned in an instance that was not ended.
std::wstring LeftRunning(std::chrono::milliseconds limit, const std::wstring& why, bool saved) {
    return L"Project has not answered for " + Seconds(limit) + why +
           L", so its instance was left running; " +
           (saved ? L"the result was saved before." : L"nothing was saved.");
}

bool Contains(const std::vector<std::wstring>& names, const std::wstring& name) {
    return std::ranges::any_of(
        names, [&](const std::wstring& n) { return _wcsicmp(n.c_str(), name.c_str()) == 0; });
}

// Runs an action when it goes.
template <typename Action>
class AtExit {
  public:
    explicit AtExit(Action action) : m_action(std::move(action)) {}
    ~AtExit() { m_action(); }
    AtExit(const AtExit&) = delete;
    AtExit& operator=(const AtExit&) = delete;

  private:
    Action m_action;
};

bool IsFalse(const Variant& result) {
    return result.value().vt == VT_BOOL && result.value().boolVal == VARIANT_FALSE;
}

// A path with Windows' separators: Project compares and names files by them, and a path from
// the batch may come with forward slashes.
std::wstring Native(std::wstring path) {
    std::ranges::replace(path, L'/', L'\\');
    return path;
}

bool SameName(const std::wstring& a, const std::wstring& b) {
    return _wcsicmp(Native(a).c_str(), Native(b).c_str()) == 0;
}

// A project's full name is its file's path once saved or opened; a project that Project imported
// may carry only the file's name.
bool NamedAsFile(const std::wstring& fullName, const std::wstring& path) {
    const std::wstring native = Native(path);
    return SameName(fullName, native) ||
           SameName(fullName, native.substr(native.find_last_of(L'\\') + 1));
}

bool Listed(const std::vector<std::wstring>& names, const std::wstring& name) {
    return std::ranges::any_of(names, [&](const std::wstring& n) { return SameName(n, name); });
}

std::wstring AlreadyOpen(const std::wstring& path) {
    return L"\"" + path +
           L"\" is already open in Project; that copy was left alone and nothing was saved.";
}

// How long a call to the running instance that is refused as busy is tried again.
const std::chrono::milliseconds kAttachBusyBound(3000);

// How long after FileOpen returned its project may take to show in Projects.
const std::chrono::milliseconds kOpenShowsWithin(5000);
const std::chrono::milliseconds kOpenPoll(100);

// The HRESULTs of a call whose server process ended under it.
bool ServerGone(HRESULT hr) {
    return hr == RPC_E_SERVERFAULT || hr == HRESULT(0x800706BA) /* RPC_S_SERVER_UNAVAILABLE */ ||
           hr == HRESULT(0x800706BE) /* RPC_S_CALL_FAILED */ || hr == RPC_E_DISCONNECTED ||
           hr == RPC_E_SERVER_DIED || hr == RPC_E_SERVER_DIED_DNE;
}

// Project started by the user, not by automation: never ours to end (Application.UserControl).
bool StartedByUser(AutomationObject& application) {
    try {
        return application.property(L"UserControl").asBoolean();
    } catch (const ComError&) {
        return false;
    }
}

// A creation, tried again while Project answers that it cannot start yet.
AutomationObject CreateRetried(const StepDeadline& deadline, const std::wstring& progId) {
    const auto start = std::chrono::steady_clock::now();
    int attempts = 0;
    while (true) {
        try {
            ++attempts;
            return deadline.create(progId);
        } catch (const ComError& error) {
            if (error.hr() != CO_E_SERVER_EXEC_FAILURE) throw;
            if (std::chrono::steady_clock::now() - start + deadline.startRetryEvery >
                deadline.startRetryFor)
                throw ComError(error.hr(), error.description() + L" (tried " +
                                               std::to_wstring(attempts) + L" times in " +
                                               Seconds(deadline.startRetryFor) +
                                               L"; an earlier instance may still be ending)");
        }
        std::this_thread::sleep_for(deadline.startRetryEvery);
    }
}

}  // namespace

std::unique_ptr<ProjectAutomation> ProjectAutomation::Create(const std::wstring& progId,
                                                             StepDeadline deadline) {
    if (*deadline.stuck) throw ComError(E_ABORT, kStuck);
    RunLock lock = RunLock::Take(deadline.onWaitingForAnotherRun, deadline.limit);
    auto calls = std::make_unique<CallThread>(deadline.limit);
    std::optional<AutomationObject> application;
    ServerProcess server;
    bool shared = false;
    std::vector<std::wstring> initial;
    calls->run([&] {
        try {
            const bool usersInstance = IsRunning(progId);
            auto create = [&] { application.emplace(CreateRetried(deadline, progId)); };
            if (usersInstance)
                create();
            else
                server = ServerProcess::StartedBy(progId, create);
            // A Project that was still starting, not yet listed as running, is the user's all
            // the same; so is one the user started while ours did.
            shared = usersInstance || server.reusedRunning() || StartedByUser(*application);
            if (!shared) initial = OpenProjects(*application);
        } catch (...) {
            application.reset();  // released on the thread it belongs to
            throw;
        }
    });
    std::unique_ptr<ProjectAutomation> made(
        new ProjectAutomation(std::move(calls), std::move(*application), shared, std::move(server),
                              std::move(deadline), std::move(initial)));
    made->m_lock = std::move(lock);
    return made;
}

ProjectAutomation::~ProjectAutomation() {
    letGo();
}

void ProjectAutomation::letGo() {
    if (std::exchange(m_letGo, true)) return;
    // Another run may have Project once the instance is released and, when we quit it, gone.
    const AtExit unlock([&] { m_lock.release(); });
    if (m_calls->abandoned()) {
        // The references belong to the call thread, which is blocked in Project: they stay
        // with it, unreleased, as the instance stays with its user.
        [[maybe_unused]] auto* application = new AutomationObject(std::move(m_application));
        if (m_project) {
            [[maybe_unused]] auto* project = new AutomationObject(std::move(*m_project));
        }
        return;
    }
    try {
        m_calls->run([&] {
            m_project.reset();
            AutomationObject released(std::move(m_application));
        });
    } catch (const ComError&) {
    }
    // A private instance released, quit or not, is waited for until its process has gone; it is
    // ended when it lingers only when Quit found nobody else there.
    if (!m_usersInstance && !m_leftToSomeoneElse)
        m_server.awaitExit(m_deadline.quitLinger, m_quitAlone);
}

template <typename Step>
auto ProjectAutomation::guarded(Step&& step) -> decltype(step()) {
    if (m_ended || m_abandoned) throw ComError(E_ABORT, gone());
    if (!m_died.empty()) throw ComError(m_diedHr, m_died);
    if (m_letGo) throw ComError(E_ABORT, L"Project was already quit.");
    Expiry expiry;  // written on the deadline's thread, read once the deadline waited for it
    // Runs once the step is over, however it ended, after the deadline below is gone.
    const AtExit settle([&] { settled(expiry); });
    try {
        CallDeadline deadline(m_deadline.limit, [&] { expiry = expire(); });
        return m_calls->run(step);
    } catch (const ComError& error) {
        if (expiry.ended) throw ComError(error.hr(), StoppedAnswering(m_deadline.limit, m_saved));
        if (expiry.abandoned)
            throw ComError(error.hr(), LeftRunning(m_deadline.limit, expiry.why, m_saved));
        if (!ServerGone(error.hr())) throw;
        // Nothing is left to act on: every later step fails the same way, and quit has nothing
        // to close.
        try {
            m_calls->run([&] { m_project.reset(); });
        } catch (const ComError&) {
        }
        m_diedHr = error.hr();
        m_died = L"Project's instance ended unexpectedly (" + error.description() + L")" +
                 (m_saved ? L" after the result was saved." : L"; nothing was saved.");
        throw ComError(m_diedHr, m_died);
    }
}

std::wstring ProjectAutomation::gone() const {
    return m_abandoned ? LeftRunning(m_deadline.limit, m_abandonedWhy, m_saved)
                       : StoppedAnswering(m_deadline.limit, m_saved);
}

ProjectAutomation::Expiry ProjectAutomation::expire() {
    std::wstring why;
    if (!m_usersInstance) {
        // A window on the screen may be a plan the user opened in this instance, or a prompt
        // the user can answer; a process that cannot be told apart may be the user's own: none
        // of them is ended. The call that waits is given up instead, and the file fails.
        if (!m_server.known())
            why = m_server.programUnread() ? kProgramUnread : kNotToldApart;
        else if (m_server.showsWindow())
            why = kShowsWindow;
        else if (m_server.end())
            return {true, false, false, {}};
        else
            why = kNotEnded;
        if (m_calls->abandonCall()) return {false, false, true, why};
    }
    if (!m_deadline.onUserWaited) return {};
    // The user's own Project, or a call that could not be given up: the step waits.
    m_deadline.onUserWaited(
        m_usersInstance
            ? L"Project has not answered for " + Seconds(m_deadline.limit) +
                  L": it is probably waiting for you in a dialog. Quillmere waits until it answers."
            : L"Project has not answered for " + Seconds(m_deadline.limit) + why +
                  L", so it was not ended. Quillmere waits until it answers.");
    return {false, true, false, {}};
}

void ProjectAutomation::settled(const Expiry& expiry) {
    if (expiry.ended) {
        m_ended = true;
        try {
            m_calls->run([&] { m_project.reset(); });
        } catch (const ComError&) {
        }
    }
    if (expiry.abandoned && !m_abandoned) {
        m_abandoned = true;
        m_abandonedWhy = expiry.why;
        // A window shows the user where Project waits; a hidden instance waits for nobody.
        if (expiry.why != kShowsWindow) *m_deadline.stuck = true;
    }
    if (expiry.told && m_deadline.onAnswered) m_deadline.onAnswered();
}

std::unique_ptr<ProjectAutomation> ProjectAutomation::Attach(const std::wstring& progId) {
    // Only the name is read: a Project that stays busy (a dialog up) is not waited for long.
    auto calls = std::make_unique<CallThread>(kAttachBusyBound);
    std::optional<AutomationObject> application;
    calls->run([&] { application.emplace(AutomationObject::Attach(progId)); });
    return std::unique_ptr<ProjectAutomation>(
        new ProjectAutomation(std::move(calls), std::move(*application), true));
}

std::wstring ProjectAutomation::name() {
    return guarded([&] { return m_application.defaultValue().asText(); });
}

void ProjectAutomation::fileOpen(const std::wstring& path) {
    guarded([&] { open(Native(path)); });
}

void ProjectAutomation::open(const std::wstring& path) {
    m_project.reset();
    m_saved = false;
    m_whyNoProject.clear();
    // Project opens a file that is already open there by activating that copy, the user's work,
    // and may close an untouched new project to make room: such a file is left alone, and ours
    // is what is new after FileOpen.
    const std::vector<std::wstring> before = OpenProjects(m_application);
    if (Listed(before, path)) {
        m_whyNoProject = AlreadyOpen(path);
        return;
    }
    std::vector<Variant> arguments;
    arguments.push_back(Variant::text(path));
    if (IsFalse(m_application.call(L"FileOpen", std::move(arguments)))) {
        m_whyNoProject = L"Project did not open \"" + path + L"\", so nothing was saved.";
        return;
    }
    findOpened(path, before);
    if (!m_project && m_whyNoProject.empty())
        m_whyNoProject = L"Project said it opened \"" + path +
                         L"\", but it did not show among its projects within " +
                         Seconds(kOpenShowsWithin) + L", so nothing was saved.";
}

void ProjectAutomation::findOpened(const std::wstring& path,
                                   const std::vector<std::wstring>& before) {
    const auto until = std::chrono::steady_clock::now() + kOpenShowsWithin;
    for (bool firstLook = true;; firstLook = false) {
        // Ours is what is active and new right after FileOpen; later, when it showed late, a
        // plan someone else opened meanwhile may be active and new too: ours is then also
        // named as the file.
        try {
            AutomationObject active = m_application.object(L"ActiveProject");
            const std::wstring name = active.property(L"FullName").asText();
            if (!Listed(before, name) && (firstLook || NamedAsFile(name, path))) {
                m_project = std::move(active);
                return;
            }
        } catch (const ComError& error) {
            if (ServerGone(error.hr())) throw;
            // Else no project is active yet.
        }
        // ... or, when the user made another one active meanwhile, new and named as the file.
        AutomationObject projects = m_application.object(L"Projects");
        const long count = projects.property(L"Count").asInteger();
        for (long i = 1; i <= count; ++i) {
            std::vector<Variant> index;
            index.push_back(Variant::integer(i));
            AutomationObject project = projects.object(L"Item", std::move(index));
            const std::wstring name = project.property(L"FullName").asText();
            if (!Listed(before, name) && NamedAsFile(name, path)) {
                m_project = std::move(project);
                return;
            }
        }
        if (std::chrono::steady_clock::now() >= until) return;
        std::this_thread::sleep_for(kOpenPoll);
    }
}

bool ProjectAutomation::replace(const ReplaceCall& call) {
    // Like Project acting on an empty project: nothing to change, nothing wrong. An empty find
    // text is never sent: Replace without a value shows its dialog (which a hidden instance would
    // wait on until the deadline), and an empty one may match every value.
    if (!m_project || call.value.empty()) return false;
    return guarded([&] {
        makeOursActive(L"Replace");
        // Positional, in Replace's documented order: Project ignores some arguments passed by
        // name, and a lost ReplaceAll or MatchCase would change what is replaced without a word.
        std::vector<Variant> arguments;
        arguments.push_back(Variant::text(call.field));
        arguments.push_back(Variant::text(call.test));
        arguments.push_back(Variant::text(call.value));
        arguments.push_back(Variant::text(call.replacement));
        arguments.push_back(Variant::boolean(call.replaceAll));
        arguments.push_back(Variant::boolean(call.next));
        arguments.push_back(Variant::boolean(call.matchCase));
        return m_application.call(L"Replace", std::move(arguments)).asBoolean();
    });
}

void ProjectAutomation::fileSaveAs(const std::wstring& path) {
    if (m_ended || m_abandoned) throw ComError(E_ABORT, gone());
    if (!m_died.empty()) throw ComError(m_diedHr, m_died);
    if (!m_project)
        throw ComError(CTL_E_ILLEGALFUNCTIONCALL,
                       m_whyNoProject.empty() ? kNothingOpen : m_whyNoProject);
    guarded([&] {
        makeOursActive(L"FileSaveAs");
        std::vector<Variant> arguments;
        arguments.push_back(Variant::text(Native(path)));
        m_application.call(L"FileSaveAs", std::move(arguments));
    });
    m_saved = true;
}

bool ProjectAutomation::oursIsActive() {
    const std::wstring active = ActiveName(m_application);
    return !active.empty() &&
           _wcsicmp(active.c_str(), m_project->property(L"FullName").asText().c_str()) == 0;
}

// A hidden instance refuses Activate even on its active project, so it is called only when
// another project is active, which happens in the user's visible instance.
void ProjectAutomation::makeOursActive(const std::wstring& method) {
    if (oursIsActive()) return;
    try {
        m_project->call(L"Activate", {});
    } catch (const ComError& error) {
        if (ServerGone(error.hr())) throw;
        if (oursIsActive()) return;
        throw ComError(error.hr(), L"Project did not make our project the active one again (" +
                                       error.description() + L"), so " + method +
                                       L" was not run on another project.");
    }
    // An Activate that returned may still have left another project active.
    if (!oursIsActive())
        throw ComError(E_FAIL,
                       L"Project did not make our project the active one again (its "
                       L"Activate returned, but another project stayed active), so " +
                           method + L" was not run on another project.");
}

void ProjectAutomation::quit() {
    const AtExit release([&] { letGo(); });
    // Nothing is left to close, or nothing may be touched.
    if (m_ended || m_abandoned || !m_died.empty() || m_letGo) return;
    try {
        guarded([&] { close(); });
    } catch (const ComError&) {
        if (m_died.empty()) throw;  // an instance that ended while closing is closed
    }
}

void ProjectAutomation::close() {
    // "Do not save" goes as the first positional argument of FileClose (Save) and of Quit
    // (SaveChanges): Project ignores some arguments passed by name.
    std::vector<Variant> doNotSave;
    doNotSave.push_back(Variant::integer(kDoNotSave));
    if (m_usersInstance) {
        if (!m_project) return;  // every project there is the user's
        makeOursActive(L"FileClose");
        m_project.reset();
        m_application.call(L"FileClose", std::move(doNotSave));
    } else if (someoneElseUses()) {
        leaveToSomeoneElse();
    } else {
        m_project.reset();  // released while the instance still answers
        m_quitAlone = true;
        m_application.call(L"Quit", std::move(doNotSave));
    }
}

// An instance we started holds its initial project and ours, and nobody sees it. Anything else
// open there, or a window on the screen, or the user's control, means that Project handed the
// instance to someone else meanwhile: a plan the user double-clicked, a Project the user started,
// another program's automation.
bool ProjectAutomation::someoneElseUses() {
    if (m_application.property(L"Visible").asBoolean() ||
        m_application.property(L"UserControl").asBoolean())
        return true;
    const std::wstring ours = m_project ? m_project->property(L"FullName").asText() : L"";
    for (const std::wstring& name : OpenProjects(m_application))
        if (_wcsicmp(name.c_str(), ours.c_str()) != 0 && !Contains(m_initial, name)) return true;
    return false;
}

// Visible first: the instance is someone's now, and a hidden Project refuses the Activate that
// closing ours may need.
void ProjectAutomation::leaveToSomeoneElse() {
    m_leftToSomeoneElse = true;
    m_application.setProperty(L"Visible", Variant::boolean(true));
    // The user's from now on: an instance that automation started and nobody controls ends when
    // its last client lets go, and would take the user's plan with it.
    m_application.setProperty(L"UserControl", Variant::boolean(true));
    if (!m_project) return;
    makeOursActive(L"FileClose");
    m_project.reset();
    std::vector<Variant> doNotSave;
    doNotSave.push_back(Variant::integer(kDoNotSave));
    m_application.call(L"FileClose", std::move(doNotSave));
}

}  // namespace quillmere::com
