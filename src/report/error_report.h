#pragma once

#include <QString>

namespace quillmere {

class Dialogs;

inline constexpr char kSupportAddress[] = "support@quillmere.org";

// The report's text: the failure's description, CR LF, the location, "at line " and the step,
// two bare CRs, then the request for a screenshot.
QString ErrorReportText(const QString& description, const char* location, int line);

// Where a guarded procedure reports a failed step.
class ErrorReport {
  public:
    virtual ~ErrorReport() = default;
    virtual void show(const QString& description, const char* location, int line) = 0;
};

// The window's report: one "Application Error" box, with the warning icon and an OK button.
class BoxErrorReport : public ErrorReport {
  public:
    explicit BoxErrorReport(Dialogs& dialogs) : m_dialogs(dialogs) {}
    void show(const QString& description, const char* location, int line) override;

  private:
    Dialogs& m_dialogs;
};

}  // namespace quillmere
