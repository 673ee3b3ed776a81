#pragma once

#include <QList>
#include <QString>
#include <QStringList>

namespace quillmere {

// What a field's Replace calls changed over all the pairs: the number of values (a value that
// two pairs change counts twice), or kChangedUncounted when the host could not count.
struct FieldChanges {
    QString field;
    int count = 0;
};

// What a run did to one file: its output, what changed, and the text of each failure.
struct FileResult {
    enum class Status { Changed, Unchanged, Failed };

    QString source;
    QString output;
    Status status = Status::Unchanged;
    QList<FieldChanges> changes;  // in the order the fields first changed
    QStringList failures;
    QStringList notes;  // why nothing may have changed, each once

    // Adds the answer of one Replace call.
    void addChanges(const QString& field, int count);
    void note(const QString& why) {
        if (!notes.contains(why)) notes << why;
    }
    // The status that the failures and changes give: failed, changed or unchanged.
    void settle();
};

// The files of a run by outcome.
struct RunTotals {
    int changed = 0;
    int unchanged = 0;
    int failed = 0;
    // Some results could not be synced to the disk at the end.
    bool unsynced = false;
    // File links of the walked trees that were not followed (filelist/folder_walk.h).
    int linksNotFollowed = 0;

    void add(const FileResult& result);
    int files() const { return changed + unchanged + failed; }
};

// The text with each control character (U+0000 to U+001F, U+007F to U+009F) as \xNN, so that
// a name holding a terminal's control sequence shows as what it is instead of acting on it.
QString ShownText(const QString& text);

// One line per file for a person, without the line break, shown with ShownText:
//   changed: SOURCE -> OUTPUT: Name 3, Notes 1     (a host that cannot count: "Name changed")
//   unchanged: SOURCE -> OUTPUT                    (with ": " and the notes, when there are any)
//   failed: SOURCE -> OUTPUT: the failures' texts, joined by "; "
QString SummaryLine(const FileResult& result);
// The last line: "N files: C changed, U unchanged, F failed" ("1 file: ..."), then
// "; L links not followed" when there were any, and "; dry run, nothing written".
QString TotalsLine(const RunTotals& totals, bool dryRun);
// The status as the lines say it: "changed", "unchanged" or "failed".
QString StatusWord(FileResult::Status status);

}  // namespace quillmere
