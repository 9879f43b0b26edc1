#include "platform/fonts.h"

#include <QFile>
#include <QFontDatabase>

namespace vantrel::platform {

void RegisterTahoma()
{
    static bool done = false;
    if (done)
        return;
    done = true;
    if (QFontDatabase::families().contains(QStringLiteral("Tahoma")))
        return;
    // Only the regular face: the bold face of that package is hardly heavier
    // than the regular one, so bold text reads better emboldened from it.
    const QString face = QStringLiteral("/usr/share/wine/fonts/tahoma.ttf");
    if (QFile::exists(face))
        QFontDatabase::addApplicationFont(face);
}

} // namespace vantrel::platform
