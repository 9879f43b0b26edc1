#include "upload/curlsession.h"

#include "upload/certtrust.h"
#include "upload/filehash.h"
#include "upload/remotereplace.h"

#ifdef _WIN32
#include <winsock2.h> // and <windows.h>, after it
#else
#include <sys/socket.h>
#endif

#include <openssl/evp.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>

#include <mutex>
#include <string_view>

namespace vantrel::upload {

namespace {

// libcurl's own upload buffer size: on loopback, larger chunks measured
// slower (they no longer fit the processor's cache).
constexpr long kUploadBufferSize = 64L * 1024;
constexpr long kSftpUploadBufferSize = 128L * 1024;

struct Reader
{
    std::FILE *file = nullptr;
    std::int64_t remaining = 0;
    Hasher *hasher = nullptr;
    bool error = false;
    bool shortRead = false;
};

// Sends at most the size the file had when the upload began, so the amount
// sent never passes the total announced to the display; what goes out is
// hashed on the way, when it is to be checked.
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
    if (reader->hasher)
        reader->hasher->update(buffer, got);
    return got;
}

// A resumed upload: libcurl asks to skip the part the server has, which the
// reader stands after already.
int SkipSentPart(void *, curl_off_t, int origin)
{
    return origin == SEEK_SET ? CURL_SEEKFUNC_OK : CURL_SEEKFUNC_CANTSEEK;
}

// libcurl hands FTP server replies to the header callback line by line.
std::size_t KeepServerReply(char *buffer, std::size_t size, std::size_t count, void *userdata)
{
    constexpr std::size_t kLongestLine = 300;
    constexpr std::size_t kMostLines = 200;
    auto *outcome = static_cast<TransferOutcome *>(userdata);
    std::string_view line(buffer, size * count);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
        line.remove_suffix(1);
    line = line.substr(0, kLongestLine);
    if (outcome->replyLines.size() < kMostLines)
        outcome->replyLines.emplace_back(line);
    const FtpReply reply = ParseFtpReply(line);
    if (reply.code == 0)
        return size * count;
    outcome->lastReply = std::string(line);
    if (reply.code >= 400) {
        // Reports add their own full stop.
        while (line.size() > 4 && (line.back() == '.' || line.back() == ' '))
            line.remove_suffix(1);
        outcome->negativeReply = std::string(line);
    }
    return size * count;
}

// What a request's progress callback needs: its own flags and the
// session's stop.
struct ProgressTarget
{
    OperationFlags *operation;
    const std::atomic<bool> *stopped;
};

int ReportProgress(void *clientp, curl_off_t, curl_off_t, curl_off_t, curl_off_t uploaded)
{
    const auto *target = static_cast<const ProgressTarget *>(clientp);
    OperationFlags *operation = target->operation;
    operation->sent.store(uploaded, std::memory_order_relaxed);
    if (operation->progress && !operation->progress(uploaded))
        operation->abort = true;
    return operation->abort.load(std::memory_order_relaxed) || target->stopped->load() ? 1 : 0;
}

// Every socket of ours is closed in a program we start: a child that held a
// copy of the data connection would keep the server from seeing its end, and
// the upload from ending, until the child itself ended.
curl_socket_t OpenSocket(void *, curlsocktype, curl_sockaddr *address)
{
#ifdef _WIN32
    const curl_socket_t socket = ::socket(address->family, address->socktype, address->protocol);
    if (socket != CURL_SOCKET_BAD)
        SetHandleInformation(reinterpret_cast<HANDLE>(socket), HANDLE_FLAG_INHERIT, 0);
    return socket;
#else
    return ::socket(address->family, address->socktype | SOCK_CLOEXEC, address->protocol);
#endif
}

void ApplyCommonOptions(const SessionState &state)
{
    CURL *easy = state.easy;
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "ftp,ftps");
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT, state.connectTimeout);
    curl_easy_setopt(easy, CURLOPT_SERVER_RESPONSE_TIMEOUT, state.stallTimeout);
    // A transfer that moves no byte for the stall time ends with an error.
    curl_easy_setopt(easy, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(easy, CURLOPT_LOW_SPEED_TIME, state.stallTimeout);
    // STOR gets the remote path as given, with no CWD on the way and no "."
    // or ".." taken out of it.
    curl_easy_setopt(easy, CURLOPT_FTP_FILEMETHOD, static_cast<long>(CURLFTPMETHOD_NOCWD));
    curl_easy_setopt(easy, CURLOPT_PATH_AS_IS, 1L);
    curl_easy_setopt(easy, CURLOPT_TCP_KEEPALIVE, 1L);
    curl_easy_setopt(easy, CURLOPT_UPLOAD_BUFFERSIZE, kUploadBufferSize);
    curl_easy_setopt(easy, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, ReportProgress);
    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, KeepServerReply);
    curl_easy_setopt(easy, CURLOPT_OPENSOCKETFUNCTION, OpenSocket);
}

