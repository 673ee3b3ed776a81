#pragma once

#include "platform/host/com/automation.h"

#include <memory>
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
// client opened is closed, without saving.
class ProjectAutomation {
  public:
    // A private instance, or the user's running one; notes which.
    static std::unique_ptr<ProjectAutomation> Create(const std::wstring& progId);
    // The running instance, for reading its name; never quit.
    static std::unique_ptr<ProjectAutomation> Attach(const std::wstring& progId);

    std::wstring name();
    void fileOpen(const std::wstring& path);
    bool replace(const ReplaceCall& call);
    void fileSaveAs(const std::wstring& path);
    // Ends the instance without saving (the result is already saved, or the save failed and a
    // save prompt would block forever); for the user's instance, closes only our project.
    void quit();

    bool sharesUsersInstance() const { return m_usersInstance; }

  private:
    ProjectAutomation(AutomationObject application, bool usersInstance)
        : m_application(std::move(application)), m_usersInstance(usersInstance) {}

    AutomationObject m_application;
    bool m_usersInstance;
};

}  // namespace quillmere::com
