#pragma once

// A digest of the bytes an upload sends, computed as they are read, so that
// it can be held against the one the server computes of what it stored.

#include "upload/serverhash.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

namespace vantrel::upload {

class Hasher
{
public:
    explicit Hasher(HashAlgorithm algorithm);
    ~Hasher();
    Hasher(const Hasher &) = delete;
    Hasher &operator=(const Hasher &) = delete;

    HashAlgorithm algorithm() const { return m_algorithm; }
    // Bytes taken since the last reset.
    std::int64_t length() const { return m_length; }

    void reset();
    void update(const void *data, std::size_t size);
    // The digest of what was taken so far, lower-case hex; taking more
    // afterwards goes on from there.
    std::string hex() const;

    // Starts again over the first `length` bytes of `file`, read from its
    // start; its position is left after them. False when they cannot all be
    // read.
    bool restartFrom(std::FILE *file, std::int64_t length);
    // Goes on over the bytes of `file` from where it stands, until `length`
    // bytes have been taken in all.
    bool continueTo(std::FILE *file, std::int64_t length);

private:
    struct State;
    HashAlgorithm m_algorithm;
    std::unique_ptr<State> m_state;
    std::int64_t m_length = 0;
};

} // namespace vantrel::upload
