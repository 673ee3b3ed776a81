#include "sets/code_page.h"

#include <algorithm>
#include <array>

namespace quillmere {
namespace {

// The characters of bytes 0x80 to 0x9F; the other bytes are the characters of their own number.
constexpr std::array<char16_t, 32> kHighControls = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

bool IsOwnByte(char16_t unit) {
    return unit < 0x80 || (unit >= 0xA0 && unit <= 0xFF);
}

}  // namespace

QString FromWindows1252(const QByteArray& bytes) {
    QString text(bytes.size(), Qt::Uninitialized);
    QChar* out = text.data();
    for (const char byte : bytes) {
        const auto value = static_cast<unsigned char>(byte);
        *out++ = QChar(value >= 0x80 && value < 0xA0 ? kHighControls[value - 0x80] : value);
    }
    return text;
}

std::optional<QByteArray> ToWindows1252(QStringView text) {
    QByteArray bytes(text.size(), Qt::Uninitialized);
    char* out = bytes.data();
    for (const QChar c : text) {
        const char16_t unit = c.unicode();
        if (IsOwnByte(unit)) {
            *out++ = static_cast<char>(unit);
            continue;
        }
        const auto found = std::find(kHighControls.begin(), kHighControls.end(), unit);
        if (found == kHighControls.end()) return std::nullopt;
        *out++ = static_cast<char>(0x80 + (found - kHighControls.begin()));
    }
    return bytes;
}

}  // namespace quillmere
