#include "ui/windowlook.h"

#include <QGuiApplication>
#include <QScreen>

namespace vantrel {

void CentreOverMainWindow(QWidget *window, const QWidget *mainWindow)
{
    QRect place(QPoint(0, 0), window->size());
    const QScreen *screen = nullptr;
    if (mainWindow) {
        const QWidget *owner = mainWindow->window();
        place.moveCenter(QRect(owner->mapToGlobal(QPoint(0, 0)), owner->size()).center());
        screen = owner->screen();
    } else if ((screen = QGuiApplication::primaryScreen())) {
        place.moveCenter(screen->availableGeometry().center());
    }
    window->setGeometry(KeptOnScreen(place, screen));
}

QRect KeptOnScreen(QRect place, const QScreen *screen)
{
    if (screen) {
        const QRect area = screen->availableGeometry();
        place.moveLeft(qBound(area.left(), place.left(), area.right() - place.width() + 1));
        place.moveTop(qBound(area.top(), place.top(), area.bottom() - place.height() + 1));
    }
    return place;
}

} // namespace vantrel
