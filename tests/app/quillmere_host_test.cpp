// The command-line companion, run as a user would run it.

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
};

Result RunHost(const QStringList& arguments) {
    QProcess process;
    process.start(QStringLiteral(QUILLMERE_HOST_PROGRAM), arguments);
    EXPECT_TRUE(process.waitForFinished(30000));
    return {process.exitCode(), QString::fromUtf8(process.readAllStandardError())};
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

}  // namespace
