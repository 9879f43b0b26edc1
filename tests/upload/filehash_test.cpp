// The digests an upload computes of what it sends, against published test
// vectors, and the same digest however the bytes are cut up or re-read.

#include "upload/filehash.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace vantrel::upload {
namespace {

TEST(Hasher, KnownDigestsWholeOrInPieces)
{
    const struct
    {
        HashAlgorithm algorithm;
        const char *digest; // of "123456789"
    } cases[] = {
        {HashAlgorithm::Sha256, "15e2b0d3c33891ebb0f1ef609ec419420c20e320ce94c65fbc8c3312448eb225"},
        {HashAlgorithm::Sha1, "f7c3bc1d808e04732adf679965ccc34ca7ae3441"},
        {HashAlgorithm::Md5, "25f9e794323b453885f5181f1b624d0b"},
        {HashAlgorithm::Crc32, "cbf43926"},
    };
    const std::string text = "123456789";
    for (const auto &c : cases) {
        SCOPED_TRACE(HashName(c.algorithm));
        Hasher whole(c.algorithm);
        whole.update(text.data(), text.size());
        EXPECT_EQ(whole.hex(), c.digest);
        EXPECT_EQ(whole.hex(), c.digest); // asking does not end it
        Hasher pieces(c.algorithm);
        pieces.update(text.data(), 4);
        pieces.update(text.data() + 4, 5);
        EXPECT_EQ(pieces.hex(), c.digest);
        EXPECT_EQ(pieces.length(), 9);

        // Taken up again from a file: the first bytes re-read, then on.
        std::FILE *file = std::tmpfile();
        ASSERT_NE(file, nullptr);
        std::fwrite(text.data(), 1, text.size(), file);
        ASSERT_TRUE(pieces.restartFrom(file, 4));
        EXPECT_EQ(std::ftell(file), 4);
        ASSERT_TRUE(pieces.continueTo(file, 9));
        EXPECT_EQ(pieces.hex(), c.digest);
        EXPECT_FALSE(pieces.continueTo(file, 10)); // past the end
        std::fclose(file);
    }
}

} // namespace
} // namespace vantrel::upload
