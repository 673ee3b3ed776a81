#include "host/builtin/builtin_host.h"
#include "host/builtin/open_document.h"

#include "host/builtin/documents.h"
#include "platform/failure.h"
#include "support/files.h"
#include "support/qt_printers.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <future>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace quillmere::builtin {
namespace {

using testing::ReadBytes;
using testing::WithFileSizeLimit;
using testing::WriteBytes;

TEST(BuiltinHost, EverySampleSavesByteForByteWhenNothingMatches) {
    QDirIterator it(kExternal, {"*.xml", "*.mpx"}, QDir::Files, QDirIterator::Subdirectories);
    int files = 0;
    while (it.hasNext()) {
        const QString path = it.next();
        auto doc = Open(path);
        ReplaceEverywhere(*doc, "no such text anywhere", "x");
        EXPECT_EQ(doc->save(), ReadBytes(path)) << path.toStdString();
        ++files;
    }
    EXPECT_EQ(files, 30);
}

// Half a surrogate pair can only come from malformed input; no file can hold it.
TEST(BuiltinHost, ALoneSurrogateFailsTheSave) {
    const QByteArray files[] = {
        "<Project xmlns=\"http://schemas.microsoft.com/project\"><Tasks><Task><UID>1</UID>"
        "<Name>\xF0\x9F\x98\x80 x</Name></Task></Tasks></Project>",
        "MPX,Microsoft Project for Windows,4.0,ANSI\r\n61,98,1\r\n70,1,x\r\n"};
    for (const QByteArray& bytes : files) {
        auto doc = OpenDocument(bytes, "s");
        EXPECT_TRUE(doc->replace("Name", "x", QString(QChar(0xD83D)), true));
        try {
            doc->save();
            ADD_FAILURE() << "saved a lone surrogate: " << bytes.left(5).toStdString();
        } catch (const Failure& failure) {
            EXPECT_TRUE(failure.description().contains("lone surrogate U+D83D"));
        }
    }
}

class BuiltinHostInstance : public ::testing::Test {
  protected:
    QString copyOf(const QString& source, const QString& name) {
        const QString path = dir.filePath(name);
        QFile::copy(source, path);
        return path;
    }
    static ReplaceArgs Args(const QString& field, const QString& find, const QString& with) {
        return {field, "contains", find, with, true, true, false};
    }
    std::string failureOf(const std::function<void()>& call) {
        try {
            call();
        } catch (const Failure& failure) {
            return failure.description().toStdString();
        }
        return "no failure";
    }

