#pragma once

// The libcurl side of the FTP component: the easy handle that holds the
// control connection, the callbacks libcurl calls, and the login and the
// transfer. Everything here runs on the thread that uses the component.

#include "upload/ftpaddress.h"
#include "upload/ftperrors.h"
#include "upload/serverhash.h"
#include "upload/sftphostkey.h"

#include <curl/curl.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace vantrel::upload {

// One request: how far it has come, and how it is stopped.
struct OperationFlags
{
    std::atomic<bool> abort{false};
    std::atomic<std::int64_t> sent{0};
    // Called with the amount sent each time libcurl reports progress, while
    // the data goes out and while nothing moves; false stops the request.
    std::function<bool(std::int64_t sent)> progress;
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
    // SFTP: the host key accepted for the server earlier, and the one key
    // trusted for this login only (fingerprints, see upload/sftphostkey).
    std::string acceptedHostKey;
    std::string pinnedHostKey;
};

// What the SSH handshake checks about the server's host key, and what it
// saw.
struct HostKeyCheck
{
    std::string accepted;
    std::string pinned;
    std::string seen;
    std::string type; // "ED25519", "RSA", ...
    HostKeyVerdict verdict = HostKeyVerdict::Unknown;
};

// What the TLS handshakes of the connection check, and what they saw.
struct CertificateCheck
{
    std::string pinned;
    // The fingerprint of the server certificate of the last handshake.
    std::string seen;
    // Whether that handshake settled on TLS 1.3.
    bool tls13 = false;
};

// The handle with its connection, and the timeouts it was set up with.
struct SessionState
{
    // Set from any thread: every request stops, now and from then on.
    std::atomic<bool> stopped{false};
    // True while a transfer runs, whose events may ask for the connection
    // to be closed: it can only close once the transfer has stopped.
    bool inRequest = false;
    CURL *easy = nullptr;
    long connectTimeout = 30;
    long stallTimeout = 60;
    // libcurl's TLS set-up refers to it for as long as the handle lives.
    CertificateCheck certificate;
    // libssh2's host-key check refers to it likewise.
    HostKeyCheck hostKey;
    std::string knownHostsFile;
    // "ftp://host:port/" of the login.
    std::string serverUrl;
    // A temporary file on the server that an ended upload left behind and
    // that is still to be deleted; empty when there is none.
    std::string leftover;
    // The last login, and the transfers made over it.
    LoginRequest login;
    int transfersSinceLogin = 0;
    // What the server of the last login offers to hash files with, once
    // asked; and whether the algorithm has been chosen (OPTS HASH).
    std::optional<std::optional<ServerHash>> hashOffered;
    bool hashChosen = false;
};

// libcurl's global set-up, done once for the program.
void InitCurlOnce();

// Opens a new control connection and logs in; any open one is closed first.
// With TLS, nothing is sent before the server's certificate has passed its
// check; when it fails, the outcome is CURLE_PEER_FAILED_VERIFICATION (or,
// for a pinned certificate that differs, CURLE_SSL_CONNECT_ERROR) and
// carries the certificate's fingerprint.
void Login(SessionState &state, const LoginRequest &request, OperationFlags *operation,
           TransferOutcome &outcome);

class Hasher;

// What one transfer sends: the bytes of `file` from `offset` on, out of
// `size`, hashed on the way when a hasher is given. The file stands at the
// offset already, and a hasher has taken the part before it.
struct SendPart
{
    std::FILE *file = nullptr;
    std::int64_t size = 0;
    std::int64_t offset = 0;
    Hasher *hasher = nullptr;
};

// Sends the part to `url` over the open connection; with an offset the
// server's file is added to (FTP APPE, an SFTP write at the offset). Over
// TLS 1.3, a second transfer logs in afresh first: libcurl 7.88 can drop the
// end of a second TLS 1.3 data connection under one login (the server then
// stores a truncated file, and some servers confirm it all the same).
void Send(SessionState &state, const std::string &url, const SendPart &part,
          OperationFlags *operation, TransferOutcome &outcome);

// Sends one FTP command over the connection (a new one, logged in again,
// when libcurl has closed it) and keeps the reply in outcome.lastReply, all
// its lines in outcome.replyLines; a negative reply is not a failure here,
// only a broken connection is.
void RunCommand(SessionState &state, const std::string &command, OperationFlags *operation,
                TransferOutcome &outcome);

// SFTP: the size of the file at `url` on the server, -1 when the server
// reports none; outcome.code tells whether the request went through.
std::int64_t RemoteFileSize(SessionState &state, const std::string &url, TransferOutcome &outcome);

// SFTP: runs libcurl's SFTP commands ("rename A B", "rm A"; a leading "*"
// lets one fail without failing the rest) one after the other; the first
// refused one ends the request with CURLE_QUOTE_ERROR.
void RunSftpCommands(SessionState &state, const std::vector<std::string> &commands,
                     TransferOutcome &outcome);

// An SFTP command's path argument, quoted as libcurl reads it.
std::string QuoteSftpPath(const std::string &path);

// Closes the control connection: libcurl says QUIT when the connection is
// still in order, and simply closes it after a broken transfer.
void CloseConnection(SessionState &state);

} // namespace vantrel::upload
