#pragma once

#include "host/builtin/project_document.h"
#include "host/builtin/read_ahead.h"
#include "host/host.h"
#include "platform/result_files.h"

#include <limits>
#include <memory>

namespace quillmere::builtin {

inline const QString kBuiltinHostName = QStringLiteral("Quillmere built-in project host");

// Our own project host: opens, edits and saves Project XML and MPX files.
class BuiltinHost : public HostInstance {
  public:
    // With results, a save is put on the disk and named when results commits, not at once. With
    // readAhead, a file may already have been opened when it is asked for.
    // alone: no other instance works at the same time, so a large file may be read on two
    // threads while no read-ahead works beside the run.
    explicit BuiltinHost(std::shared_ptr<ResultFiles> results = nullptr,
                         std::shared_ptr<ReadAhead> readAhead = nullptr, bool alone = false)
        : m_results(std::move(results)), m_readAhead(std::move(readAhead)), m_alone(alone) {}
    QString name() override { return kBuiltinHostName; }
    void fileOpen(const QString& path) override;
    int replace(const ReplaceArgs& args) override;
    void fileSaveAs(const QString& path) override;
    // Writes the whole file in the path's folder without ever naming it.
    void fileSaveTrial(const QString& path) override;
    void quit() override;

  private:
    std::unique_ptr<ProjectDocument> m_document;
    QString m_openedPath;
    SourceFile m_source;
    // A replacement failed part-way: the document is not saved.
    bool m_halfReplaced = false;
    // Refuses to save over the file the project was opened from; the writer of the file.
    std::function<void(const ByteSink&)> writerFor(const QString& path);

    std::shared_ptr<ResultFiles> m_results;
    std::shared_ptr<ReadAhead> m_readAhead;
    bool m_alone;
};

class BuiltinHostFactory : public HostFactory {
  public:
    std::unique_ptr<HostInstance> create(const QString& className) override;
    // There is no shared running instance of the built-in host.
    std::unique_ptr<HostInstance> attach(const QString& className) override;
    QHash<QString, QString> commitSaves() override { return m_results->commit(); }
    ResultFiles* results() override { return m_results.get(); }
    void syncSaves() override { m_results->sync(); }
    // Instances share nothing but the list of saved files.
    int concurrentInstances() const override { return std::numeric_limits<int>::max(); }
    void expect(const QString& path) override { m_readAhead->expect(path); }
    void setSideBySide(int instances) override { m_sideBySide = instances; }

  private:
    int m_sideBySide = 1;
    // A run saves many files; they are put on the disk a few dozen at a time.
    std::shared_ptr<ResultFiles> m_results = std::make_shared<ResultFiles>();
    std::shared_ptr<ReadAhead> m_readAhead = std::make_shared<ReadAhead>();
};

}  // namespace quillmere::builtin
