#pragma once

#include <QByteArray>
#include <QString>

#include <functional>

namespace quillmere::testing {

// The whole file; empty when it cannot be read.
QByteArray ReadBytes(const QString& path);
// Writes the file whole, making its folders; a failure fails the test.
void WriteBytes(const QString& path, const QByteArray& bytes = {});
// Makes a folder one whose entries cannot be added or removed, or undoes that: for root with the
// immutable flag, otherwise by taking away write access. False where it cannot be done. With
// appendOnly (root only), entries can be added but not removed or replaced.
bool LockFolder(const QString& folder, bool locked, bool appendOnly = false);
// Runs the action while no file may grow beyond the given size, as on a full disk: a write past
// it fails instead of ending the process.
void WithFileSizeLimit(qint64 bytes, const std::function<void()>& action);

}  // namespace quillmere::testing
