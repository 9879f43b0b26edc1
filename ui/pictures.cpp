#include "ui/pictures.h"

#include <QBitmap>
#include <QString>

// The pictures are compiled into the static GUI library (assets/assets.qrc);
// registering them here also makes the linker keep them.
static void RegisterPictureResources()
{
    static const bool registered = [] {
        Q_INIT_RESOURCE(assets);
        return true;
    }();
    (void)registered;
}

namespace vantrel {

QIcon AppIcon()
{
    RegisterPictureResources();
    QIcon icon;
    for (int size : {16, 24, 32})
        icon.addFile(QStringLiteral(":/vantrel/icon-%1.png").arg(size), QSize(size, size));
    return icon;
}

QCursor HandCursor()
{
    RegisterPictureResources();
    // Monochrome cursor: the black pixels and the mask of every pixel shown.
    const QBitmap bitmap(QStringLiteral(":/vantrel/hand.xbm"));
    const QBitmap mask(QStringLiteral(":/vantrel/hand-mask.xbm"));
    if (bitmap.isNull() || mask.isNull())
        return QCursor(Qt::PointingHandCursor);
    return QCursor(bitmap, mask, 7, 1);
}

QPixmap SplashPicture()
{
    RegisterPictureResources();
    return QPixmap(QStringLiteral(":/vantrel/splash.jpg"));
}

} // namespace vantrel
