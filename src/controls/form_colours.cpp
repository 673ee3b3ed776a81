#include "controls/form_colours.h"

#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QRadioButton>

namespace quillmere {
namespace {

void SetBackground(QWidget& widget, const QColor& colour) {
    QPalette palette = widget.palette();
    palette.setColor(QPalette::Window, colour);
    widget.setPalette(palette);
    widget.setAutoFillBackground(true);
}

}  // namespace

void ApplyFormColours(QWidget& form) {
    const QColor buttonFace = QApplication::palette().color(QPalette::Button);
    SetBackground(form, buttonFace);
    for (QWidget* child : form.findChildren<QWidget*>()) {
        if (qobject_cast<QRadioButton*>(child) || qobject_cast<QCheckBox*>(child) ||
            qobject_cast<QGroupBox*>(child) || qobject_cast<QLabel*>(child))
            SetBackground(*child, buttonFace);
    }
}

}  // namespace quillmere
