#pragma once

#include "platform/host/com/automation.h"

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

// Microsoft Project driven through its automation server. Project hands a client the user's
// running instance when there is one: such an instance is never quit, only the project this
// client opened is closed, without saving. Project's Replace, FileSaveAs and FileClose act on
// the active project, which the user may switch at any time; so each of them first makes sure the
// project our FileOpen opened is the active one, and without one they touch nothing. A FileOpen
// that returns False, or only activates a copy of the file that was already open, opened nothing of
// ours.
class ProjectAutomation {
  public:
    // A private instance, or the user's running one; notes which.
    static std::unique_ptr<ProjectAutomation> Create(const std::wstring& progId);
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
    ProjectAutomation(AutomationObject application, bool usersInstance)
        : m_application(std::move(application)), m_usersInstance(usersInstance) {}

    bool oursIsActive();
    // Activates our project when another one is active; throws, naming method, when Project
    // leaves another project active.
    void makeOursActive(const std::wstring& method);

    AutomationObject m_application;
    std::optional<AutomationObject> m_project;  // what our last successful FileOpen opened
    std::wstring m_whyNoProject;                // when FileOpen ran but opened nothing of ours: why
    bool m_usersInstance;
};

}  // namespace quillmere::com
