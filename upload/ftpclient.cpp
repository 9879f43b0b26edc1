#include "upload/ftpclient.h"

#include "common/errornumbers.h"
#include "common/failure.h"
#include "common/qtbridge.h"
#include "upload/certtrust.h"
#include "upload/curlsession.h"
#include "upload/ftpaddress.h"
#include "upload/ftperrors.h"
#include "upload/progressticker.h"
#include "upload/remotetransfer.h"
#include "upload/sftphostkey.h"
#include "upload/workerqueue.h"

#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QPointer>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <utility>

namespace vantrel {

using upload::TransferOutcome;

namespace {

// One login or one transfer.
struct Operation
{
    upload::OperationFlags shared;
    // GUI thread only.
    bool cancelled = false;    // through the cancel argument of an event
    bool disconnected = false; // Disconnect was called while it ran
};

// What the GUI thread holds; only it reads or writes these.
struct GuiThreadState
{
    std::optional<upload::FtpEndpoint> endpoint;
    std::string userName;
    std::string password;
    bool connected = false;
    bool busy = false;
    bool inProgressEvent = false;
    std::shared_ptr<Operation> current;
    QEventLoop *waitLoop = nullptr;
    long connectTimeout = 30;
    long stallTimeout = 60;
    upload::TrustedCertificates trusted;
    upload::AcceptedHostKeys acceptedKeys;
};

// A local file ready to be sent.
struct UploadPlan
{
    std::shared_ptr<std::FILE> file;
    std::int64_t total = 0;
    upload::RemoteTarget target;
};

std::FILE *OpenForReading(const QString &path)
{
#ifdef _WIN32
    return _wfopen(reinterpret_cast<const wchar_t *>(path.utf16()), L"rb");
#else
    // Without waiting, and only a regular file: a pipe put in its place
    // after the check would block the GUI thread.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return nullptr;
    struct stat status = {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)
        || ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
        ::close(fd);
        return nullptr;
    }
    std::FILE *file = ::fdopen(fd, "rb");
    if (!file)
        ::close(fd);
    return file;
#endif
}

// A value with a line break would let the rest of it be read by the server
// as a command of its own: nothing is sent then.
void RefuseCommandBreaks(const QString &address, const QString &userName, const QString &password)
{
    if (upload::BreaksCommandLine(ToUtf8(address)))
        throw Failure(upload::kErrBadAddress, "The server address contains a line break");
    if (upload::BreaksCommandLine(ToUtf8(userName)))
        throw Failure(errors::kInvalidCall, "The user name contains a line break");
    if (upload::BreaksCommandLine(ToUtf8(password)))
        throw Failure(errors::kInvalidCall, "The password contains a line break");
}

std::shared_ptr<std::FILE> OpenShared(const QString &path)
{
    return {OpenForReading(path), [](std::FILE *f) {
                if (f)
                    std::fclose(f);
            }};
}

} // namespace

class FtpClient::Private
{
public:
    explicit Private(FtpClient *owner)
        : q(owner)
        , queue(std::make_unique<upload::WorkerQueue>([this] {
            upload::RemoveLeftover(worker);
            upload::CloseConnection(worker);
        }))
    {
        upload::InitCurlOnce();
    }

    ~Private()
    {
        if (gui.current)
            gui.current->shared.abort = true;
        queue.reset();
        if (gui.waitLoop)
            gui.waitLoop->quit();
    }

    // Runs `work` with the worker thread's state on the worker thread, and
    // waits for its outcome in a nested event loop. Nothing is returned when
    // the client was destroyed while waiting; then neither it nor its Private
    // may be touched any more.
    std::optional<TransferOutcome>
    Await(std::function<void(upload::WorkerThreadState &, TransferOutcome &)> work)
    {
        QEventLoop loop;
        std::optional<TransferOutcome> result;
        FtpClient *owner = q;
        upload::WorkerThreadState *state = &worker;
        queue->Post([owner, state, work = std::move(work), &loop, &result] {
            TransferOutcome outcome;
            work(*state, outcome);
            QMetaObject::invokeMethod(
                owner,
                [&loop, &result, outcome = std::move(outcome)] {
                    result = outcome;
                    loop.quit();
                },
                Qt::QueuedConnection);
        });
        return WaitIn(loop, result);
    }

    // Raises TransferProgress; false when the client was destroyed by a
    // handler.
    bool RaiseProgress(Operation &operation, const QString &localPath, const QString &remotePath,
                       std::int64_t sent, std::int64_t total)
    {
        gui.inProgressEvent = true;
        bool cancel = false;
        QPointer<FtpClient> alive(q);
        emit q->TransferProgress(localPath, remotePath, 0, sent, total, &cancel);
        if (!alive)
            return false;
        gui.inProgressEvent = false;
        if (cancel) {
            operation.cancelled = true;
            operation.shared.abort = true;
        }
        return true;
    }

