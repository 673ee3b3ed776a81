#include "filelist/list_validation.h"

#include "filelist/entry_list.h"
#include "paths/path_routines.h"
#include "platform/dialogs.h"
#include "report/guard.h"
#include "report/locations.h"

#include <vector>

namespace quillmere {

bool HasProjectExtension(const QString& path) {
    return kProjectExtensions.contains(GetExtension(path), Qt::CaseInsensitive);
}

void ValidateListFiles(EntryList& list, Dialogs& dialogs, ErrorReport& report) {
    Guard g(report, locations::kValidateListFiles);
    QString body;
    g.step(100, [&] { body.clear(); });
    if (g.endsIf(102, [&] { return list.count() == 0; })) return;
    // The first slot never receives a position; removal skips it.
    std::vector<int> positions;
    g.step(104, [&] { positions.assign(1, -1); });
    int count = 0;
    g.step(106, [&] { count = list.count(); });
    for (int position = 0; position < count; ++position) {
        QString text;
        QString extension;
        g.step(108, [&] { text = list.text(position); });
        g.step(110, [&] { extension = GetExtension(text); });
        if (g.test(112,
                   [&] { return !kProjectExtensions.contains(extension, Qt::CaseInsensitive); })) {
            g.step(114, [&] { body += text + QStringLiteral("\r\n"); });
            g.step(116, [&] { positions.push_back(-1); });
            g.step(118, [&] { positions.back() = position; });
        }
    }
    if (g.endsIf(122, [&] { return body.isEmpty(); })) return;
    const QString question =
        QStringLiteral("These files: \r\n\r\n") + body +
        QStringLiteral(
            "\r\ndo not appear to be in the expected file format because of their file "
            "extension.\r\n\r\nWould you like to remove them from list?");
    if (!g.test(124, [&] { return dialogs.ask(question); })) return;
    // Highest position first, so every remembered position still points at its entry.
    for (auto slot = positions.rbegin(); slot != positions.rend(); ++slot) {
        if (g.endsIf(128, [&] { return *slot < 0; })) continue;
        g.step(130, [&] { list.remove(*slot); });
    }
}

}  // namespace quillmere
