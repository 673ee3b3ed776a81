#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>

namespace quillmere {

// Windows attribute bits, which the program's routines are written against. On POSIX they are
// mapped: directory and archive (regular file) from the file type, hidden for a name starting
// with ".", reparse point for a symbolic link, read-only when the owner may not write, system
// never.
namespace attr {
inline constexpr quint32 kReadOnly = 1;
inline constexpr quint32 kHidden = 2;
inline constexpr quint32 kSystem = 4;
inline constexpr quint32 kDirectory = 16;
inline constexpr quint32 kArchive = 32;
// Not a file to read: a pipe, a socket or a device (POSIX only).
inline constexpr quint32 kDevice = 64;
inline constexpr quint32 kReparsePoint = 1024;
}  // namespace attr

// One entry of a folder listing, with what the search found out about it on the way.
struct FoundEntry {
    QString name;
    quint32 attributes = 0;
    QString identity;  // as identity() gives it
};

struct FolderListing {
    QList<FoundEntry> folders;
    QList<FoundEntry> files;
    // The subfolders, and the files the pattern would take, whose names the system cannot give
    // as text, as EscapedName shows them, sorted.
    QStringList unreadableFolders;
    QStringList unreadable;
};

// A name or path in the system's bytes, as text: UTF-8 as it reads, each byte that is not part
// of a valid UTF-8 sequence as \xNN.
QString EscapedName(QByteArrayView bytes);

// The file-system primitives the program's routines are built on. Every call either gives its
// answer or throws Failure with the system's description.
class FileSystem {
  public:
    virtual ~FileSystem() = default;
    virtual QDateTime modificationTime(const QString& path) = 0;
    virtual quint32 attributes(const QString& path) = 0;
    // The ordinary deletion, which refuses a read-only file.
    virtual void deleteFile(const QString& path) = 0;
    // Deletion that removes a read-only file too.
    virtual void deleteFileForced(const QString& path) = 0;
    // Throws the Failure that deleteFileForced would throw for the existing entry, without
    // deleting anything.
    virtual void checkDeletable(const QString& path) = 0;
    // True when both paths name one existing file (through another spelling, letter case, a
    // link); false when either does not exist or cannot be examined.
    virtual bool sameFile(const QString& a, const QString& b) = 0;
    // An identity of the file or folder a path reaches, the same for every path to it (links
    // followed); empty when it cannot be examined.
    virtual QString identity(const QString& path) = 0;
    // The absolute path with every link resolved and no "." or ".." parts, no trailing separator
    // but at a root; empty when the path cannot be resolved. Never fails.
    virtual QString canonicalPath(const QString& path) = 0;
    // True when the way from path to what it reaches passes a symbolic link (path itself, or one
    // met on the way from it) owned by neither the user the program runs as nor the
    // administrator: another user may have aimed it where only this program may read. The links
    // of the path's folder are not judged. True as well when the way cannot be followed.
    virtual bool passesOthersLink(const QString& path) = 0;
    // The current user's desktop folder without a trailing separator; empty when the system
    // knows none.
    virtual QString desktopFolder() = 0;
    // The current user's home folder, without a trailing separator.
    virtual QString homeFolder() = 0;

    // One read of a folder: its subfolders, and its files that open as files and match a
    // wildcard pattern ("*" and "?", letter case ignored; an empty pattern matches none), hidden
    // and system ones included; each sorted ignoring case. A name that the system cannot give as
    // text would not open: it goes to unreadable instead. Throws Failure (70 permission denied, 76
    // path not found, ...) when the folder cannot be read.
    virtual FolderListing list(const QString& folder, const QString& filePattern) = 0;
    // True for the root of a file system or drive.
    virtual bool isRootFolder(const QString& path) = 0;
};

// Windows directory-search matching: "*" any run, "?" one character, letter case ignored;
// "*.*" matches every name.
bool WildcardMatch(QStringView pattern, QStringView name);

// The operating system's file system.
class NativeFileSystem : public FileSystem {
  public:
    QDateTime modificationTime(const QString& path) override;
    quint32 attributes(const QString& path) override;
    void deleteFile(const QString& path) override;
    void deleteFileForced(const QString& path) override;
    void checkDeletable(const QString& path) override;
    bool sameFile(const QString& a, const QString& b) override;
    QString identity(const QString& path) override;
    QString canonicalPath(const QString& path) override;
    bool passesOthersLink(const QString& path) override;
    QString desktopFolder() override;
    QString homeFolder() override;
    FolderListing list(const QString& folder, const QString& filePattern) override;
    bool isRootFolder(const QString& path) override;
};

}  // namespace quillmere
