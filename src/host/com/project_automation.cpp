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
    auto busyRetry = std::make_unique<BusyRetry>(deadline.limit);
    const bool usersInstance = IsRunning(progId);
    std::optional<AutomationObject> application;
    auto create = [&] { application.emplace(AutomationObject::Create(progId)); };
    ServerProcess server;
    if (usersInstance)
        create();
    else
        server = ServerProcess::StartedBy(progId, create);
    // A Project that was still starting, not yet listed as running, is the user's all the same.
    const bool shared = usersInstance || server.reusedRunning();
    std::unique_ptr<ProjectAutomation> automation(new ProjectAutomation(
        std::move(*application), shared, std::move(server), std::move(deadline)));
    automation->m_busyRetry = std::move(busyRetry);
    return automation;
}

template <typename Step>
auto ProjectAutomation::guarded(Step&& step) -> decltype(step()) {
    if (m_ended) throw ComError(E_ABORT, StoppedAnswering(m_deadline.limit, m_saved));
    Expiry expiry;  // written on the deadline's thread, read once the deadline waited for it
    // Runs once the step is over, however it ended, after the deadline below is gone.
    const AtExit settle([&] { settled(expiry); });
    try {
        CallDeadline deadline(m_deadline.limit, [&] { expiry = expire(); });
        return step();
    } catch (const ComError& error) {
        if (!expiry.ended) throw;
        throw ComError(error.hr(), StoppedAnswering(m_deadline.limit, m_saved));
    }
}

ProjectAutomation::Expiry ProjectAutomation::expire() {
    if (!m_usersInstance && m_server.end()) return {true, false};
    if (!m_deadline.onUserWaited) return {};
    m_deadline.onUserWaited(
        m_usersInstance
            ? L"Project has not answered for " + Seconds(m_deadline.limit) +
                  L": it is probably waiting for you in a dialog. Quillmere waits until it answers."
            : L"Project has not answered for " + Seconds(m_deadline.limit) +
                  L", and its instance cannot be told apart from another Project, so it was not "
                  L"ended. Quillmere waits until it answers.");
    return {false, true};
}

void ProjectAutomation::settled(const Expiry& expiry) {
    if (expiry.ended) {
        m_ended = true;
        m_project.reset();
    }
    if (expiry.told && m_deadline.onAnswered) m_deadline.onAnswered();
}

std::unique_ptr<ProjectAutomation> ProjectAutomation::Attach(const std::wstring& progId) {
    auto busyRetry = std::make_unique<BusyRetry>(StepDeadline{}.limit);
    std::unique_ptr<ProjectAutomation> automation(
        new ProjectAutomation(AutomationObject::Attach(progId), true));
    automation->m_busyRetry = std::move(busyRetry);
    return automation;
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
    // Like Project acting on an empty project: nothing to change, nothing wrong.
    if (!m_project) return false;
    return guarded([&] {
        makeOursActive(L"Replace");
        std::vector<NamedArgument> named;
        named.push_back({L"Field", Variant::text(call.field)});
        named.push_back({L"Test", Variant::text(call.test)});
        named.push_back({L"Value", Variant::text(call.value)});
        named.push_back({L"Replacement", Variant::text(call.replacement)});
        named.push_back({L"ReplaceAll", Variant::boolean(call.replaceAll)});
        named.push_back({L"Next", Variant::boolean(call.next)});
        named.push_back({L"MatchCase", Variant::boolean(call.matchCase)});
        return m_application.call(L"Replace", {}, std::move(named)).asBoolean();
    });
}

void ProjectAutomation::fileSaveAs(const std::wstring& path) {
    if (m_ended) throw ComError(E_ABORT, StoppedAnswering(m_deadline.limit, m_saved));
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
    if (m_ended) return;  // nothing is left to close
    guarded([&] { close(); });
}

void ProjectAutomation::close() {
    std::vector<NamedArgument> named;
    if (m_usersInstance) {
        if (!m_project) return;  // every project there is the user's
        makeOursActive(L"FileClose");
        m_project.reset();
        named.push_back({L"Save", Variant::integer(kDoNotSave)});
        m_application.call(L"FileClose", {}, std::move(named));
    } else {
        m_project.reset();  // released while the instance still answers
        named.push_back({L"SaveChanges", Variant::integer(kDoNotSave)});
        m_application.call(L"Quit", {}, std::move(named));
    }
}

}  // namespace quillmere::com
