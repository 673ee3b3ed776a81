#pragma once

#include "platform/services.h"
#include "sets/set_list.h"

namespace quillmere {

class ErrorReport;

// The commands of the sets tab: Add Set, Remove Selected Set, Clear Sets, Save Sets and Load
// Sets, and the selection that the two lists share. The two lists are the only store of the
// pairs.
class SetCommands {
  public:
    SetCommands(Services& services, ErrorReport& report, const SetControls& controls);

    void Pushbutton1_Click();
    void PushButton4_Click();
    void PushButton5_Click();
    void PushButton9_Click();
    void PushButton10_Click();
    // The user selected an entry of one list: the other selects the same index.
    void Combo1_Click();
    void Combo2_Click();

  private:
    Services& m_services;
    ErrorReport& m_report;
    SetControls c;
};

}  // namespace quillmere
