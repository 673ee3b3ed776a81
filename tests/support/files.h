#pragma once

#include <QByteArray>
#include <QString>

namespace quillmere::testing {

// The whole file; empty when it cannot be read.
QByteArray ReadBytes(const QString& path);
// Writes the file whole, making its folders; a failure fails the test.
void WriteBytes(const QString& path, const QByteArray& bytes = {});

}  // namespace quillmere::testing
