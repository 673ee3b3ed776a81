#include "host/com/wait_box.h"

namespace quillmere::com {
namespace {

const wchar_t kCaption[] = L"Quillmere";

DWORD WINAPI ShowBox(void* text) {
    const std::wstring* shown = static_cast<std::wstring*>(text);
    MessageBoxW(nullptr, shown->c_str(), kCaption,
                MB_OK | MB_ICONINFORMATION | MB_TOPMOST | MB_SETFOREGROUND);
    delete shown;
    return 0;
}

BOOL CALLBACK CloseWindow(HWND window, LPARAM) {
    PostMessageW(window, WM_CLOSE, 0, 0);
    return TRUE;
}

}  // namespace

void WaitBox::show(const std::wstring& text) {
    if (m_thread) return;
    auto* shown = new std::wstring(text);
    m_thread = CreateThread(nullptr, 0, &ShowBox, shown, 0, &m_threadId);
    if (!m_thread) delete shown;
}

void WaitBox::close() {
    if (!m_thread) return;
    // The box may not be up yet: asked again until its thread ends, for at most five seconds;
    // a box that stays after that is left to the user, and its thread owns all it uses.
    for (int i = 0; i < 100; ++i) {
        EnumThreadWindows(m_threadId, &CloseWindow, 0);
        if (WaitForSingleObject(m_thread, 50) == WAIT_OBJECT_0) break;
    }
    CloseHandle(m_thread);
    m_thread = nullptr;
}

}  // namespace quillmere::com
