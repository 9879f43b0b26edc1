#include "upload/ftpaddress.h"

#include "common/ascii.h"

#include <algorithm>

namespace vantrel::upload {

namespace {

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

bool IsAsciiAlnum(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

std::optional<int> ParsePort(std::string_view digits)
{
    if (digits.empty() || digits.size() > 5)
        return std::nullopt;
    int port = 0;
    for (char c : digits) {
        if (c < '0' || c > '9')
            return std::nullopt;
        port = port * 10 + (c - '0');
    }
    if (port < 1 || port > 65535)
        return std::nullopt;
    return port;
}

// Letters, digits, "-", "_", "." and any non-ASCII byte (international names
// are converted by libcurl).
bool IsHostName(std::string_view host)
{
    if (host.empty())
        return false;
    return std::all_of(host.begin(), host.end(), [](char c) {
        return IsAsciiAlnum(c) || c == '-' || c == '_' || c == '.'
               || static_cast<unsigned char>(c) >= 0x80;
    });
}

// Hex digits, ":" and "." (an embedded IPv4 part), then optionally "%" and a
// zone name of letters and digits.
bool IsIpv6Literal(std::string_view host)
{
    const std::size_t percent = host.find('%');
    const std::string_view address = host.substr(0, percent);
    if (address.find(':') == std::string_view::npos)
        return false;
    const bool addressOk = std::all_of(address.begin(), address.end(), [](char c) {
        return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F')
               || c == ':' || c == '.';
    });
    if (!addressOk)
        return false;
    if (percent == std::string_view::npos)
        return true;
    const std::string_view zone = host.substr(percent + 1);
    return !zone.empty() && std::all_of(zone.begin(), zone.end(), [](char c) {
        return IsAsciiAlnum(c) || c == '-' || c == '_' || c == '.';
    });
}

void AppendPercentEncoded(std::string &out, unsigned char byte)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    out += '%';
    out += kHex[byte >> 4];
    out += kHex[byte & 0x0F];
}

} // namespace

std::optional<FtpEndpoint> ParseFtpAddress(std::string_view address, int defaultPort)
{
    if (defaultPort < 1 || defaultPort > 65535)
        return std::nullopt;
    while (!address.empty() && IsBlank(address.front()))
        address.remove_prefix(1);
    while (!address.empty() && IsBlank(address.back()))
        address.remove_suffix(1);
    FtpSecurity security = FtpSecurity::TlsIfOffered;
    if (ascii::StartsWithNoCase(address, "ftp://")) {
        address.remove_prefix(6);
    } else if (ascii::StartsWithNoCase(address, "ftpes://")) {
        address.remove_prefix(8);
        security = FtpSecurity::ExplicitTls;
    } else if (ascii::StartsWithNoCase(address, "ftps://")) {
        address.remove_prefix(7);
        security = FtpSecurity::ImplicitTls;
        defaultPort = kImplicitTlsPort;
    } else if (ascii::StartsWithNoCase(address, "sftp://")) {
        address.remove_prefix(7);
        security = FtpSecurity::Sftp;
        defaultPort = kSftpPort;
    } else if (address.find("://") != std::string_view::npos) {
        return std::nullopt;
    }
    while (!address.empty() && address.back() == '/')
        address.remove_suffix(1);
    if (address.empty() || address.find_first_of("/@") != std::string_view::npos)
        return std::nullopt;

    FtpEndpoint endpoint;
    endpoint.port = defaultPort;
    endpoint.security = security;
    if (address.front() == '[') {
        const std::size_t close = address.find(']');
        if (close == std::string_view::npos)
            return std::nullopt;
        const std::string_view host = address.substr(1, close - 1);
        const std::string_view rest = address.substr(close + 1);
        if (!IsIpv6Literal(host))
            return std::nullopt;
        if (!rest.empty()) {
            if (rest.front() != ':')
                return std::nullopt;
            const std::optional<int> port = ParsePort(rest.substr(1));
            if (!port)
                return std::nullopt;
            endpoint.port = *port;
        }
        endpoint.host = std::string(host);
        endpoint.ipv6 = true;
        return endpoint;
    }

    const auto colons = std::count(address.begin(), address.end(), ':');
    if (colons > 1) {
        if (!IsIpv6Literal(address))
            return std::nullopt;
        endpoint.host = std::string(address);
        endpoint.ipv6 = true;
        return endpoint;
    }
    std::string_view host = address;
    if (colons == 1) {
        const std::size_t colon = address.find(':');
        host = address.substr(0, colon);
        const std::optional<int> port = ParsePort(address.substr(colon + 1));
        if (!port)
            return std::nullopt;
        endpoint.port = *port;
    }
    if (!IsHostName(host))
        return std::nullopt;
    endpoint.host = std::string(host);
    return endpoint;
}

std::string FtpServerUrl(const FtpEndpoint &endpoint)
{
    std::string url = endpoint.security == FtpSecurity::ImplicitTls ? "ftps://"
                      : endpoint.security == FtpSecurity::Sftp      ? "sftp://"
                                                                    : "ftp://";
    if (endpoint.ipv6) {
        url += '[';
        for (char c : endpoint.host) {
            if (c == '%')
                url += "%25";
            else
                url += c;
        }
        url += ']';
    } else {
        url += endpoint.host;
    }
    url += ':';
    url += std::to_string(endpoint.port);
    url += '/';
    return url;
}

std::string ServerName(const FtpEndpoint &endpoint)
{
    std::string host = endpoint.host;
    std::transform(host.begin(), host.end(), host.begin(), ascii::ToLower);
    std::string name = endpoint.ipv6 ? "[" + host + "]" : host;
    name += ':';
    name += std::to_string(endpoint.port);
    return name;
}

std::string FtpUrlPath(std::string_view remotePath)
{
    std::string out;
    out.reserve(remotePath.size() * 3);
    for (std::size_t i = 0; i < remotePath.size(); ++i) {
        const char c = remotePath[i];
        // A leading "/" is encoded: libcurl then starts at the root rather
        // than at the login folder.
        const bool plain =
            IsAsciiAlnum(c) || c == '-' || c == '.' || c == '_' || c == '~' || (c == '/' && i > 0);
        if (plain)
            out += c;
        else
            AppendPercentEncoded(out, static_cast<unsigned char>(c));
    }
    return out;
}

std::string SftpUrlPath(std::string_view remotePath)
{
    if (!remotePath.empty() && remotePath.front() == '/') {
        // The server URL ends in "/" already.
        remotePath.remove_prefix(1);
        std::string out = FtpUrlPath(remotePath);
        // A second "/" at the start must stay one too.
        if (out.rfind("%2F", 0) == 0)
            out.replace(0, 3, "/");
        return out;
    }
    return "~/" + FtpUrlPath(remotePath);
}

bool IsSendableRemotePath(std::string_view remotePath)
{
    if (remotePath.empty() || remotePath.back() == '/')
        return false;
    return std::none_of(remotePath.begin(), remotePath.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte < 0x20 || byte == 0x7F;
    });
}

bool BreaksCommandLine(std::string_view value)
{
    return value.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

} // namespace vantrel::upload
