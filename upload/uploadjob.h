#pragma once

// The upload job of the "FTP Upload" page: it reads the four settings from
// the settings file, connects through the FTP component, sends the chosen
// file, and handles the component's progress and completion events with the
// cancel question. It owns the component, the two upload flags and the four
// settings values; the window shows what the job reports.

#include "ui/appcontext.h"

#include <QObject>
#include <QString>

#include <cstdint>

class QWidget;

namespace vantrel {

class FtpClient;

namespace upload {

class UploadJob : public QObject
{
    Q_OBJECT

public:
    // Questions and messages appear over `window`.
    UploadJob(const AppContext &context, QWidget *window);
    ~UploadJob() override;

    FtpClient *ftpComponent() const { return FTP; }

    // True from the start of an upload until it has ended.
    bool isRunning() const { return m_transferRunning; }

    // Closes a connection left open by the last upload, then sends
    // `localPath` as `fileTitle` into the server folder. Returns when the
    // upload has ended; the window keeps handling input meanwhile.
    void start(const QString &localPath, const QString &fileTitle);

    // A click on Cancel: the question comes with the next progress event.
    void requestCancel();

signals:
    void serverStatusChanged(const QString &text);
    void progressChanged(int maximum, int value);
    // The bar back at 0, its maximum as it was.
    void progressCleared();
    void percentChanged(const QString &text);
    // Whether the window shows the busy pointer.
    void busyChanged(bool busy);

private:
    void RunUpload(const QString &localPath, const QString &fileTitle);
    void ReadSettings();
    // What refuses the upload before anything connects: a setting with a
    // line break or a NUL (the server would read the rest as a command of
    // its own), or a local file that is not a regular file (a pipe would
    // block the window). Empty when there is nothing to refuse.
    QString Refusal(const QString &localPath) const;
    void FTP_TransferProgress(std::int64_t sent, std::int64_t total, bool *cancel);
    void FTP_TransferComplete();
    // Asks whether a certificate that could not be verified is trusted; a
    // Yes is kept in the trust file of the settings folder.
    void FTP_CertificateUnverified(const QString &server, const QString &fingerprint, bool changed,
                                   bool *trust);
    // Asks whether an SFTP host key not known yet is accepted; a Yes is kept
    // in the accepted-keys file of the settings folder.
    void FTP_HostKeyUnknown(const QString &server, const QString &type, const QString &fingerprint,
                            bool *accept);
    // Hands the certificates trusted and the host keys accepted in earlier
    // runs to the component.
    void LoadTrustedCertificates();
    QString trustFile() const;
    QString acceptedKeysFile() const;
    void ResetUploadDisplay();

    AppContext m_context;
    QWidget *m_window;
    FtpClient *FTP;

    // The settings the last upload read; a value whose line was missing
    // keeps what it held.
    QString strFtpAddress;
    QString strFtpUserName;
    QString strFtpPassword;
    QString strFtpServerFolder;

    bool blnCancelRequested = false;
    bool blnUploadInProgress = false;
    bool m_transferRunning = false;
    // The server whose certificate the user did not trust in this upload.
    QString m_refusedServer;
    // The message for a host key refused in this upload (not accepted, or
    // changed); empty when none was.
    QString m_hostKeyRefusal;
};

} // namespace upload
} // namespace vantrel
