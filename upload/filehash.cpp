#include "upload/filehash.h"

#include <openssl/evp.h>

#include <array>

#include <algorithm>
#include <vector>

namespace vantrel::upload {

struct Hasher::State
{
    EVP_MD_CTX *context = nullptr;
    std::uint32_t crc = 0;
};

namespace {

// CRC-32 as zip and XCRC compute it (reflected, polynomial 0xEDB88320), a
// byte at a time through a table.
constexpr std::array<std::uint32_t, 256> kCrcTable = [] {
    std::array<std::uint32_t, 256> table{};
    for (std::uint32_t n = 0; n < table.size(); ++n) {
        std::uint32_t c = n;
        for (int bit = 0; bit < 8; ++bit)
            c = (c & 1) ? 0xEDB88320U ^ (c >> 1) : c >> 1;
        table[n] = c;
    }
    return table;
}();

std::uint32_t UpdateCrc(std::uint32_t crc, const unsigned char *bytes, std::size_t size)
{
    crc = ~crc;
    for (std::size_t i = 0; i < size; ++i)
        crc = kCrcTable[(crc ^ bytes[i]) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

const EVP_MD *DigestOf(HashAlgorithm algorithm)
{
    switch (algorithm) {
    case HashAlgorithm::Sha256:
        return EVP_sha256();
    case HashAlgorithm::Sha1:
        return EVP_sha1();
    case HashAlgorithm::Md5:
        return EVP_md5();
    case HashAlgorithm::Crc32:
        break;
    }
    return nullptr;
}

std::string Hex(const unsigned char *bytes, std::size_t size)
{
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text;
    text.reserve(size * 2);
    for (std::size_t i = 0; i < size; ++i) {
        text += kDigits[bytes[i] >> 4];
        text += kDigits[bytes[i] & 0xF];
    }
    return text;
}

} // namespace

Hasher::Hasher(HashAlgorithm algorithm)
    : m_algorithm(algorithm)
    , m_state(std::make_unique<State>())
{
    if (DigestOf(algorithm))
        m_state->context = EVP_MD_CTX_new();
    reset();
}

Hasher::~Hasher()
{
    EVP_MD_CTX_free(m_state->context);
}

void Hasher::reset()
{
    m_length = 0;
    if (m_state->context)
        EVP_DigestInit_ex(m_state->context, DigestOf(m_algorithm), nullptr);
    else
        m_state->crc = 0;
}

void Hasher::update(const void *data, std::size_t size)
{
    m_length += static_cast<std::int64_t>(size);
    if (m_state->context) {
        EVP_DigestUpdate(m_state->context, data, size);
        return;
    }
    m_state->crc = UpdateCrc(m_state->crc, static_cast<const unsigned char *>(data), size);
}

std::string Hasher::hex() const
{
    if (!m_state->context) {
        const unsigned char bytes[4] = {static_cast<unsigned char>(m_state->crc >> 24),
                                        static_cast<unsigned char>(m_state->crc >> 16),
                                        static_cast<unsigned char>(m_state->crc >> 8),
                                        static_cast<unsigned char>(m_state->crc)};
        return Hex(bytes, sizeof bytes);
    }
    EVP_MD_CTX *copy = EVP_MD_CTX_new();
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    const bool done = copy && EVP_MD_CTX_copy_ex(copy, m_state->context) == 1
                      && EVP_DigestFinal_ex(copy, digest, &size) == 1;
    EVP_MD_CTX_free(copy);
    return done ? Hex(digest, size) : std::string();
}

bool Hasher::restartFrom(std::FILE *file, std::int64_t length)
{
    reset();
    return std::fseek(file, 0, SEEK_SET) == 0 && continueTo(file, length);
}

bool Hasher::continueTo(std::FILE *file, std::int64_t length)
{
    std::vector<char> buffer(std::size_t{1} << 20);
    while (m_length < length) {
        const auto wanted =
            static_cast<std::size_t>(std::min<std::int64_t>(length - m_length, buffer.size()));
        const std::size_t got = std::fread(buffer.data(), 1, wanted, file);
        if (got == 0)
            return false;
        update(buffer.data(), got);
    }
    return true;
}

} // namespace vantrel::upload
