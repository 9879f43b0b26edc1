// The failure table of the FTP component: each libcurl outcome as the
// number and text a user is shown.

#include "upload/ftperrors.h"

#include "common/errornumbers.h"

#include <gtest/gtest.h>

namespace vantrel::upload {
namespace {

TEST(DescribeOutcome, SftpRefusalsSayWhatTheServerRefused)
{
    struct Case
    {
        CURLcode code;
        const char *text;
    };
    const Case cases[] = {
        {CURLE_REMOTE_FILE_NOT_FOUND, "No such folder on the server"},
        {CURLE_REMOTE_ACCESS_DENIED, "Permission denied on the server"},
        {CURLE_REMOTE_DISK_FULL, "The disk of the server is full"},
        {CURLE_LOGIN_DENIED, "Login denied"},
    };
    for (const Case &c : cases) {
        TransferOutcome outcome;
        outcome.code = c.code;
        NoteSftpRefusal(outcome);
        EXPECT_EQ(DescribeOutcome(outcome).description(), c.text) << c.code;
    }
}

TEST(DescribeOutcome, EachOutcomeHasItsNumberAndText)
{
    struct Case // NOLINT(clang-analyzer-optin.performance.Padding): read as a table
    {
        CURLcode code;
        std::string negativeReply;
        std::int32_t number;
        std::string text;
    };
    const Case cases[] = {
        {CURLE_COULDNT_RESOLVE_HOST, "", kErrNameNotResolved, "Server not found"},
        {CURLE_COULDNT_CONNECT, "", kErrCannotConnect, "Could not connect to server"},
        {CURLE_LOGIN_DENIED, "530 Authentication failed", kErrLoginFailure, "Login denied"},
        {CURLE_OPERATION_TIMEDOUT, "", kErrTimeout, "Server not responding"},
        {CURLE_URL_MALFORMAT, "", kErrBadAddress, "Invalid server address"},
        {CURLE_USE_SSL_FAILED, "", kErrSecureChannel, "The server does not offer TLS"},
        {CURLE_PEER_FAILED_VERIFICATION, "", kErrCertificateNotTrusted,
         "The certificate of the server is not trusted"},
        {CURLE_SSL_CONNECT_ERROR, "", kErrSecureChannel, "Secure connection to server failed"},
        {CURLE_UPLOAD_FAILED, "", kErrServerReply, "Server refused the file"},
        {CURLE_UPLOAD_FAILED, "553 Not allowed", kErrServerReply, "553 Not allowed"},
        {CURLE_SEND_ERROR, "", kErrConnectionLost, "Connection to server lost"},
        {CURLE_FTP_CANT_GET_HOST, "", kErrCannotConnect,
         "Could not open a data connection to server"},
        {CURLE_WEIRD_SERVER_REPLY, "", kErrServerReply, "Unexpected answer from server"},
        {CURLE_OUT_OF_MEMORY, "", errors::kOutOfMemory, "Out of memory"},
        {CURLE_READ_ERROR, "", errors::kPathFileAccessError, "Could not read the local file"},
        {CURLE_ABORTED_BY_CALLBACK, "", kErrCancelled, "Transfer cancelled"},
        {CURLE_SSL_ENGINE_INITFAILED, "", kErrInternal,
         curl_easy_strerror(CURLE_SSL_ENGINE_INITFAILED)},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(curl_easy_strerror(c.code));
        TransferOutcome outcome;
        outcome.code = c.code;
        outcome.negativeReply = c.negativeReply;
        const Failure failure = DescribeOutcome(outcome);
        EXPECT_EQ(failure.number(), c.number);
        EXPECT_EQ(failure.description(), c.text);
    }
}

TEST(DescribeOutcome, WhatTheServerSaidIsNotHiddenBehindAnotherText)
{
    struct Case // NOLINT(clang-analyzer-optin.performance.Padding): read as a table
    {
        CURLcode code;
        std::string negativeReply;
        std::string lastReply;
        std::int32_t number;
        std::string text;
    };
    const Case cases[] = {
        // libcurl reports a 421 as a timeout.
        {CURLE_OPERATION_TIMEDOUT, "421 Please reconnect using TLS security mechanisms", "",
         kErrServerReply, "421 Please reconnect using TLS security mechanisms"},
        {CURLE_OPERATION_TIMEDOUT, "550 Earlier refusal", "", kErrTimeout, "Server not responding"},
        // The refusal after the data went out.
        {CURLE_PARTIAL_FILE, "451 Local error", "451 Local error.", kErrServerReply,
         "451 Local error"},
        {CURLE_PARTIAL_FILE, "", "", kErrConnectionLost, "Connection to server lost"},
        // The passive reply failed, not the EPSV that libcurl went past.
        {CURLE_FTP_WEIRD_227_FORMAT, "500 EPSV not understood", "227 Entering Passive Mode (1,2).",
         kErrCannotConnect,
         "Unreadable passive-mode reply from server: 227 Entering Passive Mode (1,2)"},
        {CURLE_FTP_WEIRD_PASV_REPLY, "", "", kErrCannotConnect,
         "Unreadable passive-mode reply from server"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.text);
        TransferOutcome outcome;
        outcome.code = c.code;
        outcome.negativeReply = c.negativeReply;
        outcome.lastReply = c.lastReply;
        const Failure failure = DescribeOutcome(outcome);
        EXPECT_EQ(failure.number(), c.number);
        EXPECT_EQ(failure.description(), c.text);
    }
}

TEST(DescribeOutcome, LocalFileProblemsComeFirst)
{
    TransferOutcome outcome;
    outcome.code = CURLE_ABORTED_BY_CALLBACK;
    outcome.shortRead = true;
    EXPECT_EQ(DescribeOutcome(outcome).description(), "The local file changed during the upload");
    outcome.readError = true;
    EXPECT_EQ(DescribeOutcome(outcome).description(), "Could not read the local file");
    EXPECT_EQ(DescribeOutcome(outcome).number(), errors::kPathFileAccessError);
}

} // namespace
} // namespace vantrel::upload
