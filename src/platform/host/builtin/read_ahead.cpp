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
    }
    m_changed.notify_all();
}

std::unique_ptr<ProjectDocument> ReadAhead::take(const QString& path, const QByteArray& bytes) {
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [&] { return m_wanted != path && m_reading != path; });
    if (m_path != path || !m_document) return nullptr;
    auto document = std::move(m_document);
    const bool same = m_bytes == bytes;
    m_path.clear();
    m_bytes.clear();
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
        m_changed.wait(lock, stop, [&] { return !m_wanted.isEmpty(); });
        if (stop.stop_requested()) return;
        const QString path = m_reading = std::exchange(m_wanted, QString());
        // The document it replaces, never taken, is freed outside the lock.
        auto unused = std::move(m_document);
        m_path.clear();
        m_bytes.clear();
        lock.unlock();
        unused.reset();
        auto [bytes, document] = Open(path);
        lock.lock();
        m_reading.clear();
        m_path = path;
        m_bytes = std::move(bytes);
        m_document = std::move(document);
        m_changed.notify_all();
    }
}

}  // namespace quillmere::builtin
