#include "platform/fonts.h"

#include <QFile>
#include <QFontDatabase>
#include <QStringList>

namespace vantrel::platform {

void RegisterTahoma()
{
    static bool done = false;
    if (done)
        return;
    done = true;
    if (QFontDatabase::families().contains(QStringLiteral("Tahoma")))
        return;
    const QStringList faces = {QStringLiteral("/usr/share/wine/fonts/tahoma.ttf"),
                               QStringLiteral("/usr/share/wine/fonts/tahomabd.ttf")};
    for (const QString &face : faces) {
        if (QFile::exists(face))
            QFontDatabase::addApplicationFont(face);
    }
}

} // namespace vantrel::platform
