// SSH host keys: OpenSSH's fingerprint form, the decision about a key the
// server shows, the accepted-keys file; and the "sftp://" address with its
// remote paths.

#include "upload/ftpaddress.h"
#include "upload/sftphostkey.h"
#include "upload/truststore.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace vantrel::upload {
namespace {

// SHA-256 of nothing, as `ssh-keygen -l` would print it for such a blob.
const unsigned char kEmptyDigest[kFingerprintBytes] = {
    0xe3, 0xb0, 0xc4, 0x42, 0x98, 0xfc, 0x1c, 0x14, 0x9a, 0xfb, 0xf4, 0xc8, 0x99, 0x6f, 0xb9, 0x24,
    0x27, 0xae, 0x41, 0xe4, 0x64, 0x9b, 0x93, 0x4c, 0xa4, 0x95, 0x99, 0x1b, 0x78, 0x52, 0xb8, 0x55};
const std::string kEmpty = "SHA256:47DEQpj8HBSa+/TImW+5JCeuQeRkm5NMpJWZG3hSuFU";

TEST(SftpHostKey, FingerprintIsBase64WithoutPadding)
{
    EXPECT_EQ(FormatHostKeyFingerprint(kEmptyDigest), kEmpty);
}

TEST(SftpHostKey, GivenFingerprintsAreNormalized)
{
    struct Case
    {
        const char *text;
        const char *normal; // nullptr: refused
    };
    const Case cases[] = {
        {"SHA256:47DEQpj8HBSa+/TImW+5JCeuQeRkm5NMpJWZG3hSuFU", kEmpty.c_str()},
        {" sha256:47DEQpj8HBSa+/TImW+5JCeuQeRkm5NMpJWZG3hSuFU= ", kEmpty.c_str()},
        {"47DEQpj8HBSa+/TImW+5JCeuQeRkm5NMpJWZG3hSuFU", nullptr},
        {"SHA256:47DEQpj8HBSa+/TImW+5JCeuQeRkm5NMpJWZG3hSuF", nullptr},
        {"SHA256:47DEQpj8HBSa+/TImW+5JCeuQeRkm5NMpJWZG3hSuF-", nullptr},
        // The last character carries only two bits.
        {"SHA256:47DEQpj8HBSa+/TImW+5JCeuQeRkm5NMpJWZG3hSuFV", nullptr},
        {"MD5:47DEQpj8HBSa+/TImW+5JCeuQeRkm5NMpJWZG3hSuFU", nullptr},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.text);
        const std::optional<std::string> normal = NormalizeHostKeyFingerprint(c.text);
        if (c.normal) {
            ASSERT_TRUE(normal);
            EXPECT_EQ(*normal, c.normal);
        } else {
            EXPECT_FALSE(normal);
        }
    }
}

TEST(SftpHostKey, Verdicts)
{
    const std::string seen = kEmpty;
    const std::string other = "SHA256:" + std::string(43, 'A');
    struct Case
    {
        std::string accepted;
        std::string pinned;
        KnownHostsMatch knownHosts;
        HostKeyVerdict verdict;
    };
    const Case cases[] = {
        {{}, {}, KnownHostsMatch::Same, HostKeyVerdict::Trusted},
        {other, {}, KnownHostsMatch::Same, HostKeyVerdict::Trusted},
        {{}, {}, KnownHostsMatch::Different, HostKeyVerdict::Changed},
        {seen, {}, KnownHostsMatch::Different, HostKeyVerdict::Changed},
        {{}, {}, KnownHostsMatch::Missing, HostKeyVerdict::Unknown},
        {seen, {}, KnownHostsMatch::Missing, HostKeyVerdict::Trusted},
        {other, {}, KnownHostsMatch::Missing, HostKeyVerdict::Changed},
        {{}, seen, KnownHostsMatch::Missing, HostKeyVerdict::Trusted},
        {{}, other, KnownHostsMatch::Missing, HostKeyVerdict::Unknown},
        // The one the user has just said Yes to, over an older one.
        {other, seen, KnownHostsMatch::Missing, HostKeyVerdict::Trusted},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(static_cast<int>(&c - cases));
        EXPECT_EQ(JudgeHostKey(c.knownHosts, c.accepted, c.pinned, seen), c.verdict);
    }
    EXPECT_EQ(JudgeHostKey(KnownHostsMatch::Same, {}, {}, {}), HostKeyVerdict::Unknown);
}

TEST(SftpHostKey, AcceptedKeysFileKeepsOneKeyAServer)
{
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / "vantrel-sftphostkey-test";
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    const std::filesystem::path file = folder / kAcceptedKeysFileName;
    const std::string other = "SHA256:" + std::string(43, 'A');
    {
        std::ofstream out(file);
        out << "a.example:22 " << other << "\nnot a line\nb.example:2222 SHA256:bad\n";
    }
    const TrustStore store(folder);
    ASSERT_EQ(store.FileOf(IdentityKind::HostKey), file);
    ASSERT_TRUE(store.Remember({IdentityKind::HostKey, "b.example:2222", "ED25519", kEmpty}).ok());
    ASSERT_TRUE(store.Remember({IdentityKind::HostKey, "a.example:22", "ED25519", kEmpty}).ok());
    const AcceptedHostKeys keys = ReadServerLines(file, NormalizeHostKeyFingerprint);
    EXPECT_EQ(keys, (AcceptedHostKeys{{"a.example:22", kEmpty}, {"b.example:2222", kEmpty}}));
    std::filesystem::remove_all(folder);
    EXPECT_TRUE(ReadServerLines(file, NormalizeHostKeyFingerprint).empty());
    EXPECT_FALSE(store.Known(IdentityKind::HostKey, "a.example:22"));
}

TEST(SftpAddress, SchemePortAndPaths)
{
    const std::optional<FtpEndpoint> plain = ParseFtpAddress("sftp://Host.example", 21);
    ASSERT_TRUE(plain);
    EXPECT_EQ(plain->security, FtpSecurity::Sftp);
    EXPECT_EQ(plain->port, 22);
    EXPECT_EQ(FtpServerUrl(*plain), "sftp://Host.example:22/");
    const std::optional<FtpEndpoint> ported = ParseFtpAddress("SFTP://[::1]:2222/", 21);
    ASSERT_TRUE(ported);
    EXPECT_EQ(FtpServerUrl(*ported), "sftp://[::1]:2222/");
    EXPECT_EQ(ServerName(*ported), "[::1]:2222");

    struct Case
    {
        const char *remote;
        const char *urlPath;
    };
    const Case cases[] = {
        {"clip.mp4", "~/clip.mp4"},
        {"my folder/é #%.mp4", "~/my%20folder/%C3%A9%20%23%25.mp4"},
        {"/var/www/a b", "var/www/a%20b"},
        {"//net/x", "/net/x"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(SftpUrlPath(c.remote), c.urlPath) << c.remote;
}

} // namespace
} // namespace vantrel::upload
