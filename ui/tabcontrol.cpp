#include "ui/tabcontrol.h"

#include <QPainter>
#include <QStyleOptionTabWidgetFrame>
#include <QTabBar>

namespace vantrel {

namespace {
// The row of tabs ends where the pages' frames begin (360 twips).
constexpr int kTabRowHeight = 24;
} // namespace

TabControl::TabControl(QWidget *parent)
    : QWidget(parent)
    , m_bar(new QTabBar(this))
{
    m_bar->setDrawBase(false);
    m_bar->setExpanding(false);
    m_bar->setFocusPolicy(Qt::TabFocus);
    connect(m_bar, &QTabBar::currentChanged, this, &TabControl::showPage);
    setFocusProxy(m_bar);
}

QWidget *TabControl::addTab(const QString &caption)
{
    auto *page = new QWidget(this);
    page->setGeometry(rect());
    page->setAccessibleName(QString(caption).remove(QLatin1Char('&')));
    m_pages.append(page);
    m_bar->addTab(caption);
    m_bar->raise();
    showPage(m_bar->currentIndex());
    return page;
}

int TabControl::count() const
{
    return int(m_pages.size());
}

int TabControl::currentIndex() const
{
    return m_bar->currentIndex();
}

void TabControl::setCurrentIndex(int index)
{
    m_bar->setCurrentIndex(index);
}

QWidget *TabControl::page(int index) const
{
    return m_pages.value(index);
}

QString TabControl::tabText(int index) const
{
    return m_bar->tabText(index);
}

int TabControl::tabRowHeight() const
{
    return kTabRowHeight;
}

void TabControl::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    m_bar->setGeometry(0, 0, width(), kTabRowHeight);
    for (QWidget *page : std::as_const(m_pages))
        page->setGeometry(rect());
}

void TabControl::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    QStyleOptionTabWidgetFrame frame;
    frame.initFrom(this);
    frame.rect = rect().adjusted(0, kTabRowHeight - 2, 0, 0);
    frame.shape = QTabBar::RoundedNorth;
    frame.tabBarSize = m_bar->sizeHint();
    style()->drawPrimitive(QStyle::PE_FrameTabWidget, &frame, &painter, this);
}

void TabControl::showPage(int index)
{
    for (qsizetype i = 0; i < m_pages.size(); ++i)
        m_pages[i]->setVisible(i == index);
    m_bar->raise();
}

} // namespace vantrel
