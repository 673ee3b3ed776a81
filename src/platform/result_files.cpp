#include "platform/result_files.h"

#include "platform/result_names.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSysInfo>

namespace quillmere {
namespace result_names {

Failure SaveFailure(const QString& path, const QString& reason) {
    return Failure(errors::kPathFileAccess,
                   QStringLiteral("%1 could not be saved: %2").arg(path, reason));
}

QString MachineTag() {
    QFile id(QStringLiteral("/etc/machine-id"));
    QByteArray text;
    if (id.open(QIODevice::ReadOnly)) text = id.readAll().trimmed();
    if (text.size() < 8) text = QSysInfo::machineHostName().toUtf8();
    return QString::number(qHash(text, 0) & 0xFFFFFFFFu, 16).rightJustified(8, QLatin1Char('0'));
}

QByteArray HiddenPrefix(const QString& machineTag) {
    return QStringLiteral(".quillmere-%1-%2-")
        .arg(machineTag)
        .arg(QCoreApplication::applicationPid())
        .toUtf8();
}

QByteArray HiddenName(const QByteArray& prefix) {
    const quint64 suffix = QRandomGenerator::global()->generate64() % 2176782336u;
    return prefix + QByteArray::number(suffix, 36).rightJustified(6, '0');
}

}  // namespace result_names

QString HiddenNameBeside(const QString& path) {
    const QFileInfo info(path);
    const QString name = info.absolutePath() + QLatin1Char('/') +
                         QFile::decodeName(result_names::HiddenName(
                             result_names::HiddenPrefix(result_names::MachineTag())));
    // With the target's extension: a host may choose the format by it.
    return info.suffix().isEmpty() ? name : name + QLatin1Char('.') + info.suffix();
}

}  // namespace quillmere
