#pragma once

// Files dropped on a page of the main window. One file of this computer
// that exists is taken; several files, a folder, a missing file or an
// address elsewhere are refused with a message.

#include <QList>
#include <QObject>
#include <QString>
#include <QUrl>

#include <functional>

class QWidget;

namespace vantrel {

class UserDialogs;

// What a drop of `urls` gives: the dropped file's path (native separators),
// or the refusal to show. Looks at the file system, nothing else.
struct DroppedFile
{
    QString path;
    QString refusal;
};
DroppedFile CheckDroppedUrls(const QList<QUrl> &urls);

class FileDropTarget : public QObject
{
    Q_OBJECT

public:
    // Takes drops on `page` (and on its controls that take none of their
    // own). The file goes to `take`, a refusal to an error box over the
    // page's window, each once the drop itself has ended, so that the
    // program the file came from is not kept waiting.
    FileDropTarget(QWidget *page, UserDialogs *dialogs, std::function<void(const QString &)> take);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void takeDrop(const QList<QUrl> &urls);

    QWidget *m_page;
    UserDialogs *m_dialogs;
    std::function<void(const QString &)> m_take;
};

} // namespace vantrel
