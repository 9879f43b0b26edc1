#pragma once

// The FTP component of the main window: log in, keep the control connection,
// upload one file at a time, and report progress and completion as signals
// on the GUI thread. Built over libcurl.
//
// libcurl runs on a worker thread of the component (upload/workerqueue); the
// calls below wait for it in a nested event loop, so the GUI keeps handling
// input and repainting while a login or a transfer runs. What only the GUI
// thread touches and what only the worker touches are two separate structs
// (`GuiThreadState` here, `WorkerThreadState` in upload/curlsession, with the
// libcurl callbacks). Progress is sampled on the GUI thread
// (upload/progressticker: at most about 20 events a second, plus the final
// one), so handling the events never slows the transfer down. The failure
// numbers and texts are in upload/ftperrors.

#include <QObject>
#include <QString>

#include <cstdint>
#include <memory>

namespace vantrel {

class FtpClient : public QObject
{
    Q_OBJECT

public:
    explicit FtpClient(QObject *parent = nullptr);
    ~FtpClient() override;

    // Written once with true by the start-up sequence; nothing reads it back.
    void setStartupFlag(bool value) { m_startupFlag = value; }
    bool startupFlag() const { return m_startupFlag; }

    // True while a logged-in control connection is open.
    bool IsConnected() const;

    // Logs in and keeps the control connection open. The address may carry
    // a scheme and a port ("host:2121", "[::1]:2121"); otherwise `port` is
    // used. "ftp://" or none: TLS when the server offers it (data connections
    // protected too), clear text when it does not; "ftpes://": TLS or no
    // login; "ftps://": implicit TLS, port 990 unless one is given; "sftp://":
    // SFTP with the password, port 22 unless one is given. Throws vantrel::Failure with a
    // description a user understands
    // ("Login denied", "Could not connect to server", the server's reply).
    // The last argument is accepted for the callers' sake and has no effect.
    void Connect(const QString &address, const QString &userName, const QString &password, int port,
                 bool keepAlive);

    // Closes the connection, if one is open. Safe to call from a
    // TransferProgress handler.
    void Disconnect();

    // Sends the local file to `remotePath` on the connected server; the path
    // is used as given (a leading "/" makes it absolute). Returns when the
    // transfer has ended; the GUI keeps running meanwhile and TransferProgress
    // and TransferComplete are raised. Throws vantrel::Failure on failure; a
    // transfer cancelled through the progress event returns without throwing.
    // The second argument is accepted for the callers' sake and not used.
    void UploadFile(const QString &localPath, const QString &unused, const QString &remotePath);

    // Trusts the certificate with this SHA-256 fingerprint (upload/certtrust
    // form) for `server` ("host:port", upload::ServerName) although it cannot
    // be verified. Kept for the life of the client.
    void trustCertificate(const QString &server, const QString &fingerprint);

    // SFTP: accepts the host key with this fingerprint ("SHA256:...", see
    // upload/sftphostkey) for `server` ("host:port"), as the user did in an
    // earlier session. A different key then counts as changed. Kept for the
    // life of the client.
    void acceptHostKey(const QString &server, const QString &fingerprint);

    // How long a connection attempt may take, and how long a transfer or a
    // reply may go without any progress before it ends with an error.
    // Defaults: 30 and 60 seconds. Tests shorten them.
    void setTimeouts(int connectSeconds, int stallSeconds);

signals:
    // Raised by Connect when the server's certificate cannot be verified
    // (self-signed, expired, another host's) and is not the one trusted for
    // the server: before the login is sent. `changed` tells that another
    // certificate was trusted for it. Setting *trust to true trusts this one
    // for the server and logs in; otherwise Connect throws a Failure with
    // upload::kErrCertificateNotTrusted and nothing is sent.
    void CertificateUnverified(const QString &server, const QString &fingerprint, bool changed,
                               bool *trust);
    // SFTP: raised by Connect when the server's host key is neither in the
    // user's ~/.ssh/known_hosts nor accepted for the server: before the user
    // name is sent. `type` is the key's type ("ED25519", "RSA", ...). Setting
    // *accept to true accepts it for the server and logs in; otherwise
    // Connect throws a Failure with upload::kErrCertificateNotTrusted. A key
    // that differs from the known one is refused without this question.
    void HostKeyUnknown(const QString &server, const QString &type, const QString &fingerprint,
                        bool *accept);
    // SFTP: raised by Connect, before it throws, when the server shows a
    // host key other than the one known for it.
    void HostKeyChanged(const QString &server, const QString &type, const QString &fingerprint);
    // Amounts are bytes; sent never exceeds total. Setting *cancel to true
    // stops the transfer. Raised from about every 50 ms while data moves, at
    // least every half second while it does not (so a waiting question can
    // be asked even when the server stalls), and once more with sent equal
    // to total when the server has confirmed the whole file. Not raised
    // again while a handler of it is still running.
    void TransferProgress(const QString &localPath, const QString &remotePath,
                          std::int32_t reserved, std::int64_t sent, std::int64_t total,
                          bool *cancel);
    // Raised when UploadFile ends with the file confirmed by the server, or
    // cancelled through TransferProgress; not when it fails (then UploadFile
    // throws).
    void TransferComplete(const QString &localPath, const QString &remotePath,
                          std::int32_t reserved);

private:
    class Private;
    std::unique_ptr<Private> d;
    bool m_startupFlag = false;
};

} // namespace vantrel
