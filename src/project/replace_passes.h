#pragma once

#include <QString>

#include <functional>

namespace quillmere {

class ErrorReport;
class HostFactory;

// What a pass needs besides its arguments: the host, the error report, and the Match Case box,
// read again before every Replace call (0 unchecked, 1 checked, 2 grayed).
struct PassContext {
    HostFactory& hosts;
    ErrorReport& report;
    std::function<int()> matchCaseValue;
};

// Opens the source in a fresh host instance, replaces find by replacement in every field of
// the catalogue, saves under the output path and quits. Each failing step is reported and the
// pass goes on; it always returns normally.
void ReplaceByFileXY(const PassContext& context, const QString& sourcePath, const QString& find,
                     const QString& replacement, const QString& outputPath);

}  // namespace quillmere
