#include "platform/qt_dialogs.h"

#include "platform/event_loop.h"
#include "platform/failure.h"

#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QInputDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QStyle>
#include <QTextDocument>
#include <QTextEdit>

#include <algorithm>

namespace quillmere {

QString DisplayText(const QString& text) {
    QString shown = text;
    shown.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    shown.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return shown;
}

QString ClassicMultiSelect(const QStringList& paths) {
    if (paths.size() <= 1) return paths.value(0);
    const QString folder = QFileInfo(paths.first()).absolutePath();
    const bool oneFolder = std::all_of(paths.cbegin(), paths.cend(), [&](const QString& path) {
        return QFileInfo(path).absolutePath() == folder;
    });
    // Typed paths and recent places let the dialog return files of several folders: those keep
    // their full paths behind an empty folder piece.
    if (!oneFolder) return (QStringList{QString()} + paths).join(QChar(0));
    QStringList parts{QDir::toNativeSeparators(folder)};
    for (const QString& path : paths) parts << QFileInfo(path).fileName();
    return parts.join(QChar(0));
}

void QtDialogs::checkEnding() const {
    if (m_events.ending()) throw ProgramEnding{};
}

namespace {

// What a message box needs beside its text: title bar, margins and the row of buttons, with room
// to spare.
const int kMessageBoxChrome = 200;
// The widest a message box lets its text grow before it wraps it.
const int kMessageTextWidth = 500;

QRect AvailableGeometry(QWidget* parent) {
    QScreen* screen = parent ? parent->screen() : nullptr;
    return (screen ? screen : QGuiApplication::primaryScreen())->availableGeometry();
}

bool FitsOnScreen(const QString& shown, const QRect& available) {
    const QRect text = QFontMetrics(QApplication::font("QMessageBoxLabel"))
                           .boundingRect(QRect(0, 0, kMessageTextWidth, available.height() * 4),
                                         Qt::TextWordWrap, shown);
    return text.height() + kMessageBoxChrome <= available.height();
}

// Qt sizes a message box by its text alone, and a details area (one line per file of a run)
// shown later widens it to the right, off the screen: the box is as wide as the longest line
// from the start, within three quarters of the screen, and the area some fifteen lines high.
void SizeDetails(QMessageBox& box, const QString& details, const QRect& available) {
    auto* area = box.findChild<QTextEdit*>();
    auto* grid = qobject_cast<QGridLayout*>(box.layout());
    if (!area || !grid) return;
    const QFontMetrics metrics(area->font());
    int widest = 0;
    for (const QString& line : details.split(QLatin1Char('\n')))
        widest = qMax(widest, metrics.horizontalAdvance(line));
    const int chrome = 2 * area->frameWidth() + area->verticalScrollBar()->sizeHint().width() +
                       int(2 * area->document()->documentMargin()) + 8;
    grid->addItem(new QSpacerItem(qMin(widest + chrome, available.width() * 3 / 4), 0,
                                  QSizePolicy::Minimum, QSizePolicy::Minimum),
                  grid->rowCount(), 0, 1, grid->columnCount());
    area->setMinimumHeight(qMin(metrics.lineSpacing() * 15 + chrome, available.height() / 2));
}

// Qt's message box: true when Yes was chosen.
bool ShowMessageBox(const Message& message, const QString& shown, QWidget* parent,
                    const QRect& available) {
    QMessageBox box(
        message.icon == MessageIcon::Warning ? QMessageBox::Warning : QMessageBox::NoIcon,
        message.caption, shown, QMessageBox::NoButton, parent);
    // The plain text format keeps "<" and "&" from a file name as they are.
    box.setTextFormat(Qt::PlainText);
    if (!message.details.isEmpty()) {
        box.setDetailedText(message.details);
        SizeDetails(box, message.details, available);
    }
    if (message.buttons == MessageButtons::YesNo) {
        box.addButton(QMessageBox::Yes);
        box.addButton(QMessageBox::No);
        box.setDefaultButton(QMessageBox::Yes);
    } else {
        box.addButton(QMessageBox::Ok);
    }
    return box.exec() == QMessageBox::Yes;
}

QLabel* MessageIconLabel(const Message& message) {
    if (message.icon != MessageIcon::Warning) return nullptr;
    auto* icon = new QLabel;
    const int size = icon->style()->pixelMetric(QStyle::PM_MessageBoxIconSize);
    icon->setPixmap(icon->style()->standardIcon(QStyle::SP_MessageBoxWarning).pixmap(size, size));
    icon->setAlignment(Qt::AlignTop);
    return icon;
}

// The text of a message in a scrolling area as wide as its lines, within the screen.
QScrollArea* ScrollingText(const QString& shown, const QDialog& box, const QRect& available) {
    auto* text = new QLabel(shown);
    text->setTextFormat(Qt::PlainText);
    text->setAlignment(Qt::AlignTop | Qt::AlignLeft);
    text->setTextInteractionFlags(Qt::TextInteractionFlags(
        box.style()->styleHint(QStyle::SH_MessageBox_TextInteractionFlags, nullptr, &box)));
    auto* scroll = new QScrollArea;
    scroll->setWidget(text);
    scroll->setWidgetResizable(true);
    scroll->setMinimumWidth(qMin(text->sizeHint().width() +
                                     scroll->verticalScrollBar()->sizeHint().width() +
                                     2 * scroll->frameWidth(),
                                 available.width() * 3 / 4));
    return scroll;
}

// A message too tall for the screen (a question listing thousands of paths): the caption, text,
// icon and buttons of the message box, the text in a scrolling area, the box within the screen.
// True when Yes was chosen; Escape and closing the box answer No, as in the message box.
bool ShowScrollingMessage(const Message& message, const QString& shown, QWidget* parent,
                          const QRect& available) {
    QDialog box(parent);
    box.setWindowTitle(message.caption);
    const bool yesNo = message.buttons == MessageButtons::YesNo;
    auto* buttons = new QDialogButtonBox(yesNo ? QDialogButtonBox::Yes | QDialogButtonBox::No
                                               : QDialogButtonBox::Ok);
    QPushButton* yes = buttons->button(QDialogButtonBox::Yes);
    if (yes) yes->setDefault(true);
    QObject::connect(buttons, &QDialogButtonBox::clicked, &box, [&](QAbstractButton* button) {
        box.done(button == yes ? QDialog::Accepted : QDialog::Rejected);
    });
    auto* layout = new QGridLayout(&box);
    if (QLabel* icon = MessageIconLabel(message)) layout->addWidget(icon, 0, 0);
    layout->addWidget(ScrollingText(shown, box, available), 0, 1);
    layout->addWidget(buttons, 1, 0, 1, 2);
    // A tenth of the screen is left for the window's title bar.
    box.setMaximumHeight(available.height() * 9 / 10);
    box.resize(box.sizeHint().boundedTo(box.maximumSize()));
    return box.exec() == QDialog::Accepted;
}

}  // namespace

Answer QtDialogs::message(const Message& message) {
    checkEnding();
    QWidget* parent = QApplication::activeWindow();
    const QString shown = DisplayText(message.text);
    const QRect available = AvailableGeometry(parent);
    const bool yes = FitsOnScreen(shown, available)
                         ? ShowMessageBox(message, shown, parent, available)
                         : ShowScrollingMessage(message, shown, parent, available);
    checkEnding();
    if (message.buttons == MessageButtons::Ok) return Answer::Ok;
    return yes ? Answer::Yes : Answer::No;
}

std::optional<QString> QtDialogs::prompt(const QString& text, const QString& initial) {
    checkEnding();
    bool ok = false;
    const QString answer =
        QInputDialog::getText(QApplication::activeWindow(), applicationTitle(), DisplayText(text),
                              QLineEdit::Normal, initial, &ok);
    checkEnding();
    if (!ok) return std::nullopt;
    return answer;
}

QString QtDialogs::openFiles(const OpenFilesRequest& request) {
    checkEnding();
    QWidget* parent = QApplication::activeWindow();
    const QString filter = request.filters.join(";;");
    const QStringList chosen =
        request.multiSelect
            ? QFileDialog::getOpenFileNames(parent, request.title, request.initialFolder, filter)
            : QStringList{QFileDialog::getOpenFileName(parent, request.title, request.initialFolder,
                                                       filter)};
    checkEnding();
    QStringList native;
    for (const QString& path : chosen) native << QDir::toNativeSeparators(path);
    return ClassicMultiSelect(native);
}

QString QtDialogs::saveFile(const QString& title, const QString& initialPath,
                            const QString& filter) {
    checkEnding();
    const QString chosen =
        QFileDialog::getSaveFileName(QApplication::activeWindow(), title, initialPath, filter,
                                     nullptr, QFileDialog::DontConfirmOverwrite);
    checkEnding();
    return QDir::toNativeSeparators(chosen);
}

QString QtDialogs::browseFolder(const QString& prompt, const QString& initialFolder) {
    checkEnding();
    const QString chosen =
        QFileDialog::getExistingDirectory(QApplication::activeWindow(), prompt, initialFolder);
    checkEnding();
    return QDir::toNativeSeparators(chosen);
}

void QtDialogs::showModal(QDialog& window) {
    checkEnding();
    window.exec();
    checkEnding();
}

}  // namespace quillmere
