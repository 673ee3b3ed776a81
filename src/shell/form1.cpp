#include "shell/form1.h"

#include "controls/command_button.h"
#include "controls/cursor_file.h"
#include "controls/progress_bar.h"
#include "controls/tab_control.h"
#include "filelist/sample_files.h"
#include "paths/path_routines.h"
#include "platform/dialogs.h"
#include "platform/event_loop.h"
#include "project/host_checks.h"
#include "report/guard.h"
#include "report/locations.h"
#include "settings/settings_keys.h"
#include "shell/twips.h"
#include "shell/window_dressing.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QEnterEvent>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTreeWidget>

// The icon is compiled into this library; nothing refers to it by name, so without this call the
// linker leaves it out of the program.
static void InitIconResource() {
    Q_INIT_RESOURCE(quillmere);
}

namespace quillmere {
namespace {

const QString kListTooltip = QStringLiteral(
    "Drag and drop files here. Double-click item to remove it. Move | line to right and out of "
    "window to reveal full names.");

// Creates a control under its designer's name. Labels, frames, the check box and the option
// buttons are designed on white.
template <typename Control, typename... Args>
Control* Named(QWidget* parent, const char* name, Args&&... args) {
    auto* control = new Control(std::forward<Args>(args)..., parent);
    control->setObjectName(QLatin1String(name));
    if constexpr (std::is_same_v<Control, QLabel> || std::is_same_v<Control, QGroupBox> ||
                  std::is_same_v<Control, QCheckBox> || std::is_same_v<Control, QRadioButton>) {
        QPalette palette = control->palette();
        palette.setColor(QPalette::Window, Qt::white);
        control->setPalette(palette);
        control->setAutoFillBackground(true);
    }
    return control;
}

}  // namespace

Form1::~Form1() = default;

Form1::Form1(Services& services) : m_services(services), m_report(services.dialogs) {
    setObjectName(QStringLiteral("Form1"));
    // The controls are made in their designed order, which Qt takes as their order under Tab.
    buildFileList();
    createOptionControls();
    buildSets();
    buildOptions();
    buildRun();
    setAccessibleNames();
    watchHover();
    setFixedSize(TwipsToPixels(0, 0, 8040, 9755, logicalDpiX()).size());
}

// ---- each subsystem: its controls, its commands, and its buttons wired to them

void Form1::buildFileList() {
    createFileListControls();
    m_fileList = std::make_unique<FileListCommands>(m_services, m_report,
                                                    FileListControls{ListView1, &m_pointer});
    ConnectCommand(PushButton2, this, &Form1::PushButton2_Click);
    ConnectCommand(PushButton3, this, &Form1::PushButton3_Click);
    ConnectCommand(PushButton6, this, &Form1::PushButton6_Click);
    ConnectCommand(PushButton8, this, &Form1::PushButton8_Click);
}

void Form1::buildSets() {
    createSetControls(TabControl1->addTab(QStringLiteral("Multiple find and replace (sets)")));
    m_sets = std::make_unique<SetCommands>(m_services, m_report,
                                           SetControls{Combo1, Combo2, this, &m_pointer});
    ConnectCommand(Pushbutton1, this, &Form1::Pushbutton1_Click);
    ConnectCommand(PushButton4, this, &Form1::PushButton4_Click);
    ConnectCommand(PushButton5, this, &Form1::PushButton5_Click);
    ConnectCommand(PushButton9, this, &Form1::PushButton9_Click);
    ConnectCommand(PushButton10, this, &Form1::PushButton10_Click);
    // Only a choice of the user's sets the other list off; a selection set by code does not.
    connect(Combo1, &QComboBox::activated, this, &Form1::Combo1_Click);
    connect(Combo2, &QComboBox::activated, this, &Form1::Combo2_Click);
}

// The options are the match case, the tab and the output folder, stored as they change.
void Form1::buildOptions() {
    createOutputControls();
    m_options = std::make_unique<OptionsCommands>(
        m_services, m_report,
        OptionsControls{Check2, TabControl1, Text3, Option1, Option2, Frame3});
    ConnectCommand(PushButton14, this, &Form1::PushButton14_Click);
}

// The run reads every other control, so it comes last.
void Form1::buildRun() {
    createRunControls();
    m_run = std::make_unique<RunCommand>(
        m_services, m_report,
        RunControls{ListView1, Option1, Option2, Text3, TabControl1, Text1, Text2, Combo1, Combo2,
                    Check2, ProgressBar1, &m_pointer});
    ConnectCommand(PushButton7, this, &Form1::PushButton7_Click);
}

void Form1::placeAt(QWidget* control, const Twips& at) {
    control->setGeometry(TwipsToPixels(at.left, at.top, at.width, at.height, logicalDpiX()));
}

void Form1::createFileListControls() {
    ListView1 = place(Named<QTreeWidget>(this, "ListView1"), {120, 120, 7800, 1335});
    ListView1->setRootIsDecorated(false);
    ListView1->setUniformRowHeights(true);
    ListView1->setColumnCount(1);
    ListView1->header()->setStretchLastSection(false);
    ListView1->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    // A long path loses its middle folders, not the file name; each entry's tooltip is whole.
    ListView1->setTextElideMode(Qt::ElideMiddle);
    ListView1->setToolTip(kListTooltip);
    PushButton3 =
        place(Named<QPushButton>(this, "PushButton3", QStringLiteral("Add Project File(s)")),
              {120, 1550, 3840, 405});
    PushButton6 = place(
        Named<QPushButton>(this, "PushButton6", QStringLiteral("Add All Project Files In Folder")),
        {4080, 1550, 3840, 405});
    PushButton2 = place(Named<QPushButton>(this, "PushButton2", QStringLiteral("Clear List")),
                        {120, 2060, 3840, 405});
    PushButton8 =
        place(Named<QPushButton>(this, "PushButton8", QStringLiteral("Load Sample/Example Files")),
              {4080, 2060, 3840, 405});
}

void Form1::createOptionControls() {
    Frame1 = place(Named<QGroupBox>(this, "Frame1", QStringLiteral("Match Option")),
                   {120, 2530, 7800, 735});
    Check2 = place(Named<QCheckBox>(Frame1, "Check2", QStringLiteral("Match Case")),
                   {240, 300, 1455, 255});
    TabControl1 = place(Named<TabControl>(this, "TabControl1"), {120, 3370, 7800, 3345});
    createPairControls(TabControl1->addTab(QStringLiteral("Find and replace")));
}

void Form1::createPairControls(QWidget* page) {
    Label1 = place(Named<QLabel>(page, "Label1", QStringLiteral(" Find what (exact case):")),
                   {240, 480, 5415, 255});
    Text1 = place(Named<QPlainTextEdit>(page, "Text1"), {240, 720, 7320, 1020});
    Label2 = place(Named<QLabel>(page, "Label2", QStringLiteral(" Replace with:")),
                   {240, 1800, 6015, 255});
    Text2 = place(Named<QPlainTextEdit>(page, "Text2"), {240, 2040, 7320, 1020});
}

void Form1::createSetControls(QWidget* page) {
    Label3 = place(Named<QLabel>(page, "Label3", QStringLiteral(" Find what (exact case):")),
                   {240, 495, 5415, 255});
    Combo1 = place(Named<QComboBox>(page, "Combo1"), {240, 810, 7320, 345});
    Label4 = place(Named<QLabel>(page, "Label4", QStringLiteral(" Replace with:")),
                   {240, 1320, 6015, 255});
    Combo2 = place(Named<QComboBox>(page, "Combo2"), {240, 1600, 7320, 345});
    Pushbutton1 = place(Named<QPushButton>(page, "Pushbutton1", QStringLiteral("Add Set")),
                        {240, 2100, 3600, 405});
    PushButton10 = place(Named<QPushButton>(page, "PushButton10", QStringLiteral("Load Sets")),
                         {3960, 2100, 1740, 405});
    PushButton9 = place(Named<QPushButton>(page, "PushButton9", QStringLiteral("Save Sets")),
                        {5820, 2100, 1740, 405});
    PushButton4 =
        place(Named<QPushButton>(page, "PushButton4", QStringLiteral("Remove Selected Set")),
              {240, 2640, 3600, 405});
    PushButton5 = place(Named<QPushButton>(page, "PushButton5", QStringLiteral("Clear Sets")),
                        {3960, 2640, 3600, 405});
}

void Form1::createOutputControls() {
    Frame2 = place(Named<QGroupBox>(this, "Frame2", QStringLiteral("Save Option")),
                   {120, 6780, 7800, 1815});
    Option1 = place(
        Named<QRadioButton>(Frame2, "Option1", QStringLiteral("Save results to this folder:")),
        {240, 300, 3615, 255});
    Frame3 = place(Named<QGroupBox>(Frame2, "Frame3", QString()), {480, 510, 6840, 810});
    Text3 = place(Named<QLineEdit>(Frame3, "Text3"), {240, 300, 5670, 345});
    PushButton14 = place(Named<QPushButton>(Frame3, "PushButton14", QStringLiteral("...")),
                         {6000, 300, 600, 345});
    Option2 = place(Named<QRadioButton>(Frame2, "Option2",
                                        QStringLiteral("Save results in folder of original file")),
                    {240, 1410, 3615, 255});
    Option1->setChecked(true);
}

void Form1::createRunControls() {
    PushButton7 = place(Named<QPushButton>(this, "PushButton7", QStringLiteral("Start Replacing")),
                        {120, 8710, 7800, 405});
    ProgressBar1 = place(Named<ProgressBar>(this, "ProgressBar1"), {120, 9230, 7800, 405});
    ProgressBar1->setText(QStringLiteral("Progress Bar"));
}

void Form1::setAccessibleNames() {
    for (QPushButton* button : pushButtons()) button->setAccessibleName(button->text());
    // Its caption reads as "dot dot dot"; the name says what it does.
    PushButton14->setAccessibleName(QStringLiteral("Browse for the output folder"));
    ListView1->setAccessibleName(QStringLiteral("MS Project File(s)"));
    const auto labelled = {std::pair{Label1, static_cast<QWidget*>(Text1)},
                           std::pair{Label2, static_cast<QWidget*>(Text2)},
                           std::pair{Label3, static_cast<QWidget*>(Combo1)},
                           std::pair{Label4, static_cast<QWidget*>(Combo2)}};
    for (const auto& [label, control] : labelled) {
        label->setBuddy(control);
        control->setAccessibleName(label->text().trimmed());
    }
    Text3->setAccessibleName(Option1->text());
    ProgressBar1->setAccessibleName(QStringLiteral("Progress"));
    TabControl1->setAccessibleName(QStringLiteral("Find and replace mode"));
    for (int i = 0; i < TabControl1->count(); ++i)
        TabControl1->page(i)->setAccessibleName(TabControl1->tabBar()->tabText(i));
    Frame3->setAccessibleName(QStringLiteral("Output folder"));
}

QList<QPushButton*> Form1::pushButtons() const {
    return {PushButton3, PushButton6, PushButton2, PushButton8,  Pushbutton1, PushButton10,
            PushButton9, PushButton4, PushButton5, PushButton14, PushButton7};
}

// ---- start-up

void Form1::Form_Load() {
    Guard g(m_report, locations::kFormLoad);
    g.step(100, [&] { ApplySkin(*this, m_services.files, m_services.programFolder); });
    if (g.test(102,
               [&] { return FileExists(m_services.files, ProgramFile(m_services, "HAND-M.CUR")); }))
        g.step(104,
               [&] { m_pointer.setHand(LoadCursorFile(ProgramFile(m_services, "HAND-M.CUR"))); });
    // The first start records the sample files; so does every start until some were found.
    g.step(108, [&] {
        if (ReadSetting(m_services.settings, settings::kSnapshot).isEmpty())
            RecordSampleFiles(m_services);
    });
    g.step(130, [&] {
        setWindowTitle(kProductName);
        InitIconResource();
        setWindowIcon(QIcon(QStringLiteral(":/quillmere.png")));
        SetApplicationTitle(m_services.dialogs, kProductName);
    });
    g.step(132, [&] { ListView1->setHeaderLabels({QStringLiteral("MS Project File(s)")}); });
    g.step(134, [&] {
        ListView1->setColumnWidth(0, TwipsToPixels(0, 0, 7000, 0, logicalDpiX()).width());
    });
    m_options->restore(g);
    g.step(152, [&] { CheckProjectInstalled(m_services.hosts, m_services.dialogs); });
}

// ---- pointer and hover rule

QList<QWidget*> Form1::backgroundControls() const {
    return {const_cast<Form1*>(this),
            Frame1,
            Frame2,
            Frame3,
            Text3,
            TabControl1,
            TabControl1->tabBar(),
            TabControl1->page(0),
            TabControl1->page(1)};
}

void Form1::watchHover() {
    QList<QWidget*> watched = backgroundControls();
    for (QPushButton* button : pushButtons()) watched << button;
    for (QWidget* widget : watched) {
        widget->setMouseTracking(true);
        widget->installEventFilter(this);
    }
}

bool Form1::eventFilter(QObject* watched, QEvent* event) {
    // A move that a button ignores travels on to its parents: decide by the control actually
    // under the pointer, so every delivery of one move gives the same answer.
    if (event->type() == QEvent::MouseMove || event->type() == QEvent::Enter) {
        const QPointF global = static_cast<QSinglePointEvent*>(event)->globalPosition();
        QWidget* hit = childAt(mapFromGlobal(global.toPoint()));
        if (!hit) hit = this;
        if (auto* button = qobject_cast<QPushButton*>(hit);
            button && pushButtons().contains(button))
            Button_MouseMove();
        else if (backgroundControls().contains(hit))
            Background_MouseMove();
    }
    return QWidget::eventFilter(watched, event);
}

void Form1::Button_MouseMove() {
    if (!m_pointer.busy()) setPointer(Pointer::Custom);
}

void Form1::Background_MouseMove() {
    if (!m_pointer.busy()) setPointer(Pointer::Default);
}

// ---- closing

void Form1::closeEvent(QCloseEvent* event) {
    Form_Unload();
    event->accept();
}

void Form1::Form_Unload() {
    // Ends the program at once; a command that is yielding unwinds at its next yield.
    m_services.events.endProgram();
}

}  // namespace quillmere
