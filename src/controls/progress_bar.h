#pragma once

#include <QProgressBar>

namespace quillmere {

// A progress bar with a line of free text. The text is shown as given (QProgressBar's own
// format would expand "%" in a file name), and it is also the bar's accessible description, so
// a screen reader reads what the bar shows.
class ProgressBar : public QProgressBar {
    Q_OBJECT
  public:
    explicit ProgressBar(QWidget* parent = nullptr);
    QString text() const override { return m_text; }
    void setText(const QString& text);

  private:
    QString m_text;
};

}  // namespace quillmere
