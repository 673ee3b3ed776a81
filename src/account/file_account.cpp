#include "account/file_account.h"

#include "host/host.h"

namespace quillmere {
namespace {

QString ChangesText(const QList<FieldChanges>& changes) {
    QStringList parts;
    for (const FieldChanges& change : changes) {
        parts << change.field + QLatin1Char(' ') +
                     (change.count == kChangedUncounted ? QStringLiteral("changed")
                                                        : QString::number(change.count));
    }
    return parts.join(QStringLiteral(", "));
}

}  // namespace

void FileResult::addChanges(const QString& field, int count) {
    if (count == 0) return;
    for (FieldChanges& known : changes) {
        if (known.field != field) continue;
        const bool counted = known.count != kChangedUncounted && count != kChangedUncounted;
        known.count = counted ? known.count + count : kChangedUncounted;
        return;
    }
    changes << FieldChanges{field, count};
}

void FileResult::settle() {
    if (!failures.isEmpty())
        status = Status::Failed;
    else if (!changes.isEmpty())
        status = Status::Changed;
    else
        status = Status::Unchanged;
}

void RunTotals::add(const FileResult& result) {
    switch (result.status) {
        case FileResult::Status::Changed:
            ++changed;
            break;
        case FileResult::Status::Failed:
            ++failed;
            break;
        default:
            ++unchanged;
    }
}

QString StatusWord(FileResult::Status status) {
    switch (status) {
        case FileResult::Status::Changed:
            return QStringLiteral("changed");
        case FileResult::Status::Failed:
            return QStringLiteral("failed");
        default:
            return QStringLiteral("unchanged");
    }
}

QString ShownText(const QString& text) {
    QString shown;
    shown.reserve(text.size());
    for (const QChar c : text) {
        const char16_t code = c.unicode();
        if (code < 0x20 || (code >= 0x7F && code <= 0x9F))
            shown +=
                QStringLiteral("\\x") + QString::number(code, 16).rightJustified(2, u'0').toUpper();
        else
            shown += c;
    }
    return shown;
}

QString SummaryLine(const FileResult& result) {
    QString line = StatusWord(result.status) + QStringLiteral(": ") + result.source +
                   QStringLiteral(" -> ") + result.output;
    if (result.status == FileResult::Status::Failed)
        line += QStringLiteral(": ") + result.failures.join(QStringLiteral("; "));
    else if (!result.changes.isEmpty())
        line += QStringLiteral(": ") + ChangesText(result.changes);
    else if (!result.notes.isEmpty())
        line += QStringLiteral(": ") + result.notes.join(QStringLiteral("; "));
    return ShownText(line);
}

QString TotalsLine(const RunTotals& totals, bool dryRun) {
    const int links = totals.linksNotFollowed;
    return QStringLiteral("%1 %2: %3 changed, %4 unchanged, %5 failed%6%7")
        .arg(totals.files())
        .arg(totals.files() == 1 ? QStringLiteral("file") : QStringLiteral("files"))
        .arg(totals.changed)
        .arg(totals.unchanged)
        .arg(totals.failed)
        .arg(links == 0   ? QString()
             : links == 1 ? QStringLiteral("; 1 link not followed")
                          : QStringLiteral("; %1 links not followed").arg(links))
        .arg(dryRun ? QStringLiteral("; dry run, nothing written") : QString());
}

}  // namespace quillmere
