#include "upload/ftpaddress.h"
#include "upload/uploadpercent.h"

#include <gtest/gtest.h>

#include <climits>

namespace vantrel::upload {
namespace {

TEST(UploadPercent, HalvesGoToTheEvenNeighbour)
{
    EXPECT_EQ(UploadPercent(1, 8), 12);  // 12.5
    EXPECT_EQ(UploadPercent(3, 8), 38);  // 37.5
    EXPECT_EQ(UploadPercent(5, 8), 62);  // 62.5
    EXPECT_EQ(UploadPercent(7, 8), 88);  // 87.5
    EXPECT_EQ(UploadPercent(1, 200), 0); // 0.5
    EXPECT_EQ(UploadPercent(3, 200), 2); // 1.5
    EXPECT_EQ(UploadPercent(1, 3), 33);
    EXPECT_EQ(UploadPercent(2, 3), 67);
    EXPECT_EQ(UploadPercent(0, 8), 0);
    EXPECT_EQ(UploadPercent(8, 8), 100);
    EXPECT_EQ(UploadPercent(199, 200), 100);  // 99.5 goes to 100
    EXPECT_EQ(UploadPercent(1989, 2000), 99); // 99.45
}

TEST(UploadPercent, LargeAndDegenerateAmounts)
{
    const std::int64_t fiveGiB = std::int64_t{5} << 30;
    EXPECT_EQ(UploadPercent(fiveGiB / 2, fiveGiB), 50);
    EXPECT_EQ(UploadPercent(fiveGiB - 1, fiveGiB), 100);
    EXPECT_EQ(UploadPercent(0, 0), 100); // an empty file is complete
    EXPECT_EQ(UploadPercent(10, 5), 100);
    EXPECT_EQ(UploadPercent(-1, 5), 0);
}

TEST(ScaleProgressBar, SmallTotalsAreUsedAsTheyAre)
{
    const ProgressBarRange range = ScaleProgressBar(300, 1000);
    EXPECT_EQ(range.maximum, 1000);
    EXPECT_EQ(range.value, 300);
    const ProgressBarRange atLimit = ScaleProgressBar(INT_MAX, INT_MAX);
    EXPECT_EQ(atLimit.maximum, INT_MAX);
    EXPECT_EQ(atLimit.value, INT_MAX);
}

TEST(ScaleProgressBar, TotalsBeyondIntAreScaledInProportion)
{
    const std::int64_t total = (std::int64_t{5} << 30) + 123;
    for (const std::int64_t sent : {std::int64_t{0}, total / 3, total / 2, total - 1, total}) {
        SCOPED_TRACE(sent);
        const ProgressBarRange range = ScaleProgressBar(sent, total);
        EXPECT_GT(range.maximum, INT_MAX / 2);
        EXPECT_LE(range.value, range.maximum);
        EXPECT_NEAR(static_cast<double>(range.value) / range.maximum,
                    static_cast<double>(sent) / static_cast<double>(total), 1e-6);
    }
    const ProgressBarRange full = ScaleProgressBar(total, total);
    EXPECT_EQ(full.value, full.maximum);
}

TEST(ScaleProgressBar, EmptyFileShowsAFullBar)
{
    const ProgressBarRange range = ScaleProgressBar(0, 0);
    EXPECT_EQ(range.maximum, 1);
    EXPECT_EQ(range.value, 1);
}

TEST(ParseFtpAddress, AcceptedForms)
{
    struct Case
    {
        const char *text;
        const char *host;
        int port;
        bool ipv6;
    };
    const Case cases[] = {
        {"ftp.example.com", "ftp.example.com", 21, false},
        {"  ftp.example.com  ", "ftp.example.com", 21, false},
        {"host:2121", "host", 2121, false},
        {"ftp://host", "host", 21, false},
        {"FTP://host:2121/", "host", 2121, false},
        {"192.168.1.5", "192.168.1.5", 21, false},
        {"[::1]", "::1", 21, true},
        {"[::1]:2121", "::1", 2121, true},
        {"ftp://[fe80::1%eth0]:990/", "fe80::1%eth0", 990, true},
        {"::1", "::1", 21, true},
        {"2001:db8::7", "2001:db8::7", 21, true},
        {"bücher.example", "bücher.example", 21, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.text);
        const std::optional<FtpEndpoint> endpoint = ParseFtpAddress(c.text, 21);
        ASSERT_TRUE(endpoint.has_value());
        EXPECT_EQ(endpoint->host, c.host);
        EXPECT_EQ(endpoint->port, c.port);
        EXPECT_EQ(endpoint->ipv6, c.ipv6);
    }
    EXPECT_EQ(ParseFtpAddress("host", 2100)->port, 2100);
}

TEST(ParseFtpAddress, RefusedForms)
{
    for (const char *text : {"", "   ", "ftp://", "http://host", "scp://host", "host:", "host:0",
                             "host:65536", "host:21a", "ftp://host/folder", "user@host", "ho st",
                             "host#x", "[::1", "[::1]x", "[zz::1]", "[host]:21", "1:2:zz"}) {
        SCOPED_TRACE(text);
        EXPECT_FALSE(ParseFtpAddress(text, 21).has_value());
    }
    EXPECT_FALSE(ParseFtpAddress("host", 0).has_value());
}

TEST(FtpServerUrl, BracketsIpv6AndEncodesZone)
{
    EXPECT_EQ(FtpServerUrl({"host", 21, false}), "ftp://host:21/");
    EXPECT_EQ(FtpServerUrl({"::1", 2121, true}), "ftp://[::1]:2121/");
    EXPECT_EQ(FtpServerUrl({"fe80::1%eth0", 21, true}), "ftp://[fe80::1%25eth0]:21/");
}

TEST(ParseFtpAddress, SchemeChoosesTheProtection)
{
    struct Case
    {
        const char *text;
        FtpSecurity security;
        int port;
        const char *url;
    };
    const Case cases[] = {
        {"host", FtpSecurity::TlsIfOffered, 21, "ftp://host:21/"},
        {"ftp://host:2121", FtpSecurity::TlsIfOffered, 2121, "ftp://host:2121/"},
        {"ftpes://host", FtpSecurity::ExplicitTls, 21, "ftp://host:21/"},
        {"FTPES://[::1]:2121/", FtpSecurity::ExplicitTls, 2121, "ftp://[::1]:2121/"},
        {"ftps://host", FtpSecurity::ImplicitTls, 990, "ftps://host:990/"},
        {"Ftps://host:2990", FtpSecurity::ImplicitTls, 2990, "ftps://host:2990/"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.text);
        const std::optional<FtpEndpoint> endpoint = ParseFtpAddress(c.text, 21);
        ASSERT_TRUE(endpoint.has_value());
        EXPECT_EQ(endpoint->security, c.security);
        EXPECT_EQ(endpoint->port, c.port);
        EXPECT_EQ(FtpServerUrl(*endpoint), c.url);
    }
    EXPECT_FALSE(ParseFtpAddress("ftpx://host", 21).has_value());
}

TEST(ServerName, HostInLowerCaseWithPort)
{
    EXPECT_EQ(ServerName({"FTP.Example.com", 21, false}), "ftp.example.com:21");
    EXPECT_EQ(ServerName({"::1", 990, true}), "[::1]:990");
}

TEST(FtpUrlPath, EncodesEverythingButPlainCharacters)
{
    EXPECT_EQ(FtpUrlPath("videos/clip.mp4"), "videos/clip.mp4");
    EXPECT_EQ(FtpUrlPath("/videos/clip.mp4"), "%2Fvideos/clip.mp4");
    EXPECT_EQ(FtpUrlPath("a b#c?d%e+f&g;h"), "a%20b%23c%3Fd%25e%2Bf%26g%3Bh");
    EXPECT_EQ(FtpUrlPath("Grüße.flv"), "Gr%C3%BC%C3%9Fe.flv");
    EXPECT_EQ(FtpUrlPath("../x/./y~_-"), "../x/./y~_-");
    EXPECT_EQ(FtpUrlPath("//x"), "%2F/x");
}

TEST(IsSendableRemotePath, RefusesWhatFtpCannotCarry)
{
    EXPECT_TRUE(IsSendableRemotePath("videos/clip.mp4"));
    EXPECT_TRUE(IsSendableRemotePath("clip one é.flv"));
    EXPECT_FALSE(IsSendableRemotePath(""));
    EXPECT_FALSE(IsSendableRemotePath("videos/"));
    EXPECT_FALSE(IsSendableRemotePath("a\r\nDELE b"));
    EXPECT_FALSE(IsSendableRemotePath(std::string_view("a\0b", 3)));
}

TEST(BreaksCommandLine, CrLfAndNulAnywhere)
{
    const struct
    {
        std::string_view value;
        bool breaks;
    } cases[] = {
        {"", false},
        {"plain user", false},
        {"caf\xC3\xA9 \t tab", false},
        {"u\r\nDELE victim.txt", true},
        {"trailing\n", true},
        {"\rleading", true},
        {std::string_view("nul\0inside", 10), true},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.value));
        EXPECT_EQ(BreaksCommandLine(c.value), c.breaks);
    }
}

} // namespace
} // namespace vantrel::upload
