#pragma once

#include "host/host.h"
#include "support/qt_printers.h"

#include <QStringList>

#include <functional>
#include <memory>
#include <vector>

namespace quillmere::testing {

// One call that reached the host, with its arguments as texts in the host's order
// (Booleans as "true"/"false").
struct HostCall {
    QString op;  // Create, Attach, Name, FileOpen, Replace, FileSaveAs, Quit, Release
    QStringList args;
    int instance = 0;  // which instance received it; 0 for the factory's own calls
};

// A recording project host. Every call is logged with its arguments; a chosen call can be
// made to fail; the host can be absent altogether. With actOnFiles it works on plain text
// files, so outputs can be checked: FileOpen reads the whole file as the text of the "Name"
// field, Replace on "Name" replaces in it, FileSaveAs writes it.
class FakeHost : public HostFactory {
  public:
    std::unique_ptr<HostInstance> create(const QString& className) override;
    std::unique_ptr<HostInstance> attach(const QString& className) override;

    bool actOnFiles = false;
    // No server: Create and Attach fail.
    bool absent = false;
    // A running instance that Attach finds, with this name.
    std::optional<QString> runningName;
    // Return a description to make that call fail.
    std::function<std::optional<QString>(const HostCall&)> failWhen;
    // Create first waits this many times for another run, telling whoever setWhileWaiting named;
    // a wait given up, or without anyone to tell, fails the creation (errors::kHostInUse).
    int waitsBeforeCreate = 0;
    void setWhileWaiting(WhileWaiting whileWaiting) override { m_whileWaiting = whileWaiting; }
    // Runs after each call is recorded (before it fails or acts), e.g. to change the window.
    std::function<void(const HostCall&)> onCall;
    // syncSaves: counted, not recorded among the calls; runs onSync, then fails when told to.
    void syncSaves() override;
    std::function<void()> onSync;
    std::optional<QString> syncFailure;
    int syncs = 0;

    const std::vector<HostCall>& calls() const { return m_calls; }
    std::vector<HostCall> callsOf(const QString& op) const;
    QStringList ops() const;
    int liveInstances() const { return m_live; }

    void record(const HostCall& call);  // used by the fake's instances

  private:
    friend class FakeInstance;
    std::vector<HostCall> m_calls;
    WhileWaiting m_whileWaiting;
    int m_instances = 0;
    int m_live = 0;
};

// The Replace arguments as the fake records them.
QStringList ReplaceCallArgs(const QString& field, const QString& value, const QString& replacement,
                            bool matchCase);

}  // namespace quillmere::testing
