#include "batch/batch_command.h"

#include "batch/batch_inputs.h"
#include "batch/batch_options.h"
#include "batch/batch_run.h"
#include "batch/batch_summary.h"
#include "host/host.h"
#include "paths/path_routines.h"
#include "platform/atomic_file.h"
#include "platform/failure.h"
#include "platform/terminal.h"
#include "platform/threads.h"
#include "report/error_report.h"

#include <QElapsedTimer>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace quillmere {
namespace {

// What the folder walk cannot read goes to standard error, and makes the run a failed one.
class WalkReport : public ErrorReport {
  public:
    void show(const QString& description, const char*, int) override {
        std::fprintf(stderr, "quillmere-host: %s\n", qUtf8Printable(ShownText(description)));
        failed = true;
    }
    bool failed = false;
};

// Not a failure: the run keeps to the rule, and says where.
void SayLinksNotFollowed(const QStringList& links) {
    for (const QString& link : links) {
        std::fprintf(stderr,
                     "quillmere-host: %s was left out: it leads out of the folder through a link "
                     "of another user, which is not followed.\n",
                     qUtf8Printable(ShownText(link)));
    }
}

// "[3/1000] name.xml" on one line of a terminal while the file is worked on; cleared before its
// summary line, which may go to the same terminal.
class Progress {
  public:
    Progress() : m_shown(IsTerminal(stderr)) {}
    void clear() { show(QString()); }

    void show(const QString& text) {
        if (!m_shown || (text.isEmpty() && m_width == 0)) return;
        const QString shown = ShownText(text);
        const QByteArray line = shown.toUtf8();
        const int width = int(shown.size());
        std::fprintf(stderr, "\r%s%*s\r", line.constData(), std::max(0, m_width - width), "");
        std::fflush(stderr);
        m_width = width;
    }

  private:
    bool m_shown;
    int m_width = 0;
};

void PrintLine(const QByteArray& line) {
    std::fwrite(line.constData(), 1, size_t(line.size()), stdout);
    std::fputc('\n', stdout);
}

int Usage(const BatchUsageError& error) {
    if (error.problem.isEmpty()) {
        std::fputs(qUtf8Printable(BatchUsage()), stdout);
        return kBatchSucceeded;
    }
    std::fprintf(stderr,
                 "quillmere-host batch: %s\n(quillmere-host batch --help lists the options)\n",
                 qUtf8Printable(ShownText(error.problem)));
    return kBatchWrongArguments;
}

// The host may leave the wait for the disk to the end of the run: every result is on the disk
// before the command ends.
void SyncResults(HostFactory& hosts, RunTotals& totals) {
    try {
        hosts.syncSaves();
    } catch (const Failure& failure) {
        std::fprintf(stderr, "quillmere-host batch: %s\n", qUtf8Printable(failure.description()));
        totals.unsynced = true;
    }
}

// Each worker holds a few files open at once (the source, the result being written, the files
// read ahead), and the run holds its own (up to 64 finished results until they are synced, the
// standard streams, Qt's): more workers than the open-files limit leaves room for would make
// files fail to open.
const int kFilesPerWorker = 4;
const int kFilesOfTheRun = 100;

int Workers(const BatchOptions& options) {
    const int wanted = options.jobs > 0 ? options.jobs : ProcessorCores();
    const int room = (OpenFilesLimit() - kFilesOfTheRun) / kFilesPerWorker;
    return std::max(1, std::min(wanted, room));
}

// Results are said once they are in place under their names: a few dozen at a time, or after a
// second, so that the disk is waited for once for many files.
class Reported {
  public:
    Reported(BatchRun& run, const BatchOptions& options) : m_run(run), m_options(options) {}

    void add(FileResult result, Progress& progress) {
        if (m_waiting.isEmpty()) m_since.start();
        m_waiting << std::move(result);
        if (m_waiting.size() >= kMostWaiting || m_since.hasExpired(1000)) say(progress);
    }

    void say(Progress& progress) {
        m_run.commit(m_waiting);
        progress.clear();
        for (const FileResult& result : std::as_const(m_waiting)) {
            totals.add(result);
            PrintLine(m_options.json ? JsonLine(result) : SummaryLine(result).toUtf8());
        }
        m_waiting.clear();
    }

    RunTotals totals;

  private:
    static constexpr qsizetype kMostWaiting = 64;
    BatchRun& m_run;
    const BatchOptions& m_options;
    QList<FileResult> m_waiting;
    QElapsedTimer m_since;
};

RunTotals RunFiles(FileSystem& files, HostFactory& hosts, const BatchOptions& options,
                   const QStringList& inputs) {
    BatchRun run(files, hosts, options, inputs, Workers(options));
    Reported reported(run, options);
    Progress progress;
    for (qsizetype i = 0; i < inputs.size(); ++i) {
        progress.show(
            QStringLiteral("[%1/%2] %3").arg(i + 1).arg(inputs.size()).arg(GetFileName(inputs[i])));
        reported.add(run.result(i), progress);
    }
    reported.say(progress);
    SyncResults(hosts, reported.totals);
    return reported.totals;
}

}  // namespace

int RunBatch(FileSystem& files, HostFactory& hosts, const QStringList& arguments,
             const QHash<QString, QString>& undecoded) {
    const auto parsed = ParseBatchArguments(files, arguments, undecoded);
    if (const auto* error = std::get_if<BatchUsageError>(&parsed)) return Usage(*error);
    const BatchOptions& options = std::get<BatchOptions>(parsed);
    WalkReport walkReport;
    for (const QString& path : options.undecodedPaths) {
        walkReport.show(path + QStringLiteral(" was left out: its name is not valid UTF-8 text."),
                        nullptr, 0);
    }
    QStringList notFollowed;
    const QStringList inputs =
        BatchInputs(files, walkReport, options.paths, options.extension, notFollowed);
    SayLinksNotFollowed(notFollowed);
    if (inputs.isEmpty() && walkReport.failed) return kBatchFileFailed;
    if (inputs.isEmpty()) {
        std::fprintf(stderr,
                     "quillmere-host batch: No files added: the PATHs hold no file to "
                     "process.\n");
        return kBatchWrongArguments;
    }
    // A line at a time: a run that is stopped leaves only whole lines behind.
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    RunTotals totals = RunFiles(files, hosts, options, inputs);
    totals.linksNotFollowed = int(notFollowed.size());
    PrintLine(options.json ? JsonTotalsLine(totals, options.dryRun)
                           : TotalsLine(totals, options.dryRun).toUtf8());
    // A summary that could not be written is a failure of the run, whatever the files did.
    const bool unprinted = std::fflush(stdout) != 0 || std::ferror(stdout);
    if (unprinted)
        std::fprintf(stderr, "quillmere-host batch: the summary could not be written: %s\n",
                     std::strerror(errno));
    const bool failed = totals.failed > 0 || totals.unsynced || walkReport.failed || unprinted;
    return failed ? kBatchFileFailed : kBatchSucceeded;
}

}  // namespace quillmere
