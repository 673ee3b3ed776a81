#pragma once

#include <memory>
#include <string>
#include <thread>

namespace quillmere::com {

// A message box, on a thread of its own, that tells a window's user that their own Project has
// not answered for a long time; it goes when Project answers. The thread that waits on Project
// cannot show one itself. The box belongs to our visible window, when there is one, and is not
// kept on top: Project's own dialog, the one the user has to answer, must not be covered by it.
class WaitBox {
  public:
    WaitBox() = default;
    ~WaitBox() { close(); }
    WaitBox(const WaitBox&) = delete;
    WaitBox& operator=(const WaitBox&) = delete;

    // Shows text, unless a box is already up.
    void show(const std::wstring& text);
    // Takes the box away, when it is still up, and waits a moment for its thread to end; a box
    // that does not go within about five seconds is left to the user.
    void close();

  private:
    struct Shown;  // what the box's thread uses: it holds a share, so that it may outlive us
    std::shared_ptr<Shown> m_shown;
    std::jthread m_thread;
};

}  // namespace quillmere::com
