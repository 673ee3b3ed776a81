#include "host/com/wait_box.h"

#include "platform/threads.h"

#include <windows.h>

#include <atomic>

namespace quillmere::com {

struct WaitBox::Shown {
    std::wstring text;
    std::atomic<DWORD> threadId = 0;  // the box's thread, once it runs
    std::atomic<bool> done = false;   // the box is gone
};

namespace {

const wchar_t kCaption[] = L"Quillmere";

// The frontmost visible top-level window of this process that no other window owns; null when
// there is none (a batch run).
HWND OurWindow() {
    HWND found = nullptr;
    EnumWindows(
        [](HWND window, LPARAM result) -> BOOL {
            DWORD process = 0;
            GetWindowThreadProcessId(window, &process);
            if (process != GetCurrentProcessId() || !IsWindowVisible(window) ||
                GetWindow(window, GW_OWNER))
                return TRUE;
            *reinterpret_cast<HWND*>(result) = window;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&found));
    return found;
}

BOOL CALLBACK CloseWindow(HWND window, LPARAM) {
    PostMessageW(window, WM_CLOSE, 0, 0);
    return TRUE;
}

// Waits up to milliseconds, answering the messages other threads send to this one meanwhile:
// the box disables and enables its owner, which may be this thread's window, by sending it
// messages, and would wait for us while we wait for it.
void WaitAnsweringSentMessages(DWORD milliseconds) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, milliseconds, QS_SENDMESSAGE);
    MSG message;
    PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
}

}  // namespace

void WaitBox::show(const std::wstring& text) {
    if (m_thread.joinable()) {
        if (!m_shown || !m_shown->done) return;  // a box is up
        m_thread.join();                         // the user closed the last one
    }
    auto shown = std::make_shared<Shown>();
    shown->text = text;
    m_thread = StartThread([shown](std::stop_token) {
        shown->threadId = GetCurrentThreadId();
        MessageBoxW(OurWindow(), shown->text.c_str(), kCaption, MB_OK | MB_ICONINFORMATION);
        shown->done = true;
    });
    if (m_thread.joinable()) m_shown = std::move(shown);
}

void WaitBox::close() {
    if (!m_thread.joinable()) return;
    const std::shared_ptr<Shown> shown = std::move(m_shown);
    // The box may not be up yet: asked again until it is gone, for at most five seconds.
    for (int i = 0; i < 100 && !shown->done; ++i) {
        if (const DWORD id = shown->threadId) EnumThreadWindows(id, &CloseWindow, 0);
        for (int j = 0; j < 5 && !shown->done; ++j) WaitAnsweringSentMessages(10);
    }
    if (shown->done)
        m_thread.join();
    else
        m_thread.detach();  // left to the user; the thread owns all it uses
}

}  // namespace quillmere::com
