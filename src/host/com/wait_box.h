#pragma once

#include <windows.h>

#include <string>

namespace quillmere::com {

// A message box, on a thread of its own, that tells a window's user that their own Project has
// not answered for a long time; it goes when Project answers. The thread that waits on Project
// cannot show one itself.
class WaitBox {
  public:
    WaitBox() = default;
    ~WaitBox() { close(); }
    WaitBox(const WaitBox&) = delete;
    WaitBox& operator=(const WaitBox&) = delete;

    // Shows text, unless a box is already up.
    void show(const std::wstring& text);
    // Takes the box away, when it is still up, and waits a moment for its thread to end.
    void close();

  private:
    HANDLE m_thread = nullptr;
    DWORD m_threadId = 0;
};

}  // namespace quillmere::com
