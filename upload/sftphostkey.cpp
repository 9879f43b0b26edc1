#include "upload/sftphostkey.h"

#include "common/ascii.h"

#include <cstdlib>

namespace vantrel::upload {

namespace {

constexpr std::string_view kPrefix = "SHA256:";
// 32 bytes in base64 without padding.
constexpr std::size_t kBase64Length = 43;
constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

bool IsBase64(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+'
           || c == '/';
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
    text = ascii::Trimmed(text);
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

} // namespace vantrel::upload
