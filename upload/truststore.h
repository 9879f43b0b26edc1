#pragma once

// What the user has said about servers whose identity passed no check of its
// own: certificates trusted although they cannot be verified
// ("trusted-servers.txt") and SFTP host keys accepted although
// ~/.ssh/known_hosts does not hold them ("accepted-host-keys.txt"), one for
// each server ("host:port"), in the settings folder. The one place both are
// kept: every answer is read from the files, so that another copy of the
// program, or vantrel-cli, sees a new one at once.

#include "platform/filestore.h"

#include <filesystem>
#include <optional>
#include <string>

namespace vantrel::upload {

enum class IdentityKind { Certificate, HostKey };

// What a server showed to prove who it is.
struct ServerIdentity
{
    IdentityKind kind = IdentityKind::Certificate;
    std::string server;      // "host:port" (upload::ServerName)
    std::string type;        // of a host key: "ED25519", "RSA", ...
    std::string fingerprint; // SHA-256: "AB:CD:..." or "SHA256:..."
};

class TrustStore
{
public:
    // The files in `folder`; an empty folder keeps nothing.
    explicit TrustStore(std::filesystem::path folder = {});

    // The fingerprint trusted for the server, if any.
    std::optional<std::string> Known(IdentityKind kind, const std::string &server) const;

    // Trusts `identity` for its server from now on, in place of any other,
    // keeping the other servers' lines.
    platform::FileStatus Remember(const ServerIdentity &identity) const;

    // The file that keeps identities of `kind`.
    std::filesystem::path FileOf(IdentityKind kind) const;

private:
    std::filesystem::path m_folder;
};

} // namespace vantrel::upload
