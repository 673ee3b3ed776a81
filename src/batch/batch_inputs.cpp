#include "batch/batch_inputs.h"

#include "batch/no_events.h"
#include "filelist/entry_list.h"
#include "filelist/folder_walk.h"
#include "filelist/list_validation.h"
#include "paths/path_routines.h"
#include "platform/file_system.h"

#include <QSet>

#include <functional>

namespace quillmere {
namespace {

// The run's files, each once. While wanted is set, only the paths it accepts are kept.
class InputList : public EntryList {
  public:
    explicit InputList(FileSystem& files) : m_files(files) {}

    int count() const override { return int(m_paths.size()); }
    QString text(int position) const override { return m_paths.at(position); }
    void append(const QStringList& paths) override {
        for (const QString& path : paths) {
            if (wanted && !wanted(path)) continue;
            const QString identity = m_files.identity(path);
            if (m_seen.contains(identity.isEmpty() ? path : identity)) continue;
            m_seen.insert(identity.isEmpty() ? path : identity);
            m_paths << path;
        }
    }
    void remove(int position) override { m_paths.removeAt(position); }
    const QStringList& paths() const { return m_paths; }

    std::function<bool(const QString&)> wanted;

  private:
    FileSystem& m_files;
    QStringList m_paths;
    QSet<QString> m_seen;
};

// Whether the file name's own extension (a dot in a folder name does not count) is one of them.
bool HasExtensionIn(const QStringList& extensions, const QString& path) {
    const QString name = GetFileName(path);
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    return dot >= 0 && extensions.contains(name.mid(dot + 1), Qt::CaseInsensitive);
}

}  // namespace

QStringList BatchInputs(FileSystem& files, ErrorReport& report, const QStringList& paths,
                        const QString& extension, QStringList& linksNotFollowed) {
    NoEvents events;
    WalkContext walk{files, events, report, kNativePathStyle};
    // A script must hear of a folder of its tree that could not be read.
    walk.reportMissing = true;
    walk.linksNotFollowed = &linksNotFollowed;
    InputList list(files);
    const QStringList projectExtensions = kProjectExtensions.split(QLatin1Char(','));
    for (const QString& path : paths) {
        if (!FolderExists(files, path)) {
            list.append({path});
        } else if (!extension.isEmpty()) {
            AddFolderTree(walk, list, path, QStringLiteral("*.") + extension);
        } else {
            list.wanted = [&](const QString& file) {
                return HasExtensionIn(projectExtensions, file);
            };
            walk.takesFile = list.wanted;
            AddFolderTree(walk, list, path, QStringLiteral("*.*"));
            list.wanted = {};
            walk.takesFile = {};
        }
    }
    return list.paths();
}

}  // namespace quillmere
