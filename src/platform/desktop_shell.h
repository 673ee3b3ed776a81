#pragma once

#include <QString>

namespace quillmere {

// The desktop's own programs, as the user would start them.
class DesktopShell {
  public:
    virtual ~DesktopShell() = default;
    // Opens the folder in the desktop's file manager; false when the desktop has none to start
    // or could not start it.
    virtual bool openFolder(const QString& folder) = 0;
};

// The desktop's default handler for a folder (on Linux the one xdg-open would pick).
class QtDesktopShell : public DesktopShell {
  public:
    bool openFolder(const QString& folder) override;
};

}  // namespace quillmere
