// The command-line companion, run as a user would run it; and what both programs say to --help
// and --version.

#include "support/files.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

namespace {

using quillmere::testing::ReadBytes;
using quillmere::testing::WriteBytes;

struct Result {
    int exitCode;
    QString errors;
    QString output;
};

Result RunProgram(
    const QString& program, const QStringList& arguments,
    const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment()) {
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(program, arguments);
    EXPECT_TRUE(process.waitForFinished(30000));
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromUtf8(process.readAllStandardError()),
            QString::fromUtf8(process.readAllStandardOutput())};
}

Result RunHost(const QStringList& arguments) {
    return RunProgram(QStringLiteral(QUILLMERE_HOST_PROGRAM), arguments);
}

class HostProgram : public ::testing::Test {
  protected:
    HostProgram() {
        QFile::copy(QStringLiteral(QUILLMERE_RESOURCES "/Samples/Office Relocation.xml"), source);
        original = ReadBytes(source);
    }
    ~HostProgram() override { EXPECT_EQ(ReadBytes(source), original); }

    QTemporaryDir dir;
    QString source = dir.filePath("plan.xml");
    QString output = dir.filePath("out.xml");
    QByteArray original;
};

TEST_F(HostProgram, ReplacesPairsInOrder) {
    const Result result =
        RunHost({source, output, "--match-case", "--find", "Harbour Street", "--replace", "Quay",
                 "--find", "Quay", "--replace", "Pier Road"});
    EXPECT_EQ(result.exitCode, 0) << result.errors.toStdString();
    EXPECT_TRUE(ReadBytes(output).contains("<Name>Confirm Pier Road lease</Name>"));
}

TEST_F(HostProgram, RefusesToWriteOverTheSource) {
    for (const QString& target : {source, dir.filePath("./plan.xml")}) {
        const Result result = RunHost({source, target, "--find", "a", "--replace", "b"});
        EXPECT_EQ(result.exitCode, 2);
        EXPECT_TRUE(result.errors.contains("never written over"));
    }
}

TEST_F(HostProgram, AFailingCallIsPrintedAndExitsNonZero) {
    const QString binary = dir.filePath("old.mpp");
    WriteBytes(binary, QByteArray("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8));
    const Result result =
        RunHost({binary, dir.filePath("new.mpp"), "--find", "a", "--replace", "b"});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_TRUE(result.errors.contains("old.mpp is a binary Microsoft Project file"));
    EXPECT_FALSE(QFile::exists(dir.filePath("new.mpp")));
    EXPECT_EQ(RunHost({source, output, "--find", "a"}).exitCode,
              2);  // a find without its replacement
}

TEST_F(HostProgram, HelpAndVersionTheGnuWay) {
    const QString version = QStringLiteral("quillmere-host (Quillmere) " QUILLMERE_VERSION "\n");
    const struct {
        QStringList arguments;
        QString output;  // the whole output, or its first line for the help
    } cases[] = {
        {{"--version"}, version},
        {{source, output, "--version", "--find", "a", "--replace", "b"}, version},
        {{"--help"}, "Usage: quillmere-host SOURCE OUTPUT"},
        {{"-h"}, "Usage: quillmere-host SOURCE OUTPUT"},
    };
    for (const auto& c : cases) {
        const Result result = RunHost(c.arguments);
        EXPECT_EQ(result.exitCode, 0) << c.arguments.join(' ').toStdString();
        EXPECT_TRUE(result.output.startsWith(c.output)) << result.output.toStdString();
    }
    EXPECT_FALSE(QFile::exists(output));
    // The value of an option is a text, whatever it looks like.
    const Result found = RunHost({source, output, "--find", "--help", "--replace", "x"});
    EXPECT_EQ(found.exitCode, 0) << found.errors.toStdString();
    EXPECT_TRUE(QFile::exists(output));
}

// The window program answers --help and --version before it needs a display.
TEST(WindowProgram, HelpAndVersionWithoutADisplay) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("DISPLAY"));
    environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    const QString program = QStringLiteral(QUILLMERE_PROGRAM);
    const Result version = RunProgram(program, {"--version"}, environment);
    EXPECT_EQ(version.exitCode, 0) << version.errors.toStdString();
    EXPECT_EQ(version.output, "quillmere (Quillmere) " QUILLMERE_VERSION "\n");
    const Result help = RunProgram(program, {"--help"}, environment);
    EXPECT_EQ(help.exitCode, 0) << help.errors.toStdString();
    EXPECT_TRUE(help.output.startsWith("Usage: quillmere [OPTION]..."))
        << help.output.toStdString();
}

}  // namespace
