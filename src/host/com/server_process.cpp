#include "host/com/server_process.h"

#include "host/com/com_error.h"

#include <objbase.h>
#include <tlhelp32.h>

#include <algorithm>
#include <utility>
#include <vector>

namespace quillmere::com {
namespace {

// The file name of the program that serves the class out of process ("WINPROJ.EXE"), from its
// LocalServer32 command line; empty when the class has none.
std::wstring ServerProgram(const std::wstring& progId) {
    CLSID clsid{};
    if (FAILED(CLSIDFromProgID(progId.c_str(), &clsid))) return {};
    wchar_t clsidText[64] = {};
    StringFromGUID2(clsid, clsidText, 64);
    const std::wstring key = L"CLSID\\" + std::wstring(clsidText) + L"\\LocalServer32";
    wchar_t command[1024] = {};
    DWORD size = sizeof command;
    if (RegGetValueW(HKEY_CLASSES_ROOT, key.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, command,
                     &size) != ERROR_SUCCESS)
        return {};
    std::wstring path = command;
    if (!path.empty() && path[0] == L'"') {
        path = path.substr(1, path.find(L'"', 1) - 1);
    } else {
        std::wstring lower = path;
        std::ranges::transform(lower, lower.begin(), ::towlower);
        const size_t exe = lower.find(L".exe");
        if (exe != std::wstring::npos) path.resize(exe + 4);
    }
    const size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

// The ids of the processes running program.
std::vector<DWORD> ProcessesRunning(const std::wstring& program) {
    std::vector<DWORD> ids;
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return ids;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot, &entry); more;
         more = Process32NextW(snapshot, &entry))
        if (_wcsicmp(entry.szExeFile, program.c_str()) == 0) ids.push_back(entry.th32ProcessID);
    CloseHandle(snapshot);
    return ids;
}

}  // namespace

ServerProcess::~ServerProcess() {
    if (m_process) CloseHandle(m_process);
}

ServerProcess::ServerProcess(ServerProcess&& other) noexcept
    : m_process(std::exchange(other.m_process, nullptr)), m_reusedRunning(other.m_reusedRunning) {}

ServerProcess& ServerProcess::operator=(ServerProcess&& other) noexcept {
    std::swap(m_process, other.m_process);
    std::swap(m_reusedRunning, other.m_reusedRunning);
    return *this;
}

ServerProcess ServerProcess::StartedBy(const std::wstring& progId,
                                       const std::function<void()>& create) {
    const std::wstring program = ServerProgram(progId);
    const std::vector<DWORD> before =
        program.empty() ? std::vector<DWORD>{} : ProcessesRunning(program);
    create();
    if (program.empty()) return {};
    std::vector<DWORD> started;
    for (DWORD id : ProcessesRunning(program))
        if (std::ranges::find(before, id) == before.end()) started.push_back(id);
    if (started.empty() && !before.empty()) return ServerProcess(nullptr, true);
    if (started.size() != 1) return {};
    // The handle keeps the id from passing to another process.
    return ServerProcess(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, started[0]));
}

bool ServerProcess::end() {
    if (!m_process || !TerminateProcess(m_process, 1)) return false;
    return WaitForSingleObject(m_process, 10000) == WAIT_OBJECT_0;
}

CallDeadline::CallDeadline(std::chrono::milliseconds limit, std::function<void()> onExpiry)
    : m_onExpiry(std::move(onExpiry)) {
    // A timer takes at most 49 days, which is forever here.
    const auto milliseconds = std::clamp<long long>(limit.count(), 0, INFINITE - 1);
    // Without a timer the step could wait forever on a Project that never answers: it fails
    // instead.
    if (!CreateTimerQueueTimer(&m_timer, nullptr, &CallDeadline::Expire, this, DWORD(milliseconds),
                               0, WT_EXECUTEONLYONCE)) {
        const DWORD error = GetLastError();
        m_timer = nullptr;
        ThrowHresult(error ? HRESULT_FROM_WIN32(error) : E_FAIL,
                     L"The step's time limit could not be set (CreateTimerQueueTimer)");
    }
}

CallDeadline::~CallDeadline() {
    if (m_timer) DeleteTimerQueueTimer(nullptr, m_timer, INVALID_HANDLE_VALUE);
}

void CALLBACK CallDeadline::Expire(void* self, BOOLEAN) {
    static_cast<CallDeadline*>(self)->m_onExpiry();
}

}  // namespace quillmere::com
