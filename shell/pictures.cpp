#include "shell/pictures.h"

#include <QBitmap>
#include <QString>

namespace vantrel {

QIcon AppIcon()
{
    QIcon icon;
    for (int size : {16, 24, 32})
        icon.addFile(QStringLiteral(":/vantrel/icon-%1.png").arg(size), QSize(size, size));
    return icon;
}

QCursor HandCursor()
{
    // Monochrome cursor: a bitmap and its mask.
    const QBitmap bitmap(QStringLiteral(":/vantrel/hand.xbm"));
    const QBitmap mask(QStringLiteral(":/vantrel/hand-mask.xbm"));
    if (bitmap.isNull() || mask.isNull())
        return QCursor(Qt::PointingHandCursor);
    return QCursor(bitmap, mask, 7, 1);
}

QPixmap SplashPicture()
{
    return QPixmap(QStringLiteral(":/vantrel/splash.jpg"));
}

} // namespace vantrel
