#include "controls/progress_bar.h"

namespace quillmere {

ProgressBar::ProgressBar(QWidget* parent) : QProgressBar(parent) {
    setRange(0, 100);
    setValue(0);
    setTextVisible(true);
    setAlignment(Qt::AlignCenter);
}

void ProgressBar::setText(const QString& text) {
    m_text = text;
    setAccessibleDescription(text);
    update();
}

}  // namespace quillmere
