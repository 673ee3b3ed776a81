#pragma once

#include "platform/atomic_file.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QSet>
#include <QString>

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace quillmere {

// The hidden names that saving may leave in an output folder when the program dies mid-save on a
// file system without unnamed files: ".quillmere-" then this machine's 8 hex digits, the process
// number, six letters or digits, and the path's extension if it has one. A later save into that
// folder removes those of a process that no longer runs here.
QString HiddenNameBeside(const QString& path);

// Writes a result in full in its target's folder, exactly as a save does, and drops it: fails
// where a save would fail (a folder that may not be written, a full disk), and leaves the folder
// as it was. A link at the path is never followed.
void SaveTrial(const QString& path, const std::function<void(const ByteSink&)>& write);

// A run's results. Each is written in full beside its target without a name (or under a hidden
// one where the file system has no unnamed files), put on the disk together with the others, and
// only then given its name: a file under a result's name is the complete result at every instant,
// a crash or a power cut included. Saves on several threads may run at once.
class ResultFiles {
  public:
    ResultFiles();
    ~ResultFiles();
    ResultFiles(const ResultFiles&) = delete;
    ResultFiles& operator=(const ResultFiles&) = delete;

    // Writes the result for path; it takes that name at the next commit, which comes by itself
    // after a few dozen files or a second. The program's own code never follows a link at path:
    // a link there is refused, as is a folder or an existing file that may not be written; a
    // regular file there is replaced by a rename in its own folder. Throws Failure naming path.
    void save(const QString& path, const std::function<void(const ByteSink&)>& write);

    // Puts every result saved so far on the disk and then under its name. Gives the paths that
    // could not be put in place since the last call (a commit that came by itself included),
    // each with the reason.
    QHash<QString, QString> commit();

    // commit(), then puts the names on the disk too. Throws Failure naming every result that
    // could not be put in place or on the disk.
    void sync();

  private:
    struct Pending;
    struct Settings;
    QHash<QString, QString> commitTaken(std::vector<Pending>& pending);
    void removeStaleFilesOnce(const QByteArray& folder);

    std::unique_ptr<const Settings> m_settings;
    std::mutex m_mutex;  // guards the members below
    std::vector<Pending> m_pending;
    std::chrono::steady_clock::time_point m_oldest;
    QHash<QString, QString> m_failures;
    QSet<QByteArray> m_namedFolders;
    QSet<QByteArray> m_cleanedFolders;
    // One commit at a time: a commit returns only once everything saved before it is in place.
    std::mutex m_commitMutex;
};

}  // namespace quillmere
