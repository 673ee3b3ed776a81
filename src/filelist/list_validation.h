#pragma once

#include <QString>

namespace quillmere {

class Dialogs;
class EntryList;
class ErrorReport;

// The extensions a project file may have. The test is whether the extension occurs anywhere in
// this text, letter case ignored (so "mp" and an empty extension pass too). Project XML is one
// of the formats Project itself reads and writes.
inline const QString kProjectExtensions = QStringLiteral("mpp,mpt,mpx,mpd,xml");

// True when the path's extension (the text after its last ".") occurs in kProjectExtensions.
bool HasProjectExtension(const QString& path);

// Offers to remove the entries that do not look like project files by their extension.
void ValidateListFiles(EntryList& list, Dialogs& dialogs, ErrorReport& report);

}  // namespace quillmere
