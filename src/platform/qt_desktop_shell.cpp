#include "platform/desktop_shell.h"

#include <QDesktopServices>
#include <QUrl>

namespace quillmere {

bool QtDesktopShell::openFolder(const QString& folder) {
    return QDesktopServices::openUrl(QUrl::fromLocalFile(folder));
}

}  // namespace quillmere
