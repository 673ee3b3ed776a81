// Saving a whole file in place: waiting for the disk at once, or as a run's result, named once
// its data is on the disk.

#include "platform/atomic_file.h"
#include "platform/failure.h"
#include "platform/result_files.h"
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

#include <atomic>
#include <chrono>
#include <csignal>
#include <functional>
#include <thread>
#include <vector>
#endif

#ifdef Q_OS_LINUX
// While set, fchmod() fails as on a file system that keeps no permission bits (FAT through FUSE).
extern std::atomic<bool> fchmodUnsupported;
#endif

namespace quillmere {
namespace {

using testing::ReadBytes;
using testing::WithFileSizeLimit;
using testing::WriteBytes;

// Three ways to save a whole file: synced at once, the same for a file the user edits (a set
// file), or as a run's result, put on the disk with others and named then.
struct Saver {
    const char* name;
    std::function<void(const QString&, const QByteArray&)> save;
};

const Saver kSavers[] = {
    {"synced",
     [](const QString& path, const QByteArray& bytes) { SaveFileAtomically(path, bytes); }},
    {"edited", [](const QString& path, const QByteArray& bytes) { SaveEditedFile(path, bytes); }},
    {"result",
     [](const QString& path, const QByteArray& bytes) {
         ResultFiles results;
         results.save(path, [&](const ByteSink& sink) { sink(bytes); });
         results.sync();
     }},
};

// Either way a save replaces the whole file or leaves it as it was, like QSaveFile: the replaced
// file keeps its mode, a new one gets the mode a plain new file gets; no temporary file is left
// beside it.
TEST(AtomicFile, ASaveReplacesTheWholeFileOrLeavesItAsItWas) {
    for (const Saver& saver : kSavers) {
        SCOPED_TRACE(saver.name);
        QTemporaryDir dir;
        const QString path = dir.filePath("plan.xml"), fresh = dir.filePath("fresh.xml");
        WriteBytes(path, "old");
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup);
        const auto permissions = QFile::permissions(path);
        saver.save(path, "new");
        EXPECT_EQ(ReadBytes(path), "new");
        EXPECT_EQ(QFile::permissions(path), permissions);
        saver.save(fresh, "fresh");
        // A name near the file system's limit still leaves room for the save's own names.
        const QString longest = dir.filePath(QString(251, QLatin1Char('n')) + ".xml");
        saver.save(longest, "long");
        // A result replaces it through a hidden name; QSaveFile's is the target's, longer.
        if (saver.name == std::string("result")) saver.save(longest, "longer");
        EXPECT_TRUE(ReadBytes(longest).startsWith("long"));
        QFile::remove(longest);
        QFile plain(dir.filePath("plain"));
        ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
        EXPECT_EQ(QFile::permissions(fresh), plain.permissions());
        plain.remove();
        // A disk that fills up while the file is written, a missing folder.
        WithFileSizeLimit(4, [&] { EXPECT_THROW(saver.save(path, "much longer"), Failure); });
        EXPECT_EQ(ReadBytes(path), "new");
        EXPECT_THROW(saver.save(dir.filePath("missing/plan.xml"), "new"), Failure);
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System),
                  (QStringList{"fresh.xml", "plan.xml"}));
    }
}

