#pragma once

// A stand-in for the dialogs seam: every box shown is recorded, and the
// answers come from queues that the test fills in order. A box, file dialog
// or folder browser that finds its queue empty fails the test.

#include "platform/userdialogs.h"
#include "ui/appcontext.h"

#include <QList>
#include <QQueue>
#include <QString>
#include <QUrl>

#include <functional>
#include <optional>

namespace vantrel::test {

struct ShownBox
{
    QString text;
    QString title;
    int style = 0;
};

class ScriptedDialogs final : public UserDialogs
{
public:
    ~ScriptedDialogs() override;

    // The answer to the next message box (vbOK, vbYes or vbNo). `onShow`, if
    // given, runs while the box is "open" (for example to click something).
    void answer(int result, std::function<void()> onShow = {});
    // The next file dialog returns `path`, or cancels with std::nullopt.
    void chooseFile(const std::optional<QString> &path);
    // The next folder browser returns `folder` ("" means cancel).
    void chooseFolder(const QString &folder);
    // Whether opening a web address succeeds.
    void setOpenUrlResult(bool ok) { m_openUrlResult = ok; }

    const QList<ShownBox> &boxes() const { return m_boxes; }
    const QList<OpenFileRequest> &fileRequests() const { return m_fileRequests; }
    const QStringList &folderTitles() const { return m_folderTitles; }
    const QList<QUrl> &openedUrls() const { return m_urls; }
    // Texts of the boxes shown so far.
    QStringList boxTexts() const;
    void clear();
    // True when every queued answer has been used.
    bool allAnswersUsed() const;

    int messageBox(QWidget *parent, const QString &text, const QString &title, int style) override;
    std::optional<QString> openFile(QWidget *parent, const OpenFileRequest &request) override;
    QString browseForFolder(QWidget *parent, const QString &title) override;
    bool openUrl(const QUrl &url) override;

private:
    struct Answer
    {
        int result;
        std::function<void()> onShow;
    };
    QQueue<Answer> m_answers;
    QQueue<std::optional<QString>> m_files;
    QQueue<QString> m_folders;
    QList<ShownBox> m_boxes;
    QList<OpenFileRequest> m_fileRequests;
    QStringList m_folderTitles;
    QList<QUrl> m_urls;
    bool m_openUrlResult = true;
};

// The context of a window under test: the scripted seam, the given folder as
// the application folder, no splash, and an end of the program that only
// counts itself in `endCount`.
AppContext TestContext(ScriptedDialogs &dialogs, const QString &appFolder, int &endCount);

} // namespace vantrel::test
