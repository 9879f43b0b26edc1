#include "ui/linklabel.h"

#include "ui/pictures.h"

#include <QMouseEvent>

namespace vantrel {

LinkLabel::LinkLabel(const QString &text, QWidget *parent)
    : QLabel(text, parent)
{
    QFont linkFont = font();
    linkFont.setUnderline(true);
    setFont(linkFont);
    QPalette colours = palette();
    colours.setColor(QPalette::WindowText, QColor(0, 0, 255));
    setPalette(colours);
    applyLinkCursor(this);
}

void LinkLabel::applyLinkCursor(QWidget *widget)
{
    widget->setCursor(HandCursor());
}

void LinkLabel::mousePressEvent(QMouseEvent *event)
{
    m_pressed = event->button() == Qt::LeftButton;
    QLabel::mousePressEvent(event);
}

void LinkLabel::mouseReleaseEvent(QMouseEvent *event)
{
    const bool click = m_pressed && event->button() == Qt::LeftButton
                       && rect().contains(event->position().toPoint());
    m_pressed = false;
    QLabel::mouseReleaseEvent(event);
    if (click)
        emit clicked();
}

} // namespace vantrel
