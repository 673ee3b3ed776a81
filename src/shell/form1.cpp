#include "shell/form1.h"

#include "filelist/entry_list.h"

#include "platform/dialogs.h"
#include "platform/event_loop.h"
#include "platform/failure.h"
#include "project/host_checks.h"
#include "run/path_routines.h"
#include "shell/guard.h"
#include "shell/locations.h"
#include "shell/progress_bar.h"
#include "shell/tab_control.h"
#include "shell/twips.h"
#include "shell/window_dressing.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QEnterEvent>
#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTreeWidget>

namespace quillmere {
namespace {

const QString kListTooltip = QStringLiteral(
    "Drag and drop files here. Double-click item to remove it. Move | line to right and out of "
    "window to reveal full names.");

// Labels, frames, the check box and the option buttons are designed on white.
void DesignWhite(QWidget* widget) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, Qt::white);
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}

QPushButton* Button(QWidget* parent, const char* name, const QString& caption) {
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(QLatin1String(name));
    return button;
}

QLabel* Label(QWidget* parent, const char* name, const QString& caption) {
    auto* label = new QLabel(caption, parent);
    label->setObjectName(QLatin1String(name));
    DesignWhite(label);
    return label;
}

QGroupBox* Frame(QWidget* parent, const char* name, const QString& caption) {
    auto* frame = new QGroupBox(caption, parent);
    frame->setObjectName(QLatin1String(name));
    DesignWhite(frame);
    return frame;
}

}  // namespace

Form1::~Form1() = default;

Form1::Form1(Services& services) : m_services(services), m_report(services.dialogs) {
    setObjectName(QStringLiteral("Form1"));
    createFileListControls();
    createOptionControls();
    createOutputControls();
    createRunControls();
    setAccessibleNames();
    watchHover();
    setUpFileList();
    connectCommand(PushButton7, &Form1::PushButton7_Click);
    connectCommand(PushButton2, &Form1::PushButton2_Click);
    connectCommand(PushButton3, &Form1::PushButton3_Click);
    connectCommand(PushButton6, &Form1::PushButton6_Click);
    setFixedSize(TwipsToPixels(0, 0, 8040, 9755, logicalDpiX()).size());
}

void Form1::place(QWidget* control, int left, int top, int width, int height) {
    control->setGeometry(TwipsToPixels(left, top, width, height, logicalDpiX()));
}

void Form1::createFileListControls() {
    ListView1 = new QTreeWidget(this);
    ListView1->setObjectName(QStringLiteral("ListView1"));
    ListView1->setRootIsDecorated(false);
    ListView1->setUniformRowHeights(true);
    ListView1->setColumnCount(1);
    ListView1->header()->setStretchLastSection(false);
    ListView1->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    ListView1->setToolTip(kListTooltip);
    place(ListView1, 120, 120, 7800, 1335);

    PushButton3 = Button(this, "PushButton3", QStringLiteral("Add Project File(s)"));
    place(PushButton3, 120, 1550, 3840, 405);
    PushButton6 = Button(this, "PushButton6", QStringLiteral("Add All Project Files In Folder"));
    place(PushButton6, 4080, 1550, 3840, 405);
    PushButton2 = Button(this, "PushButton2", QStringLiteral("Clear List"));
    place(PushButton2, 120, 2060, 3840, 405);
    PushButton8 = Button(this, "PushButton8", QStringLiteral("Load Sample/Example Files"));
    place(PushButton8, 4080, 2060, 3840, 405);
}

void Form1::createOptionControls() {
    Frame1 = Frame(this, "Frame1", QStringLiteral("Match Option"));
    place(Frame1, 120, 2530, 7800, 735);
    Check2 = new QCheckBox(QStringLiteral("Match Case"), Frame1);
    Check2->setObjectName(QStringLiteral("Check2"));
    DesignWhite(Check2);
    place(Check2, 240, 300, 1455, 255);

    TabControl1 = new TabControl(this);
    TabControl1->setObjectName(QStringLiteral("TabControl1"));
    place(TabControl1, 120, 3370, 7800, 3345);
    createPairControls(TabControl1->addTab(QStringLiteral("Find and replace")));
    createSetControls(TabControl1->addTab(QStringLiteral("Multiple find and replace (sets)")));
}

void Form1::createPairControls(QWidget* page) {
    Label1 = Label(page, "Label1", QStringLiteral(" Find what (exact case):"));
    place(Label1, 240, 480, 5415, 255);
    Text1 = new QPlainTextEdit(page);
    Text1->setObjectName(QStringLiteral("Text1"));
    place(Text1, 240, 720, 7320, 1020);
    Label2 = Label(page, "Label2", QStringLiteral(" Replace with:"));
    place(Label2, 240, 1800, 6015, 255);
    Text2 = new QPlainTextEdit(page);
    Text2->setObjectName(QStringLiteral("Text2"));
    place(Text2, 240, 2040, 7320, 1020);
}

