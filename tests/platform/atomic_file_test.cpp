// Saving a whole file in place: waiting for the disk at once, or leaving that to the end of a run.

#include "platform/atomic_file.h"
#include "platform/failure.h"
#include "support/files.h"
#include "support/qt_printers.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#ifdef Q_OS_LINUX
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <thread>
#include <vector>
#endif

namespace quillmere {
namespace {

using testing::ReadBytes;
using testing::WithFileSizeLimit;
using testing::WriteBytes;

// Synced at once or at the end of a run, a save replaces the whole file or leaves it as it was,
// like QSaveFile: through a link, the file it leads to; the replaced file keeps its mode, a new
// one gets the mode a plain new file gets; no temporary file is left beside it.
TEST(AtomicFile, ASaveReplacesTheWholeFileOrLeavesItAsItWas) {
    for (const Durability durability : {Durability::Synced, Durability::Deferred}) {
        SCOPED_TRACE(durability == Durability::Synced ? "synced" : "deferred");
        QTemporaryDir dir;
        const QString path = dir.filePath("plan.xml"), fresh = dir.filePath("fresh.xml");
        WriteBytes(path, "old");
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup);
        const auto permissions = QFile::permissions(path);
        QFile::link(path, dir.filePath("link.xml"));
        SaveFileAtomically(dir.filePath("link.xml"), "new", durability);
        EXPECT_EQ(ReadBytes(path), "new");
        EXPECT_EQ(QFileInfo(dir.filePath("link.xml")).symLinkTarget(), path);
        EXPECT_EQ(QFile::permissions(path), permissions);
        SaveFileAtomically(fresh, "fresh", durability);
        // A name near the file system's limit still leaves room for the save's own names.
        const QString longest = dir.filePath(QString(251, QLatin1Char('n')) + ".xml");
        SaveFileAtomically(longest, "long", durability);
        // Replacing goes through another name; QSaveFile's is the target's, longer.
        if (durability == Durability::Deferred) SaveFileAtomically(longest, "longer", durability);
        EXPECT_TRUE(ReadBytes(longest).startsWith("long"));
        QFile::remove(longest);
        QFile plain(dir.filePath("plain"));
        ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
        EXPECT_EQ(QFile::permissions(fresh), plain.permissions());
        plain.remove();
        // A disk that fills up while the file is written, a missing folder, a writer that gives up.
        WithFileSizeLimit(
            4, [&] { EXPECT_THROW(SaveFileAtomically(path, "much longer", durability), Failure); });
        EXPECT_EQ(ReadBytes(path), "new");
        EXPECT_THROW(SaveFileAtomically(dir.filePath("missing/plan.xml"), "new", durability),
                     Failure);
        const auto givesUp = [](const ByteSink& sink) {
            sink("half");
            throw Failure(1, "no more");
        };
        EXPECT_THROW(SaveFileAtomically(path, givesUp, durability), Failure);
        EXPECT_EQ(ReadBytes(path), "new");
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System),
                  (QStringList{"fresh.xml", "link.xml", "plan.xml"}));
        SavedFiles saved;
        saved.add(path);
        EXPECT_NO_THROW(saved.sync());
    }
}

#ifdef Q_OS_LINUX
// A link that leads nowhere yet stays a link: the save creates the file it names. A process that
// dies while it writes (here killed by its file size limit) leaves no temporary file behind.
TEST(AtomicFile, ALinkToNoFileAndADeathMidSaveLeaveNoTrace) {
    for (const Durability durability : {Durability::Synced, Durability::Deferred}) {
        SCOPED_TRACE(durability == Durability::Synced ? "synced" : "deferred");
        QTemporaryDir dir;
        const QString link = dir.filePath("link.xml"), target = dir.filePath("target.xml");
        QFile::link(target, link);
        SaveFileAtomically(link, "new", durability);
        EXPECT_EQ(QFileInfo(link).symLinkTarget(), target);
        EXPECT_EQ(ReadBytes(target), "new");
        QFile::remove(link);
        QFile::remove(target);
        const pid_t child = ::fork();
        if (child == 0) {
            std::signal(SIGXFSZ, SIG_DFL);
            const rlimit small{4096, RLIM_INFINITY};
            ::setrlimit(RLIMIT_FSIZE, &small);
            SaveFileAtomically(dir.filePath("plan.xml"), QByteArray(1 << 20, 'x'), durability);
            ::_exit(0);
        }
        int status = 0;
        ::waitpid(child, &status, 0);
        EXPECT_TRUE(WIFSIGNALED(status));
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System),
                  QStringList{});
    }
}

// Saves on several threads at once (a batch run's workers): each new file gets the mode a plain
// new file gets, and the process's file-creation mask is left as it was.
TEST(AtomicFile, SavesOnSeveralThreadsGiveNewFilesThePlainMode) {
    QTemporaryDir dir;
    const mode_t mask = ::umask(077);
    ::umask(mask);
    QFile plain(dir.filePath("plain"));
    ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
    std::vector<std::jthread> savers;
    for (int thread = 0; thread < 4; ++thread)
        savers.emplace_back([&dir, thread] {
            for (int file = 0; file < 25; ++file)
                SaveFileAtomically(dir.filePath(QStringLiteral("%1-%2").arg(thread).arg(file)),
                                   "new", Durability::Deferred);
        });
    savers.clear();
    EXPECT_EQ(::umask(mask), mask);
    QStringList others;
    for (const QFileInfo& file : QDir(dir.path()).entryInfoList(QDir::Files))
        if (file.permissions() != plain.permissions()) others << file.fileName();
    EXPECT_EQ(others, QStringList{});
}
#endif

}  // namespace
}  // namespace quillmere

#ifdef Q_OS_LINUX
// This program's umask() takes its time where it clears the mask, as on a busy system: a mask
// cleared for a moment by one thread is then there for the others to see.
extern "C" mode_t umask(mode_t mask) {
    const auto old = mode_t(::syscall(SYS_umask, mask));
    if (mask == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return old;
}
#endif
