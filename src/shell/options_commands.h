#pragma once

#include "platform/services.h"

#include <QString>

#include <memory>

class QCheckBox;
class QGroupBox;
class QLineEdit;
class QObject;
class QRadioButton;

namespace quillmere {

class ErrorReport;
class Guard;
class TabControl;

// The controls that hold the window's options and the output folder, under their designer's
// names. Frame3 holds Text3 and the "..." button.
struct OptionsControls {
    QCheckBox* Check2;
    TabControl* TabControl1;
    QLineEdit* Text3;
    QRadioButton* Option1;
    QRadioButton* Option2;
    QGroupBox* Frame3;
};

// The window's options: restored at start-up, stored again the moment each one changes (also
// when start-up restores it), and the output folder's "..." button.
class OptionsCommands {
  public:
    OptionsCommands(Services& services, ErrorReport& report, const OptionsControls& controls);
    ~OptionsCommands();

    // Start-up's steps 136 to 150: each option from the store, then Frame3 after Option1. A
    // stored text that does not convert fails its one step, and that control stays as it was.
    void restore(Guard& g);

    // The change handlers. They have no error report: a write the store refuses is dropped, and
    // the next change writes again.
    void Check2_Click();
    void Option1_Click() { storeOutputOptions(); }
    void Option2_Click() { storeOutputOptions(); }
    void Text3_Change();
    void TabControl1_SelectedChanged();

    void PushButton14_Click();

  private:
    void storeOutputOptions();
    void connectHandlers();

    Services& m_services;
    ErrorReport& m_report;
    OptionsControls c;
    // The last folder chosen with "...", read from the store at each press.
    QString m_lastFolder;
    // The context of the handlers' connections: they end with this object, before the controls.
    std::unique_ptr<QObject> m_connections;
};

}  // namespace quillmere
