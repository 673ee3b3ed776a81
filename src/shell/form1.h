#pragma once

#include "platform/services.h"
#include "shell/error_report.h"

#include <QCursor>
#include <QPersistentModelIndex>
#include <QWidget>

#include <memory>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QMimeData;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QTreeWidget;

namespace quillmere {

class EntryList;
class Guard;
class ListedFiles;
struct WalkContext;
class ProgressBar;
class TabControl;

inline const QString kProductName = QStringLiteral("Quillmere");

// The main window: the program's controls, which are the only store of the working data, and
// the home of every command. Controls keep their designer's names.
class Form1 : public QWidget {
    Q_OBJECT
  public:
    explicit Form1(Services& services);
    ~Form1() override;

    // ---- shell: start-up, pointer state, closing
    void Form_Load();
    enum class Pointer { Default, Custom, Hourglass };
    Pointer pointer() const { return m_pointer; }
    void setPointer(Pointer pointer);
    // "Match Case" as a check box value: 0 unchecked, 1 checked, 2 grayed.
    int Check2Value() const;
    Services& services() { return m_services; }
    // A file in the program's folder, as a native path.
    QString programFile(const char* name) const;
    ErrorReport& errorReport() { return m_report; }

    // ---- file list
    QTreeWidget* ListView1;
    QPushButton* PushButton3;  // Add Project File(s)
    QPushButton* PushButton6;  // Add All Project Files In Folder
    QPushButton* PushButton2;  // Clear List
    QPushButton* PushButton8;  // Load Sample/Example Files
    EntryList& fileList() { return *m_entries; }
    // While the hourglass shows, the commands that remove entries do nothing.
    bool isBusy() const { return m_pointer == Pointer::Hourglass; }
    void ListView1_KeyDown(int keyCode);
    void ListView1_DblClick();
    void PushButton2_Click();
    void ListView1_MouseDown(const QPoint& position);
    void ListView1_ItemClick();
    void ListView1_MouseMove(const QPoint& position, const QPoint& globalPosition);
    void ListView1_MouseUp();
    bool ListView1_OLEDragOver(const QMimeData* data);
    void ListView1_OLEDragDrop(const QStringList& paths);
    void PushButton3_Click();
    void PushButton6_Click();

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

    // ---- output
    QGroupBox* Frame2;
    QRadioButton* Option1;
    QGroupBox* Frame3;
    QLineEdit* Text3;
    QPushButton* PushButton14;  // "..."
    QRadioButton* Option2;

    // ---- run
    QPushButton* PushButton7;  // Start Replacing
    ProgressBar* ProgressBar1;
    void PushButton7_Click();

    QList<QPushButton*> pushButtons() const;

  protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void createFileListControls();
    void createOptionControls();
    void createSetControls(QWidget* page);
    void createPairControls(QWidget* page);
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
    void loadHandCursor();

    // file list
    void setUpFileList();
    void removeSelectedEntry();
    void swapWithEntryAt(const QPoint& position, const QPoint& globalPosition);
    void showDragPointer();
    WalkContext walkContext();
    void ValidateListFiles();

    // run
    bool outputSettingUsable();
    bool noOutputOption() const;
    void replaceOneFile(Guard& g, int i, ListedFiles& listed);
    void runPass(Guard& g);
    template <typename Handler>
    void connectCommand(QPushButton* button, Handler handler);

    void Form_Unload();
    void Button_MouseMove();
    void Background_MouseMove();

    Services& m_services;
    BoxErrorReport m_report;
    Pointer m_pointer = Pointer::Default;
    QCursor m_handCursor;
    bool m_hasHandCursor = false;
    // The file list: the list control seen as entries, and the reorder drag's state.
    std::unique_ptr<EntryList> m_entries;
    std::unique_ptr<QObject> m_listViewEvents;
    bool m_pressed = false;
    QPersistentModelIndex m_dragged;
    // The Start command's state: busy while a run works; the paths of the current file.
    bool m_busy = false;
    QString m_sourcePath;
    QString m_outputPath;
};

}  // namespace quillmere
