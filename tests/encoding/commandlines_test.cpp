// The encoder and repair lines, and how a composed line becomes a program
// with its arguments.

#include "common/cmdline.h"
#include "encoding/commandlines.h"
#include "encoding/encoderoptions.h"

#include <gtest/gtest.h>

using namespace vantrel;
using namespace vantrel::encoding;

namespace {

const std::string kDefaultOptions = BuildEncoderOptions("48", "16000", "468", "320:240");

EncodeJob WindowsExample()
{
    return {"C:\\Encoder", "D:\\Videos\\holiday.avi", kDefaultOptions, "E:\\Out\\", "holiday.mp4"};
}

using Args = std::vector<std::string>;

} // namespace

TEST(CommandLines, WindowsFormMatchesTheWorkedExample)
{
    EXPECT_EQ(ComposeEncoderLine(WindowsExample(), '\\'),
              "C:\\Encoder\\mencoder \"D:\\Videos\\holiday.avi\" -sws 9 -vf harddup -oac faac "
              "-faacopts br=48:mpeg=4:object=2:raw -channels 2 -srate 16000 -ovc x264 "
              "-x264encopts "
              "bitrate=468:vbv_maxrate=768:vbv_bufsize=2000:nocabac:level_idc=13:global_header "
              "-ofps 25 -vf-add scale=320:240  -of lavf -lavfopts format=mp4 -o "
              "\"E:\\Out\\holiday.mp4.temp\"");
    EXPECT_EQ(ComposeRepairLine(WindowsExample(), '\\'),
              "C:\\Encoder\\fix \"E:\\Out\\holiday.mp4.temp\" \"E:\\Out\\holiday.mp4\"");
}

TEST(CommandLines, NativeFormUsesTheGivenSeparator)
{
    const EncodeJob job{"/opt/vantrel", "/home/ann/clip.avi", kDefaultOptions, "/tmp/out/",
                        "clip.mp4"};
    EXPECT_EQ(ComposeRepairLine(job, '/'),
              "/opt/vantrel/fix \"/tmp/out/clip.mp4.temp\" \"/tmp/out/clip.mp4\"");
    EXPECT_EQ(
        ComposeEncoderLine(job, '/').rfind("/opt/vantrel/mencoder \"/home/ann/clip.avi\" ", 0), 0u);
    EXPECT_EQ(TemporaryOutputPath(job), "/tmp/out/clip.mp4.temp");
    EXPECT_EQ(FinalOutputPath(job), "/tmp/out/clip.mp4");
}

TEST(CommandLines, WorkedExampleSplitsIntoTheEncodersArguments)
{
    const std::string line = ComposeEncoderLine(WindowsExample(), '\\');
    const auto start = ProgramStartFromLine(line, "C:\\Encoder\\mencoder");
    ASSERT_TRUE(start);
    EXPECT_EQ(start->program, "C:\\Encoder\\mencoder");
    const Args expected = {"D:\\Videos\\holiday.avi", "-sws", "9", "-vf", "harddup", "-oac", "faac",
                           "-faacopts", "br=48:mpeg=4:object=2:raw", "-channels", "2", "-srate",
                           "16000", "-ovc", "x264", "-x264encopts",
                           // NOLINTNEXTLINE(bugprone-suspicious-missing-comma): one argument
                           "bitrate=468:vbv_maxrate=768:vbv_bufsize=2000:nocabac:level_idc=13:"
                           "global_header",
                           "-ofps", "25", "-vf-add", "scale=320:240", "-of", "lavf", "-lavfopts",
                           "format=mp4", "-o", "E:\\Out\\holiday.mp4.temp"};
    EXPECT_EQ(start->arguments, expected);
}

