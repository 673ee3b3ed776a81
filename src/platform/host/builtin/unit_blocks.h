#pragma once

#include <QStringView>

#include <cstring>

namespace quillmere::builtin {

// Long texts are read sixteen UTF-16 units at a time: a loop of that fixed length over a copy
// that nothing else can alias is one that compilers turn into vector instructions.
constexpr qsizetype kUnitBlock = 16;

// A block of the text's units from at on; at + kUnitBlock must be within it.
struct UnitBlock {
    UnitBlock(const char16_t* text, qsizetype at) { std::memcpy(units, text + at, sizeof units); }
    char16_t units[kUnitBlock];
};

// The bits that kindOf gives any of the text's units.
template <typename KindOf>
char16_t KindsIn(QStringView text, KindOf kindOf) {
    const char16_t* units = text.utf16();
    char16_t kinds = 0;
    qsizetype at = 0;
    for (; at + kUnitBlock <= text.size(); at += kUnitBlock) {
        const UnitBlock block(units, at);
        for (const char16_t unit : block.units) kinds |= kindOf(unit);
    }
    for (; at < text.size(); ++at) kinds |= kindOf(units[at]);
    return kinds;
}

}  // namespace quillmere::builtin
