#pragma once

#include <windows.h>

#include <chrono>
#include <functional>
#include <string>

namespace quillmere::com {

// The server process that one instance creation started, so that a hung instance can be ended.
// It is the one process running the class's server program that appeared during the creation;
// when there is none, or more than one (the user may have started Project meanwhile), it is
// unknown, and nothing is ever ended.
class ServerProcess {
  public:
    ServerProcess() = default;
    ~ServerProcess();
    ServerProcess(ServerProcess&& other) noexcept;
    ServerProcess& operator=(ServerProcess&& other) noexcept;
    ServerProcess(const ServerProcess&) = delete;
    ServerProcess& operator=(const ServerProcess&) = delete;

    // Runs create, which starts an instance of the class, and finds the process it started.
    static ServerProcess StartedBy(const std::wstring& progId, const std::function<void()>& create);

    bool known() const { return m_process != nullptr; }
    // No new process of the server program appeared: the creation was handed one that already
    // ran, someone's own Project, even when it was not yet in the Running Object Table.
    bool reusedRunning() const { return m_reusedRunning; }
    // The program that serves the class could not be read from the registry, so no process
    // could be told apart.
    bool programUnread() const { return m_programUnread; }
    // Ends the process and waits for it to be gone; false when it is unknown or cannot be ended.
    bool end();
    // Once its instance was let go: waits for the process to exit, so that the next creation is
    // not handed a dying instance; with mayEnd, ends it when it is still there after linger and
    // shows no window.
    void awaitExit(std::chrono::milliseconds linger, bool mayEnd);
    // The process shows a top-level window: a document the user opened there, or a prompt the
    // user can answer. Such a process is never ended.
    bool showsWindow() const;

  private:
    explicit ServerProcess(HANDLE process, bool reusedRunning = false, DWORD id = 0)
        : m_process(process), m_reusedRunning(reusedRunning), m_id(id) {}
    HANDLE m_process = nullptr;
    bool m_reusedRunning = false;
    bool m_programUnread = false;
    DWORD m_id = 0;
};

// Runs onExpiry on a pool thread when the deadline passes before this object is destroyed; the
// destructor waits for a running onExpiry to finish.
class CallDeadline {
  public:
    CallDeadline(std::chrono::milliseconds limit, std::function<void()> onExpiry);
    ~CallDeadline();
    CallDeadline(const CallDeadline&) = delete;
    CallDeadline& operator=(const CallDeadline&) = delete;

  private:
    static void CALLBACK Expire(void* self, BOOLEAN);

    std::function<void()> m_onExpiry;
    HANDLE m_timer = nullptr;
};

}  // namespace quillmere::com