TEST(CommandLines, PathsWithSpacesStayOneArgumentEverywhere)
{
    const EncodeJob job{"C:\\Program Files\\Vantrel", "D:\\My Videos\\summer holiday.avi",
                        kDefaultOptions, "E:\\Out Folder\\", "summer holiday.mp4"};
    const auto encoder =
        ProgramStartFromLine(ComposeEncoderLine(job, '\\'), "C:\\Program Files\\Vantrel\\mencoder");
    ASSERT_TRUE(encoder);
    EXPECT_EQ(encoder->arguments.front(), "D:\\My Videos\\summer holiday.avi");
    EXPECT_EQ(encoder->arguments.back(), "E:\\Out Folder\\summer holiday.mp4.temp");
    EXPECT_EQ(encoder->arguments.size(), 27u);

    const auto repair =
        ProgramStartFromLine(ComposeRepairLine(job, '\\'), "C:\\Program Files\\Vantrel\\fix");
    ASSERT_TRUE(repair);
    EXPECT_EQ(repair->arguments, (Args{"E:\\Out Folder\\summer holiday.mp4.temp",
                                       "E:\\Out Folder\\summer holiday.mp4"}));
}

TEST(CommandLines, PathsEndingInBackslashesComeBackWhole)
{
    // A file name may end in backslashes where '/' separates folders.
    const EncodeJob job{"/opt/vantrel", "/home/ann/clip\\\\", kDefaultOptions, "/out/", "c.mp4"};
    const std::string line = ComposeEncoderLine(job, '/');
    EXPECT_NE(line.find("\"/home/ann/clip\\\\\\\\\" -sws"), std::string::npos) << line;
    const auto start = ProgramStartFromLine(line, "/opt/vantrel/mencoder");
    ASSERT_TRUE(start);
    EXPECT_EQ(start->arguments.front(), "/home/ann/clip\\\\");
    EXPECT_EQ(start->arguments.back(), "/out/c.mp4.temp");
    EXPECT_EQ(start->arguments.size(), 27u);
}

TEST(CommandLines, TheProgramIsNeverGuessedFromTheLine)
{
    const std::string line = "C:\\Program Files\\Vantrel\\fix \"a\" \"b\"";
    const auto start = ProgramStartFromLine(line, "C:\\Program Files\\Vantrel\\fix");
    ASSERT_TRUE(start);
    EXPECT_EQ(start->arguments, (Args{"a", "b"}));
    // A name that merely starts the same is not the program.
    EXPECT_FALSE(ProgramStartFromLine(line, "C:\\Program Files\\Vantrel\\fi"));
    EXPECT_FALSE(ProgramStartFromLine(line, "C:\\Other\\fix"));
    EXPECT_FALSE(ProgramStartFromLine(line, ""));
    const auto bare = ProgramStartFromLine("/app/fix", "/app/fix");
    ASSERT_TRUE(bare);
    EXPECT_TRUE(bare->arguments.empty());
}

TEST(WindowsArguments, FollowTheSystemRules)
{
    const std::pair<const char *, Args> cases[] = {
        {"a b\tc", {"a", "b", "c"}},
        {"  lead  trail  ", {"lead", "trail"}},
        {"\"a b\" c", {"a b", "c"}},
        {"x\"a b\"y", {"xa by"}},
        {"\"\"", {""}},
        {"a \"\" b", {"a", "", "b"}},
        {"\"C:\\dir\\\\\" next", {"C:\\dir\\", "next"}}, // 2n backslashes, then a mark
        {"a\\\"b", {"a\"b"}},                            // 2n+1: a literal mark
        {"a\\\\\\\"b", {"a\\\"b"}},
        {"C:\\dir\\ x", {"C:\\dir\\", "x"}}, // backslashes alone are literal
        {"\"a\"\"b\"", {"a\"b"}},            // a doubled mark inside quotes
        {"\"a\"\"\"b\"", {"a\"b"}},
        {"\"unterminated arg", {"unterminated arg"}},
        {"", {}},
    };
    for (const auto &[line, expected] : cases)
        EXPECT_EQ(SplitWindowsArguments(line), expected) << line;
}
