#pragma once

#include <QByteArray>
#include <QString>

#include <functional>

namespace quillmere::testing {

// The whole file; empty when it cannot be read.
QByteArray ReadBytes(const QString& path);
// Writes the file whole, making its folders; a failure fails the test.
void WriteBytes(const QString& path, const QByteArray& bytes = {});
// Runs the action while no file may grow beyond the given size, as on a full disk: a write past
// it fails instead of ending the process.
void WithFileSizeLimit(qint64 bytes, const std::function<void()>& action);

}  // namespace quillmere::testing
