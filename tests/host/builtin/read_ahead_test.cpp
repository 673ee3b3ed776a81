#include "host/builtin/builtin_host.h"

#include "host/builtin/documents.h"
#include "support/files.h"
#include "support/qt_printers.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif
#ifdef Q_OS_LINUX
#include <poll.h>
#include <sys/inotify.h>
#endif

namespace quillmere::builtin {
namespace {

using testing::ReadBytes;
using testing::WriteBytes;

#ifdef Q_OS_LINUX

// Tells when a file has been read: opened for reading and closed again, as the read-ahead does
// once it has the file's bytes.
class FileReads {
  public:
    explicit FileReads(const QString& path) : m_fd(::inotify_init1(IN_CLOEXEC)) {
        EXPECT_GE(m_fd, 0);
        EXPECT_GE(::inotify_add_watch(m_fd, QFile::encodeName(path).constData(), IN_CLOSE_NOWRITE),
                  0);
    }
    ~FileReads() { ::close(m_fd); }
    FileReads(const FileReads&) = delete;
    FileReads& operator=(const FileReads&) = delete;

    // False when no read ended within the deadline, which only a stuck reader misses.
    bool waitForOne() {
        pollfd ready{m_fd, POLLIN, 0};
        if (::poll(&ready, 1, 10'000) != 1) return false;
        char events[4096];
        return ::read(m_fd, events, sizeof events) > 0;
    }

  private:
    int m_fd;
};

// A file read ahead is handed out only for the bytes that the file holds when it is opened.
TEST(BuiltinHostReadAhead, HandsOutOnlyWhatTheFileHoldsNow) {
    QTemporaryDir dir;
    const QString path = dir.filePath("plan.xml");
    const QByteArray before = ReadBytes(kSamples + "/Office Relocation.xml");
    QByteArray after = before;
    after.replace("Harbour Street", "Quay Road");
    const struct {
        const char* label;
        QByteArray onDisk;
        QString taken;
        QByteArray now;
        bool handedOut;
    } cases[] = {
        {"the file as it was read", before, path, before, true},
        {"the file changed since", before, path, after, false},
        {"another file", before, dir.filePath("other.xml"), before, false},
        {"no project file", "<html/>", path, "<html/>", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        WriteBytes(path, c.onDisk);
        ReadAhead ahead;
        ahead.expect(path);
        const auto doc = ahead.take(c.taken, c.now);
        ASSERT_EQ(bool(doc), c.handedOut);
        if (doc) {
            EXPECT_EQ(doc->save(), before);
        }
    }
    // Through the host: the file read ahead, then changed, is opened as it is now.
    BuiltinHostFactory factory;
    WriteBytes(path, before);
    FileReads reads(path);
    factory.expect(path);
    ASSERT_TRUE(reads.waitForOne());
    WriteBytes(path, after);
    auto host = factory.create(kProjectClassName);
    host->fileOpen(path);
    EXPECT_FALSE(host->replace({"Name", "contains", "Harbour Street", "x", true, true, false}));
    EXPECT_TRUE(host->replace({"Name", "contains", "Quay Road", "x", true, true, false}));
}

// The run hints the next listed file, which is read while the run works, then opens the current
// one; file 2, removed from the list once hinted, is passed by.
TEST(BuiltinHostReadAhead, TheRunGetsTheFilesItHintedInTurn) {
    QTemporaryDir dir;
    const auto path = [&](int i) { return dir.filePath(QString::number(i)); };
    const QByteArray sample = ReadBytes(kSamples + "/Office Relocation.xml");
    for (int i = 0; i < 5; ++i)
        WriteBytes(path(i), QByteArray(sample).replace("Harbour", QByteArray::number(i)));
    ReadAhead ahead;
    for (const auto& [hinted, opened, handedOut] :
         {std::tuple(1, 0, false), std::tuple(2, 1, true), std::tuple(4, 3, false),
          std::tuple(-1, 4, true)}) {
        if (hinted >= 0) {
            FileReads reads(path(hinted));
            ahead.expect(path(hinted));
            ASSERT_TRUE(reads.waitForOne()) << hinted;
        }
        const auto doc = ahead.take(path(opened), ReadBytes(path(opened)));
        EXPECT_EQ(doc ? doc->save() : "", handedOut ? ReadBytes(path(opened)) : "") << opened;
    }
}

#endif

}  // namespace
}  // namespace quillmere::builtin
