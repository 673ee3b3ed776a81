#pragma once

#include <QString>

namespace quillmere {

class Dialogs;

inline constexpr char kSupportAddress[] = "support@quillmere.org";

// The report's text: the failure's description, CR LF, the location, "at line " and the step,
// two bare CRs, then the request for a screenshot.
QString ErrorReportText(const QString& description, const char* location, int line);

// Shows the one "Application Error" box, with the warning icon and an OK button.
class ErrorReport {
public:
    explicit ErrorReport(Dialogs& dialogs) : m_dialogs(dialogs) {}
    void show(const QString& description, const char* location, int line);

private:
    Dialogs& m_dialogs;
};

}  // namespace quillmere
