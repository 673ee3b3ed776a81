#pragma once

#include "account/file_account.h"

#include <QByteArray>
#include <QString>

namespace quillmere {

// The lines of the file account (account/file_account.h) as one JSON object each, compact, without
// the line break:
//   {"type":"file","source":..,"output":..,"status":"changed"|"unchanged"|"failed",
//    "changes":{"Name":3,..},"error":null|".."}   (a count the host cannot give is null)
//   {"type":"totals","files":N,"changed":C,"unchanged":U,"failed":F,"links_not_followed":L,
//    "dry_run":false}
QByteArray JsonLine(const FileResult& result);
QByteArray JsonTotalsLine(const RunTotals& totals, bool dryRun);

}  // namespace quillmere
