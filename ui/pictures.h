#pragma once

#include <QCursor>
#include <QIcon>
#include <QPixmap>

namespace vantrel {

// The application icon (32, 24 and 16 pixel images).
QIcon AppIcon();
// The 32 x 32 pointing hand of the link labels, hot spot at the fingertip (7, 1).
QCursor HandCursor();
// The 300 x 150 splash picture, also shown by the About window.
QPixmap SplashPicture();

} // namespace vantrel
