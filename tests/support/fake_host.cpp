#include "support/fake_host.h"

#include "platform/failure.h"

#include <QFile>

namespace quillmere::testing {
namespace {

const long kFakeFailure = -2147352567;  // DISP_E_EXCEPTION, as an automation server raises

QString Bool(bool value) {
    return value ? QStringLiteral("true") : QStringLiteral("false");
}

}  // namespace

QStringList ReplaceCallArgs(const QString& field, const QString& value, const QString& replacement,
                            bool matchCase) {
    return {field,          QStringLiteral("contains"), value, replacement, Bool(true), Bool(true),
            Bool(matchCase)};
}

class FakeInstance : public HostInstance {
  public:
    FakeInstance(FakeHost& host, int id, QString name)
        : m_host(host), m_id(id), m_name(std::move(name)) {
        ++m_host.m_live;
    }
    ~FakeInstance() override {
        call(QStringLiteral("Release"), {}, false);
        --m_host.m_live;
    }

    QString name() override {
        call(QStringLiteral("Name"), {});
        return m_name;
    }
    void fileOpen(const QString& path) override {
        call(QStringLiteral("FileOpen"), {path});
        if (!m_host.actOnFiles) return;
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            throw Failure(kFakeFailure, QStringLiteral("The file could not be opened."));
        m_text = QString::fromUtf8(file.readAll());
    }
    int replace(const ReplaceArgs& a) override {
        call(QStringLiteral("Replace"), {a.field, a.test, a.value, a.replacement,
                                         Bool(a.replaceAll), Bool(a.next), Bool(a.matchCase)});
        if (a.field != QLatin1String("Name") || a.value.isEmpty()) return 0;
        const QString before = m_text;
        m_text.replace(a.value, a.replacement,
                       a.matchCase ? Qt::CaseSensitive : Qt::CaseInsensitive);
        return m_text != before ? 1 : 0;
    }
    void fileSaveAs(const QString& path) override {
        call(QStringLiteral("FileSaveAs"), {path});
        if (!m_host.actOnFiles) return;
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly))
            throw Failure(kFakeFailure, QStringLiteral("The file could not be saved."));
        file.write(m_text.toUtf8());
    }
    void quit() override { call(QStringLiteral("Quit"), {}); }

  private:
    void call(const QString& op, const QStringList& args, bool mayFail = true) {
        const HostCall recorded{op, args, m_id};
        m_host.record(recorded);
        if (!mayFail || !m_host.failWhen) return;
        if (const auto description = m_host.failWhen(recorded))
            throw Failure(kFakeFailure, *description);
    }

    FakeHost& m_host;
    int m_id;
    QString m_name;
    QString m_text;
};

void FakeHost::syncSaves() {
    ++syncs;
    if (onSync) onSync();
    if (syncFailure) throw Failure(kFakeFailure, *syncFailure);
}

void FakeHost::record(const HostCall& call) {
    m_calls.push_back(call);
    if (onCall) onCall(call);
}

std::unique_ptr<HostInstance> FakeHost::create(const QString& className) {
    const HostCall call{QStringLiteral("Create"), {className}, 0};
    record(call);
    if (absent) throw Failure(429, QStringLiteral("ActiveX component can't create object"));
    for (int i = 0; i < waitsBeforeCreate; ++i)
        if (!m_whileWaiting || !m_whileWaiting(QStringLiteral("Another run is using Project.")))
            throw Failure(errors::kHostInUse, QStringLiteral("Another run is using Project."));
    if (failWhen)
        if (const auto description = failWhen(call)) throw Failure(kFakeFailure, *description);
    return std::make_unique<FakeInstance>(*this, ++m_instances,
                                          QStringLiteral("Microsoft Project"));
}

std::unique_ptr<HostInstance> FakeHost::attach(const QString& className) {
    record({QStringLiteral("Attach"), {className}, 0});
    if (absent || !runningName)
        throw Failure(429, QStringLiteral("ActiveX component can't create object"));
    return std::make_unique<FakeInstance>(*this, ++m_instances, *runningName);
}

std::vector<HostCall> FakeHost::callsOf(const QString& op) const {
    std::vector<HostCall> found;
    for (const auto& call : m_calls)
        if (call.op == op) found.push_back(call);
    return found;
}

QStringList FakeHost::ops() const {
    QStringList ops;
    for (const auto& call : m_calls) ops << call.op;
    return ops;
}

}  // namespace quillmere::testing
