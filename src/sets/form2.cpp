#include "sets/form2.h"

#include "controls/command_button.h"
#include "controls/cursor_file.h"
#include "controls/form_colours.h"
#include "paths/path_routines.h"
#include "platform/dialogs.h"
#include "platform/failure.h"
#include "report/guard.h"
#include "report/locations.h"
#include "sets/text_file.h"
#include "settings/settings_keys.h"

#include <QEnterEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace quillmere {
namespace {

const QString kFormatHelp =
    QStringList{QStringLiteral("If the text file you are loading looks like this:"),
                QString(),
                QStringLiteral("hi::hello"),
                QStringLiteral("peter::pete"),
                QString(),
                QStringLiteral("then use :: as a Separator"),
                QString(),
                QStringLiteral("If the text file you are loading looks like this:"),
                QString(),
                QStringLiteral("hi,hello"),
                QStringLiteral("peter,pete"),
                QString(),
                QStringLiteral("then use , as a Separator"),
                QString(),
                QStringLiteral(
                    "NOTE: The 'Save Sets' feature in this software always saves in this format:"),
                QString(),
                QStringLiteral("hi::hello"),
                QStringLiteral("peter::pete")}
        .join(QLatin1String("\r\n"));

// The file box is trimmed of blanks only, not of other white space.
QString TrimBlanks(const QString& text) {
    qsizetype first = 0;
    qsizetype end = text.size();
    while (first < end && text[first] == QLatin1Char(' ')) ++first;
    while (end > first && text[end - 1] == QLatin1Char(' ')) --end;
    return text.mid(first, end - first);
}

QString NoPairsIn(const QString& file, const QString& separator) {
    return QStringLiteral("No sets were loaded from \"%1\": no line holds the separator \"%2\".")
        .arg(file, separator);
}

template <typename Control, typename... Args>
Control* Named(QWidget* parent, const char* name, Args&&... args) {
    auto* control = new Control(std::forward<Args>(args)..., parent);
    control->setObjectName(QLatin1String(name));
    return control;
}

}  // namespace

Form2::Form2(Services& services, ErrorReport& report, const SetControls& sets)
    : QDialog(sets.window), m_services(services), m_report(report), c(sets) {
    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(QStringLiteral("Load Sets"));
    createControls();
    watchHover();
    ConnectCommand(PushButton1, this, &Form2::PushButton1_Click);
    ConnectCommand(PushButton2, this, &Form2::PushButton2_Click);
    ConnectCommand(PushButton3, this, &Form2::PushButton3_Click);
    ConnectCommand(PushButton16, this, &Form2::PushButton16_Click);
    connect(Text2, &QLineEdit::textChanged, this, &Form2::Text2_Change);
}

Form2::~Form2() = default;

void Form2::createControls() {
    Label1 = {Named<QLabel>(this, "Label1", QStringLiteral("File To Load:")),
              Named<QLabel>(this, "Label1", QStringLiteral("Separator:"))};
    Text1 = Named<QLineEdit>(this, "Text1");
    Text1->setMinimumWidth(320);
    PushButton16 = Named<QPushButton>(this, "PushButton16", QStringLiteral("..."));
    Text2 = Named<QLineEdit>(this, "Text2");
    PushButton3 = Named<QPushButton>(this, "PushButton3", QStringLiteral("?"));
    PushButton1 = Named<QPushButton>(this, "PushButton1", QStringLiteral("Load"));
    PushButton2 = Named<QPushButton>(this, "PushButton2", QStringLiteral("Cancel"));
    auto* grid = new QGridLayout(this);
    grid->addWidget(Label1[0], 0, 0);
    grid->addWidget(Text1, 0, 1);
    grid->addWidget(PushButton16, 0, 2);
    grid->addWidget(Label1[1], 1, 0);
    grid->addWidget(Text2, 1, 1);
    grid->addWidget(PushButton3, 1, 2);
    auto* commands = new QHBoxLayout;
    commands->addWidget(PushButton1, 1);
    commands->addWidget(PushButton2, 1);
    grid->addLayout(commands, 2, 0, 1, 3);
    grid->setSizeConstraint(QLayout::SetFixedSize);
    for (int i = 0; i < 2; ++i) Label1[i]->setBuddy(i == 0 ? Text1 : Text2);
    Text1->setAccessibleName(Label1[0]->text());
    Text2->setAccessibleName(Label1[1]->text());
    for (QPushButton* button : pushButtons()) {
        // Return in a text box presses nothing, as no button is the default.
        button->setAutoDefault(false);
        button->setAccessibleName(button->text());
    }
    PushButton16->setAccessibleName(QStringLiteral("Browse for the file to load"));
    PushButton3->setAccessibleName(QStringLiteral("Separator help"));
}

