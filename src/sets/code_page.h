#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace quillmere {

// Windows-1252, the 8-bit code page that stands for the system's ANSI code page. The five bytes
// it leaves undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) stand for the control characters of the
// same numbers, as on Windows, so every byte reads and writes back unchanged.
QString FromWindows1252(const QByteArray& bytes);
// Nothing when a character has no byte in the code page.
std::optional<QByteArray> ToWindows1252(QStringView text);

}  // namespace quillmere
