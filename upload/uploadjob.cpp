#include "upload/uploadjob.h"

#include "common/failure.h"
#include "common/messages.h"
#include "common/qtbridge.h"
#include "platform/systemerror.h"
#include "platform/userdialogs.h"
#include "settings/settingsfile.h"
#include "upload/certtrust.h"
#include "upload/ftpaddress.h"
#include "upload/ftpclient.h"
#include "upload/ftperrors.h"
#include "upload/sftphostkey.h"
#include "upload/uploadpercent.h"

#include <QFileInfo>
#include <QWidget>

namespace vantrel::upload {

UploadJob::UploadJob(const AppContext &context, QWidget *window)
    : QObject(window)
    , m_context(context)
    , m_window(window)
    , FTP(new FtpClient(this))
{
    FTP->setObjectName(QStringLiteral("FTP"));
    connect(FTP, &FtpClient::TransferProgress, this,
            [this](const QString &, const QString &, std::int32_t, std::int64_t sent,
                   std::int64_t total,
                   bool *cancel) { FTP_TransferProgress(sent, total, cancel); });
    connect(FTP, &FtpClient::TransferComplete, this,
            [this](const QString &, const QString &, std::int32_t) { FTP_TransferComplete(); });
    connect(FTP, &FtpClient::CertificateUnverified, this, &UploadJob::FTP_CertificateUnverified);
    connect(FTP, &FtpClient::HostKeyUnknown, this, &UploadJob::FTP_HostKeyUnknown);
    connect(FTP, &FtpClient::HostKeyChanged, this,
            [this](const QString &server, const QString &type, const QString &fingerprint) {
                m_hostKeyRefusal = HostKeyChangedMessage(server, type, fingerprint);
            });
}

UploadJob::~UploadJob() = default;

void UploadJob::start(const QString &localPath, const QString &fileTitle)
{
    m_transferRunning = true;
    if (FTP->IsConnected())
        FTP->Disconnect();
    RunUpload(localPath, fileTitle);
    m_transferRunning = false;
}

void UploadJob::requestCancel()
{
    blnCancelRequested = true;
}

void UploadJob::RunUpload(const QString &localPath, const QString &fileTitle)
{
    try {
        ReadSettings();
        if (const QString refusal = Refusal(localPath); !refusal.isEmpty()) {
            ShowError(*m_context.dialogs, m_window, refusal);
            ResetUploadDisplay();
            return;
        }
        LoadTrustedCertificates();
        m_refusedServer.clear();
        m_hostKeyRefusal.clear();
        FTP->Connect(strFtpAddress, strFtpUserName, strFtpPassword, 21, true);
        if (FTP->IsConnected()) {
            emit serverStatusChanged(QStringLiteral("Server Connected"));
            FTP->UploadFile(localPath, QString(), strFtpServerFolder + fileTitle);
        }
    } catch (const std::exception &error) {
        const Failure failure = FailureOf(error);
        if (failure.number() == kErrCertificateNotTrusted && !m_hostKeyRefusal.isEmpty())
            ShowError(*m_context.dialogs, m_window, m_hostKeyRefusal);
        else if (failure.number() == kErrCertificateNotTrusted && !m_refusedServer.isEmpty())
            ShowError(*m_context.dialogs, m_window, CertificateRefusedMessage(m_refusedServer));
        else
            ShowError(*m_context.dialogs, m_window,
                      UploadErrorMessage(FromUtf8(failure.description())));
    }
    ResetUploadDisplay();
}

QString UploadJob::trustFile() const
{
    return m_context.settingsFolderOrApp() + QLatin1Char('/') + QLatin1String(kTrustFileName);
}

QString UploadJob::acceptedKeysFile() const
{
    return m_context.settingsFolderOrApp() + QLatin1Char('/')
           + QLatin1String(kAcceptedKeysFileName);
}

void UploadJob::LoadTrustedCertificates()
{
    for (const auto &[server, fingerprint] : ReadTrustFile(ToPath(trustFile())))
        FTP->trustCertificate(FromUtf8(server), FromUtf8(fingerprint));
    for (const auto &[server, fingerprint] : ReadAcceptedKeys(ToPath(acceptedKeysFile())))
        FTP->acceptHostKey(FromUtf8(server), FromUtf8(fingerprint));
}

void UploadJob::FTP_HostKeyUnknown(const QString &server, const QString &type,
                                   const QString &fingerprint, bool *accept)
{
    if (AskQuestion(*m_context.dialogs, m_window, UnknownHostKeyQuestion(server, type, fingerprint))
        != vbYes) {
        m_hostKeyRefusal = HostKeyRefusedMessage(server);
        return;
    }
    *accept = true;
    const platform::FileStatus saved =
        AcceptHostKey(ToPath(acceptedKeysFile()), ToUtf8(server), ToUtf8(fingerprint));
    if (!saved.ok()) {
        // Accepted for this upload all the same; the next one asks again.
        ShowError(*m_context.dialogs, m_window,
                  WithReason(QStringLiteral("THE ACCEPTED HOST KEY COULD NOT BE SAVED!"),
                             FromUtf8(platform::ErrnoText(saved.error))));
    }
}

void UploadJob::FTP_CertificateUnverified(const QString &server, const QString &fingerprint,
                                          bool changed, bool *trust)
{
    if (AskQuestion(*m_context.dialogs, m_window,
                    UntrustedCertificateQuestion(server, fingerprint, changed))
        != vbYes) {
        m_refusedServer = server;
        return;
    }
    *trust = true;
    const platform::FileStatus saved =
        TrustCertificate(ToPath(trustFile()), ToUtf8(server), ToUtf8(fingerprint));
    if (!saved.ok()) {
        // Trusted for this upload all the same; the next one asks again.
        ShowError(*m_context.dialogs, m_window,
                  WithReason(QStringLiteral("THE TRUSTED CERTIFICATE COULD NOT BE SAVED!"),
                             FromUtf8(platform::ErrnoText(saved.error))));
    }
}

QString UploadJob::Refusal(const QString &localPath) const
{
    const QString *const values[settings::kFieldCount] = {&strFtpAddress, &strFtpUserName,
                                                          &strFtpPassword, &strFtpServerFolder};
    for (std::size_t i = 0; i < settings::kFieldCount; ++i) {
        if (BreaksCommandLine(ToUtf8(*values[i])))
            return QString::fromLatin1(settings::kFields[i].caption)
                   + QStringLiteral(" CONTAINS A LINE BREAK OR NUL CHARACTER!");
    }
    const QFileInfo info(localPath);
    if (info.exists() && !info.isFile())
        return QStringLiteral("THE SELECTED FILE IS NOT A REGULAR FILE!");
    return {};
}

void UploadJob::ReadSettings()
{
    settings::FtpSettings values{ToUtf8(strFtpAddress), ToUtf8(strFtpUserName),
                                 ToUtf8(strFtpPassword), ToUtf8(strFtpServerFolder)};
    const settings::SettingsResult result = settings::ReadSettingsFile(
        settings::SettingsFilePath(ToPath(m_context.settingsFolderOrApp())), values);
    if (!result.ok())
        throw result.failure();
    strFtpAddress = FromUtf8(values.address);
    strFtpUserName = FromUtf8(values.userName);
    strFtpPassword = FromUtf8(values.password);
    strFtpServerFolder = FromUtf8(values.serverFolder);
}

void UploadJob::FTP_TransferProgress(std::int64_t sent, std::int64_t total, bool *cancel)
{
    blnUploadInProgress = true;
    // The bar takes an int range: amounts beyond it are scaled down alike.
    const ProgressBarRange bar = ScaleProgressBar(sent, total);
    emit progressChanged(bar.maximum, bar.value);
    emit percentChanged(QStringLiteral("Status: ") + QString::number(UploadPercent(sent, total))
                        + QLatin1Char('%'));
    if (!blnCancelRequested)
        return;
    const bool stop =
        AskQuestion(*m_context.dialogs, m_window,
                    QStringLiteral("YOUR FILE IS UPLOADING TO THE SERVER. DO YOU WANT TO CANCEL?"))
        == vbYes;
    blnCancelRequested = false;
    if (!stop)
        return;
    *cancel = true;
    blnUploadInProgress = false;
    ShowNotice(*m_context.dialogs, m_window, QStringLiteral("UPLOADING ABORTED BY USER!"));
    FTP->Disconnect();
}

void UploadJob::FTP_TransferComplete()
{
    if (!blnUploadInProgress)
        return;
    ShowNotice(*m_context.dialogs, m_window,
               QStringLiteral("YOUR FILE HAS BEEN UPLOADED SUCCESSFULLY!"));
    emit busyChanged(false);
}

void UploadJob::ResetUploadDisplay()
{
    emit progressCleared();
    emit percentChanged(QStringLiteral("Status: "));
    emit serverStatusChanged(QStringLiteral(" "));
    emit busyChanged(false);
}

} // namespace vantrel::upload
