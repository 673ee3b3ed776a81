#include "host/builtin/project_document.h"

#include "host/builtin/unit_blocks.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace quillmere::builtin {

namespace {

char16_t FoldedUnit(char32_t u) {
    return QChar::isSurrogate(u) ? char16_t(u) : char16_t(QChar::toCaseFolded(u));
}

// Most of a file's text is ASCII, in which only the capital letters fold, to the small ones: a
// block of it is folded without the table.
bool AllAscii(const UnitBlock& block) {
    char16_t ored = 0;
    for (const char16_t unit : block.units) ored |= unit;
    return ored < 0x80;
}

template <typename Unit>
void FoldAscii(const UnitBlock& block, Unit* out) {
    Unit folded[kUnitBlock];
    for (qsizetype i = 0; i < kUnitBlock; ++i) {
        const char16_t c = block.units[i];
        folded[i] = Unit(c + (c >= u'A' && c <= u'Z' ? 0x20 : 0));
    }
    std::memcpy(out, folded, sizeof folded);
}

// Folds each unit of text into out by the table, which gives the fold of every UTF-16 unit.
template <typename Unit>
void FoldWith(const std::vector<Unit>& folded, QStringView text, Unit* out) {
    const Unit* table = folded.data();  // out may alias anything: read the table once
    const char16_t* units = text.utf16();
    qsizetype at = 0;
    for (; at + kUnitBlock <= text.size(); at += kUnitBlock) {
        const UnitBlock block(units, at);
        if (AllAscii(block)) {
            FoldAscii(block, out + at);
            continue;
        }
        for (qsizetype i = 0; i < kUnitBlock; ++i) out[at + i] = table[block.units[i]];
    }
    for (; at < text.size(); ++at) out[at] = table[units[at]];
}

}  // namespace

bool HasSurrogate(QStringView text) {
    return std::any_of(text.begin(), text.end(), [](QChar c) { return c.isSurrogate(); });
}

void FoldCase(QStringView text, QChar* out) {
    static const std::vector<char16_t> folded = [] {
        std::vector<char16_t> table(0x10000);
        for (char32_t u = 0; u < 0x10000; ++u) table[u] = FoldedUnit(u);
        return table;
    }();
    FoldWith(folded, text, reinterpret_cast<char16_t*>(out));
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
    FoldWith(bytes, text, out);
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
      m_foldedMatcher(m_foldedFind, Qt::CaseSensitive) {
    // An occurrence is as long as the find text; ignoring case, the occurrences of one without
    // surrogates all fold as it does. (Matching a surrogate ignoring case follows other rules.)
    m_alwaysChanges = replacement.size() != find.size() ||
                      (matchCase ? replacement != find
                                 : !HasSurrogate(find) && Folded(replacement) != m_foldedFind);
}

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
    return m_alwaysChanges || result != text;
}

}  // namespace quillmere::builtin
