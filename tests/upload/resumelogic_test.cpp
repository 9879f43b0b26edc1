// What a resumed upload decides without a server: which digest to ask a
// server for after its FEAT reply, how to read the digest in its answer, and
// the records that let a killed run's upload be taken up.

#include "upload/serverhash.h"
#include "upload/unfinishedupload.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>

namespace vantrel::upload {
namespace {

TEST(ServerHash, TheStrongestAlgorithmBothSidesKnow)
{
    const struct
    {
        std::vector<std::string> feat;
        const char *command; // nullptr: none
        HashAlgorithm algorithm;
        const char *select;
    } cases[] = {
        {{"211-Features:", " HASH SHA-256*;SHA-1;MD5", "211 End"},
         "HASH",
         HashAlgorithm::Sha256,
         ""},
        {{" HASH SHA-1*;SHA-256;MD5"}, "HASH", HashAlgorithm::Sha256, "OPTS HASH SHA-256"},
        {{" hash md5*;crc32"}, "HASH", HashAlgorithm::Md5, ""},
        // A stronger X-command beats a weaker HASH.
        {{" HASH MD5*", " XSHA256"}, "XSHA256", HashAlgorithm::Sha256, ""},
        {{" XCRC", " MDTM"}, "XCRC", HashAlgorithm::Crc32, ""},
        {{" HASH BLAKE2*", " MDTM", " REST STREAM"}, nullptr, HashAlgorithm::Sha256, ""},
        {{"211 No features"}, nullptr, HashAlgorithm::Sha256, ""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.feat.front());
        const std::optional<ServerHash> hash = ChooseServerHash(c.feat);
        ASSERT_EQ(hash.has_value(), c.command != nullptr);
        if (!hash)
            continue;
        EXPECT_EQ(hash->command, c.command);
        EXPECT_EQ(hash->algorithm, c.algorithm);
        EXPECT_EQ(hash->select, c.select);
    }
}

TEST(ServerHash, TheDigestInTheAnswer)
{
    const std::string sha256(64, 'a');
    const struct
    {
        std::string reply;
        HashAlgorithm algorithm;
        std::optional<std::string> digest;
    } cases[] = {
        {"213 SHA-256 0-99 " + std::string(64, 'A') + " clip.mp4", HashAlgorithm::Sha256, sha256},
        {"250 " + sha256, HashAlgorithm::Sha256, sha256},
        {"250 1A2B3C4D", HashAlgorithm::Crc32, "1a2b3c4d"},
        // A name that looks like a digest comes after the digest itself.
        {"213 MD5 0-9 " + std::string(32, 'b') + " " + std::string(32, 'c'), HashAlgorithm::Md5,
         std::string(32, 'b')},
        {"550 No such file", HashAlgorithm::Sha256, std::nullopt},
        {"213 SHA-256 0-99 " + std::string(63, 'a'), HashAlgorithm::Sha256, std::nullopt},
        {"213 SHA-256 0-99 " + std::string(63, 'a') + "g", HashAlgorithm::Sha256, std::nullopt},
    };
    for (const auto &c : cases)
        EXPECT_EQ(DigestInReply(c.reply, c.algorithm), c.digest) << c.reply;
}

TEST(UnfinishedUploads, OneRecordForEachUploadKeptUntilItIsForgotten)
{
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path()
        / ("vantrel-unfinished-" + std::to_string(std::random_device()()));
    ASSERT_TRUE(std::filesystem::create_directory(folder));
    const UnfinishedUploads uploads(folder);
    // Names with spaces, tabs and non-ASCII are kept apart and whole.
    const UnfinishedUpload first{"host:21", "videos/.a b.mp4.upload", "/home/ann/a b.mp4",
                                 1000,      1700000000123456789,      "SHA-256",
                                 400,       std::string(64, 'f')};
    UnfinishedUpload second = first;
    second.localPath = "/home/ann/\tété.mp4";
    second.sent = 10;
    ASSERT_TRUE(uploads.Save(first).ok());
    ASSERT_TRUE(uploads.Save(second).ok());
    const std::optional<UnfinishedUpload> found =
        uploads.Find(first.server, first.remotePath, first.localPath);
    ASSERT_TRUE(found.has_value());
    EXPECT_EQ(found->size, 1000);
    EXPECT_EQ(found->modified, 1700000000123456789);
    EXPECT_EQ(found->algorithm, "SHA-256");
    EXPECT_EQ(found->sent, 400);
    EXPECT_EQ(found->digest, first.digest);
    EXPECT_EQ(uploads.Find(second.server, second.remotePath, second.localPath)->sent, 10);
    EXPECT_FALSE(uploads.Find("other:21", first.remotePath, first.localPath));

    ASSERT_TRUE(uploads.Forget(first.server, first.remotePath, first.localPath).ok());
    EXPECT_FALSE(uploads.Find(first.server, first.remotePath, first.localPath));
    EXPECT_TRUE(uploads.Find(second.server, second.remotePath, second.localPath));
    // A line that is no record is passed over.
    std::ofstream(folder / kUnfinishedUploadsFileName, std::ios::app) << "a|b|c 1 2 SHA-256 3\n";
    EXPECT_FALSE(uploads.Find("a", "b", "c"));
    std::filesystem::remove_all(folder);
}

} // namespace
} // namespace vantrel::upload
