#pragma once

#include "paths/path_routines.h"

#include "platform/file_system.h"

#include <QHash>
#include <QSet>
#include <QStringList>

#include <functional>

namespace quillmere {

class EntryList;
class ErrorReport;
class EventLoop;

// What the folder walk works with: the file system, the yields that keep the window
// responsive, the report of its failures, and the path style.
struct WalkContext {
    FileSystem& files;
    EventLoop& events;
    ErrorReport& report;
    PathStyle style = kNativePathStyle;
    // While a folder import walks, each folder is read once: the files matching the import's
    // pattern are kept here, by folder, as the walk reads the subfolders.
    QString filePattern = {};
    QHash<QString, QList<FoundEntry>>* filesByFolder = nullptr;
    // The chosen folder with every link resolved: a folder link is followed only when it leads
    // to this folder or below it.
    QString root = {};
    // A missing folder, one the user may not read, or one whose path is too long to walk is left
    // out without a word (the window's way); set, each is reported like any other failure to
    // read a folder.
    bool reportMissing = false;
    // Besides, a folder left out for its name (a character that is not text, a control character
    // or "?") is reported. takesFile, when set, says which of the files whose names are not text
    // the walk's caller would take; only those are reported.
    std::function<bool(const QString&)> takesFile = {};
    // Where the import puts each file link it did not follow: one that leads out of the chosen
    // folder through a link of another user (see FileSystem::passesOthersLink).
    QStringList* linksNotFollowed = nullptr;
};

// Control characters, the range 127 to 159 and "?" make a name unreadable. Letters of any
// script are read: names are opened by their Unicode text.
bool HasUnreadableCharacters(const QString& name);

// The names of the openable files of folder that match the wildcard pattern, in the order of the
// directory search (which opens each as it goes). A pattern naming a path (a separator or "..")
// matches nothing, so the search never leaves the folder.
QStringList ListFolderFiles(FileSystem& files, const QString& folder, const QString& pattern,
                            PathStyle style = kNativePathStyle);

// Extends folderList (folders ending in a separator) breadth-first with their subfolders, all
// levels deep when recurse is set. Hidden system folders, names that are too long or unreadable,
// links that lead out of context.root, and folders already reached (through a link back into
// the tree) are left out. A folder that cannot be listed leaves folderList; unless it is
// missing or access is denied, that is reported. So is each entry whose name the system cannot
// give as text, with its folder. visited holds the identities of the folders
// reached so far.
void GetSubDirectories2016(const WalkContext& context, QStringList& folderList, bool recurse,
                           QSet<QString>& visited);

// Appends every file of startFolder and its subfolders that matches the pattern, except names
// beginning with "~", files whose attributes are exactly archive and hidden, and links that lead
// out of startFolder through a link of another user, who may have aimed them where only this
// program may read. A pattern naming a path matches nothing.
void AddFolderTree(const WalkContext& context, EntryList& list, const QString& startFolder,
                   const QString& pattern);

}  // namespace quillmere
