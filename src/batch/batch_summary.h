#pragma once

#include "batch/batch_run.h"

#include <QByteArray>
#include <QString>

namespace quillmere {

// The files of a run by outcome.
struct BatchTotals {
    int changed = 0;
    int unchanged = 0;
    int failed = 0;
    // Some results could not be synced to the disk at the end.
    bool unsynced = false;

    void add(const FileResult& result);
    int files() const { return changed + unchanged + failed; }
};

// The text with each control character (U+0000 to U+001F, U+007F to U+009F) as \xNN, so that
// a name holding a terminal's control sequence shows as what it is instead of acting on the
// terminal.
QString ShownText(const QString& text);

// One line per file for a person, without the line break, shown with ShownText:
//   changed: SOURCE -> OUTPUT: Name 3, Notes 1     (a host that cannot count: "Name changed")
//   unchanged: SOURCE -> OUTPUT
//   failed: SOURCE -> OUTPUT: the failures' texts, joined by "; "
QString SummaryLine(const FileResult& result);
// The last line: "N files: C changed, U unchanged, F failed" ("1 file: ..."), and
// "; dry run, nothing written".
QString TotalsLine(const BatchTotals& totals, bool dryRun);

// The same as one JSON object each, compact, without the line break:
//   {"type":"file","source":..,"output":..,"status":"changed"|"unchanged"|"failed",
//    "changes":{"Name":3,..},"error":null|".."}   (a count the host cannot give is null)
//   {"type":"totals","files":N,"changed":C,"unchanged":U,"failed":F,"dry_run":false}
QByteArray JsonLine(const FileResult& result);
QByteArray JsonTotalsLine(const BatchTotals& totals, bool dryRun);

}  // namespace quillmere
