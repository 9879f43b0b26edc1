#pragma once

// SSH host keys of SFTP servers: the fingerprint as OpenSSH prints it
// ("SHA256:" and the digest in base64 without padding), the decision whether
// a key the server shows may be used, and where the user's own
// ~/.ssh/known_hosts is (only read, never written; the keys accepted in the
// program are kept by upload/truststore). Pure functions.

#include "upload/certtrust.h"

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace vantrel::upload {

inline constexpr const char *kAcceptedKeysFileName = "accepted-host-keys.txt";

// Server name -> fingerprint ("SHA256:...").
using AcceptedHostKeys = TrustedCertificates;

// "SHA256:" and the base64 of a SHA-256 digest (kFingerprintBytes), without
// the trailing "=".
std::string FormatHostKeyFingerprint(const unsigned char *digest);

// A host-key fingerprint as a user may give it: "SHA256:" (any case) and 43
// base64 characters, optionally padded with "=". Returns the form
// FormatHostKeyFingerprint gives, or nothing for anything else.
std::optional<std::string> NormalizeHostKeyFingerprint(std::string_view text);

// What OpenSSH's known_hosts says about the key the server shows.
enum class KnownHostsMatch {
    Same,      // the server is listed with this key
    Different, // the server is listed with another key of this type
    Missing,   // the server is not listed
};

enum class HostKeyVerdict {
    Trusted,
    Unknown, // ask the user
    Changed, // refuse: another key is known for the server
};

// The key `seen` may be used when known_hosts lists it, when it is the one
// accepted for the server (`accepted`, empty when none is), or when it is
// the one trusted for this connection only (`pinned`). A key that differs
// from the one known_hosts or the accepted one holds has changed.
HostKeyVerdict JudgeHostKey(KnownHostsMatch knownHosts, const std::string &accepted,
                            const std::string &pinned, const std::string &seen);

// "~/.ssh/known_hosts" of the user: HOME (USERPROFILE on Windows); empty
// when neither is set.
std::filesystem::path KnownHostsFile();

} // namespace vantrel::upload
