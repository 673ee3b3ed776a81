#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>
#include <mutex>

namespace quillmere {

enum class Durability {
    // On disk when the call returns.
    Synced,
    // Written and in place when the call returns; on disk once SavedFiles::sync has run. A run
    // of many saves syncs once at its end instead of once a file.
    Deferred,
};

// Takes the bytes of a file piece by piece.
using ByteSink = std::function<void(QByteArrayView)>;

// Writes the whole file beside its target and renames it into place, so a save that fails at
// any point leaves the old file (or no file) as it was. Throws Failure naming the path.
void SaveFileAtomically(const QString& path, const QByteArray& bytes,
                        Durability durability = Durability::Synced);
// The same, with the bytes handed to a sink by write, which may throw Failure to give up.
void SaveFileAtomically(const QString& path, const std::function<void(const ByteSink&)>& write,
                        Durability durability = Durability::Synced);

// Makes a write past the process's file-size limit (ulimit -f) fail like a full disk, instead
// of ending the program with half a file written. Call once at start.
void KeepRunningPastFileSizeLimit();

// How many files the process may have open at once (the soft limit, ulimit -n); the largest int
// when the system sets none.
int OpenFilesLimit();

// The files saved with deferred durability that are not yet known to be on disk.
class SavedFiles {
  public:
    // Instances on several threads may add at once.
    void add(const QString& path) {
        const std::lock_guard lock(m_mutex);
        m_paths << path;
    }
    // Puts every file added so far, and its folder entry, on disk. Throws Failure when the
    // system cannot.
    void sync();

  private:
    std::mutex m_mutex;
    QStringList m_paths;
};

}  // namespace quillmere
