#pragma once

// Server addresses and remote paths as libcurl wants them in an FTP URL.
// Pure functions.

#include <optional>
#include <string>
#include <string_view>

namespace vantrel::upload {

// How the connection is protected, after the scheme of the address.
enum class FtpSecurity {
    TlsIfOffered, // "ftp://" or none: AUTH TLS, clear text when refused
    ExplicitTls,  // "ftpes://": AUTH TLS, or no login at all
    ImplicitTls,  // "ftps://": TLS from the first byte, port 990 by default
    Sftp,         // "sftp://": SFTP over SSH, port 22 by default
};

inline constexpr int kImplicitTlsPort = 990;
inline constexpr int kSftpPort = 22;

struct FtpEndpoint
{
    std::string host; // without brackets
    int port = 21;
    bool ipv6 = false;
    FtpSecurity security = FtpSecurity::TlsIfOffered;
};

// Reads a server address as the user typed it: "host", "host:2121",
// "[::1]", "[::1]:2121", a bare IPv6 address ("::1"), each optionally with a
// leading "ftp://", "ftpes://", "ftps://" or "sftp://" and a trailing "/".
// Surrounding blanks are ignored. Without a port in the address,
// `defaultPort` is used, 990 for "ftps://" and 22 for "sftp://". Nothing is returned for a text
// that names no server (empty, another scheme, a path, user information, a bad port or a character
// no host name has).
std::optional<FtpEndpoint> ParseFtpAddress(std::string_view address, int defaultPort);

// "ftp://host:port/" ("ftps://" for implicit TLS, "sftp://" for SFTP), with
// IPv6 hosts in brackets.
std::string FtpServerUrl(const FtpEndpoint &endpoint);

// The server as certificates are trusted for it: "host:port", the host in
// lower case, IPv6 hosts in brackets.
std::string ServerName(const FtpEndpoint &endpoint);

// The URL path (after the server part's "/") that makes libcurl, with the
// no-CWD file method and the path taken as is, send `remotePath` (UTF-8)
// byte for byte: every byte but letters, digits, "-._~" and "/" is
// percent-encoded, and a leading "/" (an absolute path) becomes "%2F".
std::string FtpUrlPath(std::string_view remotePath);

// The same for an "sftp://" URL: libcurl takes a path after "~/" as relative
// to the login's home folder, and any other as absolute, so a relative
// `remotePath` gets "~/" in front and an absolute one keeps its "/" plain.
std::string SftpUrlPath(std::string_view remotePath);

// Whether a remote path can be sent at all: not empty, no control
// characters (the command line of FTP cannot carry them), and not ending in
// "/" (that names a folder, not a file).
bool IsSendableRemotePath(std::string_view remotePath);

// Whether a value would break the FTP command line it is sent on: a CR, an LF
// (which end a command, so the rest would be read as a command of its own)
// or a NUL.
bool BreaksCommandLine(std::string_view value);

} // namespace vantrel::upload
