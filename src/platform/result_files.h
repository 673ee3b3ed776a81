#pragma once

#include "platform/atomic_file.h"
#include "platform/file_reading.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QSet>
#include <QString>

#include <atomic>
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

    // Writes the result for path, made from source; it takes that name at the next commit, which
    // comes by itself after a few dozen files or a second. The result is never more readable than
    // its source. The program's own code never follows a link at path: a link there is refused,
    // as is a folder, the source, or an existing file that may not be written; a regular file
    // there is replaced by a rename in its own folder. Throws Failure naming path.
    //
    // Each folder that results go to is opened when a run first saves or removes there, as its
    // path means it then; every later step of the run works through that open folder, so a folder
    // renamed away or a link put in its place cannot send anything elsewhere, and fails the
    // run's later results there instead. The next run opens it anew (see sync()).
    void save(const QString& path, const std::function<void(const ByteSink&)>& write,
              const SourceFile& source = {});

    // Everything save does in the path's folder, with nothing left there: writes the result in
    // full unnamed and drops it, and fails where save or the naming would (a folder that may not
    // be written or changed, a full disk, something at the path that cannot be replaced).
    void trial(const QString& path, const std::function<void(const ByteSink&)>& write,
               const SourceFile& source = {});

    // Removes what is at path before a result is saved there, through the folder that save will
    // use: a read-only file too, a link itself (never what it leads to). Throws Failure naming
    // path when it cannot.
    void remove(const QString& path);

    // While set, an older entry at a result's path that is not a folder (a link, a read-only
    // file) is replaced when the result takes its name, instead of refused: the batch keeps an
    // older file until its successor is whole.
    void setReplacesOlderEntries(bool replaces);

    // Puts every result saved so far on the disk and then under its name. Gives the paths that
    // could not be put in place since the last call (a commit that came by itself included),
    // each with the reason.
    QHash<QString, QString> commit();

    // commit(), then puts the names on the disk too, and closes the run's folders. Throws Failure
    // naming every result that could not be put in place or on the disk.
    void sync();

  private:
    struct Pending;
    struct Named;
    struct Settings;
    struct Folders;
    // Names what is pending; called with m_commitMutex held.
    void commitPending();

    std::unique_ptr<const Settings> m_settings;
    std::unique_ptr<Folders> m_folders;
    std::atomic<bool> m_replacesOlder = false;
    std::mutex m_mutex;  // guards the members below
    std::vector<Pending> m_pending;
    std::chrono::steady_clock::time_point m_oldest;
    QHash<QString, QString> m_failures;
    std::vector<Named> m_named;
    // One commit at a time: a commit returns only once everything saved before it is in place.
    std::mutex m_commitMutex;
};

}  // namespace quillmere
