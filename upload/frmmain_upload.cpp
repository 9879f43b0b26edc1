// The main window's upload handlers: the upload job, its progress, completion
// and cancel.

#include "shell/frmmain.h"

#include "common/failure.h"
#include "common/messages.h"
#include "platform/userdialogs.h"
#include "settings/settingsfile.h"
#include "upload/ftpclient.h"
#include "upload/uploadpercent.h"

#include <QFileInfo>
#include <QLabel>
#include <QProgressBar>

#include <filesystem>
#include <new>

namespace vantrel {

void frmMain::cmdUpload_Click()
{
    // The transfer under way goes on; a second one would tear down its
    // connection.
    if (m_transferRunning) {
        ShowError(*m_context.dialogs, this, QStringLiteral("A FILE IS ALREADY BEING UPLOADED!"));
        return;
    }
    if (lblSelectedFileTitle->text().isEmpty()) {
        m_commonDialogFileName.clear();
        OpenFileRequest request;
        request.fileName = m_commonDialogFileName;
        request.title = QStringLiteral("Select a FLV File to upload");
        // The MP4 entry lets the program's own output be uploaded.
        request.filter =
            QStringLiteral("Flash Live Video file (*.flv)|*.flv|MP4 Video file (*.mp4)|*.mp4");
        request.flags = cdlOFNFileMustExist | cdlOFNHideReadOnly;
        const std::optional<QString> chosen = m_context.dialogs->openFile(this, request);
        if (!chosen)
            return;
        m_commonDialogFileName = *chosen;
        lblSelectedFile->setText(*chosen);
        lblSelectedFileTitle->setText(QFileInfo(*chosen).fileName());
        if (AskQuestion(*m_context.dialogs, this,
                        QStringLiteral("DO YOU WANT TO UPLOAD THIS FILE?"))
            != vbYes)
            return;
    }
    setFormPointerBusy(true);
    m_transferRunning = true;
    if (FTP->IsConnected())
        FTP->Disconnect();
    RunUpload();
    m_transferRunning = false;
}

void frmMain::RunUpload()
{
    try {
        settings::FtpSettings values{strFtpAddress.toStdString(), strFtpUserName.toStdString(),
                                     strFtpPassword.toStdString(),
                                     strFtpServerFolder.toStdString()};
        settings::ReadSettingsFile(
            settings::SettingsFilePath(std::filesystem::path(m_context.appFolder.toStdU16String())),
            values);
        strFtpAddress = QString::fromStdString(values.address);
        strFtpUserName = QString::fromStdString(values.userName);
        strFtpPassword = QString::fromStdString(values.password);
        strFtpServerFolder = QString::fromStdString(values.serverFolder);

        FTP->Connect(strFtpAddress, strFtpUserName, strFtpPassword, 21, true);
        if (FTP->IsConnected()) {
            lblServerStatus->setText(QStringLiteral("Server Connected"));
            FTP->UploadFile(lblSelectedFile->text(), QString(),
                            strFtpServerFolder + lblSelectedFileTitle->text());
        }
    } catch (const Failure &failure) {
        ShowError(*m_context.dialogs, this,
                  UploadErrorMessage(QString::fromStdString(failure.description())));
    } catch (const std::bad_alloc &) {
        ShowError(*m_context.dialogs, this, UploadErrorMessage(QStringLiteral("Out of memory")));
    } catch (const std::exception &error) {
        ShowError(*m_context.dialogs, this,
                  UploadErrorMessage(QString::fromLocal8Bit(error.what())));
    }
    ResetUploadDisplay();
}

void frmMain::cmdCancelUpload_Click()
{
    blnCancelRequested = true;
}

void frmMain::FTP_TransferProgress(std::int64_t sent, std::int64_t total, bool *cancel)
{
    blnUploadInProgress = true;
    // The bar takes an int range: amounts beyond it are scaled down alike.
    const upload::ProgressBarRange bar = upload::ScaleProgressBar(sent, total);
    prgUpload->setMaximum(bar.maximum);
    prgUpload->setValue(bar.value);
    lblPercent->setText(QStringLiteral("Status: ")
                        + QString::number(upload::UploadPercent(sent, total)) + QLatin1Char('%'));
    if (!blnCancelRequested)
        return;
    if (AskQuestion(*m_context.dialogs, this,
                    QStringLiteral("YOUR FILE IS UPLOADING TO THE SERVER. DO YOU WANT TO CANCEL?"))
        == vbYes) {
        *cancel = true;
        blnCancelRequested = false;
        blnUploadInProgress = false;
        ShowNotice(*m_context.dialogs, this, QStringLiteral("UPLOADING ABORTED BY USER!"));
        FTP->Disconnect();
    } else {
        blnCancelRequested = false;
    }
}

void frmMain::FTP_TransferComplete()
{
    if (!blnUploadInProgress)
        return;
    ShowNotice(*m_context.dialogs, this,
               QStringLiteral("YOUR FILE HAS BEEN UPLOADED SUCCESSFULLY!"));
    setFormPointerBusy(false);
}

void frmMain::ResetUploadDisplay()
{
    prgUpload->setValue(0);
    lblPercent->setText(QStringLiteral("Status: "));
    lblServerStatus->setText(QStringLiteral(" "));
    setFormPointerBusy(false);
}

} // namespace vantrel
