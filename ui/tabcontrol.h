#pragma once

#include <QWidget>

class QTabBar;

namespace vantrel {

// A tab control whose pages all cover the whole control, so that controls on
// a page are placed relative to the tab control itself, below its row of tabs.
class TabControl : public QWidget
{
    Q_OBJECT

public:
    explicit TabControl(QWidget *parent = nullptr);

    // Adds a tab and returns its page, a transparent child covering the control.
    QWidget *addTab(const QString &caption);
    int count() const;
    int currentIndex() const;
    void setCurrentIndex(int index);
    QWidget *page(int index) const;
    QString tabText(int index) const;
    QTabBar *tabBar() const { return m_bar; }
    // Height of the row of tabs, in pixels.
    int tabRowHeight() const;

protected:
    void resizeEvent(QResizeEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    void showPage(int index);

    QTabBar *m_bar;
    QList<QWidget *> m_pages;
};

} // namespace vantrel
