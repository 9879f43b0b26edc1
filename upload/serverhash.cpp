#include "upload/serverhash.h"

#include "common/ascii.h"

#include <algorithm>
#include <iterator>

namespace vantrel::upload {

namespace {

struct AlgorithmInfo
{
    HashAlgorithm algorithm;
    const char *name;     // in HASH's list and OPTS HASH
    const char *xCommand; // the older command of its own
    std::size_t hexLength;
};

// Strongest first.
constexpr AlgorithmInfo kAlgorithms[] = {
    {HashAlgorithm::Sha256, "SHA-256", "XSHA256", 64},
    {HashAlgorithm::Sha1, "SHA-1", "XSHA1", 40},
    {HashAlgorithm::Md5, "MD5", "XMD5", 32},
    {HashAlgorithm::Crc32, "CRC32", "XCRC", 8},
};

const AlgorithmInfo &InfoOf(HashAlgorithm algorithm)
{
    return *std::find_if(
        std::begin(kAlgorithms), std::end(kAlgorithms),
        [algorithm](const AlgorithmInfo &info) { return info.algorithm == algorithm; });
}

bool SameNoCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return ascii::ToLower(x) == ascii::ToLower(y);
           });
}

// The feature line's name and its parameters ("HASH", "SHA-256*;SHA-1").
std::pair<std::string_view, std::string_view> Feature(std::string_view line)
{
    line = ascii::Trimmed(line);
    const std::size_t space = line.find(' ');
    if (space == std::string_view::npos)
        return {line, {}};
    return {line.substr(0, space), ascii::Trimmed(line.substr(space + 1))};
}

bool IsHex(char c)
{
    return ascii::IsDigit(c) || (ascii::ToLower(c) >= 'a' && ascii::ToLower(c) <= 'f');
}

} // namespace

const char *HashName(HashAlgorithm algorithm)
{
    return InfoOf(algorithm).name;
}

std::size_t HashHexLength(HashAlgorithm algorithm)
{
    return InfoOf(algorithm).hexLength;
}

std::optional<ServerHash> ChooseServerHash(const std::vector<std::string> &featLines)
{
    // The HASH command's algorithms, and which is its default.
    std::vector<std::string_view> listed;
    std::string_view byDefault;
    std::vector<std::string_view> xCommands;
    for (const std::string &line : featLines) {
        // Reply codes ("211-Features:", "211 End") are not features.
        if (line.size() >= 3 && ascii::IsDigit(line[0]))
            continue;
        const auto [name, parameters] = Feature(line);
        if (!SameNoCase(name, "HASH")) {
            xCommands.push_back(name);
            continue;
        }
        std::string_view rest = parameters;
        while (!rest.empty()) {
            const std::size_t end = rest.find(';');
            std::string_view item = ascii::Trimmed(rest.substr(0, end));
            rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
            if (!item.empty() && item.back() == '*') {
                item.remove_suffix(1);
                byDefault = item;
            }
            listed.push_back(item);
        }
    }
    for (const AlgorithmInfo &info : kAlgorithms) {
        const auto named = [&info](std::string_view item) {
            return SameNoCase(item, info.name);
        };
        if (std::any_of(listed.begin(), listed.end(), named)) {
            ServerHash hash{info.algorithm, "HASH", {}};
            if (!named(byDefault))
                hash.select = std::string("OPTS HASH ") + info.name;
            return hash;
        }
        const auto command = [&info](std::string_view item) {
            return SameNoCase(item, info.xCommand);
        };
        if (std::any_of(xCommands.begin(), xCommands.end(), command))
            return ServerHash{info.algorithm, info.xCommand, {}};
    }
    return std::nullopt;
}

std::optional<std::string> DigestInReply(std::string_view reply, HashAlgorithm algorithm)
{
    const std::size_t length = HashHexLength(algorithm);
    if (reply.size() < 4 || reply[0] != '2')
        return std::nullopt;
    std::string_view rest = reply.substr(3);
    while (!rest.empty()) {
        const std::size_t start = rest.find_first_not_of(' ');
        if (start == std::string_view::npos)
            break;
        rest.remove_prefix(start);
        const std::size_t end = std::min(rest.find(' '), rest.size());
        const std::string_view word = rest.substr(0, end);
        rest.remove_prefix(end);
        if (word.size() == length && std::all_of(word.begin(), word.end(), IsHex)) {
            std::string digest(word);
            for (char &c : digest)
                c = ascii::ToLower(c);
            return digest;
        }
    }
    return std::nullopt;
}

} // namespace vantrel::upload
