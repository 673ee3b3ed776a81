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

    QDateTime modificationTime(const QString& path) override;
    quint32 attributes(const QString& path) override;
    void deleteFile(const QString& path) override;
    void deleteFileForced(const QString& path) override;
    void checkDeletable(const QString& path) override;
    bool sameFile(const QString& a, const QString& b) override;
    QString identity(const QString& path) override;
    // The fake has no links: a path's canonical form is the node's path as written.
    QString canonicalPath(const QString& path) override;
    bool passesOthersLink(const QString&) override { return false; }
    QString desktopFolder() override { return {}; }
    QString homeFolder() override { return {}; }
    FolderListing list(const QString& folder, const QString& filePattern) override;
    bool isRootFolder(const QString& path) override;

  private:
    struct Node {
        quint32 attributes;
        std::optional<long> listFailure;
    };
    static QString Key(const QString& path);
    const Node& node(const QString& path) const;
    QList<FoundEntry> children(const QString& folder, bool folders) const;

    QMap<QString, Node> m_nodes;     // by lower-case key without a trailing backslash
    QMap<QString, QString> m_names;  // key -> path as written
};

}  // namespace quillmere::testing