std::string FingerprintOf(X509 *certificate)
{
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    if (!certificate || X509_digest(certificate, EVP_sha256(), digest, &size) != 1)
        return {};
    return FormatFingerprint(digest, size);
}

// Stands in for OpenSSL's check of the server certificate in every
// handshake, the data connections' included: it notes the certificate, then
// either compares it with the pinned one or verifies it as OpenSSL would.
int CheckServerCertificate(X509_STORE_CTX *store, void *arg)
{
    auto *check = static_cast<CertificateCheck *>(arg);
    std::string fingerprint = FingerprintOf(X509_STORE_CTX_get0_cert(store));
    check->seen = fingerprint;
    const auto *ssl = static_cast<const SSL *>(
        X509_STORE_CTX_get_ex_data(store, SSL_get_ex_data_X509_STORE_CTX_idx()));
    check->tls13 = ssl && SSL_version(ssl) >= TLS1_3_VERSION;
    if (!check->pinned.empty())
        return !fingerprint.empty() && fingerprint == check->pinned ? 1 : 0;
    return X509_verify_cert(store);
}

CURLcode SetUpTlsContext(CURL *, void *sslContext, void *userdata)
{
    auto *context = static_cast<SSL_CTX *>(sslContext);
    auto *check = static_cast<CertificateCheck *>(userdata);
    SSL_CTX_set_cert_verify_callback(context, CheckServerCertificate, check);
    // libcurl does not verify a pinned certificate itself (it is not signed
    // by a trusted authority), but a failed comparison must still end the
    // handshake.
    if (!check->pinned.empty())
        SSL_CTX_set_verify(context, SSL_VERIFY_PEER, nullptr);
    return CURLE_OK;
}

void ApplyTlsOptions(SessionState &state, const LoginRequest &request)
{
    CURL *easy = state.easy;
    state.certificate = {request.pinnedCertificate, {}};
    const long useSsl = request.security == FtpSecurity::TlsIfOffered
                            ? static_cast<long>(CURLUSESSL_TRY)
                            : static_cast<long>(CURLUSESSL_ALL);
    curl_easy_setopt(easy, CURLOPT_USE_SSL, useSsl);
    curl_easy_setopt(easy, CURLOPT_FTPSSLAUTH, static_cast<long>(CURLFTPAUTH_TLS));
    // The control connection stays protected to the end, and the data
    // connections resume its session (servers may insist on that).
    curl_easy_setopt(easy, CURLOPT_FTP_SSL_CCC, static_cast<long>(CURLFTPSSL_CCC_NONE));
    curl_easy_setopt(easy, CURLOPT_SSL_SESSIONID_CACHE, 1L);
    const bool verify = request.pinnedCertificate.empty();
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, verify ? 1L : 0L);
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, verify ? 2L : 0L);
    curl_easy_setopt(easy, CURLOPT_SSL_CTX_FUNCTION, SetUpTlsContext);
    curl_easy_setopt(easy, CURLOPT_SSL_CTX_DATA, &state.certificate);
}

const char *KeyTypeName(int type)
{
    switch (type) {
    case CURLKHTYPE_RSA1:
    case CURLKHTYPE_RSA:
        return "RSA";
    case CURLKHTYPE_DSS:
        return "DSA";
    case CURLKHTYPE_ECDSA:
        return "ECDSA";
    case CURLKHTYPE_ED25519:
        return "ED25519";
    default:
        return "UNKNOWN";
    }
}

