#include "platform/host/builtin/project_document.h"

namespace quillmere::builtin {

TextReplacer::TextReplacer(const QString& find, const QString& replacement, bool matchCase)
    : m_find(find),
      m_replacement(replacement),
      m_matcher(find, matchCase ? Qt::CaseSensitive : Qt::CaseInsensitive) {}

std::optional<QString> TextReplacer::apply(QStringView text) const {
    if (m_find.isEmpty()) return std::nullopt;
    qsizetype at = m_matcher.indexIn(text);
    if (at < 0) return std::nullopt;
    // Occurrences left to right, each search starting after the previous occurrence.
    QString result;
    result.reserve(text.size() + qMax<qsizetype>(0, m_replacement.size() - m_find.size()) * 4);
    qsizetype copied = 0;
    for (; at >= 0; at = m_matcher.indexIn(text, copied)) {
        result.append(text.sliced(copied, at - copied));
        result.append(m_replacement);
        copied = at + m_find.size();
    }
    result.append(text.sliced(copied));
    if (result == text) return std::nullopt;
    return result;
}

}  // namespace quillmere::builtin
