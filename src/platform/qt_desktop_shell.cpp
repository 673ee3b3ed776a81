#include "platform/desktop_shell.h"

#include <QDesktopServices>
#include <QUrl>

namespace quillmere {

void QtDesktopShell::openFolder(const QString& folder) {
    QDesktopServices::openUrl(QUrl::fromLocalFile(folder));
}

}  // namespace quillmere
