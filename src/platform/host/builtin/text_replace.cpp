#include "platform/host/builtin/project_document.h"

namespace quillmere::builtin {

TextReplacer::TextReplacer(const QString& find, const QString& replacement, bool matchCase)
    : m_find(find),
      m_replacement(replacement),
      m_matcher(find, matchCase ? Qt::CaseSensitive : Qt::CaseInsensitive) {}

bool TextReplacer::apply(QString& text) const {
    if (m_find.isEmpty() || m_matcher.indexIn(text) < 0) return false;
    const QString before = text;
    text.replace(m_find, m_replacement, m_matcher.caseSensitivity());
    return text != before;
}

}  // namespace quillmere::builtin
