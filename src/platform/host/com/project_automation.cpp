#include "platform/host/com/project_automation.h"

#include "platform/host/com/com_error.h"

#include <olectl.h>

namespace quillmere::com {
namespace {

const long kDoNotSave = 0;  // pjDoNotSave

bool IsRunning(const std::wstring& progId) {
    try {
        AutomationObject::Attach(progId);
        return true;
    } catch (const ComError&) {
        return false;
    }
}

}  // namespace

std::unique_ptr<ProjectAutomation> ProjectAutomation::Create(const std::wstring& progId) {
    const bool usersInstance = IsRunning(progId);
    return std::unique_ptr<ProjectAutomation>(
        new ProjectAutomation(AutomationObject::Create(progId), usersInstance));
}

std::unique_ptr<ProjectAutomation> ProjectAutomation::Attach(const std::wstring& progId) {
    return std::unique_ptr<ProjectAutomation>(
        new ProjectAutomation(AutomationObject::Attach(progId), true));
}

std::wstring ProjectAutomation::name() {
    return m_application.defaultValue().asText();
}

void ProjectAutomation::fileOpen(const std::wstring& path) {
    m_project.reset();
    std::vector<Variant> arguments;
    arguments.push_back(Variant::text(path));
    m_application.call(L"FileOpen", std::move(arguments));
    // A successful FileOpen leaves the opened project active.
    m_project = m_application.object(L"ActiveProject");
}

bool ProjectAutomation::replace(const ReplaceCall& call) {
    // Like Project acting on an empty project: nothing to change, nothing wrong.
    if (!m_project) return false;
    m_project->call(L"Activate", {});
    std::vector<NamedArgument> named;
    named.push_back({L"Field", Variant::text(call.field)});
    named.push_back({L"Test", Variant::text(call.test)});
    named.push_back({L"Value", Variant::text(call.value)});
    named.push_back({L"Replacement", Variant::text(call.replacement)});
    named.push_back({L"ReplaceAll", Variant::boolean(call.replaceAll)});
    named.push_back({L"Next", Variant::boolean(call.next)});
    named.push_back({L"MatchCase", Variant::boolean(call.matchCase)});
    return m_application.call(L"Replace", {}, std::move(named)).asBoolean();
}

void ProjectAutomation::fileSaveAs(const std::wstring& path) {
    if (!m_project)
        throw ComError(CTL_E_ILLEGALFUNCTIONCALL, L"No project is open, so nothing was saved.");
    m_project->call(L"Activate", {});
    std::vector<Variant> arguments;
    arguments.push_back(Variant::text(path));
    m_application.call(L"FileSaveAs", std::move(arguments));
}

void ProjectAutomation::quit() {
    std::vector<NamedArgument> named;
    if (m_usersInstance) {
        if (!m_project) return;  // every project there is the user's
        m_project->call(L"Activate", {});
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
