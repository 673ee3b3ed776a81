#pragma once

#include "platform/atomic_file.h"
#include "platform/host/builtin/project_document.h"
#include "platform/host/builtin/read_ahead.h"
#include "platform/host/host.h"

#include <limits>
#include <memory>

namespace quillmere::builtin {

inline const QString kBuiltinHostName = QStringLiteral("Quillmere built-in project host");

// Reads a project file's format from its content: Project XML or MPX. Throws Failure with a
// description that names the file for anything else.
std::unique_ptr<ProjectDocument> OpenDocument(const QByteArray& bytes, const QString& fileName);

// Our own project host: opens, edits and saves Project XML and MPX files.
class BuiltinHost : public HostInstance {
  public:
    // With saved, a save is synced to disk when saved is, not at once. With readAhead, a file
    // may already have been opened when it is asked for.
    explicit BuiltinHost(std::shared_ptr<SavedFiles> saved = nullptr,
                         std::shared_ptr<ReadAhead> readAhead = nullptr)
        : m_saved(std::move(saved)), m_readAhead(std::move(readAhead)) {}
    QString name() override { return kBuiltinHostName; }
    void fileOpen(const QString& path) override;
    int replace(const ReplaceArgs& args) override;
    void fileSaveAs(const QString& path) override;
    void quit() override;

  private:
    std::unique_ptr<ProjectDocument> m_document;
    QString m_openedPath;
    std::shared_ptr<SavedFiles> m_saved;
    std::shared_ptr<ReadAhead> m_readAhead;
};

class BuiltinHostFactory : public HostFactory {
  public:
    std::unique_ptr<HostInstance> create(const QString& className) override;
    // There is no shared running instance of the built-in host.
    std::unique_ptr<HostInstance> attach(const QString& className) override;
    void syncSaves() override { m_saved->sync(); }
    // Instances share nothing but the list of saved files.
    int concurrentInstances() const override { return std::numeric_limits<int>::max(); }
    void expect(const QString& path) override { m_readAhead->expect(path); }

  private:
    // A run saves many files; they are synced once, at its end.
    std::shared_ptr<SavedFiles> m_saved = std::make_shared<SavedFiles>();
    std::shared_ptr<ReadAhead> m_readAhead = std::make_shared<ReadAhead>();
};

}  // namespace quillmere::builtin
