#pragma once

// What the windows share in look and construction: their fonts, and placing
// a named control at its place.

#include <QFont>
#include <QRect>
#include <QString>
#include <QWidget>

class QScreen;

namespace vantrel {

// Every window's font.
inline QFont WindowFont()
{
    QFont font(QStringLiteral("Tahoma"));
    font.setPointSizeF(8.25);
    return font;
}

// The bold buttons of the main window's bottom row, the settings and the
// About window.
inline QFont BoldButtonFont()
{
    QFont font(QStringLiteral("Tahoma"));
    font.setPointSizeF(9.75);
    font.setBold(true);
    return font;
}

// Names a control after its role and puts it at its place (see TwipsRect).
template<typename W>
W *Place(W *widget, const char *name, QRect place)
{
    widget->setObjectName(QString::fromLatin1(name));
    widget->setGeometry(place);
    return widget;
}

// Centres a framed window over the main window (both carry the same frame,
// so centring the client areas centres the windows), kept on the screen.
void CentreOverMainWindow(QWidget *window, const QWidget *mainWindow);

// The place moved as little as needed to lie on the screen, if there is one.
QRect KeptOnScreen(QRect place, const QScreen *screen);

} // namespace vantrel
