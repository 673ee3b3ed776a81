#pragma once

#include "account/file_account.h"
#include "report/error_report.h"

#include <QList>

#include <optional>

namespace quillmere {

// The window run's account of each file: every report passes on to the window's report, and the
// failure of a file being worked on is kept with that file. Its details end the run's message.
class RunAccount : public ErrorReport {
  public:
    explicit RunAccount(ErrorReport& shown) : m_shown(shown) {}

    void show(const QString& description, const char* location, int line) override;

    void clear() { m_files.clear(); }
    // A file's work begins: its reports and changes are its own until end.
    void begin() { m_current.emplace(); }
    void replaced(const QString& field, int changed);
    void noted(const QString& why);
    // The file fails for a reason that no report showed.
    void fail(const QString& text);
    void end(const QString& source, const QString& output);
    // One line per file, then the totals line.
    QString details() const;

  private:
    ErrorReport& m_shown;
    std::optional<FileResult> m_current;
    QList<FileResult> m_files;
};

}  // namespace quillmere
