#include "upload/ftpclient.h"

#include "common/failure.h"
#include "upload/ftpaddress.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QTimer>

#include <curl/curl.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <utility>

namespace vantrel {

namespace {

using namespace std::chrono_literals;

// How often the GUI samples a running transfer, and how long it lets pass
// without an event while nothing moves.
constexpr auto kProgressInterval = 50ms;
constexpr auto kHeartbeat = 500ms;
// libcurl's own upload buffer size: on loopback, larger chunks measured
// slower (they no longer fit the processor's cache).
constexpr long kUploadBufferSize = 64L * 1024;

// Failure numbers, after the WinINet codes a Windows FTP component reports.
constexpr std::int32_t kErrOutOfMemory = 7;
constexpr std::int32_t kErrBadFileName = 52;
constexpr std::int32_t kErrFileNotFound = 53;
constexpr std::int32_t kErrFileAccess = 75;
constexpr std::int32_t kErrTimeout = 12002;
constexpr std::int32_t kErrServerReply = 12003;
constexpr std::int32_t kErrInternal = 12004;
constexpr std::int32_t kErrBadAddress = 12005;
constexpr std::int32_t kErrNameNotResolved = 12007;
constexpr std::int32_t kErrLoginFailure = 12015;
constexpr std::int32_t kErrCancelled = 12017;
constexpr std::int32_t kErrNotConnected = 12019;
constexpr std::int32_t kErrCannotConnect = 12029;
constexpr std::int32_t kErrConnectionLost = 12030;
constexpr std::int32_t kErrTransferInProgress = 12110;

// One login or one transfer: what the GUI thread and the worker share.
struct Operation
{
    std::atomic<bool> abort{false};
    std::atomic<std::int64_t> sent{0};
    // GUI thread only.
    bool cancelled = false;    // through the cancel argument of an event
    bool disconnected = false; // Disconnect was called while it ran
};

// What the worker reports back.
struct Outcome
{
    CURLcode code = CURLE_OK;
    // The server's last negative reply line without its closing full stop
    // ("550 No such file or directory"), if there was one.
    std::string negativeReply;
    bool readError = false;
    bool shortRead = false;
};

struct Reader
{
    std::FILE *file = nullptr;
    std::int64_t remaining = 0;
    bool error = false;
    bool shortRead = false;
};

// Sends at most the size the file had when the upload began, so the amount
// sent never passes the total announced to the display.
std::size_t ReadChunk(char *buffer, std::size_t size, std::size_t count, void *userdata)
{
    auto *reader = static_cast<Reader *>(userdata);
    std::size_t wanted = size * count;
    if (static_cast<std::uint64_t>(reader->remaining) < wanted)
        wanted = static_cast<std::size_t>(reader->remaining);
    if (wanted == 0)
        return 0;
    const std::size_t got = std::fread(buffer, 1, wanted, reader->file);
    if (got < wanted) {
        if (std::ferror(reader->file)) {
            reader->error = true;
            return CURL_READFUNC_ABORT;
        }
        reader->shortRead = true;
    }
    reader->remaining -= static_cast<std::int64_t>(got);
    return got;
}

// libcurl hands FTP server replies to the header callback line by line.
std::size_t KeepServerReply(char *buffer, std::size_t size, std::size_t count, void *userdata)
{
    auto *outcome = static_cast<Outcome *>(userdata);
    std::string_view line(buffer, size * count);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
        line.remove_suffix(1);
    const auto isDigit = [](char c) {
        return c >= '0' && c <= '9';
    };
    if (line.size() >= 4 && isDigit(line[0]) && isDigit(line[1]) && isDigit(line[2])
        && line[3] == ' ' && line[0] >= '4') {
        // Reports add their own full stop.
        while (line.size() > 4 && (line.back() == '.' || line.back() == ' '))
            line.remove_suffix(1);
        outcome->negativeReply = std::string(line.substr(0, 300));
    }
    return size * count;
}

int ReportProgress(void *clientp, curl_off_t, curl_off_t, curl_off_t, curl_off_t uploaded)
{
    auto *operation = static_cast<Operation *>(clientp);
    operation->sent.store(uploaded, std::memory_order_relaxed);
    return operation->abort.load(std::memory_order_relaxed) ? 1 : 0;
}

void InitCurlOnce()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

std::FILE *OpenForReading(const QString &path)
{
#ifdef _WIN32
    return _wfopen(reinterpret_cast<const wchar_t *>(path.utf16()), L"rb");
#else
    return std::fopen(QFile::encodeName(path).constData(), "rb");
#endif
}

// Errors after which libcurl keeps the control connection usable.
bool KeepsConnection(CURLcode code)
{
    switch (code) {
    case CURLE_UPLOAD_FAILED:
    case CURLE_REMOTE_ACCESS_DENIED:
    case CURLE_REMOTE_FILE_NOT_FOUND:
    case CURLE_FTP_COULDNT_SET_TYPE:
        return true;
    default:
        return false;
    }
}

Failure Describe(const Outcome &outcome)
{
    if (outcome.readError)
        return {kErrFileAccess, "Could not read the local file"};
    if (outcome.shortRead)
        return {kErrFileAccess, "The local file changed during the upload"};
    const auto serverSaid = [&outcome](std::int32_t number, const char *otherwise) {
        return outcome.negativeReply.empty() ? Failure(number, otherwise)
                                             : Failure(kErrServerReply, outcome.negativeReply);
    };
    switch (outcome.code) {
    case CURLE_COULDNT_RESOLVE_HOST:
        return {kErrNameNotResolved, "Server not found"};
    case CURLE_COULDNT_CONNECT:
        return {kErrCannotConnect, "Could not connect to server"};
    case CURLE_LOGIN_DENIED:
        return {kErrLoginFailure, "Login denied"};
    case CURLE_OPERATION_TIMEDOUT:
        return {kErrTimeout, "Server not responding"};
    case CURLE_UPLOAD_FAILED:
    case CURLE_REMOTE_ACCESS_DENIED:
    case CURLE_REMOTE_FILE_NOT_FOUND:
    case CURLE_REMOTE_DISK_FULL:
    case CURLE_QUOTE_ERROR:
    case CURLE_FTP_COULDNT_SET_TYPE:
        return serverSaid(kErrServerReply, "Server refused the file");
    case CURLE_SEND_ERROR:
    case CURLE_RECV_ERROR:
    case CURLE_GOT_NOTHING:
    case CURLE_PARTIAL_FILE:
        return {kErrConnectionLost, "Connection to server lost"};
    case CURLE_FTP_WEIRD_PASV_REPLY:
    case CURLE_FTP_WEIRD_227_FORMAT:
    case CURLE_FTP_CANT_GET_HOST:
    case CURLE_FTP_PORT_FAILED:
    case CURLE_FTP_ACCEPT_FAILED:
    case CURLE_FTP_ACCEPT_TIMEOUT:
        return serverSaid(kErrCannotConnect, "Could not open a data connection to server");
    case CURLE_WEIRD_SERVER_REPLY:
        return serverSaid(kErrServerReply, "Unexpected answer from server");
    case CURLE_URL_MALFORMAT:
        return {kErrBadAddress, "Invalid server address"};
    case CURLE_OUT_OF_MEMORY:
        return {kErrOutOfMemory, "Out of memory"};
    case CURLE_READ_ERROR:
        return {kErrFileAccess, "Could not read the local file"};
    case CURLE_ABORTED_BY_CALLBACK:
        return {kErrCancelled, "Transfer cancelled"};
    default:
        return serverSaid(kErrInternal, curl_easy_strerror(outcome.code));
    }
}

} // namespace

class FtpClient::Private
{
public:
    explicit Private(FtpClient *owner)
        : q(owner)
    {
        InitCurlOnce();
        worker = std::thread([this] { RunWorker(); });
    }

