#include "batch/batch_run.h"

#include "batch/batch_options.h"
#include "batch/no_events.h"
#include "host/host.h"
#include "paths/path_routines.h"
#include "platform/failure.h"
#include "platform/file_system.h"
#include "platform/threads.h"
#include "project/replace_passes.h"
#include "report/error_report.h"
#include "run/output_path.h"

#include <QFileInfo>

#include <filesystem>
#include <system_error>

namespace quillmere {
namespace {

// Keeps what a file's pass reports; the run goes on with the next file.
class FileReport : public ErrorReport {
  public:
    explicit FileReport(QStringList& failures) : m_failures(failures) {}
    void show(const QString& description, const char*, int) override { m_failures << description; }

  private:
    QStringList& m_failures;
};

// A dry run opens, replaces and saves as usual, but its saves write the result in the output
// folder and drop it unnamed: it fails where the real run fails, and changes nothing there.
class UnsavedInstance : public HostInstance {
  public:
    explicit UnsavedInstance(std::unique_ptr<HostInstance> host) : m_host(std::move(host)) {}
    QString name() override { return m_host->name(); }
    void fileOpen(const QString& path) override { m_host->fileOpen(path); }
    int replace(const ReplaceArgs& args) override { return m_host->replace(args); }
    void fileSaveAs(const QString& path) override { m_host->fileSaveTrial(path); }
    void quit() override { m_host->quit(); }

  private:
    std::unique_ptr<HostInstance> m_host;
};

class UnsavedHosts : public HostFactory {
  public:
    explicit UnsavedHosts(HostFactory& hosts) : m_hosts(hosts) {}
    std::unique_ptr<HostInstance> create(const QString& className) override {
        return std::make_unique<UnsavedInstance>(m_hosts.create(className));
    }
    std::unique_ptr<HostInstance> attach(const QString& className) override {
        return std::make_unique<UnsavedInstance>(m_hosts.attach(className));
    }
    int concurrentInstances() const override { return m_hosts.concurrentInstances(); }

