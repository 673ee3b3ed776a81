// Times a whole run through the window with the built-in host, as a user makes it: the folder
// import of FILES copies of a sample (in ten folders), then Start Replacing with one pair and
// the results beside the originals, until "Done.". The window is not shown; the dialogs are
// answered by the benchmark. `xmllint --noout` over the same files is the reference.
//   run_bench [FILES] [SAMPLE]   (1,000 copies of a 100 KB public sample by default)

#include "best_of.h"
#include "host/builtin/builtin_host.h"
#include "platform/desktop_shell.h"
#include "platform/dialogs.h"
#include "platform/event_loop.h"
#include "platform/file_system.h"
#include "platform/settings_store.h"
#include "shell/form1.h"

#include <QApplication>
#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTreeWidget>

#include <cstdio>

namespace {

using namespace quillmere;

// Answers the folder import with the extension and the folder, and every message with OK.
class AnsweringDialogs : public Dialogs {
  public:
    Answer message(const Message& message) override {
        if (message.text == QLatin1String("Done."))
            ++done;
        else
            std::fprintf(stderr, "message: %s\n", qPrintable(message.text));
        return message.buttons == MessageButtons::YesNo ? Answer::Yes : Answer::Ok;
    }
    std::optional<QString> prompt(const QString&, const QString&) override { return "xml"; }
    QString openFiles(const OpenFilesRequest&) override { return {}; }
    QString saveFile(const QString&, const QString&, const QString&) override { return {}; }
    QString browseFolder(const QString&, const QString&) override { return folder; }
    void showModal(QDialog&) override {}
    QString folder;  // the folder to import
    int done = 0;
};

class MemorySettings : public SettingsStore {
  public:
    QString read(const QString& key, const QString& defaultValue) override {
        return m_values.value(key, defaultValue);
    }
    void write(const QString& key, const QString& value) override { m_values[key] = value; }

  private:
    QHash<QString, QString> m_values;
};

class NoDesktop : public DesktopShell {
  public:
    bool openFolder(const QString&) override { return true; }
};

QStringList MakeCopies(const QString& root, const QString& sample, int files) {
    QStringList paths;
    for (int i = 0; i < files; ++i) {
        const QString folder = QStringLiteral("%1/plans%2").arg(root).arg(i % 10);
        QDir().mkpath(folder);
        paths << QStringLiteral("%1/plan%2.xml").arg(folder).arg(i);
        if (!QFile::copy(sample, paths.last())) {
            std::fprintf(stderr, "cannot copy %s to %s\n", qPrintable(sample),
                         qPrintable(paths.last()));
            std::exit(1);
        }
    }
    return paths;
}

}  // namespace

int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int files = argc > 1 ? std::atoi(argv[1]) : 1000;
    const QString sample =
        argc > 2 ? QString::fromLocal8Bit(argv[2]) : QStringLiteral(QUILLMERE_BENCH_SAMPLE);
    // Each run gets a tree of its own, made before it is timed, and nothing is deleted until the
    // end: a file system may take longer to make a file soon after another was deleted.
    QTemporaryDir dir;
    int tree = 0;
    const auto nextTree = [&] { return dir.filePath(QStringLiteral("tree%1").arg(++tree)); };
    QStringList paths;

    AnsweringDialogs dialogs;
    builtin::BuiltinHostFactory hosts;
    NativeFileSystem fileSystem;
    MemorySettings settings;
    QtEventLoop events;
    NoDesktop shell;
    Services services{dialogs, hosts, fileSystem, settings, events, dir.path(), shell};
    Form1 form(services);
    form.Text1->setPlainText("task");
    form.Text2->setPlainText("job");
    form.Option2->setChecked(true);

    int listed = 0;
    const double run = BestOfThree(
        [&] {
            form.PushButton6->click();
            listed = form.ListView1->topLevelItemCount();
            form.PushButton7->click();
        },
        [&] {
            form.ListView1->clear();
            dialogs.folder = nextTree();
            paths = MakeCopies(dialogs.folder, sample, files);
        });
    const double xmllint =
        BestOfThree([&] { QProcess::execute("xmllint", QStringList{"--noout"} + paths); });
    std::printf(
        "run over %d files (%d listed, %d runs done): %.1f ms; xmllint --noout: %.1f ms; "
        "ratio %.2f\n",
        files, listed, dialogs.done, run, xmllint, run / xmllint);
    return 0;
}
