// Replacing the file on the server: the temporary name, the size check and
// the rename steps, each reply sequence with the commands it leads to.

#include "upload/remotereplace.h"

#include <gtest/gtest.h>

#include <vector>

namespace vantrel::upload {
namespace {

TEST(TemporaryRemotePath, SitsBesideTheFinalName)
{
    const struct
    {
        const char *remote;
        const char *temporary;
    } cases[] = {
        {"clip.mp4", ".clip.mp4.upload"},
        {"videos/clip.mp4", "videos/.clip.mp4.upload"},
        {"/www/a b/clip.mp4", "/www/a b/.clip.mp4.upload"},
        {"videos/clip", "videos/.clip.upload"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(TemporaryRemotePath(c.remote), c.temporary) << c.remote;
}

TEST(ParseFtpReply, ReadsCodeAndKeepsTheLine)
{
    EXPECT_EQ(ParseFtpReply("350 Ready.\r\n").code, 350);
    EXPECT_EQ(ParseFtpReply("350 Ready.\r\n").text, "350 Ready.");
    EXPECT_EQ(ParseFtpReply("213").code, 213);
    EXPECT_EQ(ParseFtpReply("213-multi line").code, 0);
    EXPECT_EQ(ParseFtpReply("x13 nope").code, 0);
    EXPECT_EQ(ParseFtpReply("").code, 0);
}

TEST(StoredSizeFailure, OnlyAReportedDifferentSizeFails)
{
    const struct
    {
        const char *reply;
        bool fails;
    } cases[] = {
        {"213 5000", false},
        {"213 5000 ", false},
        {"213 4999", true},
        {"213 5001", true},
        {"213 ", true},
        {"213 12x", true},
        {"550 SIZE not allowed in ASCII mode.", false},
        {"502 Command not implemented.", false},
    };
    for (const auto &c : cases)
        EXPECT_EQ(StoredSizeFailure(ParseFtpReply(c.reply), 5000).has_value(), c.fails) << c.reply;
    EXPECT_EQ(StoredSizeFailure(ParseFtpReply("213 4096"), 5000).value_or(""),
              "The upload is incomplete: the server holds 4096 of 5000 bytes");
}

TEST(RemoteReplace, EachReplySequenceEndsAsItShould)
{
    struct Case // NOLINT(clang-analyzer-optin.performance.Padding): read as a table
    {
        const char *what;
        std::vector<const char *> replies;
        std::vector<const char *> commands; // sent, the first before any reply
        bool succeeded;
        bool removeTemporary;
        const char *failure;
    };
    const Case cases[] = {
        {"renamed over the old file",
         {"350 Ready for destination name.", "250 Renaming ok."},
         {"RNFR v/.a.mp4.upload", "RNTO v/a.mp4"},
         true,
         false,
         ""},
        {"no rename over an existing file: delete, then rename",
         {"350 Ready.", "550 File exists.", "250 File removed.", "350 Ready.", "250 Renamed."},
         {"RNFR v/.a.mp4.upload", "RNTO v/a.mp4", "DELE v/a.mp4", "RNFR v/.a.mp4.upload",
          "RNTO v/a.mp4"},
         true,
         false,
         ""},
        {"refused, and no old file to delete",
         {"350 Ready.", "553 Not allowed.", "550 No such file."},
         {"RNFR v/.a.mp4.upload", "RNTO v/a.mp4", "DELE v/a.mp4"},
         false,
         true,
         "553 Not allowed"},
        {"no rename at all",
         {"502 Command not implemented."},
         {"RNFR v/.a.mp4.upload"},
         false,
         true,
         "The server cannot rename files, so the file on the server was not replaced"},
        {"temporary file refused",
         {"550 No such file or directory."},
         {"RNFR v/.a.mp4.upload"},
         false,
         true,
         "550 No such file or directory"},
        {"old file deleted, rename fails again",
         {"350 Ready.", "550 Exists.", "250 Removed.", "350 Ready.", "451 Disk error."},
         {"RNFR v/.a.mp4.upload", "RNTO v/a.mp4", "DELE v/a.mp4", "RNFR v/.a.mp4.upload",
          "RNTO v/a.mp4"},
         false,
         false,
         "The old file was deleted but the new one could not be renamed; it is on the server "
         "as v/.a.mp4.upload"},
        {"old file deleted, temporary file gone",
         {"350 Ready.", "550 Exists.", "250 Removed.", "550 No such file."},
         {"RNFR v/.a.mp4.upload", "RNTO v/a.mp4", "DELE v/a.mp4", "RNFR v/.a.mp4.upload"},
         false,
         false,
         "The old file was deleted but the new one could not be renamed; it is on the server "
         "as v/.a.mp4.upload"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        RemoteReplace replace("v/.a.mp4.upload", "v/a.mp4");
        std::vector<std::string> sent;
        RemoteReplace::Step step = replace.Start();
        std::size_t next = 0;
        while (!step.done) {
            sent.push_back(step.command);
            ASSERT_LT(next, c.replies.size()) << "more commands than replies";
            step = replace.Next(ParseFtpReply(c.replies[next++]));
        }
        EXPECT_EQ(next, c.replies.size());
        EXPECT_EQ(sent, std::vector<std::string>(c.commands.begin(), c.commands.end()));
        EXPECT_EQ(step.succeeded, c.succeeded);
        EXPECT_EQ(step.removeTemporary, c.removeTemporary);
        EXPECT_EQ(step.failure, c.failure);
    }
}

} // namespace
} // namespace vantrel::upload
