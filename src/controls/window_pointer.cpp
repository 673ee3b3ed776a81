#include "controls/window_pointer.h"

#include <QWidget>

namespace quillmere {

void WindowPointer::set(Shape shape) {
    m_shape = shape;
    if (shape == Shape::Hourglass)
        m_window.setCursor(Qt::WaitCursor);
    else if (shape == Shape::Custom && m_hasHand)
        m_window.setCursor(m_hand);
    else
        m_window.unsetCursor();
}

void WindowPointer::setHand(const QCursor& hand) {
    m_hand = hand;
    m_hasHand = true;
}

}  // namespace quillmere
