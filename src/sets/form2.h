#pragma once

#include "controls/window_pointer.h"
#include "platform/services.h"
#include "sets/set_list.h"

#include <QDialog>

#include <array>

class QLabel;
class QLineEdit;
class QPushButton;

namespace quillmere {

class ErrorReport;
class Guard;

// The Load Sets dialog: reads a text file of pairs, one a line, split at a separator that the
// user types, and appends them to the set list. The separator is stored at every change.
// Controls keep their designer's names.
class Form2 : public QDialog {
    Q_OBJECT
  public:
    Form2(Services& services, ErrorReport& report, const SetControls& sets);
    ~Form2() override;

    void Form_Load();
    void PushButton1_Click();
    void PushButton2_Click();
    void PushButton3_Click();
    void PushButton16_Click();
    void Text2_Change();

    std::array<QLabel*, 2> Label1;  // "File To Load:", "Separator:"
    QLineEdit* Text1;               // the file to load
    QPushButton* PushButton16;      // "...": browse
    QLineEdit* Text2;               // the separator
    QPushButton* PushButton3;       // "?": the format help
    QPushButton* PushButton1;       // Load
    QPushButton* PushButton2;       // Cancel

    QList<QPushButton*> pushButtons() const;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void createControls();
    void watchHover();
    void loadPairs(Guard& g);

    Services& m_services;
    ErrorReport& m_report;
    SetControls c;
    WindowPointer m_pointer{*this};
};

}  // namespace quillmere
