#pragma once

#include <windows.h>

#include <chrono>
#include <functional>
#include <string>

namespace quillmere::com {

// What a run hears while another Quillmere run holds Project.
struct AnotherRun {
    std::wstring text;                    // what to tell the user
    std::chrono::milliseconds waited{0};  // zero when the wait begins
    bool takenOver = false;               // the other run died holding Project: this run goes on
};

// Answers whether to go on waiting; told when the wait begins, then ten times a second, and
// once more, its answer unheard, when a run that died is taken over.
using WaitingForAnotherRun = std::function<bool(const AnotherRun&)>;

// The named mutex that makes the Quillmere runs of a user session take Project one at a time:
// two runs in one shared instance would act on each other's projects. Held from the creation of
// an instance until its process has exited. A mutex belongs to a thread: taken and let go on the
// thread that uses the instance.
class RunLock {
  public:
    static constexpr wchar_t kName[] = L"Local\\Quillmere.ProjectAutomation";

    RunLock() = default;
    ~RunLock() { release(); }
    RunLock(RunLock&& other) noexcept;
    RunLock& operator=(RunLock&& other) noexcept;
    RunLock(const RunLock&) = delete;
    RunLock& operator=(const RunLock&) = delete;

    // Takes the lock, waiting while another run holds it: as long as waiting says, or, without
    // it, for at most bound. Throws ComError when the wait is given up.
    static RunLock Take(const WaitingForAnotherRun& waiting, std::chrono::milliseconds bound);

    void release();

  private:
    explicit RunLock(HANDLE mutex) : m_mutex(mutex) {}
    HANDLE m_mutex = nullptr;
};

}  // namespace quillmere::com