QList<QPushButton*> Form2::pushButtons() const {
    return {PushButton16, PushButton3, PushButton1, PushButton2};
}

// ---- the pointer: the hand over the buttons, the arrow elsewhere, unless the hourglass shows

void Form2::watchHover() {
    QList<QWidget*> watched{this, Label1[0], Label1[1]};
    for (QPushButton* button : pushButtons()) watched << button;
    for (QWidget* widget : watched) {
        widget->setMouseTracking(true);
        widget->installEventFilter(this);
    }
}

bool Form2::eventFilter(QObject* watched, QEvent* event) {
    if ((event->type() == QEvent::MouseMove || event->type() == QEvent::Enter) &&
        !c.pointer->busy()) {
        const QPointF global = static_cast<QSinglePointEvent*>(event)->globalPosition();
        QWidget* hit = childAt(mapFromGlobal(global.toPoint()));
        auto* button = qobject_cast<QPushButton*>(hit);
        if (button && pushButtons().contains(button))
            m_pointer.set(WindowPointer::Shape::Custom);
        else if (!hit || hit == Label1[0] || hit == Label1[1])
            m_pointer.set(WindowPointer::Shape::Default);
    }
    return QDialog::eventFilter(watched, event);
}

// ---- opening and the separator box

void Form2::Form_Load() {
    Guard g(m_report, locations::kLoadSetsOpen);
    const QString hand = ProgramFile(m_services, "HAND-M.CUR");
    g.step(100, [&] { ApplyFormColours(*this); });
    g.step(102, [&] { setWindowIcon(c.window->windowIcon()); });
    if (g.test(104, [&] { return FileExists(m_services.files, hand); }))
        g.step(106, [&] { m_pointer.setHand(LoadCursorFile(hand)); });
    // Filling the box is a change of its text, which stores the value straight back.
    g.step(106, [&] { Text2->setText(ReadSetting(m_services.settings, settings::kSeparator)); });
}

void Form2::Text2_Change() {
    try {
        WriteSetting(m_services.settings, settings::kSeparator, Text2->text());
    } catch (const Failure&) {
        // The box has no report of its own; Load reads the box, not the store, so only the
        // next opening's value is lost.
    }
}

// ---- the buttons

void Form2::PushButton16_Click() {
    Guard g(m_report, locations::kLoadSetsBrowse);
    // 100 to 104: no file name, the title and the one choice.
    QString chosen;
    g.step(106, [&] {
        chosen = m_services.dialogs.openFiles({QStringLiteral("Select Text File"),
                                               QString(),
                                               {QStringLiteral("Text Files (*.txt)")},
                                               false});
    });
    if (g.test(108, [&] { return !chosen.isEmpty(); }))
        g.step(110, [&] { Text1->setText(chosen); });
}

void Form2::PushButton3_Click() {
    Guard g(m_report, locations::kLoadSetsHelp);
    g.step(100, [&] { m_services.dialogs.inform(kFormatHelp); });
}

void Form2::PushButton2_Click() {
    Guard g(m_report, locations::kLoadSetsCancel);
    g.step(100, [&] { reject(); });
}

void Form2::PushButton1_Click() {
    Guard g(m_report, locations::kLoadSetsLoad);
    if (g.test(100, [&] { return !Text2->text().isEmpty(); })) {
        if (!g.test(102, [&] { return !TrimBlanks(Text1->text()).isEmpty(); })) return;
        if (g.test(104, [&] { return FileMatches(m_services.files, Text1->text()); })) {
            loadPairs(g);
            return;
        }
        g.step(128,
               [&] { m_services.dialogs.inform(Text1->text() + QLatin1String(" not found.")); });
        return;
    }
    g.step(130, [&] {
        m_services.dialogs.inform(QStringLiteral("You must enter separating character(s)."));
    });
}

void Form2::loadPairs(Guard& g) {
    // The pairs of the lines that hold the separator, in file order.
    QList<SetPair> pairs;
    const bool read =
        g.step(106, [&] { pairs = ReadSetFile(m_services.files, Text1->text(), Text2->text()); });
    // 108 to 124: each pair into the lists.
    for (const SetPair& pair : pairs) {
        // A full list takes no more: one report, and the rest of the file is left.
        if (!g.step(120, [&] { AppendFind(c, pair.find); }) && SetListIsFull(c)) break;
        g.step(122, [&] { AppendReplacement(c, pair.replacement); });
    }
    // Closing alone would look like a load that worked. A file that could not be read has had
    // its report already.
    if (read && pairs.isEmpty())
        g.step(126, [&] { m_services.dialogs.inform(NoPairsIn(Text1->text(), Text2->text())); });
    g.step(126, [&] { accept(); });
}

}  // namespace quillmere