#ifdef Q_OS_LINUX
// A set file behind a link is saved where the link leads, as editors do. A result is never
// written through a link, nor over a folder or a file that may not be written: each is refused
// and left as it was. A writer that gives up leaves nothing.
// In a shared sticky folder, a file another user owns and lets this one write cannot be replaced
// by a rename: an edited file is then written where it is, a result never.
TEST(AtomicFile, AnEditedFileInAStickyFolderIsWrittenInPlace) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to act as another user";
    QTemporaryDir dir;
    const QString shared = dir.filePath("shared"), path = shared + "/sets.txt";
    QDir().mkpath(shared);
    ::chmod(QFile::encodeName(dir.path()).constData(), 0755);
    ::chmod(QFile::encodeName(shared).constData(), 01777);
    testing::WriteBytes(path, "older and longer");
    ::chmod(QFile::encodeName(path).constData(), 0666);
    const auto asNobody = [](const std::function<void()>& save) {
        const pid_t child = ::fork();
        if (child == 0) {
            bool saved = ::setgid(65534) == 0 && ::setuid(65534) == 0;
            try {
                save();
            } catch (const Failure&) {
                saved = false;
            }
            ::_exit(saved ? 0 : 1);
        }
        int status = 0;
        ::waitpid(child, &status, 0);
        return WIFEXITED(status) && WEXITSTATUS(status) == 0;
    };
    EXPECT_FALSE(asNobody([&] { SaveFileAtomically(path, QByteArray("result")); }));
    EXPECT_EQ(testing::ReadBytes(path), "older and longer");
    EXPECT_TRUE(asNobody([&] { SaveEditedFile(path, "edited"); }));
    EXPECT_EQ(testing::ReadBytes(path), "edited");
    EXPECT_EQ(QDir(shared).entryList(QDir::Files | QDir::Hidden), QStringList{"sets.txt"});
}

TEST(AtomicFile, AResultIsNeverWrittenThroughALink) {
    QTemporaryDir dir;
    const QString target = dir.filePath("target.xml"), nowhere = dir.filePath("nowhere.xml");
    WriteBytes(target, "mine");
    QFile::link(target, dir.filePath("link.xml"));
    QFile::link(nowhere, dir.filePath("dangling.xml"));
    SaveFileAtomically(dir.filePath("link.xml"), "set");
    EXPECT_EQ(ReadBytes(target), "set");
    ResultFiles results;
    const auto save = [&](const QString& name) {
        results.save(dir.filePath(name), [](const ByteSink& sink) { sink("result"); });
    };
    // The set-user bit of an older file is not handed on.
    WriteBytes(dir.filePath("tool.xml"), "older");
    ::chmod(QFile::encodeName(dir.filePath("tool.xml")).constData(), 04750);
    save("tool.xml");
    QDir(dir.path()).mkdir("folder.xml");
    WriteBytes(dir.filePath("locked.xml"), "locked");
    QFile::setPermissions(dir.filePath("locked.xml"), QFile::ReadOwner);
    for (const char* refused : {"link.xml", "dangling.xml", "folder.xml"})
        EXPECT_THROW(save(refused), Failure) << refused;
    if (::geteuid() != 0) {
        EXPECT_THROW(save("locked.xml"), Failure);
    }
    EXPECT_THROW(results.save(dir.filePath("given-up.xml"),
                              [](const ByteSink& sink) {
                                  sink("half");
                                  throw Failure(1, "no more");
                              }),
                 Failure);
    results.sync();
    struct stat tool {};
    ::stat(QFile::encodeName(dir.filePath("tool.xml")).constData(), &tool);
    EXPECT_EQ(tool.st_mode & 07777, 0750u);
    EXPECT_EQ(ReadBytes(target), "set");
    EXPECT_FALSE(QFile::exists(nowhere));
    EXPECT_TRUE(QFileInfo(dir.filePath("link.xml")).isSymLink());
    EXPECT_TRUE(QFileInfo(dir.filePath("folder.xml")).isDir());
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System),
              (QStringList{"dangling.xml", "link.xml", "locked.xml", "target.xml", "tool.xml"}));
}

