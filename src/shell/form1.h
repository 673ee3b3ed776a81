#pragma once

#include "controls/window_pointer.h"
#include "filelist/file_list_commands.h"
#include "platform/services.h"
#include "report/error_report.h"
#include "run/run_command.h"
#include "sets/set_commands.h"
#include "shell/options_commands.h"

#include <QWidget>

#include <memory>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QTreeWidget;

namespace quillmere {

class EntryList;
class ProgressBar;
class TabControl;

inline const QString kProductName = QStringLiteral("Quillmere");

// The main window: the program's controls, which are the only store of the working data. It
// builds and places them, and hands each command to the subsystem that owns it. Controls keep
// their designer's names.
class Form1 : public QWidget {
    Q_OBJECT
  public:
    explicit Form1(Services& services);
    ~Form1() override;

    // ---- shell: start-up, pointer state, closing
    void Form_Load();
    using Pointer = WindowPointer::Shape;
    Pointer pointer() const { return m_pointer.shape(); }
    void setPointer(Pointer pointer) { m_pointer.set(pointer); }

    // ---- file list
    QTreeWidget* ListView1;
    QPushButton* PushButton3;  // Add Project File(s)
    QPushButton* PushButton6;  // Add All Project Files In Folder
    QPushButton* PushButton2;  // Clear List
    QPushButton* PushButton8;  // Load Sample/Example Files
    EntryList& fileList() { return m_fileList->entries(); }
    void PushButton2_Click() { m_fileList->PushButton2_Click(); }
    void PushButton3_Click() { m_fileList->PushButton3_Click(); }
    void PushButton6_Click() { m_fileList->PushButton6_Click(); }
    void PushButton8_Click() { m_fileList->PushButton8_Click(); }

    // ---- options
    QGroupBox* Frame1;
    QCheckBox* Check2;
    TabControl* TabControl1;

    // ---- single pair (tab 0)
    QLabel* Label1;
    QPlainTextEdit* Text1;
    QLabel* Label2;
    QPlainTextEdit* Text2;

    // ---- sets (tab 1)
    QLabel* Label3;
    QComboBox* Combo1;
    QLabel* Label4;
    QComboBox* Combo2;
    QPushButton* Pushbutton1;   // Add Set
    QPushButton* PushButton10;  // Load Sets
    QPushButton* PushButton9;   // Save Sets
    QPushButton* PushButton4;   // Remove Selected Set
    QPushButton* PushButton5;   // Clear Sets
    void Pushbutton1_Click() { m_sets->Pushbutton1_Click(); }
    void PushButton4_Click() { m_sets->PushButton4_Click(); }
    void PushButton5_Click() { m_sets->PushButton5_Click(); }
    void PushButton9_Click() { m_sets->PushButton9_Click(); }
    void PushButton10_Click() { m_sets->PushButton10_Click(); }
    void Combo1_Click() { m_sets->Combo1_Click(); }
    void Combo2_Click() { m_sets->Combo2_Click(); }

    // ---- output
    QGroupBox* Frame2;
    QRadioButton* Option1;
    QGroupBox* Frame3;
    QLineEdit* Text3;
    QPushButton* PushButton14;  // "..."
    QRadioButton* Option2;
    void PushButton14_Click() { m_options->PushButton14_Click(); }

    // ---- run
    QPushButton* PushButton7;  // Start Replacing
    ProgressBar* ProgressBar1;
    void PushButton7_Click() { m_run->start(); }

    QList<QPushButton*> pushButtons() const;

  protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void buildFileList();
    void buildSets();
    void buildOptions();
    void buildRun();
    void createFileListControls();
    void createOptionControls();
    void createPairControls(QWidget* page);
    void createSetControls(QWidget* page);
    void createOutputControls();
    void createRunControls();
    // Places a control at its designed position and size, given in twips.
    struct Twips {
        int left, top, width, height;
    };
    template <typename Control>
    Control* place(Control* control, const Twips& at) {
        placeAt(control, at);
        return control;
    }
    void placeAt(QWidget* control, const Twips& at);
    void setAccessibleNames();
    void watchHover();
    QList<QWidget*> backgroundControls() const;

    void Form_Unload();
    void Button_MouseMove();
    void Background_MouseMove();

    Services& m_services;
    BoxErrorReport m_report;
    WindowPointer m_pointer{*this};
    // The subsystems' commands, each with its own state, made once the controls exist.
    std::unique_ptr<FileListCommands> m_fileList;
    std::unique_ptr<RunCommand> m_run;
    std::unique_ptr<SetCommands> m_sets;
    std::unique_ptr<OptionsCommands> m_options;
};

}  // namespace quillmere
