// The batch form of the command-line companion, run as a script would run it, with the built-in
// host on temporary folders.

#include "batch/batch_run.h"
#include "platform/file_system.h"
#include "support/files.h"
#include "support/qt_printers.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <mutex>
#include <thread>

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>

namespace {

using quillmere::LandingKey;
using quillmere::testing::LockFolder;
using quillmere::testing::ReadBytes;
using quillmere::testing::WriteBytes;

const QString kSamples = QStringLiteral(QUILLMERE_RESOURCES "/Samples/");
const QString kExternal = QStringLiteral(QUILLMERE_TEST_DATA "/external/");

struct Result {
    int exitCode;
    QStringList lines;
    QString errors;
};

Result RunHost(const QStringList& arguments, const QString& folder,
               const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment(),
               const QString& program = QUILLMERE_HOST_PROGRAM) {
    QProcess process;
    process.setProcessEnvironment(environment);
    process.setWorkingDirectory(folder);
    process.start(program, arguments);
    EXPECT_TRUE(process.waitForFinished(60000));
    QString out = QString::fromUtf8(process.readAllStandardOutput());
    if (out.endsWith('\n')) out.chop(1);
    return {process.exitCode(), out.isEmpty() ? QStringList() : out.split('\n'),
            QString::fromUtf8(process.readAllStandardError())};
}

// Every file under the folder with its bytes.
using FileTree = QMap<QString, QByteArray>;
FileTree Tree(const QString& folder) {
    FileTree tree;
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        tree[path] = ReadBytes(path);
    }
    return tree;
}

