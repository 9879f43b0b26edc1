#pragma once

// The libcurl side of the FTP component: the easy handle that holds the
// control connection, the callbacks libcurl calls, and the login and the
// transfer. Everything here runs on the component's worker thread.

#include "upload/ftpaddress.h"
#include "upload/ftperrors.h"

#include <curl/curl.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <string>

namespace vantrel::upload {

// What the GUI thread and the worker share while one operation runs.
struct OperationFlags
{
    std::atomic<bool> abort{false};
    std::atomic<std::int64_t> sent{0};
};

struct LoginRequest
{
    std::string url; // "ftp://host:port/" or "ftps://host:port/"
    std::string userName;
    std::string password;
    FtpSecurity security = FtpSecurity::TlsIfOffered;
    // The one server certificate accepted without verification (its SHA-256
    // fingerprint, see upload/certtrust); empty: the certificate is verified
    // against the system's trusted certificates, host name included.
    std::string pinnedCertificate;
};

// What the TLS handshakes of the connection check, and what they saw.
struct CertificateCheck
{
    std::string pinned;
    // The fingerprint of the server certificate of the last handshake.
    std::string seen;
};

// The handle with its connection, and the timeouts it was set up with
// (copied over with each login).
struct WorkerThreadState
{
    CURL *easy = nullptr;
    long connectTimeout = 30;
    long stallTimeout = 60;
    // libcurl's TLS set-up refers to it for as long as the handle lives.
    CertificateCheck certificate;
    // "ftp://host:port/" of the login.
    std::string serverUrl;
    // A temporary file on the server that an ended upload left behind and
    // that is still to be deleted; empty when there is none.
    std::string leftover;
};

// libcurl's global set-up, done once for the program.
void InitCurlOnce();

// Opens a new control connection and logs in; any open one is closed first.
// With TLS, nothing is sent before the server's certificate has passed its
// check; when it fails, the outcome is CURLE_PEER_FAILED_VERIFICATION (or,
// for a pinned certificate that differs, CURLE_SSL_CONNECT_ERROR) and
// carries the certificate's fingerprint.
void Login(WorkerThreadState &state, const LoginRequest &request, OperationFlags *operation,
           TransferOutcome &outcome);

// Sends `size` bytes of `file` to `url` over the open connection.
void Send(WorkerThreadState &state, const std::string &url, std::FILE *file, std::int64_t size,
          OperationFlags *operation, TransferOutcome &outcome);

// Sends one FTP command over the connection (a new one, logged in again,
// when libcurl has closed it) and keeps the reply in outcome.lastReply; a
// negative reply is not a failure here, only a broken connection is.
void RunCommand(WorkerThreadState &state, const std::string &command, OperationFlags *operation,
                TransferOutcome &outcome);

// Closes the control connection: libcurl says QUIT when the connection is
// still in order, and simply closes it after a broken transfer.
void CloseConnection(WorkerThreadState &state);

} // namespace vantrel::upload
