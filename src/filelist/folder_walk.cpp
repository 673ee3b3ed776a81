#include "filelist/folder_walk.h"

#include "filelist/entry_list.h"
#include "platform/event_loop.h"
#include "platform/failure.h"
#include "platform/file_system.h"
#include "report/guard.h"
#include "report/locations.h"

namespace quillmere {
namespace {

const int kLongestPath = 260;
// The walk's step that lists a folder.
const int kListingStep = 112;
const quint32 kHiddenSystemFolder = attr::kDirectory | attr::kSystem | attr::kHidden;  // 22
const quint32 kHiddenSystemLink = kHiddenSystemFolder | attr::kReparsePoint;           // 1046
const quint32 kHiddenArchive = attr::kArchive | attr::kHidden;                         // 34

// A root is always walked; any other folder unless it is a hidden system folder.
bool IsWalkable(FileSystem& files, const QString& folder) {
    if (files.isRootFolder(folder)) return true;
    const quint32 bits = files.attributes(folder);
    return bits != kHiddenSystemFolder && bits != kHiddenSystemLink;
}

bool IsListableName(const QString& name) {
    return name.size() < kLongestPath && !HasUnreadableCharacters(name) &&
           !name.contains(QLatin1Char('?')) && name != QLatin1String(".") &&
           name != QLatin1String("..");
}

// A pattern naming a path (a separator or "..") could make the search leave the folder.
bool NamesAPath(const QString& pattern) {
    return pattern.contains(QLatin1Char('/')) || pattern.contains(QLatin1Char('\\')) ||
           pattern.contains(QLatin1String(".."));
}

// True when the folder or file at path, a link, leads to the chosen folder or below it.
bool LeadsInside(const WalkContext& c, const QString& path) {
    const QString target = c.files.canonicalPath(path);
    if (target.isEmpty() || c.root.isEmpty()) return false;
    const Qt::CaseSensitivity cs =
        c.style == PathStyle::Windows ? Qt::CaseInsensitive : Qt::CaseSensitive;
    QString inside = c.root;
    if (!inside.endsWith(Separator(c.style))) inside += Separator(c.style);
    return target.compare(c.root, cs) == 0 || target.startsWith(inside, cs);
}

// A file link that leads out of the chosen folder through another user's link: that user may have
// aimed it at what only this program may read, and its result would be theirs to read.
bool IsOthersLinkOut(const WalkContext& c, const FoundEntry& file, const QString& path) {
    return (file.attributes & attr::kReparsePoint) && !LeadsInside(c, path) &&
           c.files.passesOthersLink(path);
}

// Missing folders and folders the user may not read are part of any live tree; the walk drops
// them without a word.
bool IsExpectedListingFailure(long number) {
    return number == errors::kPermissionDenied || number == errors::kPathNotFound ||
           number == errors::kFileNotFound;
}

// The window leaves such a folder out without a word; a script must hear of it.
void ReportUnlistable(const WalkContext& c, const QString& folder) {
    c.report.show(QStringLiteral("%1 was left out: a folder whose name holds a control character "
                                 "or \"?\" is not walked.")
                      .arg(folder),
                  locations::kFolderWalk, 118);
}

// The subfolders of one folder, appended to newList. A folder that cannot be listed leaves the
// walk; unless it is missing or access is denied, the failure goes on to the caller's report.
void ListSubfolders(const WalkContext& c, Guard& g, const QString& v, QStringList& folderList,
                    QStringList& newList, QSet<QString>& visited) {
    FolderListing listing;
    try {
        listing = c.files.list(v, c.filePattern);
    } catch (const Failure& failure) {
        folderList.removeOne(v);
        if (IsExpectedListingFailure(failure.number()) && !c.reportMissing) return;
        throw;
    }
    if (c.filesByFolder) c.filesByFolder->insert(v, listing.files);
    // Such an entry would not open; the walk cannot take it, so it says so.
    QStringList unreadable = listing.unreadableFolders;
    for (const QString& name : listing.unreadable)
        if (!c.takesFile || c.takesFile(v + name)) unreadable << name;
    for (const QString& name : std::as_const(unreadable)) {
        c.report.show(v + name + QStringLiteral(" was left out: its name is not valid UTF-8 text."),
                      locations::kFolderWalk, kListingStep);
    }
    for (const FoundEntry& entry : listing.folders) {
        g.step(114, [&] { c.events.doEvents(); });
        if (!g.test(118, [&] { return IsListableName(entry.name); })) {
            if (c.reportMissing) ReportUnlistable(c, v + entry.name);
            continue;
        }
        const QString sub = v + entry.name + Separator(c.style);
        // A link out of the chosen folder may lead anywhere, up to the whole file system.
        if ((entry.attributes & attr::kReparsePoint) && !LeadsInside(c, sub)) continue;
        // A link back into the tree would list the same files again and again.
        if (!entry.identity.isEmpty() && visited.contains(entry.identity)) continue;
        visited.insert(entry.identity);
        g.step(120, [&] { newList << sub; });
    }
}

// The window leaves such a folder out without a word; a script must hear of it.
void ReportTooLong(const WalkContext& c, const QString& folder) {
    c.report.show(QStringLiteral("%1 was left out: a folder whose path, with its separator, "
                                 "reaches %2 characters is not walked.")
                      .arg(folder.left(folder.size() - 1))
                      .arg(kLongestPath),
                  locations::kFolderWalk, 106);
}

}  // namespace

bool HasUnreadableCharacters(const QString& name) {
    for (const QChar c : name) {
        const char16_t code = c.unicode();
        if (code < 32 || (code >= 127 && code <= 159) || code == u'?') return true;
    }
    return false;
}

namespace {

// The openable files of folder matching the pattern, with their attributes.
QList<FoundEntry> FolderFiles(FileSystem& files, const QString& folder, const QString& pattern,
                              PathStyle style) {
    if (NamesAPath(pattern)) return {};
    QString base = folder;
    if (!base.endsWith(Separator(style))) base += Separator(style);
    return files.list(base, pattern).files;
}

// The paths of the folder's files that the import takes; the links it does not follow are noted.
QStringList TakenFiles(const WalkContext& c, const QString& folder,
                       const QList<FoundEntry>& files) {
    QStringList paths;
    for (const FoundEntry& file : files) {
        if (file.name.startsWith(QLatin1Char('~')) || file.attributes == kHiddenArchive) continue;
        const QString path = NormalizePath(folder + Separator(c.style) + file.name, c.style);
        if (!IsOthersLinkOut(c, file, path))
            paths << path;
        else if (c.linksNotFollowed)
            *c.linksNotFollowed << path;
    }
    return paths;
}

}  // namespace

QStringList ListFolderFiles(FileSystem& files, const QString& folder, const QString& pattern,
                            PathStyle style) {
    QStringList names;
    for (const FoundEntry& entry : FolderFiles(files, folder, pattern, style)) names << entry.name;
    return names;
}

void GetSubDirectories2016(const WalkContext& c, QStringList& folderList, bool recurse,
                           QSet<QString>& visited) {
    Guard g(c.report, locations::kFolderWalk);
    QStringList newList;
    g.step(100, [&] { newList.clear(); });
    const QStringList snapshot = folderList;
    for (const QString& v : snapshot) {
        if (!g.test(104, [&] { return FolderExists(c.files, v); })) continue;
        if (!g.test(106, [&] { return v.size() < kLongestPath; })) {
            if (c.reportMissing) ReportTooLong(c, v);
            continue;
        }
        g.step(108, [&] { c.events.doEvents(); });
        if (!g.test(110, [&] { return IsWalkable(c.files, v); })) continue;
        g.step(kListingStep, [&] { ListSubfolders(c, g, v, folderList, newList, visited); });
    }
    if (g.test(122, [&] { return recurse && !newList.isEmpty(); }))
        g.step(124, [&] { GetSubDirectories2016(c, newList, true, visited); });
    for (const QString& w : newList) {
        if (!g.test(128, [&] { return FolderExists(c.files, w); })) continue;
        g.step(130, [&] { c.events.doEvents(); });
        if (g.test(132, [&] { return IsWalkable(c.files, w); }))
            g.step(134, [&] { folderList << w; });
    }
}

void AddFolderTree(const WalkContext& c, EntryList& list, const QString& startFolder,
                   const QString& pattern) {
    if (NamesAPath(pattern)) return;
    const QChar separator = Separator(c.style);
    QStringList folderList{startFolder + separator};
    QSet<QString> visited{c.files.identity(startFolder)};
    QHash<QString, QList<FoundEntry>> filesByFolder;
    WalkContext walk = c;
    walk.filePattern = pattern;
    walk.filesByFolder = &filesByFolder;
    walk.root = c.files.canonicalPath(startFolder);
    GetSubDirectories2016(walk, folderList, true, visited);
    for (const QString& item : folderList) {
        const QString folder = item.left(item.size() - 1);
        QList<FoundEntry> files;
        try {
            const auto read = filesByFolder.constFind(item);
            files = read != filesByFolder.cend() ? *read
                                                 : FolderFiles(c.files, folder, pattern, c.style);
        } catch (const Failure& failure) {
            // A folder that cannot be read adds nothing; an unexpected reason is reported as
            // the walk's own listing reports it.
            if (!IsExpectedListingFailure(failure.number()) || c.reportMissing)
                c.report.show(failure.description(), locations::kFolderWalk, kListingStep);
            continue;
        }
        const QStringList paths = TakenFiles(walk, folder, files);
        if (!paths.isEmpty()) list.append(paths);
    }
}

}  // namespace quillmere