// libssh2 has compared the server's key with known_hosts; this decides.
// Nothing, not even the user name, is sent before it has returned.
int CheckHostKey(CURL *, const curl_khkey *, const curl_khkey *found, curl_khmatch match,
                 void *clientp)
{
    auto *check = static_cast<HostKeyCheck *>(clientp);
    check->seen.clear();
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    if (found && found->key && found->len > 0
        && EVP_Digest(found->key, found->len, digest, &size, EVP_sha256(), nullptr) == 1
        && size == kFingerprintBytes)
        check->seen = FormatHostKeyFingerprint(digest);
    check->type = found ? KeyTypeName(found->keytype) : "UNKNOWN";
    const KnownHostsMatch known = match == CURLKHMATCH_OK         ? KnownHostsMatch::Same
                                  : match == CURLKHMATCH_MISMATCH ? KnownHostsMatch::Different
                                                                  : KnownHostsMatch::Missing;
    check->verdict = JudgeHostKey(known, check->accepted, check->pinned, check->seen);
    return check->verdict == HostKeyVerdict::Trusted ? CURLKHSTAT_FINE : CURLKHSTAT_REJECT;
}

void ApplySshOptions(SessionState &state, const LoginRequest &request)
{
    CURL *easy = state.easy;
    state.hostKey = {
        request.acceptedHostKey, request.pinnedHostKey, {}, {}, HostKeyVerdict::Unknown};
    // libcurl asks the key function only when a known_hosts file is named;
    // one that does not exist is read as empty.
    state.knownHostsFile = KnownHostsFile().string();
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "sftp");
    // libssh2 keeps one write request in flight for every 30000 bytes of a
    // chunk, so a larger chunk keeps the server busier; on loopback 128 KiB
    // measured fastest against both asyncssh and OpenSSH (512 KiB slowed the
    // former down).
    curl_easy_setopt(easy, CURLOPT_UPLOAD_BUFFERSIZE, kSftpUploadBufferSize);
    curl_easy_setopt(easy, CURLOPT_SSH_AUTH_TYPES, static_cast<long>(CURLSSH_AUTH_PASSWORD));
    curl_easy_setopt(easy, CURLOPT_SSH_KNOWNHOSTS, state.knownHostsFile.c_str());
    curl_easy_setopt(easy, CURLOPT_SSH_KEYFUNCTION, CheckHostKey);
    curl_easy_setopt(easy, CURLOPT_SSH_KEYDATA, &state.hostKey);
}

// The multi handle an easy handle of ours runs in, kept as its private
// pointer: it holds the connection from one request to the next.
CURLM *MultiOf(CURL *easy)
{
    void *multi = nullptr;
    curl_easy_getinfo(easy, CURLINFO_PRIVATE, &multi);
    return multi;
}

// Whether libcurl has a socket to wait on at this moment. A socket numbered
// past FD_SETSIZE is left out of the sets; the loop below then only wakes
// more often than it needs to.
bool HasSocketToWaitOn(CURLM *multi)
{
    fd_set reading;
    fd_set writing;
    fd_set errors;
    FD_ZERO(&reading);
    FD_ZERO(&writing);
    FD_ZERO(&errors);
    int highest = -1;
    return curl_multi_fdset(multi, &reading, &writing, &errors, &highest) == CURLM_OK
           && highest >= 0;
}

// Runs one request to its end. Not curl_easy_perform: between the passive
// reply and the data connection, libcurl reports no socket to wait on and
// then sleeps out its full wait (curl_easy_perform waits up to 1000 ms at a
// time) before it connects. Here a wait lasts at most kLongestWaitMs, and
// only kNoSocketWaitMs while libcurl has no socket to watch: it then has work
// of its own to go on with at once (its advice for that case is a short wait,
// not a busy loop). While data moves, its sockets wake it anyway.
CURLcode RunToEnd(CURL *easy)
{
    constexpr int kLongestWaitMs = 10;
    constexpr int kNoSocketWaitMs = 1;
    CURLM *multi = MultiOf(easy);
    if (!multi || curl_multi_add_handle(multi, easy) != CURLM_OK)
        return CURLE_FAILED_INIT;
    CURLcode result = CURLE_OK;
    int running = 1;
    while (running > 0) {
        if (curl_multi_perform(multi, &running) != CURLM_OK) {
            result = CURLE_OUT_OF_MEMORY;
            break;
        }
        const int waitMs = HasSocketToWaitOn(multi) ? kLongestWaitMs : kNoSocketWaitMs;
        if (running > 0 && curl_multi_poll(multi, nullptr, 0, waitMs, nullptr) != CURLM_OK) {
            result = CURLE_OUT_OF_MEMORY;
            break;
        }
    }
    int left = 0;
    while (const CURLMsg *message = curl_multi_info_read(multi, &left)) {
        if (message->msg == CURLMSG_DONE && message->easy_handle == easy)
            result = message->data.result;
    }
    curl_multi_remove_handle(multi, easy);
    return result;
}

