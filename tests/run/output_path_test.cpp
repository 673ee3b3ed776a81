#include "run/output_path.h"

#include "platform/file_system.h"
#include "support/files.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace quillmere {
namespace {

struct OutputCase {
    const char* folderText;  // nullptr: beside the source
    const char* expected;
};

// Source C:\Plans\alpha.mpp; "same" marks the cases where the output lands on the source.
const OutputCase kWindowsCases[] = {
    {nullptr, R"(C:\Plans\alpha_replaced.mpp)"},
    {R"(D:\Out\)", R"(D:\Out\alpha.mpp)"},
    {R"(D:\Out)", R"(D:\Out\alpha.mpp)"},
    {R"(D:\\Out\)", R"(D:\Out\alpha.mpp)"},
    {R"(C:\Plans\)", R"(C:\Plans\alpha_replaced.mpp)"},
    {R"(\\server\share\out\)", R"(\\server\share\out\alpha.mpp)"},
};

QString Build(const char* folderText, const QString& source, PathStyle style, FileSystem& fs) {
    QString output = folderText ? OutputInFolder(QString::fromUtf8(folderText), source, style)
                                : OutputBesideSource(source, style);
    if (NamesTheSource(fs, output, source, style)) output = ReplacedName(output, style);
    return output;
}

TEST(OutputPath, WindowsExamples) {
    NativeFileSystem fs;
    for (const auto& c : kWindowsCases)
        EXPECT_EQ(Build(c.folderText, R"(C:\Plans\alpha.mpp)", PathStyle::Windows, fs),
                  QString::fromUtf8(c.expected))
            << (c.folderText ? c.folderText : "beside");
}

TEST(OutputPath, PosixCounterparts) {
    NativeFileSystem fs;
    const struct {
        const char* folderText;
        const char* expected;
    } cases[] = {
        {nullptr, "/plans/alpha_replaced.mpp"},
        {"/out/", "/out/alpha.mpp"},
        {"/out", "/out/alpha.mpp"},
        {"/srv//out/", "/srv/out/alpha.mpp"},
        {"/plans/", "/plans/alpha_replaced.mpp"},
        {"//plans", "/plans/alpha_replaced.mpp"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Build(c.folderText, "/plans/alpha.mpp", PathStyle::Posix, fs),
                  QString::fromUtf8(c.expected))
            << (c.folderText ? c.folderText : "beside");
}

TEST(OutputPath, ReplacedNameLooksAtTheFileNameOnly) {
    const struct {
        const char* path;
        const char* expected;
    } cases[] = {
        {R"(C:\dir.old\plan)", R"(C:\dir.old\plan_replaced)"},
        {R"(C:\dir.old\plan.mpp)", R"(C:\dir.old\plan_replaced.mpp)"},
        {R"(C:\a\b.c.mpp)", R"(C:\a\b.c_replaced.mpp)"},
        {R"(C:\a\.mpp)", R"(C:\a\_replaced.mpp)"},
        {R"(C:\a\plan.)", R"(C:\a\plan_replaced.)"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ReplacedName(QString::fromUtf8(c.path), PathStyle::Windows),
                  QString::fromUtf8(c.expected));
}

TEST(OutputPath, AnotherSpellingOfTheSourceCountsAsTheSource) {
    QTemporaryDir dir;
    NativeFileSystem fs;
    QDir(dir.path()).mkdir("plans");
    const QString source = dir.filePath("plans/alpha.mpp");
    testing::WriteBytes(source);
    QFile::link(dir.filePath("plans"), dir.filePath("link"));
    for (const QString& folder :
         {dir.filePath("link"), dir.filePath("plans/../plans"), dir.filePath("plans") + "//"}) {
        const QString output = OutputInFolder(folder, source, PathStyle::Posix);
        EXPECT_TRUE(NamesTheSource(fs, output, source, PathStyle::Posix)) << folder.toStdString();
    }
    EXPECT_FALSE(NamesTheSource(fs, dir.filePath("alpha.mpp"), source, PathStyle::Posix));
}

}  // namespace
}  // namespace quillmere
