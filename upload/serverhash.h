#pragma once

// What a server offers to hash a file it holds, from its FEAT reply: the
// HASH command (with its algorithms, one chosen by OPTS HASH) or one of the
// older X-commands (XSHA256, XSHA1, XMD5, XCRC). The strongest algorithm both
// sides know is used. Pure functions.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vantrel::upload {

enum class HashAlgorithm { Sha256, Sha1, Md5, Crc32 };

// "SHA-256", "SHA-1", "MD5", "CRC32".
const char *HashName(HashAlgorithm algorithm);
// Hex digits of a digest of the algorithm.
std::size_t HashHexLength(HashAlgorithm algorithm);

struct ServerHash
{
    HashAlgorithm algorithm = HashAlgorithm::Sha256;
    // "HASH" for the HASH command, else the X-command ("XSHA256", ...).
    std::string command;
    // The OPTS command that selects the algorithm first; empty when it is
    // the server's default already or there is none.
    std::string select;
};

// The hash to ask for, after the lines of a FEAT reply ("211-Features:",
// " HASH SHA-256*;SHA-1;MD5", " XCRC", "211 End"); nothing when the server
// offers none that is known here.
std::optional<ServerHash> ChooseServerHash(const std::vector<std::string> &featLines);

// The digest in the reply to the hash command (for HASH "213 SHA-256 0-99
// 3a7b... name"; for the X-commands "250 3a7b..."), lower case; nothing when
// the reply holds none of the algorithm's length.
std::optional<std::string> DigestInReply(std::string_view reply, HashAlgorithm algorithm);

} // namespace vantrel::upload
