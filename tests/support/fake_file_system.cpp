#include "support/fake_file_system.h"

#include "platform/failure.h"

namespace quillmere::testing {

QString FakeFileSystem::Key(const QString& path) {
    QString key = path.toLower();
    // Like Windows, the fake reads a doubled separator as one.
    while (key.contains(QLatin1String("\\\\")))
        key.replace(QLatin1String("\\\\"), QLatin1String("\\"));
    while (key.endsWith(QLatin1Char('\\')) && key.size() > 2) key.chop(1);
    if (key.size() == 3 && key.endsWith(QLatin1String(":\\"))) key.chop(1);
    return key;
}

void FakeFileSystem::addFolder(const QString& path, quint32 attributes,
                               std::optional<long> listFailure) {
    m_nodes[Key(path)] = {attributes | attr::kDirectory, listFailure};
    m_names[Key(path)] = path;
}

void FakeFileSystem::addFile(const QString& path, quint32 attributes) {
    m_nodes[Key(path)] = {attributes, std::nullopt};
    m_names[Key(path)] = path;
}

const FakeFileSystem::Node& FakeFileSystem::node(const QString& path) const {
    const auto found = m_nodes.constFind(Key(path));
    if (found == m_nodes.cend() || path.isEmpty())
        throw Failure(errors::kFileNotFound, QStringLiteral("File not found: ") + path);
    return *found;
}

QDateTime FakeFileSystem::modificationTime(const QString& path) {
    node(path);
    return QDateTime::fromSecsSinceEpoch(0);
}

quint32 FakeFileSystem::attributes(const QString& path) {
    return node(path).attributes;
}

void FakeFileSystem::deleteFile(const QString& path) {
    if (node(path).attributes & attr::kReadOnly)
        throw Failure(errors::kPathFileAccess, QStringLiteral("Path/File access error"));
    m_nodes.remove(Key(path));
}

void FakeFileSystem::deleteFileForced(const QString& path) {
    node(path);
    m_nodes.remove(Key(path));
}

void FakeFileSystem::checkDeletable(const QString& path) {
    if (node(path).attributes & attr::kDirectory)
        throw Failure(errors::kPathFileAccess, QStringLiteral("Path/File access error"));
}

bool FakeFileSystem::sameFile(const QString& a, const QString& b) {
    return m_nodes.contains(Key(a)) && Key(a) == Key(b);
}

QString FakeFileSystem::identity(const QString& path) {
    return m_nodes.contains(Key(path)) ? Key(path) : QString();
}

QString FakeFileSystem::canonicalPath(const QString& path) {
    return m_nodes.contains(Key(path)) ? m_names.value(Key(path)) : QString();
}

QList<FoundEntry> FakeFileSystem::children(const QString& folder, bool folders) const {
    const QString prefix = Key(folder) + QLatin1Char('\\');
    QList<FoundEntry> names;
    for (auto it = m_nodes.cbegin(); it != m_nodes.cend(); ++it) {
        if (!it.key().startsWith(prefix) || it.key().mid(prefix.size()).contains(QLatin1Char('\\')))
            continue;
        if (bool(it->attributes & attr::kDirectory) != folders) continue;
        names.push_back({m_names[it.key()].mid(prefix.size()), it->attributes, it.key()});
    }
    return names;
}

FolderListing FakeFileSystem::list(const QString& folder, const QString& filePattern) {
    if (const auto failure = node(folder).listFailure)
        throw Failure(*failure, QStringLiteral("Listing failed"));
    FolderListing listing{children(folder, true), {}, {}, {}};
    for (const FoundEntry& entry : children(folder, false))
        if (!filePattern.isEmpty() && WildcardMatch(filePattern, entry.name))
            listing.files.push_back(entry);
    return listing;
}

bool FakeFileSystem::isRootFolder(const QString& path) {
    const QString key = Key(path);
    return key.size() == 2 && key[1] == QLatin1Char(':');
}

}  // namespace quillmere::testing
