#include "project/host_checks.h"

#include "host/host.h"
#include "platform/dialogs.h"
#include "platform/failure.h"

namespace quillmere {

void CheckProjectInstalled(HostFactory& hosts, Dialogs& dialogs) {
    std::unique_ptr<HostInstance> instance;
    try {
        instance = hosts.create(kProjectClassName);
    } catch (const Failure& failure) {
        // Another run is using it: installed, and not to be disturbed.
        if (failure.number() == errors::kHostInUse) return;
    } catch (const std::exception&) {
    }
    if (instance) return;  // released at once, without Quit
    try {
        dialogs.inform(QStringLiteral(
            "Microsoft Project is not installed on this computer. You need to have it installed "
            "to use this software without error."));
    } catch (const std::exception&) {
    }
    throw ProgramEnding{};
}

bool IsProjectRunning(HostFactory& hosts) {
    try {
        const std::unique_ptr<HostInstance> running = hosts.attach(kProjectClassName);
        return running->name() == QLatin1String("Microsoft Project");
    } catch (const std::exception&) {
        return false;
    }
}

bool AbortForOpenProject(HostFactory& hosts, Dialogs& dialogs) {
    if (!IsProjectRunning(hosts)) return false;
    return !dialogs.ask(QStringLiteral(
        "Project may be open. It is recommended that you close Project first.\r\n\r\n"
        "Would you like to proceed anyway?"));
}

}  // namespace quillmere