    QTemporaryDir dir;
    BuiltinHostFactory factory;
    std::unique_ptr<HostInstance> host = factory.create("MSProject.Application");
};

TEST_F(BuiltinHostInstance, NameAndFactory) {
    EXPECT_EQ(host->name(), "Quillmere built-in project host");
    EXPECT_THROW(factory.attach("MSProject.Application"), Failure);
    EXPECT_THROW(factory.create("Excel.Application"), Failure);
}

TEST_F(BuiltinHostInstance, ReplaceChecksItsArguments) {
    host->fileOpen(kSamples + "/Office Relocation.xml");
    EXPECT_EQ(failureOf([&] {
                  host->replace({"Name", "equals", "a", "b", true, true, false});
              }),
              "The test \"equals\" is not supported: only 'contains' is supported.");
    EXPECT_EQ(failureOf([&] { host->replace(Args("Colour", "a", "b")); }),
              "The argument value is not valid: there is no task field named \"Colour\".");
    // Derived or calculated fields are Project's to compute: nothing changes, nothing fails.
    for (const char* field : {"Duration", "Predecessors", "Resource Names", "Total Slack"})
        EXPECT_FALSE(host->replace(Args(field, "1", "2")));
    EXPECT_TRUE(host->replace(Args("Name", "Harbour Street", "Quay Road")));
    EXPECT_FALSE(host->replace(Args("Name", "Harbour Street", "Quay Road")));
}

TEST_F(BuiltinHostInstance, BadFilesFailWithTheirReasonAndLeaveNothing) {
    QByteArray xml = ReadBytes(kSamples + "/Office Relocation.xml");
    QByteArray random(4096, 0);
    QRandomGenerator generator(7);
    for (char& byte : random) byte = char(generator.bounded(256));
    const struct {
        const char* name;
        QByteArray bytes;
        const char* reason;
    } cases[] = {
        {"plan.mpp", QByteArray("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8) + QByteArray(504, 0),
         "plan.mpp is a binary Microsoft Project file, which only Microsoft Project can open. Run "
         "Quillmere on Windows with Project installed, or save the file as XML from Project."},
        {"empty.xml", "", "empty.xml is empty."},
        {"cut.xml", xml.left(xml.size() / 2), "cut.xml is not a well-formed XML file (line"},
        {"bad.xml", "<Project xmlns=\"http://schemas.microsoft.com/project\"><Name>a</Nme>",
         "bad.xml is not a well-formed XML file (line 1, column"},
        {"page.xml", "<html><body/></html>",
         "page.xml is an XML file, but not a Microsoft Project XML file."},
        {"noise.bin", random, "noise.bin is neither a Project XML file nor an MPX file."},
        {"latin.xml", "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><Project/>",
         "latin.xml uses the character encoding ISO-8859-1"},
        {"root.xml", "<html/>", "root.xml is an XML file, but not a Microsoft Project XML file."},
        {"pair.xml", QByteArray("<\0a\0/\0>\0\0\xD8y\0", 10),
         "pair.xml is not well-formed UTF-16: the surrogate at byte 8 has no partner."},
        {"old.mpx", "MPX,Microsoft Project for Windows,4.0,ZH\r\n",
         "old.mpx uses the MPX code page \"ZH\""},
        {"short.mpx", "MPX", "short.mpx has no MPX header record"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const QString source = dir.filePath(c.name);
        WriteBytes(source, c.bytes);
        const QString output = dir.filePath(QString("out-") + c.name);
        const std::string failure = failureOf([&] { host->fileOpen(source); });
        EXPECT_EQ(failure.rfind(c.reason, 0), 0u) << failure;
        EXPECT_FALSE(host->replace(Args("Name", "a", "b")));
        EXPECT_EQ(failureOf([&] { host->fileSaveAs(output); }),
                  "No project is open, so nothing was saved.");
        EXPECT_FALSE(QFile::exists(output));
        host->quit();
    }
}

#ifdef Q_OS_UNIX
// A named pipe put where a listed file was, read ahead and then opened: both end at once, with
// the reason, instead of waiting for ever for a writer.
TEST_F(BuiltinHostInstance, APipeInPlaceOfAFileFailsAtOnce) {
    const QString pipe = dir.filePath("plan.xml");
    ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    factory.expect(pipe);
    auto opened =
        std::async(std::launch::async, [&] { return failureOf([&] { host->fileOpen(pipe); }); });
    if (opened.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
        // Lets the waiting reads end, so that the test can.
        const int writer = ::open(QFile::encodeName(pipe).constData(), O_WRONLY | O_NONBLOCK);
        ::close(writer);
        FAIL() << "the opening waited for a writer";
    }
    EXPECT_EQ(opened.get(),
              (pipe + " could not be opened: it is not a regular file (a named pipe, a "
                      "device or a socket, say), so it was not read")
                  .toStdString());
}
#endif

TEST_F(BuiltinHostInstance, AFailedSaveLeavesNothingAtTheOutputPath) {
    const QString source = copyOf(kSamples + "/Website Launch.mpx", "w.mpx");
    host->fileOpen(source);
    host->replace(Args("Name", "Photograph", QString::fromUtf8("写真")));
    const QString output = dir.filePath("out.mpx");
    EXPECT_NE(failureOf([&] { host->fileSaveAs(output); }), "no failure");
    EXPECT_TRUE(QDir(dir.path()).entryList(QDir::Files) == QStringList{"w.mpx"});
    EXPECT_NE(failureOf([&] { host->fileSaveAs(dir.filePath("missing/out.mpx")); }), "no failure");
    // A disk that fills up while the result is written.
    host->replace(Args("Name", QString::fromUtf8("写真"), "Photograph"));
    WithFileSizeLimit(
        64, [&] { EXPECT_NE(failureOf([&] { host->fileSaveAs(output); }), "no failure"); });
    EXPECT_TRUE(QDir(dir.path()).entryList(QDir::Files) == QStringList{"w.mpx"});
}

#if defined(Q_OS_LINUX) && !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
// A replacement that fails part-way (here out of memory, under an address-space limit that the
// sanitizers' own mappings would not fit in) may leave the project half replaced: it fails, and
// nothing is saved.
TEST_F(BuiltinHostInstance, AReplacementThatFailsPartWaySavesNothing) {
    QByteArray xml = ReadBytes(kSamples + "/Office Relocation.xml");
    xml.insert(xml.indexOf("<Notes>") + 7, QByteArray(1 << 20, 'a'));
    const QString source = dir.filePath("large.xml"), output = dir.filePath("out.xml");
    WriteBytes(source, xml);
    const pid_t child = ::fork();
    if (child == 0) {
        host->fileOpen(source);
        QFile status("/proc/self/status");
        status.open(QIODevice::ReadOnly);
        const QByteArray text = status.readAll();
        const qsizetype at = text.indexOf("VmSize:") + 7;
        const rlim_t size = text.mid(at, text.indexOf("kB", at) - at).trimmed().toULongLong();
        const rlimit limit{(size << 10) + (rlim_t(256) << 20), RLIM_INFINITY};
        ::setrlimit(RLIMIT_AS, &limit);
        bool failed = false;
        try {
            host->replace(Args("Notes", "a", QString(1024, 'b')));
        } catch (const std::exception&) {
            failed = true;
        }
        const bool refused = failureOf([&] { host->fileSaveAs(output); }) != "no failure";
        ::_exit(failed && refused ? 0 : 1);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"large.xml"});
}
#endif

TEST_F(BuiltinHostInstance, TheSourceIsNeverTheTarget) {
    const QString source = copyOf(kSamples + "/Office Relocation.xml", "plan.xml");
    const QByteArray original = ReadBytes(source);
    QFile::link(source, dir.filePath("alias.xml"));
    host->fileOpen(source);
    host->replace(Args("Name", "Harbour", "Quay"));
    for (const QString& target : {source, dir.filePath("alias.xml"), dir.filePath("./plan.xml")})
        EXPECT_NE(failureOf([&] { host->fileSaveAs(target); }), "no failure");
    EXPECT_EQ(ReadBytes(source), original);
    host->fileSaveAs(dir.filePath("out.xml"));
    factory.syncSaves();
    EXPECT_TRUE(
        ReadBytes(dir.filePath("out.xml")).contains("<Name>Confirm Quay Street lease</Name>"));
    host->quit();
    EXPECT_EQ(failureOf([&] { host->fileSaveAs(dir.filePath("again.xml")); }),
              "No project is open, so nothing was saved.");
}

TEST(BuiltinHostRobustness, NoTruncationOrMutationCrashes) {
    QRandomGenerator generator(11);
    for (const QString& path : {kExternal + "/mspdi/sample.xml", kExternal + "/mpx/sample.mpx",
                                kSamples + "/Office Relocation.xml"}) {
        const QByteArray bytes = ReadBytes(path);
        for (qsizetype cut = 0; cut < bytes.size(); cut += qMax<qsizetype>(1, bytes.size() / 97)) {
            QByteArray mutated = bytes.left(cut);
            if (!mutated.isEmpty())
                mutated[generator.bounded(int(mutated.size()))] = char(generator.bounded(256));
            try {
                auto doc = OpenDocument(mutated, "m");
                ReplaceEverywhere(*doc, "a", "\"<&;,\x7F");
                doc->save();
            } catch (const Failure&) {
            }
        }
    }
}

}  // namespace
}  // namespace quillmere::builtin
