#pragma once

#include "platform/result_files.h"

#include <QFile>
#include <QHash>
#include <QString>

#include <chrono>
#include <functional>
#include <memory>

namespace quillmere {

// The arguments of one Replace call, in the host's order.
struct ReplaceArgs {
    QString field;
    QString test;
    QString value;
    QString replacement;
    bool replaceAll = true;
    bool next = true;
    bool matchCase = false;
};

// What replace answers when values changed but the host cannot count them. Non-zero, so that
// it still reads as "changed".
inline constexpr int kChangedUncounted = -1;

// One instance of a project host (Microsoft Project or a substitute). Every call may throw
// Failure with the host's own description; release is the destructor.
class HostInstance {
  public:
    virtual ~HostInstance() = default;
    // The default property: "Microsoft Project" for a genuine instance.
    virtual QString name() = 0;
    virtual void fileOpen(const QString& path) = 0;
    // The number of values that changed: 0 for none, kChangedUncounted when the host changed
    // some but cannot say how many. Callers may ignore it.
    virtual int replace(const ReplaceArgs& args) = 0;
    virtual void fileSaveAs(const QString& path) = 0;
    // Everything a save to the path does in the path's folder, with nothing left there: a dry
    // run fails where the save would. Here the project is saved under a hidden name beside the
    // path and removed; a host that can write a file without naming it does that instead.
    virtual void fileSaveTrial(const QString& path) {
        const QString hidden = HiddenNameBeside(path);
        try {
            fileSaveAs(hidden);
        } catch (...) {
            QFile::remove(hidden);
            throw;
        }
        QFile::remove(hidden);
    }
    virtual void quit() = 0;
};

// Told, again and again, while a host waits before it can begin a file (another run holds
// Microsoft Project), with the reason; answering false gives the wait up, and that file fails.
using WhileWaiting = std::function<bool(const QString& why)>;

class HostFactory {
  public:
    virtual ~HostFactory() = default;
    // A new private instance; throws Failure when the server is absent.
    virtual std::unique_ptr<HostInstance> create(const QString& className) = 0;
    // The already running instance; throws Failure when none runs.
    virtual std::unique_ptr<HostInstance> attach(const QString& className) = 0;
    // Puts every file that this factory's instances saved so far on the disk and under its name,
    // for a host that keeps its results unnamed until then. Gives the paths whose result could
    // not be put in place since the last call, each with the reason.
    virtual QHash<QString, QString> commitSaves() { return {}; }
    // The results of a host that saves them itself, through the folders of a run (see
    // ResultFiles); none for a host that saves through a program of its own (Microsoft Project
    // takes a path).
    virtual ResultFiles* results() { return nullptr; }
    // commitSaves(), then puts the names on the disk too, for a host that leaves that to the end
    // of a run. Throws Failure naming each result that could not be put in place or on the disk.
    virtual void syncSaves() {}
    // How many of this factory's instances may work at once, each on its own thread. A host
    // that is one program on the system (Microsoft Project) takes one file at a time, on the
    // thread that made the factory.
    virtual int concurrentInstances() const { return 1; }
    // Who hears of a wait from now on; empty: the host's own rule (a batch waits a bounded time).
    virtual void setWhileWaiting(WhileWaiting whileWaiting) { Q_UNUSED(whileWaiting); }
    // The file a run will open next: a host may start reading it meanwhile.
    virtual void expect(const QString& path) { Q_UNUSED(path); }
    // How many of this factory's instances will work at once from now on: a host that could
    // give a large file a second thread does so only for a lone instance.
    virtual void setSideBySide(int instances) { Q_UNUSED(instances); }
};

inline const QString kProjectClassName = QStringLiteral("MSProject.Application");

// Where a host that can wait on its user (Microsoft Project showing a dialog) says so: on the
// standard error output of a terminal program, or in a message box beside a window.
enum class WaitShown { OnStandardError, InAMessageBox };

// The host this platform uses by default. A host that saves files itself waits for the disk as
// sync says (Microsoft Project saves its own way).
// stepDeadline: how long one step of a pass (an open, one Replace, a save, a close) may take in
// a private instance of a host that is a program of its own (Microsoft Project) before that
// instance is ended; the built-in host needs none.
std::unique_ptr<HostFactory> MakeDefaultHostFactory(std::chrono::seconds stepDeadline,
                                                    WaitShown waitShown);

}  // namespace quillmere
