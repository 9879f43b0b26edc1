#include "shell/filedrop.h"

#include "platform/userdialogs.h"

#include <QDir>
#include <QDropEvent>
#include <QFileInfo>
#include <QMimeData>
#include <QTimer>
#include <QWidget>

namespace vantrel {

DroppedFile CheckDroppedUrls(const QList<QUrl> &urls)
{
    if (urls.size() != 1)
        return {{}, QStringLiteral("PLEASE DROP ONE FILE AT A TIME!")};
    const QUrl &url = urls.constFirst();
    if (!url.isLocalFile())
        return {{}, QStringLiteral("ONLY FILES ON THIS COMPUTER CAN BE DROPPED!")};
    const QFileInfo file(url.toLocalFile());
    if (!file.exists())
        return {{}, QStringLiteral("THE DROPPED FILE DOES NOT EXIST!")};
    if (file.isDir())
        return {{}, QStringLiteral("A FOLDER CANNOT BE DROPPED HERE. PLEASE DROP A FILE!")};
    return {QDir::toNativeSeparators(file.absoluteFilePath()), {}};
}

FileDropTarget::FileDropTarget(QWidget *page, UserDialogs *dialogs,
                               std::function<void(const QString &)> take)
    : QObject(page)
    , m_page(page)
    , m_dialogs(dialogs)
    , m_take(std::move(take))
{
    page->setAcceptDrops(true);
    page->installEventFilter(this);
}

bool FileDropTarget::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != m_page)
        return false;
    switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove: {
        auto *drag = static_cast<QDropEvent *>(event);
        if (drag->mimeData() && drag->mimeData()->hasUrls())
            drag->acceptProposedAction();
        else
            drag->ignore();
        return true;
    }
    case QEvent::Drop: {
        auto *drop = static_cast<QDropEvent *>(event);
        if (!drop->mimeData() || !drop->mimeData()->hasUrls()) {
            drop->ignore();
            return true;
        }
        drop->acceptProposedAction();
        const QList<QUrl> urls = drop->mimeData()->urls();
        QTimer::singleShot(0, this, [this, urls] { takeDrop(urls); });
        return true;
    }
    default:
        return false;
    }
}

void FileDropTarget::takeDrop(const QList<QUrl> &urls)
{
    const DroppedFile dropped = CheckDroppedUrls(urls);
    if (!dropped.refusal.isEmpty()) {
        if (m_dialogs)
            ShowError(*m_dialogs, m_page->window(), dropped.refusal);
        return;
    }
    m_take(dropped.path);
}

} // namespace vantrel
