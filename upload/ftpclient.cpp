#include "upload/ftpclient.h"

#include "common/errornumbers.h"
#include "common/qtbridge.h"
#include "upload/curlsession.h"
#include "upload/ftpaddress.h"
#include "upload/ftperrors.h"
#include "upload/localfile.h"
#include "upload/remotetransfer.h"
#include "upload/resumableupload.h"

#include <algorithm>
#include <chrono>
#include <optional>
#include <string>
#include <utility>

namespace vantrel {

using upload::IdentityKind;
using upload::ServerIdentity;
using upload::TransferOutcome;

namespace {

// How often TransferProgress is raised while a transfer runs.
constexpr auto kProgressInterval = std::chrono::milliseconds(50);

// A value with a line break would let the rest of it be read by the server
// as a command of its own: nothing is sent then.
Result<> RefuseCommandBreaks(const std::string &address, const std::string &userName,
                             const std::string &password)
{
    if (upload::BreaksCommandLine(address))
        return Failure(upload::kErrBadAddress, "The server address contains a line break");
    if (upload::BreaksCommandLine(userName))
        return Failure(errors::kInvalidCall, "The user name contains a line break");
    if (upload::BreaksCommandLine(password))
        return Failure(errors::kInvalidCall, "The password contains a line break");
    return {};
}

// After these the connection is not there to use any more.
bool ConnectionGone(const Failure &failure)
{
    switch (failure.number()) {
    case upload::kErrConnectionLost:
    case upload::kErrTimeout:
    case upload::kErrCannotConnect:
    case upload::kErrSecureChannel:
    case upload::kErrCancelled:
        return true;
    default:
        return false;
    }
}

Failure NotTrusted(const ServerIdentity &identity, bool changed)
{
    if (identity.kind == IdentityKind::Certificate)
        return {upload::kErrCertificateNotTrusted, "The certificate of server " + identity.server
                                                       + " is not trusted (SHA-256 "
                                                       + identity.fingerprint + ")"};
    const std::string described = " (" + identity.type + " key " + identity.fingerprint + ")";
    if (changed)
        return {upload::kErrHostKeyChanged,
                "The host key of server " + identity.server + " has changed" + described};
    return {upload::kErrHostKeyNotTrusted,
            "The host key of server " + identity.server + " is not known" + described};
}

} // namespace

class FtpClient::Private
{
public:
    Private(FtpClient *owner, const upload::TrustStore *trust)
        : q(owner)
        , trust(trust)
    {
        upload::InitCurlOnce();
    }

    ~Private() { Close(); }

    void Close()
    {
        upload::RemoveLeftover(session);
        upload::CloseConnection(session);
        connected = false;
    }

    Result<upload::LoginRequest> PrepareLogin(const QString &address, const QString &userName,
                                              const QString &password, int port);
    // The identity the server showed in a refused login, if the user trusts
    // it: what to pin for the next attempt. A failure when not.
    Result<std::string> Confirm(const ServerIdentity &seen, bool changed);
    Result<> Login(upload::LoginRequest request);
    Result<> Send(upload::ResumableUpload &upload, const QString &localPath,
                  const QString &remotePath, std::int64_t total);
    // The resumable upload's hooks: progress events raised every
    // kProgressInterval, the attempts told to the events.
    upload::ResumableUpload::Hooks HooksFor(const QString &localPath, const QString &remotePath,
                                            std::int64_t total);
    Result<> PutInPlace(const upload::RemoteTarget &target);
    // Raises TransferProgress; false when the user cancelled in it.
    bool RaiseProgress(const QString &localPath, const QString &remotePath, std::int64_t sent,
                       std::int64_t total);