    // Marks the start of an operation; ends it with End.
    std::shared_ptr<Operation> Begin()
    {
        auto operation = std::make_shared<Operation>();
        gui.busy = true;
        gui.current = operation;
        return operation;
    }

    void End()
    {
        gui.busy = false;
        gui.current.reset();
    }

    void PostClose()
    {
        upload::WorkerThreadState *state = &worker;
        queue->Post([state] {
            upload::RemoveLeftover(*state);
            upload::CloseConnection(*state);
        });
    }

    // After an upload that did not end whole: its temporary file goes,
    // without the GUI waiting for it.
    void PostRemoveLeftover()
    {
        upload::WorkerThreadState *state = &worker;
        queue->Post([state] { upload::RemoveLeftover(*state); });
    }

    FtpClient *q;
    GuiThreadState gui;

    // One login attempt on the worker thread.
    TransferOutcome RunLogin(const upload::LoginRequest &request)
    {
        const std::shared_ptr<Operation> operation = Begin();
        const long connectTimeout = gui.connectTimeout;
        const long stallTimeout = gui.stallTimeout;
        const std::optional<TransferOutcome> outcome =
            Await([request, operation, connectTimeout,
                   stallTimeout](upload::WorkerThreadState &state, TransferOutcome &result) {
                state.connectTimeout = connectTimeout;
                state.stallTimeout = stallTimeout;
                upload::Login(state, request, &operation->shared, result);
            });
        if (!outcome)
            throw Failure(upload::kErrCancelled, "The connection was closed");
        End();
        if (operation->disconnected)
            throw Failure(upload::kErrCancelled, "Connection cancelled");
        return *outcome;
    }

    // The certificate to pin for the next attempt: the one trusted for the
    // server already, or the one the user trusts now. Throws when it is not
    // trusted.
    std::string ConfirmCertificate(const std::string &fingerprint)
    {
        const std::string server = upload::ServerName(*gui.endpoint);
        const auto known = gui.trusted.find(server);
        if (known != gui.trusted.end() && known->second == fingerprint)
            return fingerprint;
        const bool changed = known != gui.trusted.end();
        const bool trust = AskWindow([&](bool *answer) {
            emit q->CertificateUnverified(FromUtf8(server), FromUtf8(fingerprint), changed, answer);
        });
        if (!trust)
            throw Failure(upload::kErrCertificateNotTrusted, "The certificate of server " + server
                                                                 + " is not trusted (SHA-256 "
                                                                 + fingerprint + ")");
        gui.trusted[server] = fingerprint;
        return fingerprint;
    }

    // Puts a question to the window between two requests: `ask` emits the
    // signal that sets the answer. Throws when the client went away or was
    // disconnected while the question was open.
    template<typename Ask>
    bool AskWindow(Ask ask)
    {
        const std::shared_ptr<Operation> operation = Begin();
        bool answer = false;
        QPointer<FtpClient> alive(q);
        ask(&answer);
        if (!alive)
            throw Failure(upload::kErrCancelled, "The connection was closed");
        End();
        if (operation->disconnected)
            throw Failure(upload::kErrCancelled, "Connection cancelled");
        return answer;
    }

    // SFTP: the host key to trust for the next attempt, once the user has
    // accepted it. Throws when it has changed or is not accepted.
    std::string ConfirmHostKey(const TransferOutcome &refused)
    {
        const std::string server = upload::ServerName(*gui.endpoint);
        const std::string described =
            " (" + refused.hostKeyType + " key " + refused.refusedHostKey + ")";
        if (refused.hostKeyChanged) {
            QPointer<FtpClient> alive(q);
            emit q->HostKeyChanged(FromUtf8(server), FromUtf8(refused.hostKeyType),
                                   FromUtf8(refused.refusedHostKey));
            if (!alive)
                throw Failure(upload::kErrCancelled, "The connection was closed");
            throw Failure(upload::kErrCertificateNotTrusted,
                          "The host key of server " + server + " has changed" + described);
        }
        const bool accept = AskWindow([&](bool *answer) {
            emit q->HostKeyUnknown(FromUtf8(server), FromUtf8(refused.hostKeyType),
                                   FromUtf8(refused.refusedHostKey), answer);
        });
        if (!accept)
            throw Failure(upload::kErrCertificateNotTrusted,
                          "The host key of server " + server + " is not known" + described);
        gui.acceptedKeys[server] = refused.refusedHostKey;
        return refused.refusedHostKey;
    }