    ~Private()
    {
        if (current)
            current->abort = true;
        Post([this] { CloseConnection(); });
        {
            std::lock_guard lock(mutex);
            stopping = true;
        }
        wake.notify_one();
        worker.join();
        if (waitLoop)
            waitLoop->quit();
    }

    // Runs `work` on the worker thread and waits for its outcome in a nested
    // event loop. Nothing is returned when the client was destroyed while
    // waiting; then neither it nor its Private may be touched any more.
    std::optional<Outcome> Await(std::function<Outcome()> work)
    {
        QEventLoop loop;
        std::optional<Outcome> result;
        FtpClient *owner = q;
        Post([owner, work = std::move(work), &loop, &result] {
            Outcome outcome = work();
            QMetaObject::invokeMethod(
                owner,
                [&loop, &result, outcome = std::move(outcome)] {
                    result = outcome;
                    loop.quit();
                },
                Qt::QueuedConnection);
        });
        QPointer<FtpClient> alive(q);
        QEventLoop *outer = waitLoop;
        waitLoop = &loop;
        loop.exec();
        if (!alive)
            return std::nullopt;
        waitLoop = outer;
        return result;
    }

    // Raises TransferProgress; false when the client was destroyed by a
    // handler.
    bool RaiseProgress(Operation &operation, const QString &localPath, const QString &remotePath,
                       std::int64_t sent, std::int64_t total)
    {
        inProgressEvent = true;
        bool cancel = false;
        QPointer<FtpClient> alive(q);
        emit q->TransferProgress(localPath, remotePath, 0, sent, total, &cancel);
        if (!alive)
            return false;
        inProgressEvent = false;
        if (cancel) {
            operation.cancelled = true;
            operation.abort = true;
        }
        return true;
    }

