#include "platform/host/builtin/read_ahead.h"

#include "platform/host/builtin/builtin_host.h"

#include <QFile>
#include <QFileInfo>

#include <system_error>

namespace quillmere::builtin {
namespace {

// A larger file is not read ahead, so that what the run holds in memory stays below twice that
// much while it works on one file.
const qint64 kLargestReadAhead = qint64(64) << 20;

}  // namespace

ReadAhead::~ReadAhead() {
    if (!m_thread.joinable()) return;
    m_thread.request_stop();
    m_changed.notify_all();
}

void ReadAhead::expect(const QString& path) {
    if (!m_thread.joinable()) {
        try {
            m_thread = std::jthread([this](const std::stop_token& stop) { work(stop); });
        } catch (const std::system_error&) {
            return;  // no thread to be had: every file is read when it is opened
        }
    }
    {
        const std::lock_guard lock(m_mutex);
        m_wanted = path;
        ++m_hints;
    }
    m_changed.notify_all();
}

std::unique_ptr<ProjectDocument> ReadAhead::take(const QString& path, const QByteArray& bytes) {
    // Documents not handed out are freed outside the lock.
    std::unique_ptr<ProjectDocument> passed, document;
    std::unique_lock lock(m_mutex);
    while (true) {
        // A run hints the next file before it opens the current one: a document read before
        // the latest hint, for a file other than this one, is one the run has passed by, and
        // it makes room for the next.
        if (!m_path.isEmpty() && m_path != path && m_readHint < m_hints) {
            passed = std::move(m_document);
            m_path.clear();
            m_bytes.clear();
            m_changed.notify_all();
        }
        if (m_path == path || (m_wanted != path && m_reading != path)) break;
        m_changed.wait(lock);
    }
    if (m_path != path) return nullptr;
    if (m_wanted == path) m_wanted.clear();  // read already
    document = std::move(m_document);
    const bool same = m_bytes == bytes;
    m_path.clear();
    m_bytes.clear();
    m_changed.notify_all();
    return same ? std::move(document) : nullptr;
}

std::pair<QByteArray, std::unique_ptr<ProjectDocument>> ReadAhead::Open(const QString& path) {
    try {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly) || file.size() > kLargestReadAhead) return {};
        QByteArray bytes = file.readAll();
        if (file.error() != QFileDevice::NoError) return {};
        auto document = OpenDocument(bytes, QFileInfo(path).fileName());
        return {std::move(bytes), std::move(document)};
    } catch (...) {
        return {};
    }
}

void ReadAhead::work(const std::stop_token& stop) {
    std::unique_lock lock(m_mutex);
    while (true) {
        // One document at a time: the next file is read once the last one read is taken, or
        // passed by.
        m_changed.wait(lock, stop, [&] { return !m_wanted.isEmpty() && m_path.isEmpty(); });
        if (stop.stop_requested()) return;
        const QString path = m_reading = std::exchange(m_wanted, QString());
        const quint64 hint = m_hints;
        lock.unlock();
        auto [bytes, document] = Open(path);
        lock.lock();
        m_reading.clear();
        m_path = path;
        m_readHint = hint;
        m_bytes = std::move(bytes);
        m_document = std::move(document);
        m_changed.notify_all();
    }
}

}  // namespace quillmere::builtin