    upload::LoginRequest PrepareLogin(const QString &address, const QString &userName,
                                      const QString &password, int port);
    // The three steps of an upload: check and open the local file, send it
    // while the ticker raises progress, and report how it ended.
    UploadPlan PrepareUpload(const QString &localPath, const QString &remotePath);
    std::optional<TransferOutcome> WaitForUpload(const UploadPlan &plan,
                                                 const std::shared_ptr<Operation> &operation,
                                                 const QString &localPath,
                                                 const QString &remotePath, std::int64_t &lastSent);
    void FinishUpload(Operation &operation, const TransferOutcome &outcome, const UploadPlan &plan,
                      std::int64_t lastSent, const QString &localPath, const QString &remotePath);

private:
    std::optional<TransferOutcome> WaitIn(QEventLoop &loop,
                                          const std::optional<TransferOutcome> &result)
    {
        QPointer<FtpClient> alive(q);
        QEventLoop *outer = gui.waitLoop;
        gui.waitLoop = &loop;
        loop.exec();
        if (!alive)
            return std::nullopt;
        gui.waitLoop = outer;
        return result;
    }

    // Worker thread only: reached through the jobs of Await and PostClose.
    upload::WorkerThreadState worker;
    std::unique_ptr<upload::WorkerQueue> queue;
};

FtpClient::FtpClient(QObject *parent)
    : QObject(parent)
    , d(std::make_unique<Private>(this))
{}

FtpClient::~FtpClient() = default;

void FtpClient::setTimeouts(int connectSeconds, int stallSeconds)
{
    d->gui.connectTimeout = std::max(1, connectSeconds);
    d->gui.stallTimeout = std::max(1, stallSeconds);
}

bool FtpClient::IsConnected() const
{
    return d->gui.connected;
}

void FtpClient::Connect(const QString &address, const QString &userName, const QString &password,
                        int port, bool)
{
    upload::LoginRequest request = d->PrepareLogin(address, userName, password, port);
    TransferOutcome outcome = d->RunLogin(request);
    if (!outcome.refusedHostKey.empty()) {
        request.pinnedHostKey = d->ConfirmHostKey(outcome);
        outcome = d->RunLogin(request);
    }
    if (!outcome.refusedCertificate.empty()) {
        request.pinnedCertificate = d->ConfirmCertificate(outcome.refusedCertificate);
        outcome = d->RunLogin(request);
    }
    if (outcome.code != CURLE_OK)
        throw upload::DescribeOutcome(outcome);
    d->gui.connected = true;
}

void FtpClient::trustCertificate(const QString &server, const QString &fingerprint)
{
    if (const std::optional<std::string> normal = upload::NormalizeFingerprint(ToUtf8(fingerprint)))
        d->gui.trusted[ToUtf8(server)] = *normal;
}

void FtpClient::acceptHostKey(const QString &server, const QString &fingerprint)
{
    if (const std::optional<std::string> normal =
            upload::NormalizeHostKeyFingerprint(ToUtf8(fingerprint)))
        d->gui.acceptedKeys[ToUtf8(server)] = *normal;
}

void FtpClient::Disconnect()
{
    if (d->gui.current) {
        d->gui.current->disconnected = true;
        d->gui.current->shared.abort = true;
    }
    d->gui.connected = false;
    d->PostClose();
}

void FtpClient::UploadFile(const QString &localPath, const QString &, const QString &remotePath)
{
    const UploadPlan plan = d->PrepareUpload(localPath, remotePath);
    const std::shared_ptr<Operation> operation = d->Begin();
    std::int64_t lastSent = -1;
    const std::optional<TransferOutcome> outcome =
        d->WaitForUpload(plan, operation, localPath, remotePath, lastSent);
    if (!outcome)
        throw Failure(upload::kErrCancelled, "The connection was closed");
    d->End();
    d->FinishUpload(*operation, *outcome, plan, lastSent, localPath, remotePath);
}

upload::LoginRequest FtpClient::Private::PrepareLogin(const QString &address,
                                                      const QString &userName,
                                                      const QString &password, int port)
{
    if (gui.busy)
        throw Failure(upload::kErrTransferInProgress, "Another transfer is running");
    gui.connected = false;
    RefuseCommandBreaks(address, userName, password);
    const std::optional<upload::FtpEndpoint> endpoint =
        upload::ParseFtpAddress(ToUtf8(address), port);
    if (!endpoint)
        throw Failure(upload::kErrBadAddress, "Invalid server address");
    gui.endpoint = endpoint;
    gui.userName = ToUtf8(userName);
    gui.password = ToUtf8(password);
    upload::LoginRequest request{upload::FtpServerUrl(*endpoint),
                                 gui.userName,
                                 gui.password,
                                 endpoint->security,
                                 {},
                                 {},
                                 {}};
    const auto accepted = gui.acceptedKeys.find(upload::ServerName(*endpoint));
    if (accepted != gui.acceptedKeys.end())
        request.acceptedHostKey = accepted->second;
    return request;
}