    // Worker thread only.
    void Login(const std::string &url, const std::string &userName, const std::string &password,
               Operation *operation, Outcome &outcome)
    {
        CloseConnection();
        easy = curl_easy_init();
        if (!easy) {
            outcome.code = CURLE_OUT_OF_MEMORY;
            return;
        }
        ApplyCommonOptions();
        curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
        curl_easy_setopt(easy, CURLOPT_USERNAME, userName.c_str());
        curl_easy_setopt(easy, CURLOPT_PASSWORD, password.c_str());
        // Log in and stop: no listing, no file.
        curl_easy_setopt(easy, CURLOPT_NOBODY, 1L);
        outcome.code = Perform(operation, outcome);
        if (outcome.code != CURLE_OK)
            CloseConnection();
    }

    void Send(const std::string &url, std::FILE *file, std::int64_t size, Operation *operation,
              Outcome &outcome)
    {
        if (!easy) {
            outcome.code = CURLE_SEND_ERROR;
            return;
        }
        Reader reader{file, size};
        curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
        curl_easy_setopt(easy, CURLOPT_NOBODY, 0L);
        curl_easy_setopt(easy, CURLOPT_UPLOAD, 1L);
        curl_easy_setopt(easy, CURLOPT_READFUNCTION, ReadChunk);
        curl_easy_setopt(easy, CURLOPT_READDATA, &reader);
        curl_easy_setopt(easy, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(size));
        outcome.code = Perform(operation, outcome);
        curl_easy_setopt(easy, CURLOPT_UPLOAD, 0L);
        curl_easy_setopt(easy, CURLOPT_READDATA, nullptr);
        outcome.readError = reader.error;
        outcome.shortRead = reader.shortRead;
    }

    // Closes the control connection: libcurl says QUIT when the connection
    // is still in order, and simply closes it after a broken transfer.
    void CloseConnection()
    {
        if (easy) {
            curl_easy_cleanup(easy);
            easy = nullptr;
        }
    }

    void Post(std::function<void()> job)
    {
        {
            std::lock_guard lock(mutex);
            // Jobs posted by Await refer to its locals; Await does not return
            // before the job has reported back (or the worker was joined).
            // cppcheck-suppress danglingLifetime
            jobs.push_back(std::move(job));
        }
        wake.notify_one();
    }

