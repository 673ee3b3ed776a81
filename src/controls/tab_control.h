#pragma once

#include <QWidget>

class QTabBar;

namespace quillmere {

// A tab control whose pages cover the whole control, so that the controls on a page are
// placed relative to the control itself, tab strip included, as they were designed.
class TabControl : public QWidget {
    Q_OBJECT
  public:
    explicit TabControl(QWidget* parent = nullptr);

    QWidget* addTab(const QString& caption);
    int currentIndex() const;
    void setCurrentIndex(int index);
    int count() const;
    QWidget* page(int index) const;
    QTabBar* tabBar() const { return m_tabs; }

  signals:
    void currentChanged(int index);

  protected:
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

  private:
    void showPage(int index);

    QTabBar* m_tabs;
    QList<QWidget*> m_pages;
};

}  // namespace quillmere
