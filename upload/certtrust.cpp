#include "upload/certtrust.h"

#include "common/ascii.h"
#include "common/lines.h"

#include <cerrno>

namespace vantrel::upload {

namespace {

int HexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

} // namespace

std::string FormatFingerprint(const unsigned char *digest, std::size_t size)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(size * 3);
    for (std::size_t i = 0; i < size; ++i) {
        if (i > 0)
            out += ':';
        out += kHex[digest[i] >> 4];
        out += kHex[digest[i] & 0x0F];
    }
    return out;
}

std::optional<std::string> NormalizeFingerprint(std::string_view text)
{
    text = ascii::Trimmed(text);
    for (std::string_view prefix : {"sha256 fingerprint=", "sha2-256 fingerprint="}) {
        if (ascii::StartsWithNoCase(text, prefix)) {
            text.remove_prefix(prefix.size());
            break;
        }
    }
    const bool colons = text.find(':') != std::string_view::npos;
    const std::size_t expected = colons ? kFingerprintBytes * 3 - 1 : kFingerprintBytes * 2;
    if (text.size() != expected)
        return std::nullopt;
    unsigned char digest[kFingerprintBytes] = {};
    const std::size_t step = colons ? 3 : 2;
    for (std::size_t i = 0; i < kFingerprintBytes; ++i) {
        const std::size_t at = i * step;
        if (colons && i > 0 && text[at - 1] != ':')
            return std::nullopt;
        const int high = HexValue(text[at]);
        const int low = HexValue(text[at + 1]);
        if (high < 0 || low < 0)
            return std::nullopt;
        digest[i] = static_cast<unsigned char>(high * 16 + low);
    }
    return FormatFingerprint(digest, kFingerprintBytes);
}

TrustedCertificates ParseServerLines(std::string_view text, ValueCheck check)
{
    LineSplitter splitter(text.size() + 1);
    std::vector<std::string> lines = splitter.feed(text);
    if (std::optional<std::string> last = splitter.finish())
        lines.push_back(std::move(*last));
    TrustedCertificates values;
    for (const std::string &whole : lines) {
        const std::string_view line = ascii::Trimmed(whole);
        const std::size_t space = line.find(' ');
        if (space == 0 || space == std::string_view::npos)
            continue;
        if (const std::optional<std::string> value = check(line.substr(space + 1)))
            values[std::string(line.substr(0, space))] = *value;
    }
    return values;
}

std::string FormatServerLines(const TrustedCertificates &values)
{
    std::string text;
    for (const auto &[server, value] : values) {
        // A name that would break the line format is not kept.
        if (server.empty() || server.find_first_of(" \t\r\n") != std::string::npos)
            continue;
        text += server;
        text += ' ';
        text += value;
        text += '\n';
    }
    return text;
}

namespace {

constexpr std::size_t kLargestTrustFile = std::size_t{1} << 20;

platform::FileStatus ReadText(const std::filesystem::path &file, std::string &text)
{
    return platform::ReadFileInPieces(file, [&text](std::string_view piece) {
        text += piece;
        // A trust file is small; anything far larger is not one.
        return text.size() < kLargestTrustFile;
    });
}

} // namespace

TrustedCertificates ReadServerLines(const std::filesystem::path &file, ValueCheck check)
{
    std::string text;
    if (!ReadText(file, text).ok())
        return {};
    return ParseServerLines(text, check);
}

platform::FileStatus SetServerLine(const std::filesystem::path &file, const std::string &server,
                                   const std::string &value, ValueCheck check)
{
    std::string text;
    const platform::FileStatus read = ReadText(file, text);
    // A file that is there but cannot be read is not replaced: the lines it
    // holds would be lost.
    if (!read.ok() && read.error != ENOENT)
        return read;
    TrustedCertificates values = ParseServerLines(read.ok() ? text : std::string(), check);
    if (value.empty())
        values.erase(server);
    else
        values[server] = value;
    return platform::WriteWholeFile(file, FormatServerLines(values));
}

} // namespace vantrel::upload