    FtpClient *q;

    // GUI thread.
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

private:
    void ApplyCommonOptions()
    {
        curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "ftp");
        curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT, workerConnectTimeout);
        curl_easy_setopt(easy, CURLOPT_SERVER_RESPONSE_TIMEOUT, workerStallTimeout);
        // A transfer that moves no byte for the stall time ends with an error.
        curl_easy_setopt(easy, CURLOPT_LOW_SPEED_LIMIT, 1L);
        curl_easy_setopt(easy, CURLOPT_LOW_SPEED_TIME, workerStallTimeout);
        // STOR gets the remote path as given, with no CWD on the way and no
        // "." or ".." taken out of it.
        curl_easy_setopt(easy, CURLOPT_FTP_FILEMETHOD, static_cast<long>(CURLFTPMETHOD_NOCWD));
        curl_easy_setopt(easy, CURLOPT_PATH_AS_IS, 1L);
        curl_easy_setopt(easy, CURLOPT_TCP_KEEPALIVE, 1L);
        curl_easy_setopt(easy, CURLOPT_UPLOAD_BUFFERSIZE, kUploadBufferSize);
        curl_easy_setopt(easy, CURLOPT_NOPROGRESS, 0L);
        curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, ReportProgress);
        curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, KeepServerReply);
    }

    CURLcode Perform(Operation *operation, Outcome &outcome)
    {
        curl_easy_setopt(easy, CURLOPT_XFERINFODATA, operation);
        curl_easy_setopt(easy, CURLOPT_HEADERDATA, &outcome);
        const CURLcode code = curl_easy_perform(easy);
        curl_easy_setopt(easy, CURLOPT_XFERINFODATA, nullptr);
        curl_easy_setopt(easy, CURLOPT_HEADERDATA, nullptr);
        return code;
    }

    void RunWorker()
    {
        for (;;) {
            std::function<void()> job;
            {
                std::unique_lock lock(mutex);
                wake.wait(lock, [this] { return stopping || !jobs.empty(); });
                if (jobs.empty())
                    break;
                job = std::move(jobs.front());
                jobs.pop_front();
            }
            job();
        }
        CloseConnection();
    }

    std::thread worker;
    std::mutex mutex;
    std::condition_variable wake;
    std::deque<std::function<void()>> jobs;
    bool stopping = false;

public:
    // Worker thread: the handle with its connection, and the timeouts it was
    // set up with (copied over with each login).
    CURL *easy = nullptr;
    long workerConnectTimeout = 30;
    long workerStallTimeout = 60;
};

FtpClient::FtpClient(QObject *parent)
    : QObject(parent)
    , d(std::make_unique<Private>(this))
{}

FtpClient::~FtpClient() = default;

void FtpClient::setTimeouts(int connectSeconds, int stallSeconds)
{
    d->connectTimeout = std::max(1, connectSeconds);
    d->stallTimeout = std::max(1, stallSeconds);
}

bool FtpClient::IsConnected() const
{
    return d->connected;
}

void FtpClient::Connect(const QString &address, const QString &userName, const QString &password,
                        int port, bool)
{
    if (d->busy)
        throw Failure(kErrTransferInProgress, "Another transfer is running");
    d->connected = false;
    const std::optional<upload::FtpEndpoint> endpoint =
        upload::ParseFtpAddress(address.toStdString(), port);
    if (!endpoint)
        throw Failure(kErrBadAddress, "Invalid server address");
    d->endpoint = endpoint;
    d->userName = userName.toStdString();
    d->password = password.toStdString();

    auto operation = std::make_shared<Operation>();
    d->busy = true;
    d->current = operation;
    Private *p = d.get();
    const std::string url = upload::FtpServerUrl(*endpoint);
    const long connectTimeout = d->connectTimeout;
    const long stallTimeout = d->stallTimeout;
    const std::optional<Outcome> outcome = d->Await(
        [p, url, user = d->userName, pass = d->password, operation, connectTimeout, stallTimeout] {
            Outcome result;
            p->workerConnectTimeout = connectTimeout;
            p->workerStallTimeout = stallTimeout;
            p->Login(url, user, pass, operation.get(), result);
            return result;
        });
    if (!outcome)
        throw Failure(kErrCancelled, "The connection was closed");
    d->busy = false;
    d->current.reset();
    if (operation->disconnected)
        throw Failure(kErrCancelled, "Connection cancelled");
    if (outcome->code != CURLE_OK)
        throw Describe(*outcome);
    d->connected = true;
}

