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

// The server's own words where it gave any, else `number` with `otherwise`.
Failure ServerSaid(const TransferOutcome &outcome, std::int32_t number, const char *otherwise)
{
    if (outcome.negativeReply.empty())
        return {number, otherwise};
    return {kErrServerReply, outcome.negativeReply};
}

// Failures of the connection and of the login.
std::optional<Failure> DescribeConnection(const TransferOutcome &outcome)
{
    switch (outcome.code) {
    case CURLE_COULDNT_RESOLVE_HOST:
        return Failure(kErrNameNotResolved, "Server not found");
    case CURLE_COULDNT_CONNECT:
        return Failure(kErrCannotConnect, "Could not connect to server");
    case CURLE_LOGIN_DENIED:
        return Failure(kErrLoginFailure, "Login denied");
    case CURLE_OPERATION_TIMEDOUT:
        // libcurl ends with a timeout on a 421 ("service not available")
        // too: then the server did answer, and its words say why.
        if (outcome.negativeReply.rfind("421", 0) == 0)
            return Failure(kErrServerReply, outcome.negativeReply);
        return Failure(kErrTimeout, "Server not responding");
    case CURLE_URL_MALFORMAT:
        return Failure(kErrBadAddress, "Invalid server address");
    case CURLE_USE_SSL_FAILED:
        return Failure(kErrSecureChannel, "The server does not offer TLS");
    case CURLE_PEER_FAILED_VERIFICATION:
        return Failure(kErrCertificateNotTrusted, "The certificate of the server is not trusted");
    case CURLE_SSL_CONNECT_ERROR:
        return Failure(kErrSecureChannel, "Secure connection to server failed");
    default:
        return std::nullopt;
    }
}

// Failures of a transfer and of the data connection.
std::optional<Failure> DescribeTransfer(const TransferOutcome &outcome)
{
    switch (outcome.code) {
    case CURLE_UPLOAD_FAILED:
    case CURLE_REMOTE_ACCESS_DENIED:
    case CURLE_REMOTE_FILE_NOT_FOUND:
    case CURLE_REMOTE_DISK_FULL:
    case CURLE_QUOTE_ERROR:
    case CURLE_FTP_COULDNT_SET_TYPE:
        return ServerSaid(outcome, kErrServerReply, "Server refused the file");
    case CURLE_PARTIAL_FILE:
        // The data went out and the server refused to keep it ("451 ...").
        return ServerSaid(outcome, kErrConnectionLost, "Connection to server lost");
    case CURLE_SEND_ERROR:
    case CURLE_RECV_ERROR:
    case CURLE_GOT_NOTHING:
        return Failure(kErrConnectionLost, "Connection to server lost");
    case CURLE_FTP_WEIRD_PASV_REPLY:
    case CURLE_FTP_WEIRD_227_FORMAT:
        // The last negative reply may be an earlier one ("500 EPSV not
        // understood") that libcurl went past; the passive reply is what
        // failed.
        if (outcome.lastReply.empty())
            return Failure(kErrCannotConnect, "Unreadable passive-mode reply from server");
        return Failure(kErrCannotConnect, "Unreadable passive-mode reply from server: "
                                              + WithoutFullStop(outcome.lastReply));
    case CURLE_FTP_CANT_GET_HOST:
    case CURLE_FTP_PORT_FAILED:
    case CURLE_FTP_ACCEPT_FAILED:
    case CURLE_FTP_ACCEPT_TIMEOUT:
        return ServerSaid(outcome, kErrCannotConnect, "Could not open a data connection to server");
    case CURLE_WEIRD_SERVER_REPLY:
        return ServerSaid(outcome, kErrServerReply, "Unexpected answer from server");
    default:
        return std::nullopt;
    }
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
    if (std::optional<Failure> failure = DescribeConnection(outcome))
        return *failure;
    if (std::optional<Failure> failure = DescribeTransfer(outcome))
        return *failure;
    switch (outcome.code) {
    case CURLE_OUT_OF_MEMORY:
        return {errors::kOutOfMemory, "Out of memory"};
    case CURLE_READ_ERROR:
        return {errors::kPathFileAccessError, "Could not read the local file"};
    case CURLE_ABORTED_BY_CALLBACK:
        return {kErrCancelled, "Transfer cancelled"};
    default:
        return ServerSaid(outcome, kErrInternal, curl_easy_strerror(outcome.code));
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
