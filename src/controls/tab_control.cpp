#include "controls/tab_control.h"

#include <QPainter>
#include <QTabBar>

namespace quillmere {

TabControl::TabControl(QWidget* parent) : QWidget(parent), m_tabs(new QTabBar(this)) {
    m_tabs->setDrawBase(false);
    m_tabs->setExpanding(false);
    connect(m_tabs, &QTabBar::currentChanged, this, [this](int index) {
        showPage(index);
        emit currentChanged(index);
    });
}

QWidget* TabControl::addTab(const QString& caption) {
    auto* page = new QWidget(this);
    page->setObjectName(QStringLiteral("TabPage%1").arg(m_pages.size()));
    page->setGeometry(rect());
    m_pages << page;
    m_tabs->addTab(caption);
    m_tabs->raise();
    showPage(m_tabs->currentIndex());
    return page;
}

int TabControl::currentIndex() const {
    return m_tabs->currentIndex();
}

void TabControl::setCurrentIndex(int index) {
    m_tabs->setCurrentIndex(index);
}

int TabControl::count() const {
    return m_tabs->count();
}

QWidget* TabControl::page(int index) const {
    return m_pages.value(index);
}

void TabControl::showPage(int index) {
    for (int i = 0; i < m_pages.size(); ++i) m_pages[i]->setVisible(i == index);
    m_tabs->raise();
}

void TabControl::resizeEvent(QResizeEvent*) {
    m_tabs->setGeometry(0, 0, width(), m_tabs->sizeHint().height());
    for (QWidget* page : m_pages) page->setGeometry(rect());
}

void TabControl::paintEvent(QPaintEvent*) {
    // The pane takes the window's own colour, so labels on a page blend in as on the window.
    const QRect pane = rect().adjusted(0, m_tabs->sizeHint().height() - 1, -1, -1);
    QPainter painter(this);
    painter.fillRect(pane, palette().window());
    painter.setPen(palette().color(QPalette::Mid));
    painter.drawRect(pane);
}

}  // namespace quillmere
