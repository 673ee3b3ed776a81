// Saving a whole file in place: waiting for the disk at once, or leaving that to the end of a run.

#include "platform/atomic_file.h"
#include "platform/failure.h"
#include "support/files.h"
#include "support/qt_printers.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace quillmere {
namespace {

using testing::ReadBytes;
using testing::WithFileSizeLimit;
using testing::WriteBytes;

TEST(AtomicFile, ASaveReplacesTheWholeFileOrLeavesItAsItWas) {
    for (const SaveSync sync : {SaveSync::Now, SaveSync::Deferred}) {
        SCOPED_TRACE(sync == SaveSync::Now ? "now" : "deferred");
        QTemporaryDir dir;
        const QString path = dir.filePath("plan.xml");
        WriteBytes(path, "old");
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup);
        const auto permissions = QFile::permissions(path);
        QFile::link(path, dir.filePath("link.xml"));
        // Through a link, the file it leads to is saved; the new file keeps its permissions.
        SaveFileAtomically(dir.filePath("link.xml"), "new", sync);
        EXPECT_EQ(ReadBytes(path), "new");
        EXPECT_EQ(QFileInfo(dir.filePath("link.xml")).symLinkTarget(), path);
        EXPECT_EQ(QFile::permissions(path), permissions);
        // A disk that fills up while the file is written, and a missing folder.
        WithFileSizeLimit(
            4, [&] { EXPECT_THROW(SaveFileAtomically(path, "much longer", sync), Failure); });
        EXPECT_EQ(ReadBytes(path), "new");
        EXPECT_THROW(SaveFileAtomically(dir.filePath("missing/plan.xml"), "new", sync), Failure);
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System),
                  (QStringList{"link.xml", "plan.xml"}));
        EXPECT_NO_THROW(SyncFiles({path}));
    }
}

}  // namespace
}  // namespace quillmere
