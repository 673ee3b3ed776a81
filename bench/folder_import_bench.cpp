// Times the folder import on a generated tree (about 100,000 files in 5,000 folders, a tenth of
// them .mpp) against `find DIR -iname '*.mpp'` on the same tree.
//   folder_import_bench [DIR]   (a temporary folder by default; the tree is made once in DIR)

#include "best_of.h"
#include "filelist/entry_list.h"
#include "filelist/folder_walk.h"
#include "platform/event_loop.h"
#include "platform/file_system.h"
#include "report/error_report.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <functional>

namespace {

class CountingEntries : public quillmere::EntryList {
  public:
    int count() const override { return m_count; }
    QString text(int) const override { return {}; }
    void append(const QStringList& paths) override { m_count += int(paths.size()); }
    void remove(int) override {}

  private:
    int m_count = 0;
};

class PrintedReport : public quillmere::ErrorReport {
  public:
    void show(const QString& description, const char*, int line) override {
        std::fprintf(stderr, "report at %d: %s\n", line, qPrintable(description));
    }
};

void MakeTree(const QString& root) {
    if (QFile::exists(root + "/ready")) return;
    for (int top = 0; top < 50; ++top) {
        for (int sub = 0; sub < 100; ++sub) {
            const QString folder = QStringLiteral("%1/area%2/site%3").arg(root).arg(top).arg(sub);
            QDir().mkpath(folder);
            for (int f = 0; f < 20; ++f) {
                const char* ext = f < 2 ? "mpp" : (f % 3 ? "docx" : "pdf");
                QFile file(QStringLiteral("%1/file%2.%3").arg(folder).arg(f).arg(ext));
                file.open(QIODevice::WriteOnly);
            }
        }
    }
    QFile ready(root + "/ready");
    ready.open(QIODevice::WriteOnly);
}

}  // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QTemporaryDir temporary;
    const QString root = argc > 1 ? QString::fromLocal8Bit(argv[1]) : temporary.path();
    MakeTree(root);

    quillmere::NativeFileSystem files;
    quillmere::QtEventLoop events;
    PrintedReport report;
    const quillmere::WalkContext context{files, events, report};
    int found = 0;
    const double import = BestOfThree([&] {
        CountingEntries entries;
        quillmere::AddFolderTree(context, entries, root, "*.mpp");
        found = entries.count();
    });
    QString findOutput;
    const double find = BestOfThree([&] {
        QProcess process;
        process.start("find", {root, "-iname", "*.mpp"});
        process.waitForFinished(-1);
        findOutput = QString::fromLocal8Bit(process.readAllStandardOutput());
    });
    std::printf(
        "folder import: %d files in %.1f ms; find -iname: %lld files in %.1f ms; ratio %.2f\n",
        found, import, findOutput.count('\n'), find, import / find);
    return 0;
}
