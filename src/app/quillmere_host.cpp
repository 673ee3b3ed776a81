// quillmere-host: runs the replace pass of the program without the window, on one file or, in
// its batch form, on files and folder trees.
//   quillmere-host SOURCE OUTPUT [--match-case] --find TEXT --replace TEXT [--find ... --replace
//   ...]
//   quillmere-host batch [OPTIONS] PATH...

#include "batch/batch_command.h"
#include "host/host.h"
#include "platform/atomic_file.h"
#include "platform/failure.h"
#include "platform/file_system.h"
#include "platform/qt_settings_store.h"
#include "platform/terminal.h"
#include "program_info.h"
#include "project/replace_passes.h"
#include "report/error_report.h"
#include "settings/settings_values.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>

#include <cstdio>

namespace {

// Prints each failed step instead of showing a box, and remembers that one failed.
class ConsoleErrorReport : public quillmere::ErrorReport {
  public:
    void show(const QString& description, const char*, int line) override {
        std::fprintf(stderr, "quillmere-host: %s (step %d)\n", qPrintable(description), line);
        failed = true;
    }
    bool failed = false;
};

constexpr char kHelp[] =
    "Usage: quillmere-host SOURCE OUTPUT [--match-case] --find TEXT --replace TEXT\n"
    "                      [--find TEXT --replace TEXT]...\n"
    "  or:  quillmere-host batch [OPTION]... PATH...\n"
    "Run Quillmere's replace pass without the window: on the project file SOURCE, with\n"
    "the result saved as OUTPUT (never over SOURCE); or, in the batch form, on files and\n"
    "folder trees (quillmere-host batch --help lists its options).\n"
    "\n"
    "      --find TEXT     a text to find, followed by its --replace; pairs are\n"
    "                      applied in the order given\n"
    "      --replace TEXT  the replacement of the --find before it\n"
    "      --match-case    match letter case exactly\n"
    "  -h, --help          show this help and exit\n"
    "      --version       show the version and exit\n"
    "\n"
    "Exit status: 0 when every step succeeded, 1 when a step failed (each failure is\n"
    "printed on standard error), 2 for wrong arguments.\n";

int Usage(const QString& problem) {
    std::fprintf(stderr,
                 "quillmere-host: %s\nusage: quillmere-host SOURCE OUTPUT [--match-case] "
                 "--find TEXT --replace TEXT [--find TEXT --replace TEXT ...]\n"
                 "(quillmere-host --help tells more)\n",
                 qPrintable(problem));
    return 2;
}

// The default host, with the window's stored step deadline; a wait on the user is said on the
// standard error output.
std::unique_ptr<quillmere::HostFactory> DefaultHosts() {
    quillmere::QtSettingsStore settings;
    return quillmere::MakeDefaultHostFactory(quillmere::ProjectStepDeadline(settings),
                                             quillmere::WaitShown::OnStandardError);
}

quillmere::TextList ListOf(const QStringList& texts) {
    return {[&texts] { return int(texts.size()); }, [&texts](int i) { return texts.at(i); }};
}

}  // namespace

int main(int argc, char* argv[]) {
    // Started without them (a daemon, a careless cron line), a result would take the number of the
    // standard output and receive the summary.
    if (!quillmere::OpenMissingStandardStreams()) return 1;
    QCoreApplication app(argc, argv);
    quillmere::KeepRunningPastFileSizeLimit();
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() > 1 && arguments[1] == QLatin1String("batch")) {
        // A reader that stops reading the summary stops no file.
        quillmere::KeepRunningPastClosedOutput();
        quillmere::NativeFileSystem files;
        const auto hosts = DefaultHosts();
        return quillmere::RunBatch(files, *hosts, arguments.mid(2),
                                   quillmere::UndecodedArguments(argc, argv, 2));
    }
    QCommandLineParser parser;
    parser.addPositionalArgument("SOURCE", "the project file to read");
    parser.addPositionalArgument("OUTPUT", "where to save the result");
    parser.addOption({"match-case", "match letter case exactly"});
    parser.addOption({"find", "a text to find", "TEXT"});
    parser.addOption({"replace", "its replacement", "TEXT"});
    parser.addOption({{"h", "help"}, "show the help"});
    parser.addOption({"version", "show the version"});
    if (!parser.parse(arguments)) return Usage(parser.errorText());
    // Taken from the parser, so that a TEXT such as "--help" is still a text to find.
    if (parser.isSet("help"))
        return quillmere::PrintInfo(quillmere::InfoOption::Help, "quillmere-host", kHelp);
    if (parser.isSet("version"))
        return quillmere::PrintInfo(quillmere::InfoOption::Version, "quillmere-host", kHelp);
    const QStringList paths = parser.positionalArguments();
    const QStringList finds = parser.values("find");
    const QStringList replacements = parser.values("replace");
    if (paths.size() != 2) return Usage("give a SOURCE and an OUTPUT file");
    if (finds.isEmpty() || finds.size() != replacements.size())
        return Usage("give each --find a --replace");

    quillmere::NativeFileSystem files;
    const QString source = QDir::cleanPath(paths[0]);
    const QString output = QDir::cleanPath(paths[1]);
    if (source == output || files.sameFile(source, output))
        return Usage("OUTPUT names the SOURCE file, which is never written over");

    const auto hosts = DefaultHosts();
    ConsoleErrorReport report;
    const bool matchCase = parser.isSet("match-case");
    const quillmere::PassContext context{*hosts, report, [matchCase] { return matchCase ? 1 : 0; }};
    quillmere::ReplaceByFileXYCombo(context, source, ListOf(finds), ListOf(replacements), output);
    try {
        hosts->syncSaves();
    } catch (const quillmere::Failure& failure) {
        report.show(failure.description(), "sync", 0);
    }
    return report.failed ? 1 : 0;
}
