#include "host/com/server_process.h"

#include "host/com/com_error.h"

#include <objbase.h>
#include <tlhelp32.h>

#include <algorithm>
#include <utility>
#include <vector>

namespace quillmere::com {
namespace {

// The LocalServer32 command line of the class, from wherever Windows may keep it: the merged
// view, the machine's classes in the 64- and the 32-bit view (a 32-bit Project on 64-bit
// Windows), the user's classes. Empty when none of them has it.
std::wstring LocalServerCommand(const std::wstring& clsidText) {
    const std::wstring key = L"CLSID\\" + clsidText + L"\\LocalServer32";
    const std::wstring classes = L"Software\\Classes\\";
    const struct {
        HKEY root;
        std::wstring path;
        REGSAM view;
    } places[] = {
        {HKEY_CLASSES_ROOT, key, 0},
        {HKEY_LOCAL_MACHINE, classes + key, KEY_WOW64_64KEY},
        {HKEY_LOCAL_MACHINE, classes + key, KEY_WOW64_32KEY},
        {HKEY_CURRENT_USER, classes + key, 0},
    };
    for (const auto& place : places) {
        HKEY handle = nullptr;
        if (RegOpenKeyExW(place.root, place.path.c_str(), 0, KEY_QUERY_VALUE | place.view,
                          &handle) != ERROR_SUCCESS)
            continue;
        wchar_t command[1024] = {};
        DWORD size = sizeof command;
        const LSTATUS read = RegGetValueW(handle, nullptr, nullptr,
                                          RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND,
                                          nullptr, command, &size);
        RegCloseKey(handle);
        if (read == ERROR_SUCCESS && command[0]) return command;
    }
    return {};
}

// The file name of the program that serves the class out of process ("WINPROJ.EXE"), from its
// LocalServer32 command line; empty when it cannot be read.
std::wstring ServerProgram(const std::wstring& progId) {
    CLSID clsid{};
    if (FAILED(CLSIDFromProgID(progId.c_str(), &clsid))) return {};
    wchar_t clsidText[64] = {};
    StringFromGUID2(clsid, clsidText, 64);
    std::wstring path = LocalServerCommand(clsidText);
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

// The session a process runs in, from its token; false when it cannot be read (another user's
// process, most likely). ProcessIdToSessionId is not used: wine answers it for its own process
// only, and the token's session, which wine does not keep, reads the same for every process.
bool SessionOf(HANDLE process, DWORD& session) {
    HANDLE token = nullptr;
    if (!OpenProcessToken(process, TOKEN_QUERY, &token)) return false;
    DWORD size = 0;
    session = 0;
    const bool read = GetTokenInformation(token, TokenSessionId, &session, sizeof session, &size);
    CloseHandle(token);
    return read;
}

// The ids of the processes running program in this session: another user's Project is neither
// ours nor one a creation of ours can be handed. A process whose session cannot be read counts
// as one of this session, as it did before sessions were told apart.
std::vector<DWORD> ProcessesRunning(const std::wstring& program) {
    std::vector<DWORD> ids;
    DWORD ourSession = 0;
    const bool sessionKnown = SessionOf(GetCurrentProcess(), ourSession);
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return ids;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot, &entry); more;
         more = Process32NextW(snapshot, &entry)) {
        if (_wcsicmp(entry.szExeFile, program.c_str()) != 0) continue;
        const HANDLE process =
            OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, entry.th32ProcessID);
        DWORD session = ourSession;
        const bool ours =
            !sessionKnown || !process || !SessionOf(process, session) || session == ourSession;
        if (process) CloseHandle(process);
        if (ours) ids.push_back(entry.th32ProcessID);
    }
    CloseHandle(snapshot);
    return ids;
}

}  // namespace

ServerProcess::~ServerProcess() {
    if (m_process) CloseHandle(m_process);
}

ServerProcess::ServerProcess(ServerProcess&& other) noexcept
    : m_process(std::exchange(other.m_process, nullptr)),
      m_reusedRunning(other.m_reusedRunning),
      m_programUnread(other.m_programUnread),
      m_id(other.m_id) {}

ServerProcess& ServerProcess::operator=(ServerProcess&& other) noexcept {
    std::swap(m_process, other.m_process);
    std::swap(m_reusedRunning, other.m_reusedRunning);
    std::swap(m_programUnread, other.m_programUnread);
    std::swap(m_id, other.m_id);
    return *this;
}

ServerProcess ServerProcess::StartedBy(const std::wstring& progId,
                                       const std::function<void()>& create) {
    const std::wstring program = ServerProgram(progId);
    const std::vector<DWORD> before =
        program.empty() ? std::vector<DWORD>{} : ProcessesRunning(program);
    create();
    if (program.empty()) {
        ServerProcess unread;
        unread.m_programUnread = true;
        return unread;
    }
    std::vector<DWORD> started;
    for (DWORD id : ProcessesRunning(program))
        if (std::ranges::find(before, id) == before.end()) started.push_back(id);
    if (started.empty() && !before.empty()) return ServerProcess(nullptr, true);
    if (started.size() != 1) return {};
    // The handle keeps the id from passing to another process.
    return ServerProcess(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, started[0]), false,
                         started[0]);
}

bool ServerProcess::showsWindow() const {
    if (!m_process) return false;
    struct Search {
        DWORD process;
        bool found = false;
    } search{m_id};
    EnumWindows(
        [](HWND window, LPARAM state) -> BOOL {
            auto& wanted = *reinterpret_cast<Search*>(state);
            DWORD process = 0;
            GetWindowThreadProcessId(window, &process);
            wanted.found = process == wanted.process && IsWindowVisible(window);
            return !wanted.found;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

bool ServerProcess::end() {
    if (!m_process || !TerminateProcess(m_process, 1)) return false;
    return WaitForSingleObject(m_process, 10000) == WAIT_OBJECT_0;
}

void ServerProcess::awaitExit(std::chrono::milliseconds linger, bool mayEnd) {
    if (!m_process) return;
    const auto milliseconds = std::clamp<long long>(linger.count(), 0, INFINITE - 1);
    // A process that shows a window has become someone's (a plan the user opened there): it
    // is never ended.
    if (WaitForSingleObject(m_process, DWORD(milliseconds)) != WAIT_OBJECT_0 && mayEnd &&
        !showsWindow())
        end();
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
