#pragma once

// Server certificates the user has chosen to trust although they could not
// be verified: SHA-256 fingerprints in the form `openssl x509 -fingerprint
// -sha256` prints them, and the format of the files that keep one value for
// each server ("host:port"; upload/truststore keeps them). Pure functions,
// apart from the files' reading and writing.

#include "platform/filestore.h"

#include <cstddef>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace vantrel::upload {

inline constexpr const char *kTrustFileName = "trusted-servers.txt";
inline constexpr std::size_t kFingerprintBytes = 32;

// Server name -> fingerprint ("AB:CD:...", upper case).
using TrustedCertificates = std::map<std::string, std::string>;

// Upper-case hex pairs joined by ":".
std::string FormatFingerprint(const unsigned char *digest, std::size_t size);

// A SHA-256 fingerprint as a user may give it: hex in either case, with or
// without ":" between the pairs, optionally after "sha256 Fingerprint=" as
// openssl prints it. Returns the form FormatFingerprint gives, or nothing
// for anything else (another length, other characters, misplaced colons).
std::optional<std::string> NormalizeFingerprint(std::string_view text);

// The format of the trust file and of the accepted host keys: one
// "server value" pair a line, each value accepted (and normalized) or refused
// by `check`. Lines that are not such a pair are skipped; a later line for the
// same server wins. Reading gives none when the file does not exist or cannot
// be read; setting adds or replaces one server's line (takes it out, for an
// empty value) and keeps the others.
using ValueCheck = std::optional<std::string> (*)(std::string_view value);
TrustedCertificates ParseServerLines(std::string_view text, ValueCheck check);
TrustedCertificates ReadServerLines(const std::filesystem::path &file, ValueCheck check);
platform::FileStatus SetServerLine(const std::filesystem::path &file, const std::string &server,
                                   const std::string &value, ValueCheck check);

// The text of such a file: one "server value" line for each server, in the
// servers' order. A server name that would break the format is left out.
std::string FormatServerLines(const TrustedCertificates &values);

} // namespace vantrel::upload
