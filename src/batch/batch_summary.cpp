#include "batch/batch_summary.h"

#include "host/host.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace quillmere {
namespace {

QByteArray Compact(const QJsonObject& object) {
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

}  // namespace

QByteArray JsonLine(const FileResult& result) {
    QJsonObject changes;
    for (const FieldChanges& change : result.changes) {
        changes.insert(change.field,
                       change.count == kChangedUncounted ? QJsonValue() : QJsonValue(change.count));
    }
    const bool failed = result.status == FileResult::Status::Failed;
    return Compact({{"type", "file"},
                    {"source", result.source},
                    {"output", result.output},
                    {"status", StatusWord(result.status)},
                    {"changes", changes},
                    {"error", failed ? QJsonValue(result.failures.join(QStringLiteral("; ")))
                                     : QJsonValue()}});
}

QByteArray JsonTotalsLine(const RunTotals& totals, bool dryRun) {
    return Compact({{"type", "totals"},
                    {"files", totals.files()},
                    {"changed", totals.changed},
                    {"unchanged", totals.unchanged},
                    {"failed", totals.failed},
                    {"links_not_followed", totals.linksNotFollowed},
                    {"dry_run", dryRun}});
}

}  // namespace quillmere
