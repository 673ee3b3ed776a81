#pragma once

#include <QString>

#include <array>

namespace quillmere {

// The task fields every replace pass walks, in order: 100 entries, 99 distinct names, since
// "Duration" stands first and again as entry 19. The names go to the host exactly as written.
inline constexpr int kFieldCount = 100;
const std::array<QString, kFieldCount>& FieldCatalogue();

// The fixed arguments of every Replace call.
inline const QString kReplaceTest = QStringLiteral("contains");

}  // namespace quillmere
