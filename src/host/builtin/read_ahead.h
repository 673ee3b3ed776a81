#pragma once

#include "host/builtin/project_document.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>

namespace quillmere::builtin {

// Opens the file a run will work on next, on a thread of its own, while the run works on the
// current one. A document read ahead is handed out only for the very bytes that the file holds
// when the run opens it: a file changed meanwhile is read again.
class ReadAhead {
  public:
    // Destroying it stops the reading thread (after the file it is reading, if any).
    ReadAhead() = default;
    ReadAhead(const ReadAhead&) = delete;
    ReadAhead& operator=(const ReadAhead&) = delete;

    // A file to read after those expected before. Never throws: it is only a hint.
    void expect(const QString& path);
    // The document read ahead from path when it held these bytes, or nothing. Waits while that
    // file is still to be read.
    std::unique_ptr<ProjectDocument> take(const QString& path, const QByteArray& bytes);
    // Whether its thread reads beside the run: the run's own opening then takes no second thread.
    bool started() const { return m_thread.joinable(); }

  private:
    // A file read ahead: its path, its bytes and the document opened from them.
    struct Read {
        QString path;
        QByteArray bytes;
        std::unique_ptr<ProjectDocument> document;
    };

    void work(const std::stop_token& stop);
    // Reads and opens the file; no document when it cannot be read or opened (the run, opening
    // it itself, then says why).
    static Read Open(const QString& path);

    std::mutex m_mutex;
    std::condition_variable_any m_changed;
    // The run names the file after next before it opens the next one: two files to read, and
    // the last two read, are kept.
    static constexpr qsizetype kKept = 2;

    QStringList m_wanted;  // the files to read next, in order
    QString m_reading;     // the file being read
    std::deque<Read> m_read;
    std::jthread m_thread;  // started by the first expect
};

}  // namespace quillmere::builtin