    FtpClient *q;
    const upload::TrustStore *trust;
    upload::SessionState session;
    std::optional<upload::FtpEndpoint> endpoint;
    std::atomic<bool> connected{false};
    // Disconnect was called from an event: the connection closes when the
    // request under way has stopped.
    bool disconnectRequested = false;
    bool cancelled = false;
    const upload::UnfinishedUploads *unfinished = nullptr;
    upload::RetryPolicy retryPolicy;
    std::string checkedBy;
};

FtpClient::FtpClient(const upload::TrustStore *trust, FtpEvents *events)
    : d(std::make_unique<Private>(this, trust))
    , m_events(events)
{}

FtpClient::~FtpClient() = default;

void FtpClient::setUnfinishedUploads(const upload::UnfinishedUploads *unfinished)
{
    d->unfinished = unfinished;
}

void FtpClient::setRetryPolicy(const upload::RetryPolicy &policy)
{
    d->retryPolicy = policy;
}

const std::string &FtpClient::checkedBy() const
{
    return d->checkedBy;
}

void FtpClient::setTimeouts(int connectSeconds, int stallSeconds)
{
    d->session.connectTimeout = std::max(1, connectSeconds);
    d->session.stallTimeout = std::max(1, stallSeconds);
}

bool FtpClient::IsConnected() const
{
    return d->connected;
}

void FtpClient::Abort()
{
    d->session.stopped = true;
}

void FtpClient::Disconnect()
{
    d->connected = false;
    if (d->session.inRequest) {
        d->disconnectRequested = true;
        return;
    }
    d->Close();
}

Result<> FtpClient::Connect(const QString &address, const QString &userName,
                            const QString &password, int port, bool)
{
    Result<upload::LoginRequest> request = d->PrepareLogin(address, userName, password, port);
    if (!request)
        return request.failure();
    return d->Login(std::move(request.value()));
}

Result<> FtpClient::UploadFile(const QString &localPath, const QString &, const QString &remotePath)
{
    if (!d->connected || !d->endpoint)
        return Failure(upload::kErrNotConnected, "Not connected to server");
    const std::string remote = ToUtf8(remotePath);
    if (!upload::IsSendableRemotePath(remote))
        return Failure(errors::kBadFileName, "Invalid file name on the server");
    Result<upload::LocalFile> file = upload::OpenLocalFile(ToPath(localPath));
    if (!file)
        return file.failure();
    d->disconnectRequested = false;
    d->cancelled = false;
    d->checkedBy.clear();
    const upload::RemoteTarget target =
        upload::MakeRemoteTarget(upload::FtpServerUrl(*d->endpoint), remote);
    upload::ResumableUpload upload(d->session, target, file.value(), ToUtf8(localPath),
                                   upload::ServerName(*d->endpoint), d->unfinished, d->retryPolicy,
                                   std::chrono::seconds(d->session.stallTimeout),
                                   d->HooksFor(localPath, remotePath, file.value().size));
    if (Result<> sent = d->Send(upload, localPath, remotePath, file.value().size); !sent)
        return sent;
    if (!d->cancelled) {
        Result<> placed = d->PutInPlace(target);
        upload.forget();
        if (!placed)
            return placed;
        d->checkedBy = upload.checkedBy();
    }
    if (m_events)
        m_events->TransferComplete(localPath, remotePath, 0);
    return {};
}

Result<upload::LoginRequest> FtpClient::Private::PrepareLogin(const QString &address,
                                                              const QString &userName,
                                                              const QString &password, int port)
{
    connected = false;
    const std::string addressText = ToUtf8(address);
    const std::string user = ToUtf8(userName);
    const std::string secret = ToUtf8(password);
    if (Result<> refused = RefuseCommandBreaks(addressText, user, secret); !refused)
        return refused.failure();
    endpoint = upload::ParseFtpAddress(addressText, port);
    if (!endpoint)
        return Failure(upload::kErrBadAddress, "Invalid server address");
    upload::LoginRequest request{
        upload::FtpServerUrl(*endpoint), user, secret, endpoint->security, {}, {}, {}};
    if (trust && endpoint->security == upload::FtpSecurity::Sftp)
        request.acceptedHostKey =
            trust->Known(IdentityKind::HostKey, upload::ServerName(*endpoint)).value_or("");
    return request;
}

Result<> FtpClient::Private::Login(upload::LoginRequest request)
{
    // At most one question for each kind of identity: a host key, then the
    // certificate of a TLS connection.
    for (int attempt = 0; attempt < 3; ++attempt) {
        upload::OperationFlags flags;
        TransferOutcome outcome;
        upload::Login(session, request, &flags, outcome);
        if (outcome.code == CURLE_OK) {
            connected = true;
            return {};
        }
        const std::string server = upload::ServerName(*endpoint);
        if (!outcome.refusedHostKey.empty() && request.pinnedHostKey.empty()) {
            const ServerIdentity seen{IdentityKind::HostKey, server, outcome.hostKeyType,
                                      outcome.refusedHostKey};
            Result<std::string> pinned = Confirm(seen, outcome.hostKeyChanged);
            if (!pinned)
                return pinned.failure();
            request.pinnedHostKey = pinned.value();
            continue;
        }
        if (!outcome.refusedCertificate.empty() && request.pinnedCertificate.empty()) {
            const ServerIdentity seen{
                IdentityKind::Certificate, server, {}, outcome.refusedCertificate};
            const std::optional<std::string> known =
                trust ? trust->Known(IdentityKind::Certificate, server) : std::nullopt;
            if (known == seen.fingerprint) {
                request.pinnedCertificate = seen.fingerprint;
                continue;
            }
            Result<std::string> pinned = Confirm(seen, known.has_value());
            if (!pinned)
                return pinned.failure();
            request.pinnedCertificate = pinned.value();
            continue;
        }
        return upload::DescribeOutcome(outcome);
    }
    return Failure(upload::kErrSecureChannel, "Secure connection to server failed");
}

Result<std::string> FtpClient::Private::Confirm(const ServerIdentity &seen, bool changed)
{
    const bool trusted = q->m_events && q->m_events->IdentityUnverified(seen, changed);
    if (session.stopped)
        return Failure(upload::kErrCancelled, "Connection cancelled");
    // A host key that has changed is refused whatever the answer: the event
    // only tells of it.
    const bool refused = !trusted || (seen.kind == IdentityKind::HostKey && changed);
    if (refused)
        return NotTrusted(seen, changed);
    return seen.fingerprint;
}

upload::ResumableUpload::Hooks FtpClient::Private::HooksFor(const QString &localPath,
                                                            const QString &remotePath,
                                                            std::int64_t total)
{
    upload::ResumableUpload::Hooks hooks;
    hooks.progress = [this, localPath, remotePath, total,
                      lastEvent = std::optional<std::chrono::steady_clock::time_point>()](
                         std::int64_t sent) mutable {
        const auto now = std::chrono::steady_clock::now();
        if (lastEvent && now - *lastEvent < kProgressInterval)
            return !cancelled && !disconnectRequested;
        lastEvent = now;
        return RaiseProgress(localPath, remotePath, sent, total);
    };
    hooks.retrying = [this](int attempt, int attempts, const Failure &reason) {
        if (q->m_events)
            q->m_events->TransferRetrying(attempt, attempts, reason.description());
    };
    hooks.reconnect = [this](std::chrono::seconds timeLeft) -> Result<> {
        const long connectTimeout = session.connectTimeout;
        session.connectTimeout = std::min<long>(connectTimeout, timeLeft.count());
        upload::OperationFlags flags;
        TransferOutcome outcome;
        upload::Login(session, session.login, &flags, outcome);
        session.connectTimeout = connectTimeout;
        if (outcome.code != CURLE_OK)
            return upload::DescribeOutcome(outcome);
        return {};
    };
    hooks.resumed = [this](std::int64_t offset) {
        if (q->m_events)
            q->m_events->TransferResumed(offset);
    };
    return hooks;
}

bool FtpClient::Private::RaiseProgress(const QString &localPath, const QString &remotePath,
                                       std::int64_t sent, std::int64_t total)
{
    bool cancel = false;
    if (q->m_events)
        q->m_events->TransferProgress(localPath, remotePath, 0, sent, total, cancel);
    if (cancel)
        cancelled = true;
    return !cancel && !disconnectRequested;
}

Result<> FtpClient::Private::Send(upload::ResumableUpload &upload, const QString &localPath,
                                  const QString &remotePath, std::int64_t total)
{
    session.inRequest = true;
    Result<> sent = upload.Run();
    session.inRequest = false;
    // The last event: everything sent and checked. A cancel answered here
    // still lands before the file is put in place.
    if (sent && !upload.stopped() && !cancelled && !disconnectRequested)
        RaiseProgress(localPath, remotePath, total, total);
    if (cancelled || disconnectRequested || upload.stopped()) {
        upload.forget();
        upload::RemoveLeftover(session);
        if (disconnectRequested) {
            connected = false;
            Close();
        }
    } else if (!sent && ConnectionGone(sent.failure())) {
        connected = false;
        Close();
    }
    if (cancelled)
        return {};
    if (disconnectRequested || session.stopped)
        return Failure(upload::kErrCancelled, "Upload stopped: the connection was closed");
    return sent;
}

Result<> FtpClient::Private::PutInPlace(const upload::RemoteTarget &target)
{
    // Only now is the file on the server replaced: no event is raised while
    // it happens, so no cancel question can be open meanwhile.
    TransferOutcome placed;
    upload::PutInPlace(session, target, placed);
    if (placed.code != CURLE_OK) {
        Close();
        return upload::DescribeOutcome(placed);
    }
    if (!placed.placementFailure.empty())
        return upload::DescribeOutcome(placed);
    return {};
}

} // namespace vantrel
