#include "upload/sftphostkey.h"

#include <cerrno>
#include <cstdlib>

namespace vantrel::upload {

namespace {

constexpr std::string_view kPrefix = "SHA256:";
// 32 bytes in base64 without padding.
constexpr std::size_t kBase64Length = 43;
constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr std::size_t kLargestKeysFile = std::size_t{1} << 20;

bool IsBase64(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+'
           || c == '/';
}

std::string_view Trimmed(std::string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t' || text.front() == '\r'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r'))
        text.remove_suffix(1);
    return text;
}

platform::FileStatus ReadText(const std::filesystem::path &file, std::string &text)
{
    return platform::ReadFileInPieces(file, [&text](std::string_view piece) {
        text += piece;
        return text.size() < kLargestKeysFile;
    });
}

} // namespace

std::string FormatHostKeyFingerprint(const unsigned char *digest)
{
    std::string out(kPrefix);
    std::size_t i = 0;
    for (; i + 3 <= kFingerprintBytes; i += 3) {
        const unsigned value =
            (unsigned{digest[i]} << 16) | (unsigned{digest[i + 1]} << 8) | unsigned{digest[i + 2]};
        for (int shift = 18; shift >= 0; shift -= 6)
            out += kAlphabet[(value >> shift) & 0x3F];
    }
    // 32 = 30 + 2: the last two bytes give three characters.
    const unsigned value = (unsigned{digest[i]} << 16) | (unsigned{digest[i + 1]} << 8);
    out += kAlphabet[(value >> 18) & 0x3F];
    out += kAlphabet[(value >> 12) & 0x3F];
    out += kAlphabet[(value >> 6) & 0x3F];
    return out;
}

std::optional<std::string> NormalizeHostKeyFingerprint(std::string_view text)
{
    text = Trimmed(text);
    if (text.size() < kPrefix.size())
        return std::nullopt;
    for (std::size_t i = 0; i < kPrefix.size(); ++i) {
        char c = text[i];
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
        if (c != kPrefix[i])
            return std::nullopt;
    }
    text.remove_prefix(kPrefix.size());
    if (text.size() == kBase64Length + 1 && text.back() == '=')
        text.remove_suffix(1);
    if (text.size() != kBase64Length)
        return std::nullopt;
    for (char c : text) {
        if (!IsBase64(c))
            return std::nullopt;
    }
    // The last character carries 2 bits of the digest, the other 4 are zero.
    const char last = text.back();
    const auto index = static_cast<std::size_t>(std::string_view(kAlphabet).find(last));
    if ((index & 0x03) != 0)
        return std::nullopt;
    return std::string(kPrefix) + std::string(text);
}

HostKeyVerdict JudgeHostKey(KnownHostsMatch knownHosts, const std::string &accepted,
                            const std::string &pinned, const std::string &seen)
{
    if (seen.empty())
        return HostKeyVerdict::Unknown;
    if (knownHosts == KnownHostsMatch::Same || (!pinned.empty() && pinned == seen))
        return HostKeyVerdict::Trusted;
    if (knownHosts == KnownHostsMatch::Different)
        return HostKeyVerdict::Changed;
    if (!accepted.empty())
        return accepted == seen ? HostKeyVerdict::Trusted : HostKeyVerdict::Changed;
    return HostKeyVerdict::Unknown;
}

std::filesystem::path KnownHostsFile()
{
#ifdef _WIN32
    const char *home = std::getenv("USERPROFILE");
#else
    const char *home = std::getenv("HOME");
#endif
    if (!home || !*home)
        return {};
    return std::filesystem::path(home) / ".ssh" / "known_hosts";
}

AcceptedHostKeys ParseAcceptedKeys(std::string_view text)
{
    AcceptedHostKeys accepted;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        const std::string_view line = Trimmed(text.substr(0, end));
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        const std::size_t space = line.find(' ');
        if (space == 0 || space == std::string_view::npos)
            continue;
        if (const std::optional<std::string> fingerprint =
                NormalizeHostKeyFingerprint(line.substr(space + 1)))
            accepted[std::string(line.substr(0, space))] = *fingerprint;
    }
    return accepted;
}

AcceptedHostKeys ReadAcceptedKeys(const std::filesystem::path &file)
{
    std::string text;
    if (!ReadText(file, text).ok())
        return {};
    return ParseAcceptedKeys(text);
}

platform::FileStatus AcceptHostKey(const std::filesystem::path &file, const std::string &server,
                                   const std::string &fingerprint)
{
    std::string text;
    const platform::FileStatus read = ReadText(file, text);
    // A file that is there but cannot be read is not replaced: the keys it
    // holds would be lost.
    if (!read.ok() && read.error != ENOENT)
        return read;
    AcceptedHostKeys accepted = ParseAcceptedKeys(read.ok() ? text : std::string());
    accepted[server] = fingerprint;
    return platform::WriteWholeFile(file, FormatTrustFile(accepted));
}

} // namespace vantrel::upload
