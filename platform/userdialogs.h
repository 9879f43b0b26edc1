#pragma once

// The one seam through which the program shows message boxes and file
// dialogs and opens web addresses. The program uses QtUserDialogs; tests put
// a scripted stand-in in its place and answer each box.

#include <QString>
#include <QUrl>

#include <optional>

class QWidget;

namespace vantrel {

// Message box styles and results, with the values the windows use.
enum MsgBoxStyle : int {
    vbCritical = 16,      // "Error": stop icon, OK
    vbQuestionYesNo = 36, // "Confirm": question icon, Yes and No
    vbInformation = 64,   // "Message": information icon, OK
};
enum MsgBoxResult : int { vbOK = 1, vbYes = 6, vbNo = 7 };

// The open-file flags the windows pass.
enum OpenFileFlags : int { cdlOFNHideReadOnly = 4, cdlOFNFileMustExist = 4096 };

struct OpenFileRequest
{
    QString title;
    // Filter entries in the form "Description|*.a;*.b|Other|*.c".
    QString filter;
    // The file name the dialog starts with (may be a full path or empty).
    QString fileName;
    int flags = 0;
};

class UserDialogs
{
public:
    virtual ~UserDialogs() = default;

    // Shows a modal box; returns vbOK, vbYes or vbNo.
    virtual int messageBox(QWidget *parent, const QString &text, const QString &title,
                           int style) = 0;
    // The chosen file's full path, or nothing when the user cancelled.
    virtual std::optional<QString> openFile(QWidget *parent, const OpenFileRequest &request) = 0;
    // The chosen folder, or the empty text on cancel or failure.
    virtual QString browseForFolder(QWidget *parent, const QString &title) = 0;
    // Asks the desktop to open a web address; false when it could not.
    virtual bool openUrl(const QUrl &url) = 0;
};

// The three message forms of the program.
int ShowError(UserDialogs &dialogs, QWidget *parent, const QString &text);
int AskQuestion(UserDialogs &dialogs, QWidget *parent, const QString &text);
int ShowNotice(UserDialogs &dialogs, QWidget *parent, const QString &text);

// Turns "Desc|*.a;*.b|Other|*.c" into Qt's "Desc (*.a *.b);;Other (*.c)".
QString QtFilterFromVbFilter(const QString &filter);

class QtUserDialogs final : public UserDialogs
{
public:
    int messageBox(QWidget *parent, const QString &text, const QString &title, int style) override;
    std::optional<QString> openFile(QWidget *parent, const OpenFileRequest &request) override;
    QString browseForFolder(QWidget *parent, const QString &title) override;
    bool openUrl(const QUrl &url) override;
};

} // namespace vantrel
