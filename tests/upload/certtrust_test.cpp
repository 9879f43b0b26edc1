// Fingerprints as users give them, and the trust file of the settings folder.

#include "upload/certtrust.h"
#include "upload/truststore.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <random>
#include <string>

namespace vantrel::upload {
namespace {

const std::string kCanonical = "69:9C:34:F0:D9:50:FB:48:5E:91:2B:71:DE:00:73:BD:97:64:6B:0F:62:"
                               "B8:3E:8F:45:DC:2F:01:DF:3F:FC:10";
const std::string kOther = "00:11:22:33:44:55:66:77:88:99:AA:BB:CC:DD:EE:FF:00:11:22:33:44:55:"
                           "66:77:88:99:AA:BB:CC:DD:EE:FF";

TEST(NormalizeFingerprint, AcceptsTheFormsUsersCopy)
{
    const std::string plain = "699c34f0d950fb485e912b71de0073bd97646b0f62b83e8f45dc2f01df3ffc10";
    for (const std::string &text :
         {kCanonical, plain,
          std::string(" 699C34F0D950FB485E912B71DE0073BD97646B0F62B83E8F45DC2F01DF3FFC10\n"),
          "sha256 Fingerprint=" + kCanonical, "SHA2-256 Fingerprint=" + kCanonical}) {
        SCOPED_TRACE(text);
        EXPECT_EQ(NormalizeFingerprint(text), kCanonical);
    }
}

TEST(NormalizeFingerprint, RefusesAnythingElse)
{
    for (const std::string &text :
         {std::string(), kCanonical.substr(3), kCanonical + ":00", "G9" + kCanonical.substr(2),
          "69:9C34:F0" + kCanonical.substr(10) + "::", kCanonical.substr(0, 94) + "X",
          std::string(64, 'z'), std::string(62, 'a')}) {
        SCOPED_TRACE(text);
        EXPECT_FALSE(NormalizeFingerprint(text).has_value());
    }
}

TEST(TrustFile, RoundTripsAndSkipsLinesItCannotRead)
{
    const TrustedCertificates trusted = {{"ftp.example.com:21", kCanonical}, {"[::1]:990", kOther}};
    EXPECT_EQ(ParseServerLines(FormatServerLines(trusted), NormalizeFingerprint), trusted);
    const TrustedCertificates read = ParseServerLines("garbage\n"
                                                      " host:21 "
                                                          + kOther
                                                          + "\r\n"
                                                            "host:21 not-a-fingerprint\n"
                                                            "other:21\n"
                                                            "host:21 "
                                                          + kCanonical,
                                                      NormalizeFingerprint);
    EXPECT_EQ(read, (TrustedCertificates{{"host:21", kCanonical}}));
}

TEST(TrustFile, TrustingOneServerKeepsTheOthers)
{
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path()
        / ("vantrel-certtrust-" + std::to_string(std::random_device()()));
    ASSERT_TRUE(std::filesystem::create_directory(folder));
    const TrustStore store(folder);
    const std::filesystem::path file = store.FileOf(IdentityKind::Certificate);
    EXPECT_EQ(file, folder / kTrustFileName);
    EXPECT_FALSE(store.Known(IdentityKind::Certificate, "a:21")); // not there yet
    const auto trust = [&](const std::string &server, const std::string &fingerprint) {
        return store.Remember({IdentityKind::Certificate, server, {}, fingerprint});
    };
    ASSERT_TRUE(trust("a:21", kCanonical).ok());
    ASSERT_TRUE(trust("b:21", kCanonical).ok());
    ASSERT_TRUE(trust("a:21", kOther).ok());
    EXPECT_EQ(ReadServerLines(file, NormalizeFingerprint),
              (TrustedCertificates{{"a:21", kOther}, {"b:21", kCanonical}}));
    EXPECT_EQ(store.Known(IdentityKind::Certificate, "a:21"), kOther);
    // The host keys are another file.
    EXPECT_FALSE(store.Known(IdentityKind::HostKey, "a:21"));
    std::filesystem::remove_all(folder);
}

} // namespace
} // namespace vantrel::upload
