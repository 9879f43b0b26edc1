#pragma once

#include <QLabel>

namespace vantrel {

// A label that acts as a web link: pure blue, underlined, the hand pointer,
// and a clicked() signal for a left click released over it.
class LinkLabel : public QLabel
{
    Q_OBJECT

public:
    explicit LinkLabel(const QString &text, QWidget *parent = nullptr);

    // Gives any widget the links' pointer (the About window's picture uses it).
    static void applyLinkCursor(QWidget *widget);

signals:
    void clicked();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    bool m_pressed = false;
};

} // namespace vantrel