UploadPlan FtpClient::Private::PrepareUpload(const QString &localPath, const QString &remotePath)
{
    if (gui.busy)
        throw Failure(upload::kErrTransferInProgress, "Another transfer is running");
    if (!gui.connected || !gui.endpoint)
        throw Failure(upload::kErrNotConnected, "Not connected to server");
    const std::string remote = ToUtf8(remotePath);
    if (!upload::IsSendableRemotePath(remote))
        throw Failure(errors::kBadFileName, "Invalid file name on the server");
    const QFileInfo info(localPath);
    if (localPath.isEmpty() || !info.exists() || info.isDir())
        throw Failure(errors::kFileNotFound, "File not found");
    // Opening a pipe would wait for a writer, with the window frozen.
    if (!info.isFile())
        throw Failure(errors::kBadFileName, "Not a regular file");
    UploadPlan plan;
    plan.file = OpenShared(localPath);
    if (!plan.file)
        throw Failure(errors::kPathFileAccessError, "Could not read the local file");
    plan.total = info.size();
    plan.target = upload::MakeRemoteTarget(upload::FtpServerUrl(*gui.endpoint), remote);
    return plan;
}

std::optional<TransferOutcome> FtpClient::Private::WaitForUpload(
    const UploadPlan &plan, const std::shared_ptr<Operation> &operation, const QString &localPath,
    const QString &remotePath, std::int64_t &lastSent)
{
    Private *p = this;
    Operation *op = operation.get();
    upload::ProgressTicker ticker(
        plan.total,
        {[op] { return op->shared.sent.load(std::memory_order_relaxed); },
         [p, op] { return p->gui.inProgressEvent || op->cancelled || op->disconnected; },
         [p, op, &localPath, &remotePath, total = plan.total](std::int64_t sent) {
             return p->RaiseProgress(*op, localPath, remotePath, sent, total);
         }});
    ticker.start();
    std::optional<TransferOutcome> outcome =
        Await([plan, operation](upload::WorkerThreadState &state, TransferOutcome &result) {
            upload::SendToTemporary(state, plan.target, plan.file.get(), plan.total,
                                    &operation->shared, result);
        });
    ticker.stop();
    lastSent = ticker.lastSent();
    return outcome;
}

void FtpClient::Private::FinishUpload(Operation &operation, const TransferOutcome &outcome,
                                      const UploadPlan &plan, std::int64_t lastSent,
                                      const QString &localPath, const QString &remotePath)
{
    const bool whole = upload::WholeFileSent(outcome);
    if (!operation.cancelled && !operation.disconnected && whole && lastSent != plan.total) {
        // The last event: everything sent and confirmed. A cancel answered
        // here still lands before the file is put in place.
        if (!RaiseProgress(operation, localPath, remotePath, plan.total, plan.total))
            return;
    }
    if (operation.cancelled || operation.disconnected || !whole)
        PostRemoveLeftover();
    if (operation.cancelled) {
        emit q->TransferComplete(localPath, remotePath, 0);
        return;
    }
    if (operation.disconnected)
        throw Failure(upload::kErrCancelled, "Upload stopped: the connection was closed");
    if (!whole) {
        if (outcome.code != CURLE_OK && !upload::KeepsConnection(outcome.code))
            gui.connected = false;
        throw upload::DescribeOutcome(outcome);
    }
    // Only now is the file on the server replaced: no event is raised while
    // it happens, so no cancel question can be open meanwhile.
    Begin();
    const std::optional<TransferOutcome> placed =
        Await([target = plan.target](upload::WorkerThreadState &state, TransferOutcome &result) {
            upload::PutInPlace(state, target, result);
        });
    if (!placed)
        throw Failure(upload::kErrCancelled, "The connection was closed");
    End();
    if (placed->code != CURLE_OK) {
        gui.connected = false;
        throw upload::DescribeOutcome(*placed);
    }
    if (!placed->placementFailure.empty())
        throw upload::DescribeOutcome(*placed);
    emit q->TransferComplete(localPath, remotePath, 0);
}

} // namespace vantrel