  private:
    HostFactory& m_hosts;
};

TextList ListOf(const QStringList& texts) {
    return {[&texts] { return int(texts.size()); }, [&texts](int i) { return texts.at(i); }};
}

QString FailureText(const std::exception& error) {
    const auto* failure = dynamic_cast<const Failure*>(&error);
    return failure ? failure->description() : QString::fromLocal8Bit(error.what());
}

// The file that links at the path lead to, as the system follows them: each link's text from the
// folder the link really is in, a ".." after a linked folder to that folder's parent. For a link
// to no file yet, the path a save through it would create.
QString LinkedFile(const QString& path) {
    namespace fs = std::filesystem;
    std::error_code error;
    fs::path target = QFileInfo(path).filesystemFilePath();
    for (int links = 0; links < 40 && fs::is_symlink(target, error); ++links) {
        const fs::path text = fs::read_symlink(target, error);
        if (error) break;
        fs::path next = fs::weakly_canonical(target.parent_path() / text, error);
        if (error) break;
        target = std::move(next);
    }
    return QFileInfo(target).absoluteFilePath();
}

}  // namespace

// Where a new file at the path lands: its folder's identity and its name in one letter case.
QString NewFileKey(FileSystem& files, const QString& path) {
    const QFileInfo info(path);
    const QString folder = files.identity(info.absolutePath());
    return (folder.isEmpty() ? info.absolutePath() : folder) + QLatin1Char('/') +
           info.fileName().toCaseFolded();
}

QString LandingKey(FileSystem& files, const QString& path) {
    const QString identity = files.identity(path);
    return identity.isEmpty() ? NewFileKey(files, LinkedFile(path)) : identity;
}

BatchRun::BatchRun(FileSystem& files, HostFactory& hosts, const BatchOptions& options,
                   const QStringList& inputs, int workers)
    : m_files(files),
      m_hosts(hosts),
      m_dryRunHosts(options.dryRun ? std::make_unique<UnsavedHosts>(hosts) : nullptr),
      m_options(options),
      m_inputs(inputs),
      m_listed(files, [this] { return m_inputs; }) {
    if (ResultFiles* results = hosts.results()) results->setReplacesOlderEntries(true);
    // Where each result goes is settled first, on this thread: the listed files are not
    // changed by the run, so the answers are those a file-by-file run would get.
    m_plans.reserve(inputs.size());
    for (const QString& source : inputs) m_plans << plan(source);
    for (Planned& planned : m_plans) planned.landingKey = LandingKey(m_files, planned.output);
    workers = std::min(workers, hosts.concurrentInstances());
    const bool sideBySide = workers > 1 && inputs.size() > 1;
    hosts.setSideBySide(sideBySide ? workers : 1);
    if (sideBySide) startWorkers(workers);
}

// A run left before its end (its summary failed) starts no further file; those being worked on
// end as usual.
BatchRun::~BatchRun() {
    m_stopping = true;
    m_workers.clear();
    if (ResultFiles* results = m_hosts.results()) results->setReplacesOlderEntries(false);
}

BatchRun::Planned BatchRun::plan(const QString& source) {
    Planned planned;
    try {
        planned.output = outputPath(source);
        planned.refusal = ResultConflict(m_files, m_listed, source, planned.output);
    } catch (const std::exception& error) {
        planned.refusal = FailureText(error);
    }
    return planned;
}

FileResult BatchRun::result(qsizetype index) {
    if (m_workers.empty()) return process(index);
    std::unique_lock lock(m_resultsMutex);
    m_resultReady.wait(lock, [&] { return m_results[size_t(index)].has_value(); });
    FileResult result = std::move(*m_results[size_t(index)]);
    m_results[size_t(index)].reset();
    return result;
}

void BatchRun::startWorkers(int workers) {
    QHash<QString, qsizetype> groupOf;
    for (qsizetype i = 0; i < m_plans.size(); ++i) {
        const QString& key = m_plans[i].landingKey;
        const auto found = groupOf.constFind(key);
        if (found != groupOf.cend()) {
            m_groups[*found] << i;
            continue;
        }
        groupOf.insert(key, m_groups.size());
        m_groups << QList<qsizetype>{i};
    }
    m_results.resize(size_t(m_plans.size()));
    workers = int(std::min<qsizetype>(workers, m_groups.size()));
    for (int i = 0; i < workers; ++i) {
        // The system gives no more threads: those started take every group; with none, the
        // calling thread takes the files one at a time.
        auto worker = StartThread([this](std::stop_token) { work(); });
        if (!worker.joinable()) break;
        m_workers.push_back(std::move(worker));
    }
}

void BatchRun::work() {
    for (qsizetype group = m_nextGroup++; group < m_groups.size(); group = m_nextGroup++) {
        for (const qsizetype index : std::as_const(m_groups[group])) {
            if (m_stopping) return;
            FileResult result = process(index);
            {
                const std::lock_guard lock(m_resultsMutex);
                m_results[size_t(index)] = std::move(result);
            }
            m_resultReady.notify_all();
        }
    }
}

// Whatever goes wrong, in the pass or around it, stays with this file.
FileResult BatchRun::process(qsizetype index) {
    try {
        return processChecked(index);
    } catch (const std::exception& error) {
        FileResult result;
        result.source = m_inputs[index];
        result.output = m_plans.at(index).output;
        result.status = FileResult::Status::Failed;
        result.failures = {FailureText(error)};
        noteOlderFile(result);
        return result;
    }
}

// A file that failed in or after its pass leaves what was at its output path, and its line says so
// (a dry run's as the run's would).
void BatchRun::noteOlderFile(FileResult& result) {
    if (result.status != FileResult::Status::Failed || !m_hosts.results()) return;
    try {
        if (!(m_files.attributes(result.output) & attr::kDirectory))
            result.failures << QStringLiteral("older file kept");
    } catch (const std::exception&) {
        // Nothing is there.
    }
}

FileResult BatchRun::processChecked(qsizetype index) {
    FileResult result;
    result.source = m_inputs[index];
    result.output = m_plans.at(index).output;
    const Planned& planned = m_plans.at(index);
    // An earlier result of the run that this one could land on is given its name first, so that
    // the checks below find it.
    if (savedAt(planned.landingKey)) commit();
    QString refusal = planned.refusal;
    if (refusal.isEmpty()) refusal = earlierResultAt(result.source, result.output);
    if (!refusal.isEmpty()) {
        result.status = FileResult::Status::Failed;
        result.failures << refusal;
        return result;
    }
    runPass(result);
    // A failed file leaves no result that a later one could replace.
    if (result.status == FileResult::Status::Failed) {
        noteOlderFile(result);
        return result;
    }
    const std::lock_guard lock(m_writtenMutex);
    m_written.insert(result.output, result.source);
    m_unnamed << std::pair(result.output, result.source);
    m_savedKeys.insert(planned.landingKey);
    return result;
}

bool BatchRun::savedAt(const QString& landingKey) {
    const std::lock_guard lock(m_writtenMutex);
    return m_savedKeys.contains(landingKey);
}

void BatchRun::commit() {
    // The failures of a commit are kept before another commit may start, so that none is missed
    // by the commit that hands the results out.
    const std::lock_guard commitLock(m_commitMutex);
    QList<std::pair<QString, QString>> unnamed;
    {
        // Each of these results is saved: the commit puts it in place.
        const std::lock_guard lock(m_writtenMutex);
        m_savedKeys.clear();
        unnamed.swap(m_unnamed);
    }
    const QHash<QString, QString> failures = m_hosts.commitSaves();
    // Another spelling of a result's file (letter case on a file system that ignores it, a link)
    // is known by its identity once the result has its name.
    QList<std::pair<QString, Written>> identities;
    for (const auto& [output, source] : std::as_const(unnamed))
        identities << std::pair(resultKey(output), Written{output, source});
    const std::lock_guard lock(m_writtenMutex);
    m_unplaced.insert(failures);
    for (const auto& [identity, written] : std::as_const(identities))
        if (!identity.isEmpty()) m_writtenIdentities.insert(identity, written);
}

void BatchRun::commit(QList<FileResult>& results) {
    commit();
    const std::lock_guard lock(m_writtenMutex);
    for (FileResult& result : results) {
        if (result.status == FileResult::Status::Failed) continue;
        const QString failure = m_unplaced.take(result.output);
        if (failure.isEmpty()) continue;
        result.status = FileResult::Status::Failed;
        result.failures << failure;
        noteOlderFile(result);
    }
}

// A saved result by its file's identity; in a dry run, which saves none, where the new file would
// land, so that a dry run refuses what the run refuses, and no more.
QString BatchRun::resultKey(const QString& output) {
    return m_options.dryRun ? NewFileKey(m_files, output) : m_files.identity(output);
}

QString BatchRun::outputPath(const QString& source) {
    QString output = m_options.outFolder.isEmpty() ? OutputBesideSource(source)
                                                   : OutputInFolder(m_options.outFolder, source);
    if (LandsOnAListedFile(m_files, m_listed, source, output)) output = ReplacedName(output);
    return output;
}

// Two sources of one name saved into one folder: the second must not replace the first's result.
// An identity counts only while the earlier result still has it at its own path: a file made
// since, where that result was removed, may have been given its number again.
QString BatchRun::earlierResultAt(const QString& source, const QString& output) {
    const QString identity =
        m_options.dryRun ? NewFileKey(m_files, LinkedFile(output)) : m_files.identity(output);
    Written byIdentity;
    QString earlier;
    {
        const std::lock_guard lock(m_writtenMutex);
        earlier = m_written.value(output);
        if (earlier.isEmpty() && !identity.isEmpty())
            byIdentity = m_writtenIdentities.value(identity);
    }
    if (earlier.isEmpty() && !byIdentity.source.isEmpty() &&
        resultKey(byIdentity.output) == identity)
        earlier = byIdentity.source;
    if (earlier.isEmpty()) return {};
    return QStringLiteral(
               "%1 was not processed: its result %2 would replace the result of %3, "
               "written earlier in this run.")
        .arg(source, output, earlier);
}

void BatchRun::runPass(FileResult& result) {
    // A host that saves its results itself keeps an older file at the output path until its
    // successor is whole and takes its name in one step; one that saves through a program of its
    // own (Microsoft Project takes a path) is given a clear path, as in the window.
    if (!m_hosts.results()) {
        NoEvents events;
        if (m_options.dryRun)
            CheckOutputPathClearable(m_files, result.output);
        else
            ClearOutputPath(m_files, m_hosts, events, result.output);
    }
    FileReport report(result.failures);
    const bool matchCase = m_options.matchCase;
    PassContext context{
        m_dryRunHosts ? *m_dryRunHosts : m_hosts, report, [matchCase] { return matchCase ? 1 : 0; },
        [&result](const QString& field, int changed) { result.addChanges(field, changed); },
        [&result](const QString& why) { result.note(why); }};
    ReplaceByFileXYCombo(context, result.source, ListOf(m_options.finds),
                         ListOf(m_options.replacements), result.output);
    result.settle();
}

}  // namespace quillmere
