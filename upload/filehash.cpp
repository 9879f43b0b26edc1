#include "upload/filehash.h"

#include <openssl/evp.h>
#include <zlib.h>

#include <algorithm>
#include <vector>

namespace vantrel::upload {

struct Hasher::State
{
    EVP_MD_CTX *context = nullptr;
    uLong crc = 0;
};

namespace {

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
        m_state->crc = crc32(0L, Z_NULL, 0);
}

void Hasher::update(const void *data, std::size_t size)
{
    m_length += static_cast<std::int64_t>(size);
    if (m_state->context) {
        EVP_DigestUpdate(m_state->context, data, size);
        return;
    }
    const auto *bytes = static_cast<const Bytef *>(data);
    // zlib takes at most a uInt at a time.
    while (size > 0) {
        const auto piece = static_cast<uInt>(std::min<std::size_t>(size, 1U << 30));
        m_state->crc = crc32(m_state->crc, bytes, piece);
        bytes += piece;
        size -= piece;
    }
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
