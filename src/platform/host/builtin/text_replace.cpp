#include "platform/host/builtin/project_document.h"

#include <vector>

namespace quillmere::builtin {

namespace {

char16_t FoldedUnit(char32_t u) {
    return QChar::isSurrogate(u) ? char16_t(u) : char16_t(QChar::toCaseFolded(u));
}

}  // namespace

void FoldCase(QStringView text, QChar* out) {
    static const std::vector<char16_t> folded = [] {
        std::vector<char16_t> table(0x10000);
        for (char32_t u = 0; u < 0x10000; ++u) table[u] = FoldedUnit(u);
        return table;
    }();
    const char16_t* table = folded.data();  // out may alias anything: read the table once
    for (const QChar c : text) *out++ = QChar(table[c.unicode()]);
}

void FoldCaseToBytes(QStringView text, char* out) {
    static const std::vector<char> bytes = [] {
        std::vector<char> table(0x10000);
        for (char32_t u = 0; u < 0x10000; ++u) {
            const char16_t f = FoldedUnit(u);
            table[u] = char(f < 0x80 ? f : 0x80 | ((f ^ f >> 7 ^ f >> 14) & 0x7F));
        }
        return table;
    }();
    const char* table = bytes.data();  // out may alias anything: read the table once
    for (const QChar c : text) *out++ = table[c.unicode()];
}

namespace {

QString Folded(const QString& text) {
    QString folded(text.size(), Qt::Uninitialized);
    FoldCase(text, folded.data());
    return folded;
}

}  // namespace

TextReplacer::TextReplacer(const QString& find, const QString& replacement, bool matchCase)
    : m_find(find),
      m_replacement(replacement),
      m_matcher(find, matchCase ? Qt::CaseSensitive : Qt::CaseInsensitive),
      m_foldedFind(matchCase ? QString() : Folded(find)),
      m_foldedMatcher(m_foldedFind, Qt::CaseSensitive) {}

std::optional<QString> TextReplacer::apply(QStringView text) const {
    QString result;
    if (!apply(text, result)) return std::nullopt;
    return result;
}

bool TextReplacer::apply(QStringView text, QString& result) const {
    return replaceFound(text, text, m_matcher, result);
}

bool TextReplacer::applyFolded(QStringView text, QStringView folded, QString& result) const {
    return replaceFound(text, folded, m_foldedMatcher, result);
}

bool TextReplacer::replaceFound(QStringView text, QStringView searched,
                                const QStringMatcher& matcher, QString& result) const {
    if (m_find.isEmpty()) return false;
    qsizetype at = matcher.indexIn(searched);
    if (at < 0) return false;
    // Occurrences left to right, each search starting after the previous occurrence.
    result.resize(0);
    qsizetype copied = 0;
    for (; at >= 0; at = matcher.indexIn(searched, copied)) {
        result.append(text.sliced(copied, at - copied));
        result.append(m_replacement);
        copied = at + m_find.size();
    }
    result.append(text.sliced(copied));
    return result != text;
}

}  // namespace quillmere::builtin
