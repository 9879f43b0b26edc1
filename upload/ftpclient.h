#pragma once

// The FTP component of the main window: log in, keep the control connection,
// upload one file at a time, and report progress and completion as signals
// on the GUI thread. Built over libcurl.

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
    // "ftp://" and a port ("host:2121", "[::1]:2121"); otherwise `port` is
    // used. Throws vantrel::Failure with a description a user understands
    // ("Login denied", "Could not connect to server", the server's reply).
    // The last argument is accepted for the callers' sake and has no effect.
    void Connect(const QString &address, const QString &userName, const QString &password,
                 int port, bool keepAlive);

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

signals:
    // Amounts are bytes; sent never exceeds total. Setting *cancel to true
    // stops the transfer.
    void TransferProgress(const QString &localPath, const QString &remotePath,
                          std::int32_t reserved, std::int64_t sent, std::int64_t total,
                          bool *cancel);
    void TransferComplete(const QString &localPath, const QString &remotePath,
                          std::int32_t reserved);

private:
    class Private;
    std::unique_ptr<Private> d;
    bool m_startupFlag = false;
};

} // namespace vantrel
