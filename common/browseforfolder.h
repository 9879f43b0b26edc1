#pragma once

#include <QString>

class QWidget;

namespace vantrel {
class UserDialogs;
}

namespace mdlMain {

// The folder browser: only file-system folders can be chosen. Returns the
// chosen folder's path, or the empty text when the user cancelled or the
// browser failed.
QString BrowseForFolder(vantrel::UserDialogs &dialogs, QWidget *owner, const QString &title);

} // namespace mdlMain
