#pragma once

#include "account/file_account.h"
#include "run/listed_files.h"

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace quillmere {

class FileSystem;
class HostFactory;
struct BatchOptions;

// Where a save to the path lands, as a key that every path to that file shares: an existing file
// (through its links) by its identity, a new one by its folder's identity and its name in one
// letter case (one file on a system that ignores case, and at worst one key for two files).
QString LandingKey(FileSystem& files, const QString& path);

// A headless run over a fixed list of files, with the window's rules: the output path (in the
// folder, or beside the source with the "_replaced" name), no result on any listed file, an older
// file at the output path removed before the pass, and the same replace pass. Besides, no result
// replaces one that the run wrote before. A failure stays with its file.
//
// Where the host allows it, files are worked on side by side, one per worker thread; files whose
// results would land on one file go to one worker, in the list's order, so that the rules above
// hold as in a run of one file at a time. Results are handed out in the list's order.
class BatchRun {
  public:
    // workers: at most this many files at once (the host may allow fewer).
    BatchRun(FileSystem& files, HostFactory& hosts, const BatchOptions& options,
             const QStringList& inputs, int workers);

    ~BatchRun();

    // The result of the index-th input; waits for it. Asked for in order, each once. Its result
    // file may still be waiting for its name: see commit().
    FileResult result(qsizetype index);

    // Puts every result saved so far on the disk and under its name; those of the given results
    // that could not be put in place fail, with the reason.
    void commit(QList<FileResult>& results);

  private:
    struct Planned {
        QString output;
        QString refusal;  // why the file may not be worked on at all
        QString landingKey;
    };

    Planned plan(const QString& source);
    QString outputPath(const QString& source);
    QString earlierResultAt(const QString& source, const QString& output);
    QString resultKey(const QString& output);
    FileResult process(qsizetype index);
    FileResult processChecked(qsizetype index);
    void noteOlderFile(FileResult& result);
    void runPass(FileResult& result);
    bool savedAt(const QString& landingKey);
    void commit();
    void startWorkers(int workers);
    void work();

    FileSystem& m_files;
    HostFactory& m_hosts;
    // A dry run's hosts, which save nothing where the run would; one for the whole run.
    std::unique_ptr<HostFactory> m_dryRunHosts;
    const BatchOptions& m_options;
    // Const: workers read it at once, and a non-const access would detach a shared copy.
    const QStringList m_inputs;
    ListedFiles m_listed;
    QList<Planned> m_plans;

    // The results written so far, by path and by identity, and the sources they came from.
    struct Written {
        QString output;
        QString source;
    };
    std::mutex m_commitMutex;
    std::mutex m_writtenMutex;
    QHash<QString, QString> m_written;
    QHash<QString, Written> m_writtenIdentities;
    // The landing keys, and the outputs and sources, of the results saved since the last commit;
    // the results that could not be put in place, by output path, with the reason.
    QSet<QString> m_savedKeys;
    QList<std::pair<QString, QString>> m_unnamed;
    QHash<QString, QString> m_unplaced;

    // With workers: the inputs by the file their results land on, each group in list order;
    // the next group to take; the results not yet handed out.
    QList<QList<qsizetype>> m_groups;
    std::atomic<qsizetype> m_nextGroup = 0;
    std::atomic<bool> m_stopping = false;
    std::mutex m_resultsMutex;
    std::condition_variable m_resultReady;
    std::vector<std::optional<FileResult>> m_results;
    std::vector<std::jthread> m_workers;
};

}  // namespace quillmere
