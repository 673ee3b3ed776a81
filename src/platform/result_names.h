#pragma once

// What the two halves of result_files share: the failure a save reports, and the hidden names
// that results may take on their way to their own.

#include "platform/failure.h"

#include <QByteArray>
#include <QString>

namespace quillmere::result_names {

Failure SaveFailure(const QString& path, const QString& reason);

// Eight hex digits that tell this machine's hidden files from those of another machine sharing
// the folder, whose process numbers mean nothing here.
QString MachineTag();

// ".quillmere-", the machine tag, this process's number and a dash.
QByteArray HiddenPrefix(const QString& machineTag);

// A hidden name of this process's, unlikely to be taken: six base-36 digits after the prefix.
QByteArray HiddenName(const QByteArray& prefix);

}  // namespace quillmere::result_names
