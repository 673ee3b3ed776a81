#include "batch/batch_run.h"

#include "batch/batch_options.h"
#include "batch/no_events.h"
#include "paths/path_routines.h"
#include "platform/failure.h"
#include "platform/file_system.h"
#include "platform/host/host.h"
#include "project/replace_passes.h"
#include "report/error_report.h"
#include "run/output_path.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

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

// A dry run opens, replaces and saves as usual, but into a private folder, and removes what
// it saved there: it fails where the real run fails, and writes nothing where that would.
class UnsavedInstance : public HostInstance {
  public:
    UnsavedInstance(std::unique_ptr<HostInstance> host, const QTemporaryDir& scratch)
        : m_host(std::move(host)), m_scratch(scratch) {}
    QString name() override { return m_host->name(); }
    void fileOpen(const QString& path) override { m_host->fileOpen(path); }
    int replace(const ReplaceArgs& args) override { return m_host->replace(args); }
    void fileSaveAs(const QString& path) override {
        const QString scratch = m_scratch.filePath(QFileInfo(path).fileName());
        m_host->fileSaveAs(scratch);
        QFile::remove(scratch);
    }
    void quit() override { m_host->quit(); }

  private:
    std::unique_ptr<HostInstance> m_host;
    const QTemporaryDir& m_scratch;
};

class UnsavedHosts : public HostFactory {
  public:
    explicit UnsavedHosts(HostFactory& hosts) : m_hosts(hosts) {}
    std::unique_ptr<HostInstance> create(const QString& className) override {
        return std::make_unique<UnsavedInstance>(m_hosts.create(className), m_scratch);
    }
    std::unique_ptr<HostInstance> attach(const QString& className) override {
        return std::make_unique<UnsavedInstance>(m_hosts.attach(className), m_scratch);
    }

  private:
    HostFactory& m_hosts;
    QTemporaryDir m_scratch;
};

void AddChanges(QList<FieldChanges>& changes, const QString& field, int count) {
    if (count == 0) return;
    for (FieldChanges& known : changes) {
        if (known.field != field) continue;
        const bool counted = known.count != kChangedUncounted && count != kChangedUncounted;
        known.count = counted ? known.count + count : kChangedUncounted;
        return;
    }
    changes << FieldChanges{field, count};
}

TextList ListOf(const QStringList& texts) {
    return {[&texts] { return int(texts.size()); }, [&texts](int i) { return texts.at(i); }};
}

}  // namespace

BatchRun::BatchRun(FileSystem& files, HostFactory& hosts, const BatchOptions& options,
                   const QStringList& inputs)
    : m_files(files),
      m_hosts(hosts),
      m_dryRunHosts(options.dryRun ? std::make_unique<UnsavedHosts>(hosts) : nullptr),
      m_options(options),
      m_inputs(inputs),
      m_listed(files, [this] { return m_inputs; }) {}

BatchRun::~BatchRun() = default;

FileResult BatchRun::process(const QString& source) {
    FileResult result;
    result.source = source;
    result.output = outputPath(source);
    QString refusal = ResultConflict(m_files, m_listed, source, result.output);
    if (refusal.isEmpty()) refusal = earlierResultAt(source, result.output);
    if (!refusal.isEmpty()) {
        result.status = FileResult::Status::Failed;
        result.failures << refusal;
        return result;
    }
    runPass(result);
    // A failed file leaves no result that a later one could replace.
    if (result.status == FileResult::Status::Failed) return result;
    m_written.insert(result.output, source);
    // Another spelling of the same file (letter case on a file system that ignores it) is
    // known by its identity once the result exists.
    const QString identity = m_files.identity(result.output);
    if (!identity.isEmpty()) m_writtenIdentities.insert(identity, source);
    return result;
}

QString BatchRun::outputPath(const QString& source) {
    QString output = m_options.outFolder.isEmpty() ? OutputBesideSource(source)
                                                   : OutputInFolder(m_options.outFolder, source);
    if (LandsOnAListedFile(m_files, m_listed, source, output)) output = ReplacedName(output);
    return output;
}

// Two sources of one name saved into one folder: the second must not replace the first's result.
QString BatchRun::earlierResultAt(const QString& source, const QString& output) {
    QString earlier = m_written.value(output);
    if (earlier.isEmpty() && !m_writtenIdentities.isEmpty()) {
        const QString identity = m_files.identity(output);
        if (!identity.isEmpty()) earlier = m_writtenIdentities.value(identity);
    }
    if (earlier.isEmpty()) return {};
    return QStringLiteral(
               "%1 was not processed: its result %2 would replace the result of %3, "
               "written earlier in this run.")
        .arg(source, output, earlier);
}

void BatchRun::runPass(FileResult& result) {
    if (!m_options.dryRun) {
        NoEvents events;
        DeleteFileQuietly(m_files, events, result.output);
    }
    FileReport report(result.failures);
    const bool matchCase = m_options.matchCase;
    PassContext context{m_dryRunHosts ? *m_dryRunHosts : m_hosts, report,
                        [matchCase] { return matchCase ? 1 : 0; },
                        [&result](const QString& field, int changed) {
                            AddChanges(result.changes, field, changed);
                        }};
    ReplaceByFileXYCombo(context, result.source, ListOf(m_options.finds),
                         ListOf(m_options.replacements), result.output);
    if (!result.failures.isEmpty())
        result.status = FileResult::Status::Failed;
    else if (!result.changes.isEmpty())
        result.status = FileResult::Status::Changed;
}

}  // namespace quillmere
