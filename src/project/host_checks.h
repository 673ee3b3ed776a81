#pragma once

namespace quillmere {

class Dialogs;
class HostFactory;

// Start-up's last step: when no host instance can be created, tells the user and ends the
// program at once (throws ProgramEnding). Any other failure is ignored.
void CheckProjectInstalled(HostFactory& hosts, Dialogs& dialogs);

// True when a running instance answers with the name "Microsoft Project". Never fails, never
// quits the instance it looked at.
bool IsProjectRunning(HostFactory& hosts);

// Before a run: with Project already running, asks whether to go on. True means the run must
// not start.
bool AbortForOpenProject(HostFactory& hosts, Dialogs& dialogs);

}  // namespace quillmere
