#include "host/builtin/read_ahead.h"

#include "host/builtin/open_document.h"
#include "platform/file_reading.h"
#include "platform/threads.h"

#include <QFileInfo>

#include <algorithm>

namespace quillmere::builtin {
namespace {

// A larger file is not read ahead, so that the documents read ahead take no more memory than a
// few such files.
const qint64 kLargestReadAhead = qint64(64) << 20;

}  // namespace

void ReadAhead::expect(const QString& path) {
    // No thread to be had: every file is read when it is opened.
    if (!m_thread.joinable()) m_thread = StartThread([this](std::stop_token stop) { work(stop); });
    if (!m_thread.joinable()) return;
    try {
        const std::lock_guard lock(m_mutex);
        m_wanted.push_back(path);
        if (m_wanted.size() > kKept) m_wanted.pop_front();
    } catch (const std::bad_alloc&) {
        return;  // a hint, no more: the file is read when it is opened
    }
    m_changed.notify_all();
}

std::unique_ptr<ProjectDocument> ReadAhead::take(const QString& path, const QByteArray& bytes) {
    std::unique_lock lock(m_mutex);
    // Waiting costs no more than reading the file here: while this thread waits, the reader
    // has its processor.
    m_changed.wait(lock, [&] { return m_reading != path && !m_wanted.contains(path); });
    const auto read =
        std::find_if(m_read.begin(), m_read.end(), [&](const Read& r) { return r.path == path; });
    if (read == m_read.end()) return nullptr;
    Read taken = std::move(*read);
    m_read.erase(read);
    lock.unlock();
    return taken.bytes == bytes ? std::move(taken.document) : nullptr;
}

ReadAhead::Read ReadAhead::Open(const QString& path) {
    Read read{path, {}, {}};
    try {
        // Never a named pipe or a device, whose opening or reading could wait for ever.
        read.bytes = ReadRegularFile(path, kLargestReadAhead);
        if (read.bytes.size() <= kLargestReadAhead)
            read.document =
                OpenDocument(read.bytes, QFileInfo(path).fileName(), SecondThread::Never);
    } catch (...) {
        read.document.reset();
    }
    return read;
}

void ReadAhead::work(const std::stop_token& stop) {
    std::unique_lock lock(m_mutex);
    while (true) {
        m_changed.wait(lock, stop, [&] { return !m_wanted.isEmpty(); });
        if (stop.stop_requested()) return;
        const QString path = m_reading = m_wanted.takeFirst();
        lock.unlock();
        Read read = Open(path);
        lock.lock();
        m_reading.clear();
        if (read.document) m_read.push_back(std::move(read));
        Read oldest;
        if (qsizetype(m_read.size()) > kKept) {
            oldest = std::move(m_read.front());
            m_read.pop_front();
        }
        m_changed.notify_all();
        // A document never taken is freed outside the lock.
        lock.unlock();
        oldest = {};
        lock.lock();
    }
}

}  // namespace quillmere::builtin