void Form1::createSetControls(QWidget* page) {
    Label3 = Label(page, "Label3", QStringLiteral(" Find what (exact case):"));
    place(Label3, 240, 495, 5415, 255);
    Combo1 = new QComboBox(page);
    Combo1->setObjectName(QStringLiteral("Combo1"));
    place(Combo1, 240, 810, 7320, 345);
    Label4 = Label(page, "Label4", QStringLiteral(" Replace with:"));
    place(Label4, 240, 1320, 6015, 255);
    Combo2 = new QComboBox(page);
    Combo2->setObjectName(QStringLiteral("Combo2"));
    place(Combo2, 240, 1600, 7320, 345);
    Pushbutton1 = Button(page, "Pushbutton1", QStringLiteral("Add Set"));
    place(Pushbutton1, 240, 2100, 3600, 405);
    PushButton10 = Button(page, "PushButton10", QStringLiteral("Load Sets"));
    place(PushButton10, 3960, 2100, 1740, 405);
    PushButton9 = Button(page, "PushButton9", QStringLiteral("Save Sets"));
    place(PushButton9, 5820, 2100, 1740, 405);
    PushButton4 = Button(page, "PushButton4", QStringLiteral("Remove Selected Set"));
    place(PushButton4, 240, 2640, 3600, 405);
    PushButton5 = Button(page, "PushButton5", QStringLiteral("Clear Sets"));
    place(PushButton5, 3960, 2640, 3600, 405);
}

void Form1::createOutputControls() {
    Frame2 = Frame(this, "Frame2", QStringLiteral("Save Option"));
    place(Frame2, 120, 6780, 7800, 1815);
    Option1 = new QRadioButton(QStringLiteral("Save results to this folder:"), Frame2);
    Option1->setObjectName(QStringLiteral("Option1"));
    DesignWhite(Option1);
    place(Option1, 240, 300, 3615, 255);
    Frame3 = Frame(Frame2, "Frame3", QString());
    place(Frame3, 480, 510, 6840, 810);
    Text3 = new QLineEdit(Frame3);
    Text3->setObjectName(QStringLiteral("Text3"));
    place(Text3, 240, 300, 5670, 345);
    PushButton14 = Button(Frame3, "PushButton14", QStringLiteral("..."));
    place(PushButton14, 6000, 300, 600, 345);
    Option2 = new QRadioButton(QStringLiteral("Save results in folder of original file"), Frame2);
    Option2->setObjectName(QStringLiteral("Option2"));
    DesignWhite(Option2);
    place(Option2, 240, 1410, 3615, 255);
    Option1->setChecked(true);
}

void Form1::createRunControls() {
    PushButton7 = Button(this, "PushButton7", QStringLiteral("Start Replacing"));
    place(PushButton7, 120, 8710, 7800, 405);
    ProgressBar1 = new ProgressBar(this);
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar1->setText(QStringLiteral("Progress Bar"));
    place(ProgressBar1, 120, 9230, 7800, 405);
}

void Form1::setAccessibleNames() {
    for (QPushButton* button : pushButtons()) button->setAccessibleName(button->text());
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

template <typename Handler>
void Form1::connectCommand(QPushButton* button, Handler handler) {
    // No exception may reach Qt's event loop: a command unwound by the program's end stops here.
    connect(button, &QPushButton::clicked, this, [this, handler] {
        try {
            (this->*handler)();
        } catch (const ProgramEnding&) {
        }
    });
}

QList<QPushButton*> Form1::pushButtons() const {
    return {PushButton3, PushButton6, PushButton2,  PushButton8,  Pushbutton1, PushButton10,
            PushButton9, PushButton4, PushButton5, PushButton14, PushButton7};
}

int Form1::Check2Value() const {
    switch (Check2->checkState()) {
        case Qt::Checked: return 1;
        case Qt::PartiallyChecked: return 2;
        default: return 0;
    }
}

// ---- start-up

void Form1::Form_Load() {
    Guard g(m_report, locations::kFormLoad);
    g.step(100, [&] { ApplySkin(*this, m_services.files, m_services.programFolder); });
    if (g.test(102, [&] { return FileExists(m_services.files, programFile("HAND-M.CUR")); }))
        g.step(104, [&] { loadHandCursor(); });
    g.step(130, [&] {
        setWindowTitle(kProductName);
        setWindowIcon(QIcon(QStringLiteral(":/quillmere.png")));
        SetApplicationTitle(m_services.dialogs, kProductName);
    });
    g.step(132, [&] { ListView1->setHeaderLabels({QStringLiteral("MS Project File(s)")}); });
    g.step(134, [&] {
        ListView1->setColumnWidth(0, TwipsToPixels(0, 0, 7000, 0, logicalDpiX()).width());
    });
    g.step(152, [&] { CheckProjectInstalled(m_services.hosts, m_services.dialogs); });
}

void Form1::loadHandCursor() {
    m_handCursor = LoadCursorFile(programFile("HAND-M.CUR"));
    m_hasHandCursor = true;
}

QString Form1::programFile(const char* name) const {
    return QDir::toNativeSeparators(m_services.programFolder + QLatin1Char('/') +
                                    QLatin1String(name));
}

// ---- pointer and hover rule

void Form1::setPointer(Pointer pointer) {
    m_pointer = pointer;
    if (pointer == Pointer::Hourglass)
        setCursor(Qt::WaitCursor);
    else if (pointer == Pointer::Custom && m_hasHandCursor)
        setCursor(m_handCursor);
    else
        unsetCursor();
}

QList<QWidget*> Form1::backgroundControls() const {
    return {const_cast<Form1*>(this), Frame1, Frame2, Frame3, Text3, TabControl1,
            TabControl1->tabBar(), TabControl1->page(0), TabControl1->page(1)};
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
        if (auto* button = qobject_cast<QPushButton*>(hit); button && pushButtons().contains(button))
            Button_MouseMove();
        else if (backgroundControls().contains(hit))
            Background_MouseMove();
    }
    return QWidget::eventFilter(watched, event);
}

void Form1::Button_MouseMove() {
    if (m_pointer != Pointer::Hourglass) setPointer(Pointer::Custom);
}

void Form1::Background_MouseMove() {
    if (m_pointer != Pointer::Hourglass) setPointer(Pointer::Default);
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
