#pragma once

#include "platform/host/builtin/project_document.h"

#include <QByteArray>
#include <QString>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

namespace quillmere::builtin {

// Opens the file a run will work on next, on a thread of its own, while the run works on the
// current one. A document read ahead is handed out only for the very bytes that the file holds
// when the run opens it: a file changed meanwhile is read again.
class ReadAhead {
  public:
    ReadAhead() = default;
    ~ReadAhead();
    ReadAhead(const ReadAhead&) = delete;
    ReadAhead& operator=(const ReadAhead&) = delete;

    // The file to read next, in place of any that is not being read yet; it is read once the
    // document read before it has been taken, or passed by.
    void expect(const QString& path);
    // The document read ahead from path when it held these bytes, or nothing. Waits while that
    // file is still to be read.
    std::unique_ptr<ProjectDocument> take(const QString& path, const QByteArray& bytes);

  private:
    void work(const std::stop_token& stop);
    // Reads and opens the file; nothing when it cannot be read or opened (the run, opening it
    // itself, then says why).
    static std::pair<QByteArray, std::unique_ptr<ProjectDocument>> Open(const QString& path);

    std::mutex m_mutex;
    std::condition_variable_any m_changed;
    QString m_wanted;     // the file to read next
    QString m_reading;    // the file being read
    quint64 m_hints = 0;  // how many files have been expected
    // The last file read ahead and not yet taken: its path, the number of hints when its reading
    // began, its bytes and the document opened from them.
    QString m_path;
    quint64 m_readHint = 0;
    QByteArray m_bytes;
    std::unique_ptr<ProjectDocument> m_document;
    std::jthread m_thread;  // started by the first expect
};

}  // namespace quillmere::builtin