// Entries whose names are raw bytes, which Qt cannot always spell: made with the system's calls
// and removed the same way, the deepest first, before the temporary folder goes.
class RawEntries {
  public:
    ~RawEntries() {
        for (auto it = m_made.crbegin(); it != m_made.crend(); ++it)
            if (::unlink(it->constData()) != 0) ::rmdir(it->constData());
    }
    void folder(const QByteArray& path) {
        ASSERT_EQ(::mkdir(path.constData(), 0755), 0) << path.toStdString();
        m_made << path;
    }
    void file(const QByteArray& path, const QByteArray& bytes) {
        const int fd = ::open(path.constData(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
        ASSERT_GE(fd, 0) << path.toStdString();
        EXPECT_EQ(::write(fd, bytes.constData(), size_t(bytes.size())), bytes.size());
        ::close(fd);
        m_made << path;
    }

  private:
    QList<QByteArray> m_made;
};

class Batch : public ::testing::Test {
  protected:
    // in/: a Project XML sample, an MPX file, a binary .mpp and a text file.
    Batch() {
        QFile::copy(kSamples + "Office Relocation.xml", path("in/office.xml"));
        QFile::copy(kExternal + "mpx/sample.mpx", path("in/sub/sample.mpx"));
        WriteBytes(path("in/old.mpp"), QByteArray("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8));
        WriteBytes(path("in/notes.txt"), "Harbour Street");
        QDir(dir.path()).mkdir("out");
        before = Tree(dir.path());
    }
    QString path(const QString& name) {
        QDir().mkpath(QFileInfo(dir.filePath(name)).path());
        return dir.filePath(name);
    }
    Result run(const QStringList& arguments,
               const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment()) {
        return RunHost(arguments, dir.path(), environment);
    }
    // The arguments with printf's escapes, so that "\\0377" is the byte 0xFF, which QProcess
    // cannot pass as it is.
    Result runBytes(const QStringList& arguments) {
        const QString script =
            R"sh(for a do shift; set -- "$@" "$(printf %b "$a")"; done; exec "$0" "$@")sh";
        return RunHost(QStringList{"-c", script, QUILLMERE_HOST_PROGRAM} + arguments, dir.path(),
                       QProcessEnvironment::systemEnvironment(), "/bin/sh");
    }
    void expectTreeKept() {
        const FileTree now = Tree(dir.path());
        EXPECT_EQ(now.keys(), before.keys());
        EXPECT_TRUE(now == before);
    }
    void expectSourcesKept() {
        for (auto it = before.cbegin(); it != before.cend(); ++it)
            EXPECT_EQ(ReadBytes(it.key()), it.value()) << it.key().toStdString();
    }

    QTemporaryDir dir;
    FileTree before;
    const QStringList pair{"--find", "Harbour Street", "--replace", "Quay Road"};
};

TEST_F(Batch, WrongArgumentsWriteNothing) {
    WriteBytes(path("sets.txt"), "a::b\r\n");
    before = Tree(dir.path());
    const struct {
        QStringList arguments;
        const char* problem;
    } cases[] = {
        {{"--find", "a", "--replace", "b"}, "give at least one PATH"},
        {{"nowhere", "--find", "a", "--replace", "b"}, "nowhere not found"},
        {{"no\x1B[2Jwhere\xC2\x9B", "--find", "a", "--replace", "b"},
         "no\\x1B[2Jwhere\\x9B not found"},
        {{"in", "--find", "a"}, "give each --find a --replace"},
        {{"in", "--find", "a", "--replace", "b", "--sets", "sets.txt"}, "not both"},
        {{"in", "--sets", "missing.txt"}, "missing.txt not found."},
        {{"in", "--sets", "sets.txt", "--separator", ""}, "separating character"},
        {{"in", "--find", "a", "--replace", "b", "--out", "none"},
         "--out none: folder does not exist"},
        {{"in", "--find", "a", "--replace", "b", "--bogus"}, "bogus"},
        {{"in", "--extension", "pdf", "--find", "a", "--replace", "b"}, "No files added"},
        {{"in", "--sets", "", "--find", "a", "--replace", "b"}, "--sets"},
        {{"/dev/null", "--find", "a", "--replace", "b"}, "/dev/null is not a file or a folder"},
        {{"in", "--find", "a", "--replace", "b", "--jobs", "0"}, "--jobs 0: give a number"},
        {{"in", "--find", "a", "--replace", "b", "--jobs", "two"}, "--jobs two: give a number"},
    };
    for (const auto& c : cases) {
        const Result result = run(QStringList{"batch"} + c.arguments);
        SCOPED_TRACE(c.arguments.join(' ').toStdString());
        EXPECT_EQ(result.exitCode, 2);
        EXPECT_TRUE(result.errors.contains(c.problem)) << result.errors.toStdString();
        EXPECT_TRUE(result.lines.isEmpty());
        expectTreeKept();
    }
}

TEST_F(Batch, MixedFolderGivesALinePerFileAndFails) {
    const QString failedMpp = "failed: " + path("in/old.mpp") + " -> " + path("out/old.mpp") +
                              ": old.mpp is a binary Microsoft Project file";
    const struct {
        QStringList extension;
        QStringList expected;  // each line starts so
    } cases[] = {
        {{},
         {"changed: " + path("in/office.xml") + " -> " + path("out/office.xml") +
              ": Name 6, Notes 9, Text2 10",
          failedMpp, "unchanged: " + path("in/sub/sample.mpx") + " -> " + path("out/sample.mpx"),
          "3 files: 1 changed, 1 unchanged, 1 failed"}},
        {{"--extension", "*"},
         {"failed: " + path("in/notes.txt") + " -> " + path("out/notes.txt") +
              ": notes.txt is neither a Project XML file nor an MPX file.",
          "changed: " + path("in/office.xml"), failedMpp,
          "unchanged: ", "4 files: 1 changed, 1 unchanged, 2 failed"}},
    };
    for (const auto& c : cases) {
        const Result result = run(QStringList{"batch", "in", "--out", "out"} + pair + c.extension);
        EXPECT_EQ(result.exitCode, 1);
        ASSERT_EQ(result.lines.size(), c.expected.size()) << result.lines.join('\n').toStdString();
        for (int i = 0; i < c.expected.size(); ++i)
            EXPECT_TRUE(result.lines[i].startsWith(c.expected[i])) << result.lines[i].toStdString();
    }
    // The results are what the single-file form saves.
    ASSERT_EQ(run(QStringList{path("in/office.xml"), path("single.xml")} + pair).exitCode, 0);
    EXPECT_EQ(ReadBytes(path("out/office.xml")), ReadBytes(path("single.xml")));
    EXPECT_EQ(ReadBytes(path("out/sample.mpx")), ReadBytes(path("in/sub/sample.mpx")));
    EXPECT_FALSE(QFile::exists(path("out/old.mpp")));
    expectSourcesKept();
}

TEST_F(Batch, NoResultReplacesAListedFileOrAnEarlierResult) {
    QFile::copy(kSamples + "Warehouse Fit-Out.xml", path("in/sub/office.xml"));
    WriteBytes(path("in/office_replaced.xml"), ReadBytes(path("in/office.xml")));
    before = Tree(dir.path());
    const struct {
        QStringList arguments;
        QString failure;
    } cases[] = {
        // The second office.xml would land on the first one's result.
        {{"in/office.xml", "in/sub/office.xml", "--out", "out"},
         "would replace the result of " + path("in/office.xml")},
        // Beside its source, office.xml's result would be a listed file.
        {{"in/office.xml", "in/office_replaced.xml"},
         "would replace " + path("in/office_replaced.xml") + ", which is on the file list."},
    };
    for (const auto& c : cases) {
        const Result result = run(QStringList{"batch"} + c.arguments + pair);
        EXPECT_EQ(result.exitCode, 1);
        EXPECT_EQ(result.lines.filter("failed: ").size(), 1);
        EXPECT_TRUE(result.lines.join('\n').contains(c.failure))
            << result.lines.join('\n').toStdString();
    }
    EXPECT_TRUE(ReadBytes(path("out/office.xml")).contains("Quay Road"));
    EXPECT_TRUE(QFile::exists(path("in/office_replaced_replaced.xml")));
    expectSourcesKept();
}

TEST_F(Batch, SetFileIsReadAsTheLoadSetsDialogReadsIt) {
    const struct {
        QByteArray file;
        QStringList separator;
    } cases[] = {
        {"Harbour Street::Quay::dropped\r\nno pair here\r\n\r\nQuay::Pier Road\r\n", {}},
        {"Harbour Street,Quay,dropped\nQuay,Pier Road", {"--separator", ","}},
    };
    for (const auto& c : cases) {
        WriteBytes(path("sets.txt"), c.file);
        const Result result =
            run(QStringList{"batch", "in/office.xml", "--out", "out", "--sets", "sets.txt"} +
                c.separator);
        EXPECT_EQ(result.exitCode, 0) << result.errors.toStdString();
        const QByteArray saved = ReadBytes(path("out/office.xml"));
        EXPECT_TRUE(saved.contains("<Name>Confirm Pier Road lease</Name>"));
        EXPECT_FALSE(saved.contains("dropped"));
    }
}

// A set file larger than the memory the program may take (here 1 GB of address space, a file of
// 4 GB that takes no room on the disk) is named in a message, not an abort.
TEST_F(Batch, ASetFileTooLargeForMemoryIsNamed) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "the sanitizers' own mappings do not fit in that address space";
#endif
    QFile huge(path("huge.txt"));
    ASSERT_TRUE(huge.open(QIODevice::WriteOnly) && huge.resize(qint64(4) << 30));
    const Result result =
        RunHost({"-c", R"sh(ulimit -v 1000000 && exec "$0" "$@")sh", QUILLMERE_HOST_PROGRAM,
                 "batch", "in", "--out", "out", "--sets", "huge.txt"},
                dir.path(), QProcessEnvironment::systemEnvironment(), "/bin/sh");
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_TRUE(result.errors.contains(huge.fileName() + " (4294 MB) is too large"))
        << result.errors.toStdString();
    EXPECT_TRUE(QDir(path("out")).isEmpty());
}

// Whatever the temporary folder is (a file, a folder that does not exist), a dry run writes
// nothing anywhere: as root, a file of the source's name in the root folder is left alone.
TEST_F(Batch, DryRunPrintsTheSameAndWritesNothing) {
    QFile rooted("/office.xml");
    const bool watchRoot = ::geteuid() == 0 && !rooted.exists();
    if (watchRoot) WriteBytes(rooted.fileName(), "mine");
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const QString temporary : {"", "in/notes.txt", "missing"}) {
        if (!temporary.isEmpty()) environment.insert("TMPDIR", path(temporary));
        for (const QStringList& output : {QStringList{"--out", "out"}, QStringList{}}) {
            SCOPED_TRACE((temporary + " " + output.join(' ')).toStdString());
            before = Tree(dir.path());
            const Result dry =
                run(QStringList{"batch", "in", "--dry-run"} + output + pair, environment);
            expectTreeKept();
            const Result real = run(QStringList{"batch", "in"} + output + pair);
            EXPECT_EQ(dry.exitCode, real.exitCode);
            ASSERT_FALSE(dry.lines.isEmpty());
            EXPECT_EQ(dry.lines.last(), real.lines.last() + "; dry run, nothing written");
            // The binary file fails at its opening in both; only the real run tries to save it.
            EXPECT_EQ(dry.lines.mid(0, 1), real.lines.mid(0, 1));
            EXPECT_EQ(dry.lines.mid(2, 1), real.lines.mid(2, 1));
            for (const QString& file : Tree(dir.path()).keys())
                if (!before.contains(file)) QFile::remove(file);
        }
    }
    if (watchRoot) {
        EXPECT_EQ(ReadBytes(rooted.fileName()), "mine");
        rooted.remove();
    }
}

TEST_F(Batch, JsonLinesReadBack) {
    const Result result = run(QStringList{"batch", "in", "--out", "out", "--json"} + pair);
    ASSERT_EQ(result.lines.size(), 4);
    QList<QJsonObject> objects;
    for (const QString& line : result.lines) {
        QJsonParseError error;
        objects << QJsonDocument::fromJson(line.toUtf8(), &error).object();
        EXPECT_EQ(error.error, QJsonParseError::NoError) << line.toStdString();
    }
    EXPECT_EQ(objects[0]["source"].toString(), path("in/office.xml"));
    EXPECT_EQ(objects[0]["output"].toString(), path("out/office.xml"));
    EXPECT_EQ(objects[0]["status"].toString(), "changed");
    EXPECT_EQ(objects[0]["changes"].toObject().toVariantMap(),
              (QVariantMap{{"Name", 6}, {"Notes", 9}, {"Text2", 10}}));
    EXPECT_TRUE(objects[0]["error"].isNull());
    EXPECT_EQ(objects[1]["status"].toString(), "failed");
    EXPECT_TRUE(objects[1]["error"].toString().contains("binary Microsoft Project file"));
    EXPECT_EQ(objects[2]["status"].toString(), "unchanged");
    EXPECT_EQ(result.exitCode, 1);
}

// Each total under its own key: counts that all differ tell any two keys apart.
TEST_F(Batch, JsonTotalsCountEachOutcome) {
    const struct {
        QStringList arguments;
        QVariantMap totals;
    } cases[] = {
        {{"in"}, {{"files", 3}, {"changed", 1}, {"unchanged", 1}, {"failed", 1}}},
        {{"in/office.xml", "in/old.mpp", "in/notes.txt"},
         {{"files", 3}, {"changed", 1}, {"unchanged", 0}, {"failed", 2}}},
        {{"in/sub/sample.mpx", "in/notes.txt", "in/old.mpp", "--extension", "*", "--dry-run"},
         {{"files", 3}, {"changed", 0}, {"unchanged", 1}, {"failed", 2}}},
    };
    for (const auto& c : cases) {
        const Result result =
            run(QStringList{"batch", "--out", "out", "--json"} + c.arguments + pair);
        ASSERT_FALSE(result.lines.isEmpty());
        QVariantMap expected = c.totals;
        expected.insert("type", "totals");
        expected.insert("dry_run", c.arguments.contains("--dry-run"));
        expected.insert("links_not_followed", 0);
        EXPECT_EQ(QJsonDocument::fromJson(result.lines.last().toUtf8()).object().toVariantMap(),
                  expected)
            << result.lines.last().toStdString();
    }
}

// What a script sees when the disk or the summary's own output fails under the run. An older
// file at a failed file's output path is kept whole, and its line says so.
TEST_F(Batch, AFailedWriteIsReportedAndStopsNothing) {
    WriteBytes(path("out/office.xml"), "older");
    QProcess process;
    process.setWorkingDirectory(dir.path());
    // A file-size limit as a full disk gives it: office.xml's result does not fit, sample.mpx's
    // does. The child starts with the signal's default action, as from a shell.
    process.setChildProcessModifier([] {
        std::signal(SIGXFSZ, SIG_DFL);
        const rlimit limit{8192, RLIM_INFINITY};
        setrlimit(RLIMIT_FSIZE, &limit);
    });
    process.start(QUILLMERE_HOST_PROGRAM, QStringList{"batch", "in", "--out", "out"} + pair);
    ASSERT_TRUE(process.waitForFinished(60000));
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(process.exitCode(), 1);
    const QStringList lines = QString::fromUtf8(process.readAllStandardOutput()).split('\n');
    EXPECT_EQ(lines
                  .filter(QRegularExpression(
                      "^failed: " + QRegularExpression::escape(path("in/office.xml")) +
                      ".*; older file kept$"))
                  .size(),
              1);
    EXPECT_EQ(lines.filter("3 files: 0 changed, 1 unchanged, 2 failed").size(), 1);
    EXPECT_EQ(QDir(path("out")).entryList(QDir::Files | QDir::Hidden),
              (QStringList{"office.xml", "sample.mpx"}));
    EXPECT_EQ(ReadBytes(path("out/office.xml")), "older");

    // A summary that cannot be written is a failed run.
    process.setChildProcessModifier({});
    process.setStandardOutputFile("/dev/full");
    process.start(QUILLMERE_HOST_PROGRAM,
                  QStringList{"batch", "in/office.xml", "--dry-run"} + pair);
    ASSERT_TRUE(process.waitForFinished(60000));
    EXPECT_NE(process.exitCode(), 0);
}

// On the output side, a dry run fails where the run fails, with the same text: a folder at the
// output path, an output folder that may not be written, and a link at the output path that
// cannot be replaced, through which nothing is ever written; the older entry stays. Older entries
// that can be replaced (a link, a read-only file) fail neither.
TEST_F(Batch, DryRunGivesTheRealRunsFailureTexts) {
    WriteBytes(path("mine.xml"), "mine");
    QFile::link(path("mine.xml"), path("out/office.xml"));
    WriteBytes(path("out/sample.mpx"), "older");
    QFile::setPermissions(path("out/sample.mpx"), QFile::ReadOwner);
    QFile::link(path("mine.xml"), path("locked/office.xml"));
    QDir(dir.path()).mkpath("folder/office.xml");
    QDir(dir.path()).mkpath("readonly");
    WriteBytes(path("appendonly/office.xml"), "older");
    // A hard link and a link at two output paths to one file outside: each is replaced itself.
    ::link(QFile::encodeName(path("mine.xml")).constData(),
           QFile::encodeName(path("links/office.xml")).constData());
    QFile::link(path("mine.xml"), path("links/sample.mpx"));
    const struct {
        const char* out;
        bool locked, appendOnly;
        const char* failure;  // office.xml's, empty for none
    } cases[] = {
        {"out", false, false, ""},
        {"links", false, false, ""},
        {"folder", false, false, "could not be saved: Is a directory"},
        {"readonly", true, false, "could not be saved"},
        {"locked", true, false, "; older file kept"},
        // A new result can be named there, but no older file replaced.
        {"appendonly", true, true, "Operation not permitted; older file kept"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.out);
        if (c.locked && !LockFolder(path(c.out), true, c.appendOnly)) {
            if (c.appendOnly) continue;
            GTEST_SKIP() << "no folder can be locked here";
        }
        const QStringList arguments = QStringList{"batch", "in", "--out", c.out} + pair;
        const Result dry = run(arguments + QStringList{"--dry-run"});
        const Result real = run(arguments);
        if (c.locked) LockFolder(path(c.out), false, c.appendOnly);
        ASSERT_EQ(dry.lines.size(), 4);
        EXPECT_EQ(dry.lines.mid(0, 3), real.lines.mid(0, 3));
        EXPECT_EQ(dry.exitCode, real.exitCode);
        EXPECT_EQ(real.lines[0].startsWith("failed: "), *c.failure != 0)
            << real.lines[0].toStdString();
        EXPECT_TRUE(real.lines[0].contains(c.failure)) << real.lines[0].toStdString();
        EXPECT_EQ(ReadBytes(path("mine.xml")), "mine");
    }
    EXPECT_FALSE(QFileInfo(path("out/office.xml")).isSymLink());
    // The run that could not replace the older file left no copy of its result behind.
    if (QFile::exists(path("appendonly/sample.mpx"))) {
        EXPECT_EQ(QDir(path("appendonly")).entryList(QDir::Files | QDir::Hidden),
                  (QStringList{"office.xml", "sample.mpx"}));
    }
}

TEST_F(Batch, AFailedNamesakeDoesNotBlockTheNextOne) {
    WriteBytes(path("in2/office.xml"), "not a project");
    const Result result =
        run(QStringList{"batch", "in2/office.xml", "in/office.xml", "--out", "out"} + pair);
    ASSERT_EQ(result.lines.size(), 3);
    EXPECT_TRUE(result.lines[1].startsWith("changed: " + path("in/office.xml")))
        << result.lines[1].toStdString();
    EXPECT_TRUE(ReadBytes(path("out/office.xml")).contains("Quay Road"));
}

// Files worked on side by side end as they do one at a time: namesakes that would land on one
// result (in one output folder, or through a link left at an output path) are taken in the
// list's order, a failed one leaves the name to the next, and the summary keeps the list's order.
TEST_F(Batch, SideBySideEndsAsOneAtATime) {
    for (const QString folder : {"a", "b", "c", "d", "e", "f"}) {
        QFile::copy(kSamples + "Office Relocation.xml", path("many/" + folder + "/plan.xml"));
        QFile::copy(kSamples + "Warehouse Fit-Out.xml", path("many/" + folder + "/other.xml"));
    }
    WriteBytes(path("many/a/plan.xml"), "not a project");
    before = Tree(dir.path());
    for (const QStringList& output : {QStringList{"--out", "out"}, QStringList{}}) {
        QMap<QString, Result> results;
        QMap<QString, FileTree> trees;
        for (const QString jobs : {"1", "4"}) {
            // c's result beside its source would land on b's.
            QFile::link(path("many/b/plan_replaced.xml"), path("many/c/plan_replaced.xml"));
            results[jobs] =
                run(QStringList{"batch", "many", "--json", "--jobs", jobs} + output + pair);
            trees[jobs] = Tree(dir.path());
            for (const QString& file : trees[jobs].keys())
                if (!before.contains(file)) QFile::remove(file);
            QFile::remove(path("many/c/plan_replaced.xml"));
        }
        EXPECT_EQ(results["1"].exitCode, 1);
        EXPECT_EQ(results["4"].exitCode, results["1"].exitCode);
        EXPECT_EQ(results["4"].lines, results["1"].lines);
        EXPECT_TRUE(trees["4"] == trees["1"]);
        EXPECT_EQ(results["1"].lines.filter("would replace the result of").size(),
                  output.isEmpty() ? 1 : 9)
            << results["1"].lines.join('\n').toStdString();
    }
}

// Every result's data is on the disk before its name leads to it, so that a power cut leaves a
// result whole or absent: the order of the program's own writes, syncs and namings is watched
// from inside it. A run killed at any moment leaves under the results' names only whole results.
TEST_F(Batch, AResultHasItsNameOnlyOnceItIsOnTheDisk) {
    for (int i = 0; i < 40; ++i)
        WriteBytes(path(QString("many/%1.xml").arg(i)),
                   ReadBytes(kSamples + "Office Relocation.xml")
                       .replace("Harbour", QByteArray::number(i) + " Harbour"));
    ASSERT_EQ(run(QStringList{"batch", "many", "--out", "out"} + pair).exitCode, 0);
    const FileTree whole = Tree(path("out"));
    QDir(path("out")).removeRecursively();
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("LD_PRELOAD", QUILLMERE_NAME_ORDER_SHIM);
    environment.insert("ASAN_OPTIONS", "verify_asan_link_order=0:detect_leaks=0");
    environment.insert("QUILLMERE_NAME_ORDER_LOG", path("order.log"));
    QDir().mkpath(path("out"));
    ASSERT_EQ(run(QStringList{"batch", "many", "--out", "out"} + pair, environment).exitCode, 0);
    EXPECT_TRUE(Tree(path("out")) == whole);
    EXPECT_EQ(QString::fromUtf8(ReadBytes(path("order.log"))), "");

    for (int killedAfter = 0; killedAfter < 160; killedAfter += 20) {
        QDir(path("out")).removeRecursively();
        QDir().mkpath(path("out"));
        QProcess process;
        process.setWorkingDirectory(dir.path());
        process.start(QUILLMERE_HOST_PROGRAM, QStringList{"batch", "many", "--out", "out"} + pair);
        ASSERT_TRUE(process.waitForStarted());
        QThread::msleep(killedAfter);
        process.kill();
        process.waitForFinished();
        const FileTree left = Tree(path("out"));
        for (auto file = left.cbegin(); file != left.cend(); ++file)
            EXPECT_EQ(file.value(), whole.value(file.key()))
                << killedAfter << " ms: " << file.key().toStdString();
    }
}

// Threads never start threads: a lone large file is read on two threads, files side by side on
// one each. The threads the program starts are counted from inside it.
TEST_F(Batch, NoMoreThreadsThanFilesAtOnce) {
    if (std::thread::hardware_concurrency() < 2) GTEST_SKIP() << "one core: no second thread";
    QByteArray tasks;
    for (int i = 0; i < 40000; ++i)
        tasks += "<Task><UID>" + QByteArray::number(i) + "</UID><Name>Harbour Street " +
                 QByteArray::number(i) + "</Name></Task>\r\n";
    const QByteArray large =
        "<?xml version=\"1.0\"?>\r\n<Project "
        "xmlns=\"http://schemas.microsoft.com/project\"><Tasks>\r\n" +
        tasks + "</Tasks></Project>\r\n";
    ASSERT_GT(large.size(), 2 << 20);
    WriteBytes(path("large/a.xml"), large);
    WriteBytes(path("large/b.xml"), large);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("LD_PRELOAD", QUILLMERE_THREAD_COUNT_SHIM);
    environment.insert("ASAN_OPTIONS", "verify_asan_link_order=0:detect_leaks=0");
    environment.insert("QUILLMERE_THREADS_LOG", path("threads.log"));
    const struct {
        QStringList arguments;
        QByteArray most;
    } cases[] = {{{"large/a.xml"}, "1\n"}, {{"large", "--jobs", "2"}, "2\n"}};
    for (const auto& c : cases) {
        QDir(path("out")).removeRecursively();
        QDir().mkpath(path("out"));
        ASSERT_EQ(
            run(QStringList{"batch", "--out", "out"} + c.arguments + pair, environment).exitCode,
            0);
        EXPECT_EQ(ReadBytes(path("threads.log")), c.most) << c.arguments.join(' ').toStdString();
    }
}

// Results whose names differ only in letter case may be one file (on a file system that ignores
// case): they share a landing key, so that they are taken one after another.
TEST_F(Batch, NamesThatDifferInCaseShareALandingKey) {
    quillmere::NativeFileSystem files;
    WriteBytes(path("out/Existing.xml"), "older");
    EXPECT_EQ(LandingKey(files, path("out/Plan.xml")), LandingKey(files, path("out/plan.XML")));
    EXPECT_NE(LandingKey(files, path("out/plan.xml")), LandingKey(files, path("out/plan2.xml")));
    EXPECT_NE(LandingKey(files, path("out/Existing.xml")), LandingKey(files, path("out/plan.xml")));
}

// A system that gives no more threads (here: a stack limit that no thread's stack fits in) gets
// the files worked on one at a time, with the same summary, not a crash.
TEST_F(Batch, NoThreadsMeansOneAtATime) {
    const QStringList arguments = QStringList{"batch", "in", "--jobs", "4", "--dry-run"} + pair;
    const Result free = run(arguments);
    QProcess process;
    process.setWorkingDirectory(dir.path());
    process.setChildProcessModifier([] {
        rlimit limit{};
        getrlimit(RLIMIT_STACK, &limit);
        limit.rlim_cur = std::min<rlim_t>(limit.rlim_max, rlim_t(1) << 40);
        setrlimit(RLIMIT_STACK, &limit);
    });
    process.start(QUILLMERE_HOST_PROGRAM, arguments);
    ASSERT_TRUE(process.waitForFinished(60000));
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(process.exitCode(), free.exitCode);
    EXPECT_EQ(QString::fromUtf8(process.readAllStandardOutput()).trimmed(), free.lines.join('\n'));
}

// A link at an output path leads where the system takes it: its text read from the folder it
// really is in ("../x" beside a linked folder, "hop/../x" through one). There it meets the result
// of a large file taken earlier and still being worked on: refused as one at a time refuses it.
TEST_F(Batch, ALinkIsFollowedFromTheFolderItIsIn) {
    QByteArray large = ReadBytes(kSamples + "Office Relocation.xml");
    large.replace("<Notes>", "<Notes>" + QByteArray(1 << 20, 'x'));
    WriteBytes(path("real/p.xml"), large);
    QFile::copy(kSamples + "Warehouse Fit-Out.xml", path("real/sub/q.xml"));
    QFile::copy(kSamples + "Warehouse Fit-Out.xml", path("other/q.xml"));
    QFile::link("real/sub", path("lnk"));
    QFile::link("../real/sub", path("other/hop"));
    for (const QString linked : {"lnk/q", "other/q"}) {
        QFile::remove(path("real/p_replaced.xml"));
        QFile::remove(path("other/q_replaced.xml"));
        QFile::link("../p_replaced.xml", path("real/sub/q_replaced.xml"));
        QFile::link("hop/../p_replaced.xml", path("other/q_replaced.xml"));
        const Result result =
            run(QStringList{"batch", "real/p.xml", linked + ".xml", "--jobs", "2"} + pair);
        ASSERT_EQ(result.lines.size(), 3);
        EXPECT_TRUE(result.lines[1].endsWith("would replace the result of " + path("real/p.xml") +
                                             ", written earlier in this run."))
            << result.lines[1].toStdString();
    }
}

// Run as root (as CI runs), a user's file link out of the walked tree is not worked on: each is
// said on standard error and counted in the totals. Root's own link is followed.
TEST_F(Batch, AnotherUsersLinkOutOfTheTreeIsSaidAndCounted) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root, to give a link to another user";
    QFile::copy(kSamples + "Office Relocation.xml", path("private/secret.xml"));
    QFile::link(path("private/secret.xml"), path("in/theirs.xml"));
    ASSERT_EQ(::lchown(QFile::encodeName(path("in/theirs.xml")).constData(), 65534, 65534), 0);
    QFile::link(path("private/secret.xml"), path("in/mine.xml"));
    const Result text = run(QStringList{"batch", "in", "--out", "out", "--dry-run"} + pair);
    EXPECT_EQ(text.lines.last(),
              "4 files: 2 changed, 1 unchanged, 1 failed; 1 link not followed; "
              "dry run, nothing written");
    EXPECT_TRUE(text.errors.contains(path("in/theirs.xml") + " was left out"))
        << text.errors.toStdString();
    EXPECT_TRUE(text.lines.filter("theirs").isEmpty());
}

// Started without standard input, output and error (as a daemon or a careless cron line starts
// it), the run writes each result as a run with them does: nothing it prints lands in a result,
// even when workers open results while the main thread has just closed one (widened by the shim).
TEST_F(Batch, WithoutStandardStreamsNothingPrintedLandsInAResult) {
    for (int i = 0; i < 150; ++i)
        QFile::copy(path("in/office.xml"), path(QStringLiteral("many/%1.xml").arg(i)));
    ASSERT_EQ(run(QStringList{"batch", "many", "--out", "out", "--jobs", "2"} + pair).exitCode, 0);
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("LD_PRELOAD", QUILLMERE_STANDARD_NUMBER_SHIM);
    environment.insert("ASAN_OPTIONS", "verify_asan_link_order=0:detect_leaks=0");
    process.setProcessEnvironment(environment);
    process.setWorkingDirectory(dir.path());
    process.setChildProcessModifier([] {
        for (const int fd : {0, 1, 2}) ::close(fd);
    });
    QDir().mkpath(path("closed"));
    process.start(QUILLMERE_HOST_PROGRAM,
                  QStringList{"batch", "many", "--out", "closed", "--jobs", "2"} + pair);
    ASSERT_TRUE(process.waitForFinished(60000));
    for (int i = 0; i < 150; ++i) {
        const QString name = QStringLiteral("/%1.xml").arg(i);
        EXPECT_TRUE(ReadBytes(path("closed") + name) == ReadBytes(path("out") + name))
            << name.toStdString();
    }
}

// A line with a character that a terminal takes as a command.
bool HoldsControlCharacters(const QString& text) {
    for (const QChar c : text)
        if ((c < u' ' && c != u'\n') || (c >= u'\x7F' && c <= u'\x9F')) return true;
    return false;
}

// Names that are not valid UTF-8 cannot be opened: each one that a walked tree holds (a folder,
// or a file the walk would take) and each PATH given so is told on standard error, with its
// folder and its bytes escaped, and fails the run; the other files are worked on.
TEST_F(Batch, NamesThatAreNotTextAreToldAndFailTheRun) {
    RawEntries raw;
    const QByteArray in = QFile::encodeName(path("in"));
    const QByteArray office = ReadBytes(path("in/office.xml"));
    raw.file(in + "/bad\xFF.xml", office);
    raw.file(in + "/sub/caf\xE9.mpx", office);
    raw.file(in + "/\xC0\xAF.xml", office);
    raw.folder(in + "/d\xFE");
    raw.file(in + "/d\xFE/e.xml", office);
    // Not a project file: no loss. A folder whose name holds a control character is not walked.
    raw.file(in + "/photo\xFF.jpg", office);
    raw.folder(in + "/tab\tdir");
    raw.file(in + "/tab\tdir/t.xml", office);
    const struct {
        QStringList arguments;
        QList<QStringList> told;  // each on one line of standard error
        QString totals;
    } cases[] = {
        {{"in"},
         {{path("in"), "bad\\xFF.xml"},
          {path("in"), "\\xC0\\xAF.xml"},
          {path("in"), "d\\xFE"},
          {path("in/sub"), "caf\\xE9.mpx"},
          {path("in"), "tab\\x09dir", "is not walked"}},
         "3 files: 1 changed, 1 unchanged, 1 failed"},
        {{"in/bad\\0377.xml", "in/office.xml"},
         {{"in/bad\\xFF.xml"}},
         "1 file: 1 changed, 0 unchanged, 0 failed"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments.join(' ').toStdString());
        const Result result = runBytes(QStringList{"batch", "--out", "out"} + c.arguments + pair);
        EXPECT_EQ(result.exitCode, 1);
        ASSERT_FALSE(result.lines.isEmpty());
        EXPECT_EQ(result.lines.last(), c.totals);
        const QStringList errors = result.errors.split('\n');
        for (const QStringList& parts : c.told) {
            const bool told = std::any_of(errors.cbegin(), errors.cend(), [&](const QString& line) {
                return std::all_of(parts.cbegin(), parts.cend(),
                                   [&](const QString& part) { return line.contains(part); });
            });
            EXPECT_TRUE(told) << parts.join(", ").toStdString() << " in\n"
                              << result.errors.toStdString();
        }
        EXPECT_FALSE(result.errors.contains("photo"));
    }
}

// A folder whose path is 260 characters or more is not walked: in a batch it is told, escaped
// like every name on standard error, and fails the run.
TEST_F(Batch, FoldersTooLongToWalkAreToldAndFailTheRun) {
    for (const QString start : {"long", "ctl\x1B[2J"}) {
        QString deep = start;
        QString tooLong;
        while (path(deep).size() < 300) {
            deep += "/" + QString(40, 'd');
            if (tooLong.isEmpty() && path(deep).size() + 1 >= 260) tooLong = deep;
        }
        QFile::copy(kSamples + "Office Relocation.xml", path(deep + "/far.xml"));
        QFile::copy(kSamples + "Office Relocation.xml", path(start + "/near.xml"));
        const Result result = run(QStringList{"batch", start, "--dry-run"} + pair);
        SCOPED_TRACE(start.toStdString());
        EXPECT_EQ(result.exitCode, 1);
        EXPECT_TRUE(result.lines.filter("far.xml").isEmpty());
        EXPECT_TRUE(result.errors.contains(path(tooLong).replace("\x1B", "\\x1B")))
            << result.errors.toStdString();
        EXPECT_FALSE(HoldsControlCharacters(result.errors));
    }
}

// A name may hold a terminal's control sequences: the text summary shows those characters
// escaped, and the JSON lines as JSON escapes that read back as the name.
TEST_F(Batch, ControlCharactersInNamesAreShownEscaped) {
    const QString name = QString::fromUtf8(
        "in/\x1B]0;owned\x07plan\xC2\x9B"
        "2J");
    const QString shown = path("in/\\x1B]0;owned\\x07plan\\x9B2J");
    QFile::copy(path("in/office.xml"), path(name + ".xml"));
    QFile::copy(path("in/notes.txt"), path(name + ".txt"));
    const struct {
        QString file;
        QString line;
    } cases[] = {
        {name + ".xml", "changed: " + shown + ".xml -> " + shown + "_replaced.xml: Name 6"},
        {name + ".txt", "failed: " + shown + ".txt -> " + shown + "_replaced.txt: "},
    };
    for (const auto& c : cases) {
        const Result result = run(QStringList{"batch", c.file, "--dry-run"} + pair);
        ASSERT_EQ(result.lines.size(), 2);
        EXPECT_TRUE(result.lines[0].startsWith(c.line)) << result.lines[0].toStdString();
        EXPECT_FALSE(HoldsControlCharacters(result.lines.join('\n') + result.errors));
        const Result json = run(QStringList{"batch", c.file, "--dry-run", "--json"} + pair);
        ASSERT_EQ(json.lines.size(), 2);
        EXPECT_EQ(QJsonDocument::fromJson(json.lines[0].toUtf8())["source"].toString(),
                  path(c.file));
    }
}

// A reader that stops reading (a pipe into "head -1") stops no file: every one is worked on and
// synced, and the summary that could not be written fails the run.
TEST_F(Batch, AReaderThatStopsStopsNoFile) {
    QStringList results;
    for (const QString folder : {"a", "b", "c", "d", "e", "f"}) {
        QFile::copy(kSamples + "Office Relocation.xml", path("many/" + folder + "/plan.xml"));
        results << path("many/" + folder + "/plan_replaced.xml");
    }
    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    ::close(ends[0]);
    QProcess process;
    process.setWorkingDirectory(dir.path());
    // From a shell, the child starts with the signal's default action.
    process.setChildProcessModifier([&ends] {
        std::signal(SIGPIPE, SIG_DFL);
        ::dup2(ends[1], STDOUT_FILENO);
    });
    process.start(QUILLMERE_HOST_PROGRAM, QStringList{"batch", "many", "--jobs", "1"} + pair);
    ASSERT_TRUE(process.waitForFinished(60000));
    ::close(ends[1]);
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(process.exitCode(), 1);
    EXPECT_TRUE(process.readAllStandardError().contains("the summary could not be written"));
    for (const QString& result : results)
        EXPECT_TRUE(ReadBytes(result).contains("Quay Road")) << result.toStdString();
}

// More jobs than the open-files limit leaves room for: fewer workers, and no file fails to open.
TEST_F(Batch, JobsStayWithinTheOpenFilesLimit) {
    // Files large enough (a note of 1 MiB) to be open a while each, so that many workers hold
    // files at once.
    QByteArray large = ReadBytes(kSamples + "Office Relocation.xml");
    large.insert(large.indexOf("<Notes>") + 7, QByteArray(1 << 20, 'x'));
    for (int i = 0; i < 40; ++i) WriteBytes(path(QString("many/%1/plan.xml").arg(i)), large);
    QProcess process;
    process.setWorkingDirectory(dir.path());
    process.setChildProcessModifier([] {
        rlimit limit{};
        getrlimit(RLIMIT_NOFILE, &limit);
        limit.rlim_cur = 32;
        setrlimit(RLIMIT_NOFILE, &limit);
    });
    process.start(QUILLMERE_HOST_PROGRAM, QStringList{"batch", "many", "--jobs", "1000"} + pair);
    ASSERT_TRUE(process.waitForFinished(60000));
    QString out = QString::fromUtf8(process.readAllStandardOutput());
    EXPECT_FALSE(out.contains("Too many open files")) << out.toStdString();
    EXPECT_TRUE(out.endsWith("40 files: 40 changed, 0 unchanged, 0 failed\n"));
    EXPECT_EQ(process.exitCode(), 0);
    // Every folder taken twice, far apart: more output folders than may stay open at once.
    QStringList twice;
    for (const char* name : {"plan.xml", "copy.xml"}) {
        for (int i = 0; i < 40; ++i) {
            twice << QString("many/%1/%2").arg(i).arg(name);
            QFile::copy(path(QString("many/%1/plan.xml").arg(i)), path(twice.last()));
        }
    }
    process.start(QUILLMERE_HOST_PROGRAM, QStringList{"batch", "--jobs", "1"} + twice + pair);
    ASSERT_TRUE(process.waitForFinished(60000));
    out = QString::fromUtf8(process.readAllStandardOutput());
    EXPECT_TRUE(out.endsWith("80 files: 80 changed, 0 unchanged, 0 failed\n")) << out.toStdString();
}

}  // namespace
