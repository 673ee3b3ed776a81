#include "platform/dialogs.h"

namespace quillmere {

void Dialogs::inform(const QString& text, const QString& details) {
    message({m_applicationTitle, text, MessageButtons::Ok, MessageIcon::None, details});
}

bool Dialogs::ask(const QString& text) {
    return message({m_applicationTitle, text, MessageButtons::YesNo, MessageIcon::None}) ==
           Answer::Yes;
}

void Dialogs::warn(const QString& caption, const QString& text) {
    message({caption, text, MessageButtons::Ok, MessageIcon::Warning});
}

}  // namespace quillmere
