#pragma once

#include "platform/services.h"
#include "run/run_account.h"

#include <QString>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPlainTextEdit;
class QRadioButton;
class QTreeWidget;

namespace quillmere {

class Guard;
class ListedFiles;
class ProgressBar;
class TabControl;
class WindowPointer;

// The controls the Start command reads and writes, under their designer's names. It reads each
// of them when the step that needs it runs, so a change during a run applies from the next step.
struct RunControls {
    QTreeWidget* ListView1;
    QRadioButton* Option1;
    QRadioButton* Option2;
    QLineEdit* Text3;
    TabControl* TabControl1;
    QPlainTextEdit* Text1;
    QPlainTextEdit* Text2;
    QComboBox* Combo1;
    QComboBox* Combo2;
    QCheckBox* Check2;
    ProgressBar* ProgressBar1;
    WindowPointer* pointer;
};

// "Match Case" as a check box value: 0 unchecked, 1 checked, 2 grayed.
int CheckBoxValue(const QCheckBox* box);

// The Start command: walks the file list and hands each file to a replace pass.
class RunCommand {
  public:
    RunCommand(Services& services, ErrorReport& report, const RunControls& controls)
        : m_services(services), m_account(report), c(controls) {}

    void start();

  private:
    bool outputSettingUsable();
    bool noOutputOption() const;
    void replaceOneFile(Guard& g, int i, ListedFiles& listed);
    void runPass(Guard& g);

    Services& m_services;
    // Passes every report on to the window's, and keeps each file's for the run's account.
    RunAccount m_account;
    RunControls c;
    // Set while a run works: a second press of Start during a yield does nothing, except while the
    // host waits for another run, when it gives the wait up and ends the run.
    bool m_busy = false;
    bool m_waitingForHost = false;
    bool m_gaveUpWaiting = false;
    // The current file's paths. They outlive one file on purpose: a step that fails leaves the
    // previous value in place, and the checks before the deletion make sure that such a
    // leftover never names a listed file.
    QString m_sourcePath;
    QString m_outputPath;
};

}  // namespace quillmere
