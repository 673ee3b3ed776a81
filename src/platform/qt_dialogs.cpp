#include "platform/qt_dialogs.h"

#include "platform/event_loop.h"
#include "platform/failure.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QMessageBox>

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

Answer QtDialogs::message(const Message& message) {
    checkEnding();
    QMessageBox box(
        message.icon == MessageIcon::Warning ? QMessageBox::Warning : QMessageBox::NoIcon,
        message.caption, DisplayText(message.text), QMessageBox::NoButton,
        QApplication::activeWindow());
    // The plain text format keeps "<" and "&" from a file name as they are.
    box.setTextFormat(Qt::PlainText);
    if (message.buttons == MessageButtons::YesNo) {
        box.addButton(QMessageBox::Yes);
        box.addButton(QMessageBox::No);
        box.setDefaultButton(QMessageBox::Yes);
    } else {
        box.addButton(QMessageBox::Ok);
    }
    const int result = box.exec();
    checkEnding();
    if (message.buttons == MessageButtons::Ok) return Answer::Ok;
    return result == QMessageBox::Yes ? Answer::Yes : Answer::No;
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
    const QStringList chosen =
        QFileDialog::getOpenFileNames(QApplication::activeWindow(), request.title,
                                      request.initialFolder, request.filters.join(";;"));
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

}  // namespace quillmere