CURLcode Perform(SessionState &state, OperationFlags *operation, TransferOutcome &outcome)
{
    CURL *easy = state.easy;
    if (state.stopped)
        return CURLE_ABORTED_BY_CALLBACK;
    ProgressTarget target{operation, &state.stopped};
    curl_easy_setopt(easy, CURLOPT_XFERINFODATA, &target);
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, &outcome);
    const CURLcode code = RunToEnd(easy);
    curl_easy_setopt(easy, CURLOPT_XFERINFODATA, nullptr);
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, nullptr);
    return code;
}

} // namespace

void InitCurlOnce()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

void Login(SessionState &state, const LoginRequest &request, OperationFlags *operation,
           TransferOutcome &outcome)
{
    CloseConnection(state);
    state.easy = curl_easy_init();
    CURLM *multi = state.easy ? curl_multi_init() : nullptr;
    if (!multi) {
        CloseConnection(state);
        outcome.code = CURLE_OUT_OF_MEMORY;
        return;
    }
    curl_easy_setopt(state.easy, CURLOPT_PRIVATE, multi);
    ApplyCommonOptions(state);
    if (request.security == FtpSecurity::Sftp)
        ApplySshOptions(state, request);
    else
        ApplyTlsOptions(state, request);
    state.serverUrl = request.url;
    curl_easy_setopt(state.easy, CURLOPT_URL, request.url.c_str());
    curl_easy_setopt(state.easy, CURLOPT_USERNAME, request.userName.c_str());
    curl_easy_setopt(state.easy, CURLOPT_PASSWORD, request.password.c_str());
    // Log in and stop: no listing, no file.
    curl_easy_setopt(state.easy, CURLOPT_NOBODY, 1L);
    outcome.code = Perform(state, operation, outcome);
    const bool refused = request.pinnedCertificate.empty()
                             ? outcome.code == CURLE_PEER_FAILED_VERIFICATION
                             : outcome.code == CURLE_SSL_CONNECT_ERROR
                                   && state.certificate.seen != request.pinnedCertificate;
    if (refused && request.security != FtpSecurity::Sftp)
        outcome.refusedCertificate = state.certificate.seen;
    if (request.security == FtpSecurity::Sftp && outcome.code == CURLE_PEER_FAILED_VERIFICATION
        && state.hostKey.verdict != HostKeyVerdict::Trusted) {
        outcome.refusedHostKey = state.hostKey.seen;
        outcome.hostKeyType = state.hostKey.type;
        outcome.hostKeyChanged = state.hostKey.verdict == HostKeyVerdict::Changed;
    }
    if (outcome.code != CURLE_OK) {
        CloseConnection(state);
        return;
    }
    state.login = request;
    state.transfersSinceLogin = 0;
    state.hashOffered.reset();
    state.hashChosen = false;
}

