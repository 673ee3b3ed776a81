#include "platform/failure.h"
#include "platform/host/host.h"

namespace quillmere {
namespace {

const long kNoHost = 429;  // the runtime's "can't create object"

[[noreturn]] void NoHost() {
    throw Failure(kNoHost, QStringLiteral("No project host is available on this system."));
}

// Stands in where no project host exists yet: it can be created, so the program starts, but
// every call on it fails with a clear description instead of pretending to succeed.
class UnavailableHost : public HostInstance {
public:
    QString name() override { NoHost(); }
    void fileOpen(const QString&) override { NoHost(); }
    bool replace(const ReplaceArgs&) override { NoHost(); }
    void fileSaveAs(const QString&) override { NoHost(); }
    void quit() override {}
};

class UnavailableHostFactory : public HostFactory {
public:
    std::unique_ptr<HostInstance> create(const QString&) override {
        return std::make_unique<UnavailableHost>();
    }
    std::unique_ptr<HostInstance> attach(const QString&) override { NoHost(); }
};

}  // namespace

std::unique_ptr<HostFactory> MakeDefaultHostFactory() {
    return std::make_unique<UnavailableHostFactory>();
}

}  // namespace quillmere
