#include "upload/ftperrors.h"

#include "common/errornumbers.h"

#include <optional>

namespace vantrel::upload {

namespace {

std::string WithoutFullStop(std::string text)
{
    while (!text.empty() && (text.back() == '.' || text.back() == ' '))
        text.pop_back();
    return text;
}

// How a libcurl code reads to the user, where nothing else is to be said.
struct FailureRow
{
    CURLcode code;
    std::int32_t number;
    const char *text;
    // The server's last negative reply, where it gave one, says it better.
    bool serverWordsFirst;
};

constexpr FailureRow kFailures[] = {
    // The connection and the login.
    {CURLE_COULDNT_RESOLVE_HOST, kErrNameNotResolved, "Server not found", false},
    {CURLE_COULDNT_CONNECT, kErrCannotConnect, "Could not connect to server", false},
    {CURLE_LOGIN_DENIED, kErrLoginFailure, "Login denied", false},
    {CURLE_OPERATION_TIMEDOUT, kErrTimeout, "Server not responding", false},
    {CURLE_URL_MALFORMAT, kErrBadAddress, "Invalid server address", false},
    {CURLE_USE_SSL_FAILED, kErrSecureChannel, "The server does not offer TLS", false},
    {CURLE_PEER_FAILED_VERIFICATION, kErrCertificateNotTrusted,
     "The certificate of the server is not trusted", false},
    {CURLE_SSL_CONNECT_ERROR, kErrSecureChannel, "Secure connection to server failed", false},
    // The transfer and its data connection.
    {CURLE_UPLOAD_FAILED, kErrServerReply, "Server refused the file", true},
    {CURLE_REMOTE_ACCESS_DENIED, kErrServerReply, "Server refused the file", true},
    {CURLE_REMOTE_FILE_NOT_FOUND, kErrServerReply, "Server refused the file", true},
    {CURLE_REMOTE_DISK_FULL, kErrServerReply, "Server refused the file", true},
    {CURLE_QUOTE_ERROR, kErrServerReply, "Server refused the file", true},
    {CURLE_FTP_COULDNT_SET_TYPE, kErrServerReply, "Server refused the file", true},
    // The data went out and the server refused to keep it ("451 ...").
    {CURLE_PARTIAL_FILE, kErrConnectionLost, "Connection to server lost", true},
    {CURLE_SEND_ERROR, kErrConnectionLost, "Connection to server lost", false},
    {CURLE_RECV_ERROR, kErrConnectionLost, "Connection to server lost", false},
    {CURLE_GOT_NOTHING, kErrConnectionLost, "Connection to server lost", false},
    {CURLE_FTP_CANT_GET_HOST, kErrCannotConnect, "Could not open a data connection to server",
     true},
    {CURLE_FTP_PORT_FAILED, kErrCannotConnect, "Could not open a data connection to server", true},
    {CURLE_FTP_ACCEPT_FAILED, kErrCannotConnect, "Could not open a data connection to server",
     true},
    {CURLE_FTP_ACCEPT_TIMEOUT, kErrCannotConnect, "Could not open a data connection to server",
     true},
    {CURLE_WEIRD_SERVER_REPLY, kErrServerReply, "Unexpected answer from server", true},
    // Ours.
    {CURLE_OUT_OF_MEMORY, errors::kOutOfMemory, "Out of memory", false},
    {CURLE_READ_ERROR, errors::kPathFileAccessError, "Could not read the local file", false},
    {CURLE_ABORTED_BY_CALLBACK, kErrCancelled, "Transfer cancelled", false},
};

// The passive reply that libcurl could not read, in its words. The last
// negative reply may be an earlier one ("500 EPSV not understood") that
// libcurl went past; the passive reply is what failed.
Failure UnreadablePassiveReply(const TransferOutcome &outcome)
{
    std::string text = "Unreadable passive-mode reply from server";
    if (!outcome.lastReply.empty())
        text += ": " + WithoutFullStop(outcome.lastReply);
    return {kErrCannotConnect, text};
}

} // namespace

void NoteSftpRefusal(TransferOutcome &outcome)
{
    switch (outcome.code) {
    case CURLE_REMOTE_FILE_NOT_FOUND:
        outcome.negativeReply = "No such folder on the server";
        break;
    case CURLE_REMOTE_ACCESS_DENIED:
        outcome.negativeReply = "Permission denied on the server";
        break;
    case CURLE_REMOTE_DISK_FULL:
        outcome.negativeReply = "The disk of the server is full";
        break;
    default:
        break;
    }
}

Failure DescribeOutcome(const TransferOutcome &outcome)
{
    if (!outcome.placementFailure.empty())
        return {kErrServerReply, outcome.placementFailure};
    if (outcome.readError)
        return {errors::kPathFileAccessError, "Could not read the local file"};
    if (outcome.shortRead)
        return {errors::kPathFileAccessError, "The local file changed during the upload"};
    const bool replied = !outcome.negativeReply.empty();
    // libcurl ends with a timeout on a 421 ("service not available") too:
    // then the server did answer, and its words say why.
    if (outcome.code == CURLE_OPERATION_TIMEDOUT && outcome.negativeReply.rfind("421", 0) == 0)
        return {kErrServerReply, outcome.negativeReply};
    if (outcome.code == CURLE_FTP_WEIRD_PASV_REPLY || outcome.code == CURLE_FTP_WEIRD_227_FORMAT)
        return UnreadablePassiveReply(outcome);
    for (const FailureRow &row : kFailures) {
        if (row.code != outcome.code)
            continue;
        if (row.serverWordsFirst && replied)
            return {kErrServerReply, outcome.negativeReply};
        return {row.number, row.text};
    }
    if (replied)
        return {kErrServerReply, outcome.negativeReply};
    return {kErrInternal, curl_easy_strerror(outcome.code)};
}

bool MayRecover(const TransferOutcome &outcome)
{
    if (outcome.readError || outcome.shortRead || !outcome.placementFailure.empty())
        return false;
    const std::string &reply = outcome.negativeReply;
    for (const char *code : {"421", "425", "426", "450", "451"}) {
        if (reply.rfind(code, 0) == 0)
            return true;
    }
    switch (outcome.code) {
    case CURLE_SEND_ERROR:
    case CURLE_RECV_ERROR:
    case CURLE_GOT_NOTHING:
    case CURLE_PARTIAL_FILE:
    case CURLE_OPERATION_TIMEDOUT:
    case CURLE_COULDNT_CONNECT:
    case CURLE_SSH:
    case CURLE_FTP_CANT_GET_HOST:
    case CURLE_FTP_ACCEPT_FAILED:
    case CURLE_FTP_ACCEPT_TIMEOUT:
        // A refusal the server gave on the way is final.
        return reply.empty() || reply[0] != '5';
    default:
        return false;
    }
}

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

bool ServerStillAnswers(const TransferOutcome &outcome)
{
    switch (outcome.code) {
    case CURLE_ABORTED_BY_CALLBACK:
        return true;
    case CURLE_OPERATION_TIMEDOUT:
    case CURLE_SEND_ERROR:
    case CURLE_RECV_ERROR:
    case CURLE_GOT_NOTHING:
    case CURLE_COULDNT_CONNECT:
    case CURLE_COULDNT_RESOLVE_HOST:
        return false;
    default:
        return !outcome.negativeReply.empty();
    }
}

} // namespace vantrel::upload
