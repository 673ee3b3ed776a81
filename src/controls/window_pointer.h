#pragma once

#include <QCursor>

class QWidget;

namespace quillmere {

// The main window's mouse pointer: the default arrow, our own hand over the buttons, or the
// hourglass, which is the mark that files are being processed. The run and the folder import
// set it; the list's commands that remove entries and the hover rule respect the hourglass.
class WindowPointer {
  public:
    enum class Shape { Default, Custom, Hourglass };

    explicit WindowPointer(QWidget& window) : m_window(window) {}

    Shape shape() const { return m_shape; }
    bool busy() const { return m_shape == Shape::Hourglass; }
    void set(Shape shape);
    // The hand shown as the custom shape; without one the custom shape shows the default arrow.
    void setHand(const QCursor& hand);

  private:
    QWidget& m_window;
    Shape m_shape = Shape::Default;
    QCursor m_hand;
    bool m_hasHand = false;
};

}  // namespace quillmere
