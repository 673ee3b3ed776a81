#include "run/run_account.h"

namespace quillmere {

void RunAccount::show(const QString& description, const char* location, int line) {
    if (m_current) m_current->failures << description;
    m_shown.show(description, location, line);
}

void RunAccount::replaced(const QString& field, int changed) {
    if (m_current) m_current->addChanges(field, changed);
}

void RunAccount::noted(const QString& why) {
    if (m_current) m_current->note(why);
}

void RunAccount::fail(const QString& text) {
    if (m_current) m_current->failures << text;
}

void RunAccount::end(const QString& source, const QString& output) {
    if (!m_current) return;
    FileResult result = std::move(*m_current);
    m_current.reset();
    result.source = source;
    result.output = output;
    result.settle();
    m_files << std::move(result);
}

QString RunAccount::details() const {
    QStringList lines;
    RunTotals totals;
    for (const FileResult& result : m_files) {
        lines << SummaryLine(result);
        totals.add(result);
    }
    lines << TotalsLine(totals, false);
    return lines.join(QLatin1Char('\n'));
}

}  // namespace quillmere
