#include "host/builtin/builtin_host.h"

#include "host/builtin/open_document.h"
#include "host/field_catalogue.h"
#include "platform/failure.h"
#include "platform/file_reading.h"
#include "platform/threads.h"

#include <QFileInfo>

#include <algorithm>

namespace quillmere::builtin {
namespace {

bool IsCatalogueField(const QString& field) {
    const auto& catalogue = FieldCatalogue();
    return std::find(catalogue.begin(), catalogue.end(), field) != catalogue.end();
}

}  // namespace

void BuiltinHost::fileOpen(const QString& path) {
    quit();
    const QString name = QFileInfo(path).fileName();
    const QByteArray bytes = ReadRegularFile(path, kLargestProjectFile, &m_source);
    if (m_readAhead) m_document = m_readAhead->take(path, bytes);
    const bool secondThread =
        m_alone && ProcessorCores() > 1 && !(m_readAhead && m_readAhead->started());
    if (!m_document)
        m_document = OpenDocument(bytes, name.isEmpty() ? path : name,
                                  secondThread ? SecondThread::WhereItPays : SecondThread::Never);
    m_openedPath = path;
}

int BuiltinHost::replace(const ReplaceArgs& args) {
    if (args.test != QLatin1String("contains"))
        throw Failure(errors::kHostInvalidArgument,
                      QStringLiteral("The test \"%1\" is not supported: only 'contains' is "
                                     "supported.")
                          .arg(args.test));
    if (!IsCatalogueField(args.field))
        throw Failure(errors::kHostInvalidArgument,
                      QStringLiteral("The argument value is not valid: there is no task field "
                                     "named \"%1\".")
                          .arg(args.field));
    // Like Project acting on its empty default project: nothing to change, nothing wrong.
    if (!m_document) return 0;
    try {
        return m_document->replace(args.field, args.value, args.replacement, args.matchCase);
    } catch (const PartlyReplaced&) {
        // Values left whole on purpose, the others replaced: the project is saved as it is.
        throw;
    } catch (...) {
        // A replacement that failed part-way (out of memory, past the store's size limit) may
        // have changed some values and not others: that project is never saved.
        m_halfReplaced = true;
        throw;
    }
}

std::function<void(const ByteSink&)> BuiltinHost::writerFor(const QString& path) {
    if (!m_document)
        throw Failure(errors::kHostInvalidArgument,
                      QStringLiteral("No project is open, so nothing was saved."));
    if (m_halfReplaced)
        throw Failure(errors::kHostInvalidArgument,
                      QStringLiteral("%1 was not saved: a replacement failed part-way, so the "
                                     "project may be only half replaced.")
                          .arg(path));
    const QFileInfo target(path);
    if (target.exists() && QFileInfo(m_openedPath).exists() &&
        target.canonicalFilePath() == QFileInfo(m_openedPath).canonicalFilePath())
        throw Failure(errors::kHostInvalidArgument,
                      QStringLiteral("%1 is the file the project was opened from; Quillmere never "
                                     "writes over a source file.")
                          .arg(path));
    return [this](const ByteSink& sink) { m_document->saveTo(sink); };
}

// Written in full beside the target before it takes the target's name: a failed save leaves
// nothing behind.
void BuiltinHost::fileSaveAs(const QString& path) {
    const auto write = writerFor(path);
    if (m_results) return m_results->save(path, write, m_source);
    ResultFiles alone;
    alone.save(path, write, m_source);
    alone.sync();
}

void BuiltinHost::fileSaveTrial(const QString& path) {
    const auto write = writerFor(path);
    if (m_results) return m_results->trial(path, write, m_source);
    ResultFiles().trial(path, write, m_source);
}

void BuiltinHost::quit() {
    m_document.reset();
    m_openedPath.clear();
    m_source = {};
    m_halfReplaced = false;
}

std::unique_ptr<HostInstance> BuiltinHostFactory::create(const QString& className) {
    if (className != kProjectClassName)
        throw Failure(errors::kCannotCreateObject,
                      QStringLiteral("There is no project host named \"%1\".").arg(className));
    return std::make_unique<BuiltinHost>(m_results, m_readAhead, m_sideBySide == 1);
}

std::unique_ptr<HostInstance> BuiltinHostFactory::attach(const QString&) {
    throw Failure(errors::kCannotCreateObject, QStringLiteral("No project host is running."));
}

}  // namespace quillmere::builtin
