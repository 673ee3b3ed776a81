#pragma once

#include "platform/file_system.h"

#include <QMap>

#include <optional>

namespace quillmere::testing {

// An in-memory file system with Windows paths ("C:\a\b.mpp"), for what Linux cannot produce:
// system attributes, drive roots, and folders whose listing fails with a chosen error.
class FakeFileSystem : public FileSystem {
  public:
    void addFolder(const QString& path, quint32 attributes = attr::kDirectory,
                   std::optional<long> listFailure = std::nullopt);
    void addFile(const QString& path, quint32 attributes = attr::kArchive);
    // A symbolic link to target, made by this user or the administrator unless byOtherUser.
    void addLink(const QString& path, const QString& target, bool byOtherUser = false);

    QDateTime modificationTime(const QString& path) override;
    quint32 attributes(const QString& path) override;
    void deleteFile(const QString& path) override;
    void deleteFileForced(const QString& path) override;
    void checkDeletable(const QString& path) override;
    bool sameFile(const QString& a, const QString& b) override;
    QString identity(const QString& path) override;
    // The node's path as written, at the end of its links; links are met only as the last part.
    QString canonicalPath(const QString& path) override;
    bool passesOthersLink(const QString& path) override;
    QString desktopFolder() override { return {}; }
    QString homeFolder() override { return {}; }
    FolderListing list(const QString& folder, const QString& filePattern) override;
    bool isRootFolder(const QString& path) override;

  private:
    struct Node {
        quint32 attributes;
        std::optional<long> listFailure;
        QString linkTarget = {};  // a key
        bool byOtherUser = false;
    };
    static QString Key(const QString& path);
    const Node& node(const QString& path) const;
    // The key at the end of path's links; empty for a missing node.
    QString finalKey(const QString& path) const;
    QList<FoundEntry> children(const QString& folder, bool folders) const;

    QMap<QString, Node> m_nodes;     // by lower-case key without a trailing backslash
    QMap<QString, QString> m_names;  // key -> path as written
};

}  // namespace quillmere::testing
