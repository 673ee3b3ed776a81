#include "shell/window_dressing.h"

#include "platform/dialogs.h"
#include "platform/failure.h"
#include "platform/file_system.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QWidget>

namespace quillmere {
namespace {

bool IsOrdinaryFile(FileSystem& files, const QString& path) {
    try {
        const quint32 bits = files.attributes(path);
        return (bits & (attr::kDirectory | attr::kHidden | attr::kSystem)) == 0;
    } catch (const std::exception&) {
        return false;
    }
}

QByteArray ReadWhole(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw Failure(errors::kFileNotFound, file.errorString() + QStringLiteral(": ") + path);
    return file.readAll();
}

// Qt would take a relative url() of the sheet from the working folder, which need not be the
// program's: such a url names a file in the skin's own folder.
QString WithUrlsFrom(const QString& sheet, const QString& folder) {
    const QRegularExpression url(QStringLiteral(R"(url\(\s*(["']?)([^"')]+)\1\s*\))"));
    QString resolved;
    qsizetype done = 0;
    for (const QRegularExpressionMatch& m : url.globalMatch(sheet)) {
        const QString file = m.captured(2);
        if (file.startsWith(QLatin1Char(':')) || !QDir::isRelativePath(file)) continue;
        resolved += QStringView(sheet).mid(done, m.capturedStart() - done);
        // A quote or backslash in the folder's name is escaped, as in any string of a sheet.
        QString path = QDir(folder).filePath(file);
        path.replace(QLatin1Char('\\'), QLatin1String("\\\\"))
            .replace(QLatin1Char('"'), QLatin1String("\\\""));
        resolved += QStringLiteral("url(\"%1\")").arg(path);
        done = m.capturedEnd();
    }
    resolved += QStringView(sheet).mid(done);
    return resolved;
}

}  // namespace

void ApplySkin(QWidget& form, FileSystem& files, const QString& programFolder) {
    const QString path = QDir::toNativeSeparators(programFolder + QStringLiteral("/x/o.cjs"));
    if (!IsOrdinaryFile(files, path)) return;
    ApplyFormColours(form);
    form.setStyleSheet(
        WithUrlsFrom(QString::fromUtf8(ReadWhole(path)), programFolder + QStringLiteral("/x")));
}

QString ApplicationTitle(const QString& productName) {
    QString title = productName;
    while (title.size() > 40) {
        const qsizetype blank = title.lastIndexOf(QLatin1Char(' '));
        // A long name without a blank cannot be cut any further.
        if (blank < 0) break;
        title.truncate(blank);
    }
    return title;
}

void SetApplicationTitle(Dialogs& dialogs, const QString& productName) {
    dialogs.setApplicationTitle(ApplicationTitle(productName));
}

}  // namespace quillmere