void Send(SessionState &state, const std::string &url, const SendPart &part,
          OperationFlags *operation, TransferOutcome &outcome)
{
    if (state.easy && state.transfersSinceLogin > 0 && state.certificate.tls13) {
        const LoginRequest again = state.login;
        Login(state, again, operation, outcome);
        if (outcome.code != CURLE_OK)
            return;
    }
    CURL *easy = state.easy;
    if (!easy) {
        outcome.code = CURLE_SEND_ERROR;
        return;
    }
    ++state.transfersSinceLogin;
    Reader reader{part.file, part.size - part.offset, part.hasher};
    curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
    curl_easy_setopt(easy, CURLOPT_NOBODY, 0L);
    curl_easy_setopt(easy, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(easy, CURLOPT_READFUNCTION, ReadChunk);
    curl_easy_setopt(easy, CURLOPT_READDATA, &reader);
    curl_easy_setopt(easy, CURLOPT_SEEKFUNCTION, SkipSentPart);
    // With an offset, FTP appends (APPE) and SFTP writes from there on.
    curl_easy_setopt(easy, CURLOPT_RESUME_FROM_LARGE, static_cast<curl_off_t>(part.offset));
    curl_easy_setopt(easy, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(part.size));
    outcome.code = Perform(state, operation, outcome);
    curl_easy_setopt(easy, CURLOPT_UPLOAD, 0L);
    curl_easy_setopt(easy, CURLOPT_READDATA, nullptr);
    curl_easy_setopt(easy, CURLOPT_RESUME_FROM_LARGE, static_cast<curl_off_t>(0));
    outcome.readError = reader.error;
    outcome.shortRead = reader.shortRead;
    if (state.login.security == FtpSecurity::Sftp) {
        // libssh2 reports a connection that broke off during the data as
        // an error of its own layer; a refusal has a code of its own.
        if (outcome.code == CURLE_SSH)
            outcome.code = CURLE_SEND_ERROR;
        NoteSftpRefusal(outcome);
    }
}

void RunCommand(SessionState &state, const std::string &command, OperationFlags *operation,
                TransferOutcome &outcome)
{
    CURL *easy = state.easy;
    if (!easy) {
        outcome.code = CURLE_SEND_ERROR;
        return;
    }
    // "*": a negative reply is an answer to read here, not a failure of the
    // request.
    const std::string quoted = "*" + command;
    curl_slist *commands = curl_slist_append(nullptr, quoted.c_str());
    if (!commands) {
        outcome.code = CURLE_OUT_OF_MEMORY;
        return;
    }
    curl_easy_setopt(easy, CURLOPT_URL, state.serverUrl.c_str());
    curl_easy_setopt(easy, CURLOPT_NOBODY, 1L);
    curl_easy_setopt(easy, CURLOPT_QUOTE, commands);
    outcome.lastReply.clear();
    outcome.replyLines.clear();
    outcome.code = Perform(state, operation, outcome);
    curl_easy_setopt(easy, CURLOPT_QUOTE, nullptr);
    curl_slist_free_all(commands);
}

std::int64_t RemoteFileSize(SessionState &state, const std::string &url, TransferOutcome &outcome)
{
    CURL *easy = state.easy;
    if (!easy) {
        outcome.code = CURLE_SEND_ERROR;
        return -1;
    }
    OperationFlags own;
    // The file is opened and its attributes read, no byte of it.
    curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
    curl_easy_setopt(easy, CURLOPT_NOBODY, 1L);
    outcome.code = Perform(state, &own, outcome);
    curl_off_t size = -1;
    if (outcome.code != CURLE_OK
        || curl_easy_getinfo(easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &size) != CURLE_OK)
        return -1;
    return size;
}

void RunSftpCommands(SessionState &state, const std::vector<std::string> &commands,
                     TransferOutcome &outcome)
{
    CURL *easy = state.easy;
    if (!easy) {
        outcome.code = CURLE_SEND_ERROR;
        return;
    }
    curl_slist *list = nullptr;
    for (const std::string &command : commands) {
        curl_slist *longer = curl_slist_append(list, command.c_str());
        if (!longer) {
            curl_slist_free_all(list);
            outcome.code = CURLE_OUT_OF_MEMORY;
            return;
        }
        list = longer;
    }
    OperationFlags own;
    curl_easy_setopt(easy, CURLOPT_URL, state.serverUrl.c_str());
    curl_easy_setopt(easy, CURLOPT_NOBODY, 1L);
    curl_easy_setopt(easy, CURLOPT_QUOTE, list);
    outcome.code = Perform(state, &own, outcome);
    curl_easy_setopt(easy, CURLOPT_QUOTE, nullptr);
    curl_slist_free_all(list);
}

std::string QuoteSftpPath(const std::string &path)
{
    std::string quoted = "\"";
    for (char c : path) {
        if (c == '"' || c == '\\')
            quoted += '\\';
        quoted += c;
    }
    quoted += '"';
    return quoted;
}

void CloseConnection(SessionState &state)
{
    if (state.easy) {
        CURLM *multi = MultiOf(state.easy);
        curl_easy_cleanup(state.easy);
        state.easy = nullptr;
        // Closes the connection it holds, with a QUIT when it is in order.
        if (multi)
            curl_multi_cleanup(multi);
    }
}

} // namespace vantrel::upload
