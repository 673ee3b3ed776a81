#include "host/com/run_lock.h"

#include "host/com/com_error.h"

#include <algorithm>
#include <memory>
#include <utility>

namespace quillmere::com {
namespace {

// Often enough for a window that yields to its user in the callback to stay live.
const std::chrono::milliseconds kTellEvery(100);

std::wstring Seconds(std::chrono::milliseconds span) {
    return std::to_wstring(std::chrono::duration_cast<std::chrono::seconds>(span).count()) + L" s";
}

const wchar_t kWaiting[] =
    L"Another Quillmere run is using Project; this run waits until it is done.";
const wchar_t kTakenOver[] =
    L"Another Quillmere run ended without letting go of Project; this run takes over.";

}  // namespace

RunLock::RunLock(RunLock&& other) noexcept : m_mutex(std::exchange(other.m_mutex, nullptr)) {}

RunLock& RunLock::operator=(RunLock&& other) noexcept {
    if (this != &other) {
        release();
        m_mutex = std::exchange(other.m_mutex, nullptr);
    }
    return *this;
}

RunLock RunLock::Take(const WaitingForAnotherRun& waiting, std::chrono::milliseconds bound) {
    const HANDLE mutex = CreateMutexW(nullptr, FALSE, kName);
    if (!mutex) ThrowHresult(HRESULT_FROM_WIN32(GetLastError()), L"CreateMutex");
    // Closed on every way out (the callback may throw) unless taken below.
    std::unique_ptr<void, decltype(&CloseHandle)> handle(mutex, &CloseHandle);
    const auto start = std::chrono::steady_clock::now();
    auto waited = std::chrono::milliseconds(0);
    DWORD result = WaitForSingleObject(mutex, 0);
    while (result == WAIT_TIMEOUT) {
        const bool goOn = waiting ? waiting({kWaiting, waited, false}) : waited < bound;
        if (!goOn)
            throw ComError(HRESULT_FROM_WIN32(ERROR_BUSY),
                           L"Another Quillmere run is using Project; waited " + Seconds(waited) +
                               L" for it to finish, so this file was not worked on.");
        const auto next = waiting ? kTellEvery : std::min(kTellEvery, bound - waited);
        result = WaitForSingleObject(mutex, DWORD(next.count()));
        waited = std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::steady_clock::now() - start);
    }
    if (result != WAIT_OBJECT_0 && result != WAIT_ABANDONED)
        ThrowHresult(HRESULT_FROM_WIN32(GetLastError()), L"WaitForSingleObject");
    RunLock taken(static_cast<HANDLE>(handle.release()));
    // Owned now: a callback that throws lets go of it again.
    if (result == WAIT_ABANDONED && waiting) waiting({kTakenOver, waited, true});
    return taken;
}

void RunLock::release() {
    if (!m_mutex) return;
    ReleaseMutex(m_mutex);
    CloseHandle(std::exchange(m_mutex, nullptr));
}

}  // namespace quillmere::com
