#pragma once

// Texts of the reports the program composes. Pure functions.

#include <QString>

#include <cstdint>

namespace vantrel {

// "INTERNAL ERROR OCCURED - ERROR NUMBER: 71 - DISK NOT READY. PLEASE CONTACT SUPPORT."
QString StartupErrorMessage(std::int32_t number, const QString &description);

// "FILE NOT FOUND. CONTACT SUPPORT."
QString UploadErrorMessage(const QString &description);

// The message, then the operating system's reason upper-cased on a second
// line; just the message when there is no reason.
QString WithReason(const QString &message, const QString &reason);

// "THE OUTPUT FILE COULD NOT BE WRITTEN: THE DISK IS FULL!"; without a
// reason "THE OUTPUT FILE COULD NOT BE WRITTEN!".
QString OutputNotWrittenMessage(const QString &reason);

// The question before a server certificate that could not be verified is
// trusted: it names the server and shows the certificate's SHA-256
// fingerprint, and says so when another certificate was trusted for the
// server before.
QString UntrustedCertificateQuestion(const QString &server, const QString &fingerprint,
                                     bool changed);

// "THE CERTIFICATE OF THE SERVER FTP.EXAMPLE.COM:21 IS NOT TRUSTED. NOTHING
// WAS SENT!"
QString CertificateRefusedMessage(const QString &server);

// The question before an SFTP server's host key that is not known yet is
// accepted: it names the server and shows the key's type and its
// fingerprint as OpenSSH prints it ("SHA256:...", kept as it is: base64
// tells upper from lower case).
QString UnknownHostKeyQuestion(const QString &server, const QString &type,
                               const QString &fingerprint);

// "THE HOST KEY OF THE SERVER SFTP.EXAMPLE.COM:22 IS NOT TRUSTED. NOTHING WAS
// SENT!"
QString HostKeyRefusedMessage(const QString &server);

// A host key that differs from the one known for the server, with the new
// key's type and fingerprint.
QString HostKeyChangedMessage(const QString &server, const QString &type,
                              const QString &fingerprint);

} // namespace vantrel
