#include "report/error_report.h"

#include "platform/dialogs.h"

namespace quillmere {

QString ErrorReportText(const QString& description, const char* location, int line) {
    return description + QStringLiteral("\r\n") + QString::fromLatin1(location) +
           QStringLiteral("at line ") + QString::number(line) + QStringLiteral("\r\r") +
           QStringLiteral("Please email screenshot of this message to ") +
           QString::fromLatin1(kSupportAddress);
}

void BoxErrorReport::show(const QString& description, const char* location, int line) {
    m_dialogs.warn(QStringLiteral("Application Error"),
                   ErrorReportText(description, location, line));
}

}  // namespace quillmere