// A result takes its name only at a commit, after its data: until then the old file (or none) is
// there. A trial save writes the whole file in the folder, fails where the save would, and
// leaves nothing.
TEST(AtomicFile, AResultIsNamedOnlyWhenCommitted) {
    QTemporaryDir dir;
    const QString old = dir.filePath("old.xml"), fresh = dir.filePath("fresh.xml");
    WriteBytes(old, "old");
    ResultFiles results;
    const auto writer = [](const QByteArray& bytes) {
        return [bytes](const ByteSink& sink) { sink(bytes); };
    };
    results.save(old, writer("new"));
    results.save(fresh, writer("fresh"));
    EXPECT_EQ(ReadBytes(old), "old");
    EXPECT_FALSE(QFile::exists(fresh));
    EXPECT_EQ(results.commit(), (QHash<QString, QString>{}));
    EXPECT_EQ(ReadBytes(old), "new");
    EXPECT_EQ(ReadBytes(fresh), "fresh");
    // A folder put in the result's place meanwhile fails that result when it is to be named.
    for (const QString name : {"late.xml", "later.xml"}) {
        results.save(dir.filePath(name), writer("late"));
        QDir(dir.path()).mkdir(name);
    }
    EXPECT_THROW(results.sync(), Failure);
    results.save(dir.filePath("latest.xml"), writer("late"));
    QDir(dir.path()).mkdir("latest.xml");
    EXPECT_EQ(results.commit().keys(), QStringList{dir.filePath("latest.xml")});

    results.trial(dir.filePath("trial.xml"), writer("trial"));
    WithFileSizeLimit(4, [&] {
        EXPECT_THROW(results.trial(dir.filePath("trial.xml"), writer("much longer")), Failure);
    });
    EXPECT_THROW(results.trial(dir.filePath("missing/trial.xml"), writer("x")), Failure);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System),
              (QStringList{"fresh.xml", "old.xml"}));
}

// A process that dies while it writes (here killed by its file size limit) leaves no temporary
// file behind. The hidden files that a dead process of this machine's left in a folder (where
// unnamed files cannot be had) are removed by the next save there; nothing else is touched.
TEST(AtomicFile, ADeathMidSaveLeavesNoTraceForLong) {
    QTemporaryDir dir;
    const pid_t child = ::fork();
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_DFL);
        const rlimit small{4096, RLIM_INFINITY};
        ::setrlimit(RLIMIT_FSIZE, &small);
        ResultFiles results;
        results.save(dir.filePath("plan.xml"),
                     [](const ByteSink& sink) { sink(QByteArray(1 << 20, 'x')); });
        ::_exit(0);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList{});

    // This process's hidden name, as another process (the dead child's, or a live one) or
    // another machine would have it.
    const QString ours = QFileInfo(HiddenNameBeside(dir.filePath("x"))).fileName();
    const QStringList parts = ours.split('-');  // ".quillmere", machine, process, suffix
    const auto named = [&](const QString& machine, qint64 pid, const QString& suffix) {
        return QStringList{parts[0], machine, QString::number(pid), suffix}.join('-');
    };
    const QString stale = named(parts[1], child, "abc123");
    const QStringList kept = {
        named(parts[1], ::getppid(), "abc123"),
        named("0badf00d", child, "abc123"),
        named(parts[1], child, "short"),
        named(parts[1], child, "abc123") + "\n",
        QStringList{parts[0], parts[1], "0" + QString::number(child), "abc123"}.join('-'),
        ".quillmere-abc123",
        "plan.xml"};
    WriteBytes(dir.filePath(stale), "partial");
    for (const QString& name : kept) WriteBytes(dir.filePath(name), "kept");
    QDir(dir.path()).mkdir(named(parts[1], child, "dir123"));
    QFile::link("plan.xml", dir.filePath(named(parts[1], child, "lnk123")));
    ResultFiles results;
    results.save(dir.filePath("result.xml"), [](const ByteSink& sink) { sink("new"); });
    results.sync();
    const QStringList left =
        QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    EXPECT_FALSE(left.contains(stale));
    EXPECT_EQ(left.size(), kept.size() + 3);
}

// A run's output folder is resolved once: renamed away and replaced by a link to another folder
// under the run, it takes no more results and no removal, and what was saved goes where the
// folder went.
TEST(AtomicFile, AFolderSwappedUnderTheRunTakesNothingMore) {
    QTemporaryDir dir;
    QDir(dir.path()).mkpath("out");
    WriteBytes(dir.filePath("victim/b.xml"), "victim's");
    ResultFiles results;
    const auto save = [&](const QString& name) {
        results.save(dir.filePath("out/" + name), [](const ByteSink& sink) { sink("result"); });
    };
    save("a.xml");
    ASSERT_TRUE(QDir(dir.path()).rename("out", "away"));
    ASSERT_TRUE(QFile::link(dir.filePath("victim"), dir.filePath("out")));
    EXPECT_THROW(save("b.xml"), Failure);
    EXPECT_THROW(results.remove(dir.filePath("out/b.xml")), Failure);
    try {
        results.sync();
    } catch (const Failure&) {
    }
    EXPECT_EQ(ReadBytes(dir.filePath("victim/b.xml")), "victim's");
    EXPECT_EQ(ReadBytes(dir.filePath("away/a.xml")), "result");
    // The next run resolves the path as it means it then.
    ASSERT_TRUE(QFile::remove(dir.filePath("out")));
    QDir(dir.path()).mkpath("out");
    save("c.xml");
    results.sync();
    EXPECT_EQ(ReadBytes(dir.filePath("out/c.xml")), "result");
}

