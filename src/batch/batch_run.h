#pragma once

#include "run/listed_files.h"

#include <QHash>

#include <QList>
#include <QString>
#include <QStringList>
#include <memory>

namespace quillmere {

class FileSystem;
class HostFactory;
struct BatchOptions;

// What a field's Replace calls changed over all the pairs: the number of values (a value that
// two pairs change counts twice), or kChangedUncounted when the host could not count.
struct FieldChanges {
    QString field;
    int count = 0;
};

struct FileResult {
    enum class Status { Changed, Unchanged, Failed };

    QString source;
    QString output;
    Status status = Status::Unchanged;
    QList<FieldChanges> changes;  // in the order the fields first changed
    QStringList failures;
};

// A headless run over a fixed list of files, one at a time, with the window's rules: the output
// path (in the folder, or beside the source with the "_replaced" name), no result on any listed
// file, an older file at the output path removed before the pass, and the same replace pass.
// Besides, no result replaces one that the run wrote before. A failure stays with its file.
class BatchRun {
  public:
    BatchRun(FileSystem& files, HostFactory& hosts, const BatchOptions& options,
             const QStringList& inputs);

    ~BatchRun();

    FileResult process(const QString& source);

  private:
    QString outputPath(const QString& source);
    QString earlierResultAt(const QString& source, const QString& output);
    void runPass(FileResult& result);

    FileSystem& m_files;
    HostFactory& m_hosts;
    // A dry run's hosts, which save nothing where the run would; one for the whole run.
    std::unique_ptr<HostFactory> m_dryRunHosts;
    const BatchOptions& m_options;
    QStringList m_inputs;
    ListedFiles m_listed;
    // The results written so far, by path and by identity, and the sources they came from.
    QHash<QString, QString> m_written;
    QHash<QString, QString> m_writtenIdentities;
};

}  // namespace quillmere
