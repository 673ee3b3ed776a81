// Times the Load Sets dialog's Load on a set file of 10,000 pairs (read, split, appended to the
// two lists) and Save Sets writing the lists back, against awk splitting the same file.
//   sets_bench [PAIRS]   (10,000 by default)

#include "best_of.h"
#include "controls/window_pointer.h"
#include "host/host.h"
#include "platform/desktop_shell.h"
#include "platform/dialogs.h"
#include "platform/event_loop.h"
#include "platform/failure.h"
#include "platform/file_system.h"
#include "platform/settings_store.h"
#include "report/error_report.h"
#include "sets/form2.h"
#include "sets/set_commands.h"

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>

namespace {

using namespace quillmere;

// Saves to one path and always writes over it.
class SaveToDialogs : public Dialogs {
  public:
    explicit SaveToDialogs(QString path) : m_path(std::move(path)) {}
    Answer message(const Message& message) override {
        return message.buttons == MessageButtons::YesNo ? Answer::Yes : Answer::Ok;
    }
    std::optional<QString> prompt(const QString&, const QString&) override { return {}; }
    QString openFiles(const OpenFilesRequest&) override { return {}; }
    QString saveFile(const QString&, const QString&, const QString&) override { return m_path; }
    QString browseFolder(const QString&, const QString&) override { return {}; }
    void showModal(QDialog&) override {}

  private:
    QString m_path;
};

class NoHosts : public HostFactory {
  public:
    std::unique_ptr<HostInstance> create(const QString&) override {
        throw Failure(errors::kCannotCreateObject, QStringLiteral("No host in this benchmark."));
    }
    std::unique_ptr<HostInstance> attach(const QString& name) override { return create(name); }
};

class MemorySettings : public SettingsStore {
  public:
    QString read(const QString&, const QString& defaultValue) override { return defaultValue; }
    void write(const QString&, const QString&) override {}
};

class PrintedReport : public ErrorReport {
  public:
    void show(const QString& description, const char*, int line) override {
        std::fprintf(stderr, "report at %d: %s\n", line, qPrintable(description));
    }
};

void WriteSetFile(const QString& path, int pairs) {
    QByteArray bytes;
    for (int i = 0; i < pairs; ++i)
        bytes += QStringLiteral("Harbour Street %1::Quay Road %1\r\n").arg(i).toLatin1();
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
}

}  // namespace

int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int pairs = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 10000;
    QTemporaryDir temporary;
    const QString source = temporary.filePath("sets.txt");
    const QString saved = temporary.filePath("saved.txt");
    WriteSetFile(source, pairs);

    SaveToDialogs dialogs(saved);
    NoHosts hosts;
    NativeFileSystem files;
    MemorySettings settings;
    QtEventLoop events;
    QtDesktopShell shell;
    Services services{dialogs, hosts, files, settings, events, temporary.path(), shell};
    PrintedReport report;
    QWidget window;
    WindowPointer pointer(window);
    auto* combo1 = new QComboBox(&window);
    auto* combo2 = new QComboBox(&window);
    const SetControls controls{combo1, combo2, &window, &pointer};
    window.show();

    const double load = BestOfThree([&] {
        combo1->clear();
        combo2->clear();
        Form2 dialog(services, report, controls);
        dialog.Text1->setText(source);
        dialog.Text2->setText(QStringLiteral("::"));
        dialog.PushButton1_Click();
    });
    SetCommands commands(services, report, controls);
    const double save = BestOfThree([&] { commands.PushButton9_Click(); });
    const bool same = QFile(source).size() == QFile(saved).size();
    const double awk = BestOfThree([&] {
        QProcess process;
        process.start("awk", {"-F", "::", "{ print $1; print $2 }", source});
        process.waitForFinished(-1);
        process.readAllStandardOutput();
    });
    std::printf(
        "%d pairs: load %.1f ms (%d in the lists), save %.1f ms (%s); "
        "awk split %.1f ms; load/awk %.2f\n",
        pairs, load, combo1->count(), save, same ? "same size" : "SIZE DIFFERS", awk, load / awk);
    return 0;
}