// A result is never more readable than its source: the source's bits within the creation mask,
// the group's only where the result has the source's group; never the source itself. Without a
// known source the older rules hold (see above). A file system that keeps no permission bits
// (FAT) refuses to change them, and the result is saved all the same.
TEST(AtomicFile, AResultIsNoMoreReadableThanItsSource) {
    QTemporaryDir dir;
    const mode_t mask = ::umask(022);
    struct stat folder {};
    ::stat(QFile::encodeName(dir.path()).constData(), &folder);
    const quint32 ours = quint32(folder.st_gid), other = ours + 1;
    const struct {
        quint32 mode, group;
        mode_t expected;
    } cases[] = {
        {0600, ours, 0600}, {0640, ours, 0640},  {0640, other, 0600},
        {0666, ours, 0644}, {04755, ours, 0755}, {0604, other, 0604},
    };
    const QString path = dir.filePath("result.xml");
    for (const auto& c : cases) {
        ResultFiles results;
        results.save(
            path, [](const ByteSink& sink) { sink("new"); },
            SourceFile{true, c.mode, c.group, 0, 0});
        results.sync();
        struct stat made {};
        ::stat(QFile::encodeName(path).constData(), &made);
        EXPECT_EQ(made.st_mode & 07777, c.expected) << std::oct << c.mode << " " << c.group;
    }
    ::umask(mask);
    struct stat made {};
    ::stat(QFile::encodeName(path).constData(), &made);
    ResultFiles results;
    const SourceFile itself{true, 0600, ours, quint64(made.st_dev), quint64(made.st_ino)};
    EXPECT_THROW(results.save(
                     path, [](const ByteSink& sink) { sink("x"); }, itself),
                 Failure);
    results.setReplacesOlderEntries(true);
    EXPECT_THROW(results.save(
                     path, [](const ByteSink& sink) { sink("x"); }, itself),
                 Failure);
    fchmodUnsupported = true;
    results.save(dir.filePath("fat.xml"), [](const ByteSink& sink) { sink("fat"); });
    fchmodUnsupported = false;
    results.sync();
    EXPECT_EQ(ReadBytes(dir.filePath("fat.xml")), "fat");
}

// Saves on several threads at once (a batch run's workers): each new file gets the mode a plain
// new file gets, and the process's file-creation mask is left as it was.
TEST(AtomicFile, SavesOnSeveralThreadsGiveNewFilesThePlainMode) {
    QTemporaryDir dir;
    const mode_t mask = ::umask(077);
    ::umask(mask);
    QFile plain(dir.filePath("plain"));
    ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
    ResultFiles results;
    std::vector<std::jthread> savers;
    for (int thread = 0; thread < 4; ++thread)
        savers.emplace_back([&dir, &results, thread] {
            for (int file = 0; file < 25; ++file)
                results.save(dir.filePath(QStringLiteral("%1-%2").arg(thread).arg(file)),
                             [](const ByteSink& sink) { sink("new"); });
        });
    savers.clear();
    results.sync();
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
std::atomic<bool> fchmodUnsupported = false;

extern "C" int fchmod(int fd, mode_t mode) {
    if (fchmodUnsupported) {
        errno = ENOSYS;
        return -1;
    }
    return int(::syscall(SYS_fchmod, fd, mode));
}

// This program's umask() takes its time where it clears the mask, as on a busy system: a mask
// cleared for a moment by one thread is then there for the others to see.
extern "C" mode_t umask(mode_t mask) {
    const auto old = mode_t(::syscall(SYS_umask, mask));
    if (mask == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return old;
}
#endif