void FtpClient::Disconnect()
{
    if (d->current) {
        d->current->disconnected = true;
        d->current->abort = true;
    }
    d->connected = false;
    Private *p = d.get();
    d->Post([p] { p->CloseConnection(); });
}

void FtpClient::UploadFile(const QString &localPath, const QString &, const QString &remotePath)
{
    if (d->busy)
        throw Failure(kErrTransferInProgress, "Another transfer is running");
    if (!d->connected || !d->endpoint)
        throw Failure(kErrNotConnected, "Not connected to server");
    const std::string remote = remotePath.toStdString();
    if (!upload::IsSendableRemotePath(remote))
        throw Failure(kErrBadFileName, "Invalid file name on the server");
    const QFileInfo info(localPath);
    if (localPath.isEmpty() || !info.exists() || info.isDir())
        throw Failure(kErrFileNotFound, "File not found");
    std::shared_ptr<std::FILE> file(OpenForReading(localPath), [](std::FILE *f) {
        if (f)
            std::fclose(f);
    });
    if (!file)
        throw Failure(kErrFileAccess, "Could not read the local file");
    const std::int64_t total = info.size();
    const std::string url = upload::FtpServerUrl(*d->endpoint) + upload::FtpUrlPath(remote);

    auto operation = std::make_shared<Operation>();
    d->busy = true;
    d->current = operation;

    // Progress is sampled here, on the GUI thread: the worker only stores
    // the amount sent.
    std::int64_t lastSent = -1;
    QElapsedTimer sinceEvent;
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    ticker.setInterval(kProgressInterval);
    Private *p = d.get();
    connect(&ticker, &QTimer::timeout, this, [&, p] {
        if (p->inProgressEvent || operation->cancelled || operation->disconnected)
            return;
        const std::int64_t sent =
            std::clamp<std::int64_t>(operation->sent.load(std::memory_order_relaxed), 0, total);
        if (sent == lastSent && sinceEvent.isValid()
            && sinceEvent.elapsed() < std::chrono::milliseconds(kHeartbeat).count())
            return;
        lastSent = sent;
        sinceEvent.start();
        p->RaiseProgress(*operation, localPath, remotePath, sent, total);
    });
    ticker.start();

    const std::optional<Outcome> outcome = d->Await([p, url, file, total, operation] {
        Outcome result;
        p->Send(url, file.get(), total, operation.get(), result);
        return result;
    });
    ticker.stop();
    if (!outcome)
        throw Failure(kErrCancelled, "The connection was closed");
    d->busy = false;
    d->current.reset();

    if (!operation->cancelled && !operation->disconnected && outcome->code == CURLE_OK
        && lastSent != total) {
        // The last event: everything sent and confirmed.
        if (!d->RaiseProgress(*operation, localPath, remotePath, total, total))
            return;
    }
    if (operation->cancelled) {
        emit TransferComplete(localPath, remotePath, 0);
        return;
    }
    if (operation->disconnected)
        throw Failure(kErrCancelled, "Upload stopped: the connection was closed");
    if (outcome->code != CURLE_OK) {
        if (!KeepsConnection(outcome->code))
            d->connected = false;
        throw Describe(*outcome);
    }
    emit TransferComplete(localPath, remotePath, 0);
}

} // namespace vantrel
