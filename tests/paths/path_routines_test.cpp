#include "paths/path_routines.h"

#include "platform/failure.h"
#include "platform/file_system.h"
#include "support/fake_services.h"
#include "support/files.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace quillmere {
namespace {

using testing::FakeServices;

enum class Routine { FileName, FolderPath, RemoveExt, Extension, Normalize };

struct TextCase {
    Routine routine;
    const char* input;
    const char* expected;
};

QString Apply(Routine routine, const QString& input, PathStyle style) {
    switch (routine) {
        case Routine::FileName:
            return GetFileName(input, style);
        case Routine::FolderPath:
            return GetFolderPath(input, style);
        case Routine::RemoveExt:
            return RemoveExtension(input);
        case Routine::Extension:
            return GetExtension(input);
        case Routine::Normalize:
            return NormalizePath(input, style);
    }
    return {};
}

// The Windows examples; the POSIX table is the same with "/" for "\", except that a leading
// run of "/" is the root and becomes one "/".
const TextCase kWindowsCases[] = {
    {Routine::FileName, R"(C:\a\b.mpp)", "b.mpp"},
    {Routine::FileName, "b.mpp", "b.mpp"},
    {Routine::FileName, R"(C:\a\)", ""},
    {Routine::FileName, "", ""},
    {Routine::FolderPath, R"(C:\a\b.mpp)", R"(C:\a\)"},
    {Routine::FolderPath, "b.mpp", ""},
    {Routine::FolderPath, "", ""},
    {Routine::RemoveExt, R"(C:\a\b.mpp)", R"(C:\a\b)"},
    {Routine::RemoveExt, ".mpp", ".mpp"},
    {Routine::RemoveExt, "a.b.c", "a.b"},
    {Routine::RemoveExt, R"(C:\dir.old\plan)", R"(C:\dir)"},
    {Routine::RemoveExt, "", ""},
    {Routine::Extension, R"(C:\a\b.mpp)", "mpp"},
    {Routine::Extension, "plan.", ""},
    {Routine::Extension, "a.b.c", "c"},
    {Routine::Extension, "abc", "abc"},
    {Routine::Extension, R"(C:\dir.old\plan)", R"(old\plan)"},
    {Routine::Normalize, R"(C:\Out\\plan.mpp)", R"(C:\Out\plan.mpp)"},
    {Routine::Normalize, R"(C:\a\\\b)", R"(C:\a\\b)"},
    {Routine::Normalize, R"(C:\a\\\\b)", R"(C:\a\\b)"},
    {Routine::Normalize, R"(\\server\share\\a)", R"(\\server\share\a)"},
    {Routine::Normalize, R"(\\\srv\x)", R"(\\srv\x)"},
    {Routine::Normalize, R"(\dir\x)", R"(\\dir\x)"},
    {Routine::Normalize, R"(\\)", R"(\\)"},
    {Routine::Normalize, "", ""},
};

TEST(PathRoutines, WindowsExamples) {
    for (const auto& c : kWindowsCases) {
        EXPECT_EQ(Apply(c.routine, QString::fromUtf8(c.input), PathStyle::Windows),
                  QString::fromUtf8(c.expected))
            << "input " << c.input;
    }
}

QString ToPosix(const char* text) {
    return QString::fromUtf8(text).replace('\\', '/');
}

TEST(PathRoutines, PosixCounterparts) {
    for (const auto& c : kWindowsCases) {
        const QString input = ToPosix(c.input);
        QString expected = ToPosix(c.expected);
        // The root keeps one separator: no network paths on POSIX.
        if (c.routine == Routine::Normalize && expected.startsWith("//")) expected.remove(0, 1);
        EXPECT_EQ(Apply(c.routine, input, PathStyle::Posix), expected) << "input " << c.input;
    }
    EXPECT_EQ(NormalizePath("///home//me///x", PathStyle::Posix), "/home/me//x");
    EXPECT_EQ(NormalizePath("/", PathStyle::Posix), "/");
}

TEST(PathRoutines, WindowsStyleLeavesSlashesAlone) {
    EXPECT_EQ(GetFileName("C:/a/b.mpp", PathStyle::Windows), "C:/a/b.mpp");
    EXPECT_EQ(NormalizePath("a//b", PathStyle::Windows), "a//b");
}

class FileRoutines : public ::testing::Test {
  protected:
    QString make(const QString& name, const QByteArray& content = "x") {
        const QString path = dir.filePath(name);
        testing::WriteBytes(path, content);
        return path;
    }
    FakeServices fake;
    QTemporaryDir dir;
};

TEST_F(FileRoutines, FolderAndFileExistence) {
    const QString file = make("plan.mpp");
    struct Case {
        QString path;
        bool isFile;
        bool isFolder;
    } cases[] = {
        {file, true, false},
        {dir.path(), true, true},
        {dir.path() + "/", true, true},
        {dir.filePath("missing.mpp"), false, false},
        {"", false, false},
        {dir.filePath("*.mpp"), false, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FileExists(fake.files, c.path), c.isFile) << c.path.toStdString();
        EXPECT_EQ(FolderExists(fake.files, c.path), c.isFolder) << c.path.toStdString();
    }
}

TEST_F(FileRoutines, DeleteFileQuietlyRemovesReadOnlyFilesAndIgnoresMissingOnes) {
    const QString readOnly = make("old.mpp");
    QFile::setPermissions(readOnly, QFileDevice::ReadOwner);
    EXPECT_THROW(fake.files.deleteFile(readOnly), Failure);  // the plain deletion refuses it

    DeleteFileQuietly(fake.files, fake.events, readOnly);
    EXPECT_FALSE(QFile::exists(readOnly));

    const int yieldsBefore = fake.events.yields;
    EXPECT_NO_THROW(DeleteFileQuietly(fake.files, fake.events, dir.filePath("missing.mpp")));
    EXPECT_EQ(fake.events.yields, yieldsBefore + 1);
    EXPECT_NO_THROW(DeleteFileQuietly(fake.files, fake.events, dir.path()));
    EXPECT_TRUE(QDir(dir.path()).exists());
}

TEST_F(FileRoutines, DeleteFileQuietlyLetsTheProgramEnd) {
    const QString file = make("plan.mpp");
    fake.events.endProgram();
    EXPECT_THROW(DeleteFileQuietly(fake.files, fake.events, file), ProgramEnding);
    EXPECT_TRUE(QFile::exists(file));
}

TEST_F(FileRoutines, ConfirmOverwriteAsksOnlyForAnExistingFile) {
    EXPECT_TRUE(ConfirmOverwrite(fake.files, fake.dialogs, dir.filePath("new.txt")));
    EXPECT_TRUE(fake.dialogs.shown().empty());

    const QString existing = make("sets.txt");
    fake.dialogs.setApplicationTitle("Quillmere");
    fake.dialogs.expectMessage("Are you sure you wish to overwrite " + existing + " ?", Answer::No)
        .expectMessage(std::nullopt, Answer::Yes);
    EXPECT_FALSE(ConfirmOverwrite(fake.files, fake.dialogs, existing));
    EXPECT_TRUE(ConfirmOverwrite(fake.files, fake.dialogs, existing));
    EXPECT_EQ(fake.dialogs.shown()[0].caption, "Quillmere");
    EXPECT_EQ(fake.dialogs.shown()[0].buttons, MessageButtons::YesNo);
    EXPECT_EQ(fake.dialogs.shown()[0].icon, MessageIcon::None);
}

// A file system that knows no desktop folder.
class NoDesktop : public NativeFileSystem {
  public:
    QString desktopFolder() override { return {}; }
};

TEST_F(FileRoutines, DesktopFolderEndsInOneSeparator) {
    qputenv("XDG_CONFIG_HOME", dir.filePath("config").toUtf8());
    qputenv("HOME", dir.path().toUtf8());
    // Without a desktop folder the home folder stands in.
    EXPECT_EQ(GetDesktopFolder(fake.files, PathStyle::Posix), dir.path() + "/");
    QDir(dir.path()).mkdir("Desktop");
    EXPECT_EQ(GetDesktopFolder(fake.files, PathStyle::Posix), dir.filePath("Desktop") + "/");

    NoDesktop none;
    EXPECT_THROW(GetDesktopFolder(none), Failure);
}

}  // namespace
}  // namespace quillmere
