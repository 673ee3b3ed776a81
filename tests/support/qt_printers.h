#pragma once

#include <QString>

#include <ostream>

// Lets GoogleTest print texts readably in its failure messages.
inline void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}
