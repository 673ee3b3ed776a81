#include "host/com/project_automation.h"

#include "host/com/com_error.h"

#include <olectl.h>

#include <algorithm>
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

// Why a step failed whose call was abandoned in an instance that shows a window.
std::wstring LeftRunning(std::chrono::milliseconds limit, bool saved) {
    return L"Project has not answered for " + Seconds(limit) +
           L" and is showing a window to the user, so its instance was left running; " +
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

}  // namespace

std::unique_ptr<ProjectAutomation> ProjectAutomation::Create(const std::wstring& progId,
                                                             StepDeadline deadline) {
    auto calls = std::make_unique<CallThread>();
    std::optional<AutomationObject> application;
    ServerProcess server;
    bool shared = false;
    std::vector<std::wstring> initial;
    calls->run([&] {
        try {
            const bool usersInstance = IsRunning(progId);
            auto create = [&] { application.emplace(AutomationObject::Create(progId)); };
            if (usersInstance)
                create();
            else
                server = ServerProcess::StartedBy(progId, create);
            // A Project that was still starting, not yet listed as running, is the user's all
            // the same.
            shared = usersInstance || server.reusedRunning();
            if (!shared) initial = OpenProjects(*application);
        } catch (...) {
            application.reset();  // released on the thread it belongs to
            throw;
        }
    });
    return std::unique_ptr<ProjectAutomation>(
        new ProjectAutomation(std::move(calls), std::move(*application), shared, std::move(server),
                              std::move(deadline), std::move(initial)));
}

ProjectAutomation::~ProjectAutomation() {
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
}

template <typename Step>
auto ProjectAutomation::guarded(Step&& step) -> decltype(step()) {
    if (m_ended || m_abandoned) throw ComError(E_ABORT, gone());
    Expiry expiry;  // written on the deadline's thread, read once the deadline waited for it
    // Runs once the step is over, however it ended, after the deadline below is gone.
    const AtExit settle([&] { settled(expiry); });
    try {
        CallDeadline deadline(m_deadline.limit, [&] { expiry = expire(); });
        return m_calls->run(step);
    } catch (const ComError& error) {
        if (expiry.ended) throw ComError(error.hr(), StoppedAnswering(m_deadline.limit, m_saved));
        if (expiry.abandoned) throw ComError(error.hr(), LeftRunning(m_deadline.limit, m_saved));
        throw;
    }
}

std::wstring ProjectAutomation::gone() const {
    return m_abandoned ? LeftRunning(m_deadline.limit, m_saved)
                       : StoppedAnswering(m_deadline.limit, m_saved);
}

ProjectAutomation::Expiry ProjectAutomation::expire() {
    if (!m_usersInstance && m_server.known()) {
        // A window on the screen may be a plan the user opened in this instance, or a prompt
        // the user can answer: the instance is not ended, and the call that waits is given up.
        if (m_server.showsWindow()) {
            if (m_calls->abandonCall()) return {false, false, true};
        } else if (m_server.end()) {
            return {true, false, false};
        }
    }
    if (!m_deadline.onUserWaited) return {};
    m_deadline.onUserWaited(
        m_usersInstance
            ? L"Project has not answered for " + Seconds(m_deadline.limit) +
                  L": it is probably waiting for you in a dialog. Quillmere waits until it answers."
            : L"Project has not answered for " + Seconds(m_deadline.limit) +
                  L", and its instance cannot be told apart from another Project, so it was not "
                  L"ended. Quillmere waits until it answers.");
    return {false, true, false};
}

void ProjectAutomation::settled(const Expiry& expiry) {
    if (expiry.ended) {
        m_ended = true;
        try {
            m_calls->run([&] { m_project.reset(); });
        } catch (const ComError&) {
        }
    }
    m_abandoned = m_abandoned || expiry.abandoned;
    if (expiry.told && m_deadline.onAnswered) m_deadline.onAnswered();
}

std::unique_ptr<ProjectAutomation> ProjectAutomation::Attach(const std::wstring& progId) {
    auto calls = std::make_unique<CallThread>();
    std::optional<AutomationObject> application;
    calls->run([&] { application.emplace(AutomationObject::Attach(progId)); });
    return std::unique_ptr<ProjectAutomation>(
        new ProjectAutomation(std::move(calls), std::move(*application), true));
}

std::wstring ProjectAutomation::name() {
    return guarded([&] { return m_application.defaultValue().asText(); });
}

void ProjectAutomation::fileOpen(const std::wstring& path) {
    guarded([&] { open(path); });
}

void ProjectAutomation::open(const std::wstring& path) {
    m_project.reset();
    m_saved = false;
    m_whyNoProject.clear();
    // Project opens a file that is already open there by activating that copy, the user's work,
    // and may close an untouched new project to make room: ours is whatever is active after
    // FileOpen, provided it was not open before.
    const std::vector<std::wstring> before = OpenProjects(m_application);
    std::vector<Variant> arguments;
    arguments.push_back(Variant::text(path));
    if (IsFalse(m_application.call(L"FileOpen", std::move(arguments)))) {
        m_whyNoProject = L"Project did not open \"" + path + L"\", so nothing was saved.";
        return;
    }
    AutomationObject active = m_application.object(L"ActiveProject");
    if (std::ranges::find(before, active.property(L"FullName").asText()) != before.end()) {
        m_whyNoProject = L"\"" + path +
                         L"\" is already open in Project; that copy was left alone and nothing "
                         L"was saved.";
        return;
    }
    m_project = std::move(active);
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
    if (!m_project)
        throw ComError(CTL_E_ILLEGALFUNCTIONCALL,
                       m_whyNoProject.empty() ? kNothingOpen : m_whyNoProject);
    guarded([&] {
        makeOursActive(L"FileSaveAs");
        std::vector<Variant> arguments;
        arguments.push_back(Variant::text(path));
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
        if (oursIsActive()) return;
        throw ComError(error.hr(), L"Project did not make our project the active one again (" +
                                       error.description() + L"), so " + method +
                                       L" was not run on another project.");
    }
}

void ProjectAutomation::quit() {
    if (m_ended || m_abandoned) return;  // nothing is left to close, or nothing may be touched
    guarded([&] { close(); });
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
    m_application.setProperty(L"Visible", Variant::boolean(true));
    if (!m_project) return;
    makeOursActive(L"FileClose");
    m_project.reset();
    std::vector<Variant> doNotSave;
    doNotSave.push_back(Variant::integer(kDoNotSave));
    m_application.call(L"FileClose", std::move(doNotSave));
}

}  // namespace quillmere::com
