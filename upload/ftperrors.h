#pragma once

// The failures of the FTP component: its own numbers, after the WinINet codes
// a Windows FTP component reports, and the one table that turns the outcome of
// a libcurl transfer into a Failure with a description a user understands.
// Pure functions.

#include "common/failure.h"

#include <curl/curl.h>

#include <cstdint>
#include <string>
#include <vector>

namespace vantrel::upload {

inline constexpr std::int32_t kErrTimeout = 12002;
inline constexpr std::int32_t kErrCertificateNotTrusted = 12045;
inline constexpr std::int32_t kErrSecureChannel = 12157;
inline constexpr std::int32_t kErrServerReply = 12003;
inline constexpr std::int32_t kErrInternal = 12004;
inline constexpr std::int32_t kErrBadAddress = 12005;
inline constexpr std::int32_t kErrNameNotResolved = 12007;
inline constexpr std::int32_t kErrLoginFailure = 12015;
inline constexpr std::int32_t kErrCancelled = 12017;
inline constexpr std::int32_t kErrNotConnected = 12019;
inline constexpr std::int32_t kErrCannotConnect = 12029;
inline constexpr std::int32_t kErrConnectionLost = 12030;
// SSH has no WinINet code: two of our own beside the certificate's.
inline constexpr std::int32_t kErrHostKeyNotTrusted = 12171;
inline constexpr std::int32_t kErrHostKeyChanged = 12172;
// The local file is a pipe, a device or a folder: it cannot be sent.
inline constexpr std::int32_t kErrNotRegularFile = 12173;

// What one login or one transfer ended with, as libcurl and the server told.
struct TransferOutcome
{
    CURLcode code = CURLE_OK;
    // The server's last negative reply line without its closing full stop
    // ("550 No such file or directory"), if there was one.
    std::string negativeReply;
    // The server's last reply line of any kind, as it came ("227 ...").
    std::string lastReply;
    // Every line of the replies to a command, as they came.
    std::vector<std::string> replyLines;
    // Set when the transfer went through but the file could not be put in
    // place on the server: the description for the user.
    std::string placementFailure;
    bool readError = false;
    bool shortRead = false;
    // The SHA-256 fingerprint of a server certificate that failed its check.
    std::string refusedCertificate;
    // SFTP: the fingerprint and type of a host key that was not accepted,
    // and whether it differs from the key known for the server.
    std::string refusedHostKey;
    std::string hostKeyType;
    bool hostKeyChanged = false;
};

// SFTP has no reply lines: the refusals the SFTP server reports as status
// codes become the words of the failure (as a negative reply would).
void NoteSftpRefusal(TransferOutcome &outcome);

// The failure a user is shown for an outcome that is not CURLE_OK.
Failure DescribeOutcome(const TransferOutcome &outcome);

// Whether a new attempt may cure what ended the transfer: the connection
// broke or closed, went silent, or the server said so (421, 425, 426, 450,
// 451). Not a refusal (a wrong password, a missing folder, no space, a name
// refused), not the user's cancel, not the local file.
bool MayRecover(const TransferOutcome &outcome);

// Whether libcurl keeps the control connection usable after `code`.
bool KeepsConnection(CURLcode code);

// Whether the server was still there to answer when the operation ended (it
// replied, or the user stopped it), so that a clean-up on a new connection
// can be tried; not after a lost connection or a silent server.
bool ServerStillAnswers(const TransferOutcome &outcome);

} // namespace vantrel::upload
