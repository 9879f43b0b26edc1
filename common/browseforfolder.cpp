#include "common/browseforfolder.h"

#include "platform/userdialogs.h"

#include <QDir>

namespace mdlMain {

QString BrowseForFolder(vantrel::UserDialogs &dialogs, QWidget *owner, const QString &title)
{
    try {
        const QString folder = dialogs.browseForFolder(owner, title);
        return folder.isEmpty() ? QString() : QDir::toNativeSeparators(folder);
    } catch (...) {
        return {};
    }
}

} // namespace mdlMain
