#pragma once

// The FTP component: log in, keep the control connection, upload one file at
// a time, and raise the transfer's events. Built over libcurl.
//
// Its calls return when the work has ended, like the component it stands in
// for; it runs them on the thread that calls it, which is the upload job's
// own thread (upload/uploadjob), never the window's. Its events are calls of
// an FtpEvents object on that same thread, while the call that raises them
// runs. One thread at a time uses a client; Abort and IsConnected may also be
// called from another one.
//
// What the user said about servers that cannot be checked the usual way is
// kept in a TrustStore (upload/truststore); the client reads it, and asks its
// events about anything else. The failure numbers and texts are in
// upload/ftperrors.

#include "common/result.h"
#include "upload/retrypolicy.h"
#include "upload/truststore.h"
#include "upload/unfinishedupload.h"

#include <QString>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

namespace vantrel {

// What a client tells its user while a call of it runs.
class FtpEvents
{
public:
    virtual ~FtpEvents() = default;

    // A server identity that passed no check of its own: a certificate that
    // could not be verified (self-signed, expired, another host's), or an
    // SFTP host key that neither ~/.ssh/known_hosts nor the trust store
    // holds. `changed` tells that another one is known for the server.
    // Raised before anything is sent, the user name included. True: log in
    // with it. A host key that has changed is refused whatever the answer:
    // the event only tells of it.
    virtual bool IdentityUnverified(const upload::ServerIdentity &seen, bool changed)
    {
        (void)seen;
        (void)changed;
        return false;
    }

    // Amounts are bytes; sent never exceeds total. Setting `cancel` stops the
    // transfer. Raised about every 50 ms while UploadFile runs, whether data
    // moves or not, and once more with sent equal to total when the server
    // has confirmed the whole file, before it is put in place. The first two
    // and the third arguments are the local and remote paths and a reserved
    // value.
    virtual void TransferProgress(const QString &localPath, const QString &remotePath,
                                  std::int32_t reserved, std::int64_t sent, std::int64_t total,
                                  bool &cancel)
    {
        (void)localPath;
        (void)remotePath;
        (void)reserved;
        (void)sent;
        (void)total;
        (void)cancel;
    }

    // The transfer broke for a reason a new attempt may cure (`reason`, in
    // the failure's words); attempt `attempt` of `attempts` follows, after a
    // pause in which TransferProgress goes on being raised.
    virtual void TransferRetrying(int attempt, int attempts, const std::string &reason)
    {
        (void)attempt;
        (void)attempts;
        (void)reason;
    }

    // Logged in again after a break: the transfer goes on from `offset`, or
    // starts over when it is 0.
    virtual void TransferResumed(std::int64_t offset) { (void)offset; }

    // Raised when UploadFile ends with the file in place on the server, or
    // cancelled through TransferProgress; not when it fails.
    virtual void TransferComplete(const QString &localPath, const QString &remotePath,
                                  std::int32_t reserved)
    {
        (void)localPath;
        (void)remotePath;
        (void)reserved;
    }
};

class FtpClient
{
public:
    // `trust` and `events` must outlive the client; either may be null
    // (nothing trusted, nobody asked).
    explicit FtpClient(const upload::TrustStore *trust = nullptr, FtpEvents *events = nullptr);
    ~FtpClient();
    FtpClient(const FtpClient &) = delete;
    FtpClient &operator=(const FtpClient &) = delete;

    void setEvents(FtpEvents *events) { m_events = events; }

    // Written once with true by the start-up sequence; nothing reads it back.
    void setStartupFlag(bool value) { m_startupFlag = value; }
    bool startupFlag() const { return m_startupFlag; }

    // True while a logged-in control connection is open. Any thread.
    bool IsConnected() const;

    // Logs in and keeps the control connection open. The address may carry
    // a scheme and a port ("host:2121", "[::1]:2121"); otherwise `port` is
    // used. "ftp://" or none: TLS when the server offers it (data connections
    // protected too), clear text when it does not; "ftpes://": TLS or no
    // login; "ftps://": implicit TLS, port 990 unless one is given; "sftp://":
    // SFTP with the password, port 22 unless one is given. A failure has a
    // description a user understands ("Login denied", "Could not connect to
    // server", the server's reply). The last argument is taken for the
    // callers' sake and has no effect.
    Result<> Connect(const QString &address, const QString &userName, const QString &password,
                     int port, bool keepAlive);

    // Closes the connection, if one is open. From a TransferProgress event it
    // takes effect when the transfer has stopped.
    void Disconnect();

    // Sends the local file to `remotePath` on the connected server; the path
    // is used as given (a leading "/" makes it absolute). It goes to a
    // temporary name beside the final one, taken up again after a broken
    // connection (upload/resumableupload), is checked by the server's digest
    // or its size, and only then replaces the final name
    // (upload/remotetransfer). A transfer cancelled through TransferProgress
    // returns without a failure. The second argument is taken for the
    // callers' sake and not used.
    Result<> UploadFile(const QString &localPath, const QString &unused, const QString &remotePath);

    // Stops the call under way as soon as it can, from any thread; it then
    // fails as a closed connection does.
    void Abort();

    // How the last upload was checked on the server: "SHA-256", "SHA-1",
    // "MD5", "CRC32", "size", or "" when it could not be.
    const std::string &checkedBy() const;

    // Where uploads keep what a killed run needs to be taken up (none: a
    // killed run starts over), and how often a broken one tries again.
    void setUnfinishedUploads(const upload::UnfinishedUploads *unfinished);
    void setRetryPolicy(const upload::RetryPolicy &policy);

    // How long a connection attempt may take, and how long a transfer or a
    // reply may go without any progress before it ends with an error.
    // Defaults: 30 and 60 seconds. Tests shorten them.
    void setTimeouts(int connectSeconds, int stallSeconds);

private:
    class Private;
    std::unique_ptr<Private> d;
    FtpEvents *m_events;
    bool m_startupFlag = false;
};

} // namespace vantrel
