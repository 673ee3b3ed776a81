#pragma once

#include <QStringView>

#include <algorithm>
#include <cstring>
#include <iterator>

namespace quillmere::builtin {

// Long texts are read sixteen UTF-16 units at a time: a loop of that fixed length over a copy
// that nothing else can alias is one that compilers turn into vector instructions.
constexpr qsizetype kUnitBlock = 16;

// A block of the text's units from at on; at + kUnitBlock must be within it.
struct UnitBlock {
    UnitBlock() = default;
    UnitBlock(const char16_t* text, qsizetype at) { std::memcpy(units, text + at, sizeof units); }
    char16_t units[kUnitBlock];
};

// The bits that kindOf gives any of the text's units; kindOf(u' ') must be 0. The units after the
// last whole block are looked at as a block padded with spaces: most values are short.
template <typename KindOf>
char16_t KindsIn(QStringView text, KindOf kindOf) {
    const auto kindsOf = [&](const UnitBlock& block) {
        char16_t kinds = 0;
        for (const char16_t unit : block.units) kinds |= kindOf(unit);
        return kinds;
    };
    Q_ASSERT(kindOf(u' ') == 0);
    const char16_t* units = text.utf16();
    char16_t kinds = 0;
    qsizetype at = 0;
    for (; at + kUnitBlock <= text.size(); at += kUnitBlock) kinds |= kindsOf(UnitBlock(units, at));
    if (at < text.size()) {
        UnitBlock rest;
        std::fill(std::begin(rest.units), std::end(rest.units), u' ');
        std::copy(units + at, units + text.size(), rest.units);
        kinds |= kindsOf(rest);
    }
    return kinds;
}

}  // namespace quillmere::builtin
