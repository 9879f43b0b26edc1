// The option string, the output name proposal, the folder separator and the
// checks on the output name.

#include "common/progressline.h"
#include "encoding/choices.h"
#include "encoding/encoderoptions.h"

#include <gtest/gtest.h>

using namespace vantrel::encoding;

namespace {

std::string Defaults()
{
    return BuildEncoderOptions(
        kAudioBitrates[kDefaultAudioBitrate], kAudioSamplings[kDefaultAudioSampling],
        kVideoBitrates[kDefaultVideoBitrate], kVideoWindows[kDefaultVideoWindow]);
}

} // namespace

TEST(EncoderOptions, DefaultsGiveTheKnownString)
{
    EXPECT_EQ(Defaults(),
              " -sws 9 -vf harddup -oac faac -faacopts br=48:mpeg=4:object=2:raw -channels 2 "
              "-srate 16000 -ovc x264 -x264encopts "
              "bitrate=468:vbv_maxrate=768:vbv_bufsize=2000:nocabac:level_idc=13:global_header "
              "-ofps 25 -vf-add scale=320:240 ");
}

TEST(EncoderOptions, ListsHoldTheirEntriesInOrder)
{
    EXPECT_EQ(kVideoWindows.front(), "160:120");
    EXPECT_EQ(kVideoWindows.back(), "1024:768");
    EXPECT_EQ(kVideoBitrates[4], "768");
    EXPECT_EQ(kVideoBitrates[5], "1600"); // the list jumps
    EXPECT_EQ(kAudioSamplings.back(), "48000");
    EXPECT_EQ(kAudioBitrates.back(), "196"); // not 192
}

TEST(EncoderOptions, EachValueLandsInItsPlaceAndNothingElseMoves)
{
    const std::string base = Defaults();
    const auto replaced = [&](const std::string &from, const std::string &to) {
        std::string s = base;
        s.replace(s.find(from), from.size(), to);
        return s;
    };
    EXPECT_EQ(BuildEncoderOptions("48", "16000", "468", "1024:768"),
              replaced("scale=320:240 ", "scale=1024:768 "));
    EXPECT_EQ(BuildEncoderOptions("128", "16000", "468", "320:240"), replaced("br=48:", "br=128:"));
    EXPECT_EQ(BuildEncoderOptions("196", "16000", "468", "320:240"), replaced("br=48:", "br=196:"));
    EXPECT_EQ(BuildEncoderOptions("48", "44100", "468", "320:240"),
              replaced("-srate 16000 ", "-srate 44100 "));
    // The VBV values stay whatever the chosen rate.
    EXPECT_EQ(BuildEncoderOptions("48", "16000", "2400", "320:240"),
              replaced("bitrate=468:", "bitrate=2400:"));
    EXPECT_NE(BuildEncoderOptions("48", "16000", "2400", "320:240")
                  .find("bitrate=2400:vbv_maxrate=768:vbv_bufsize=2000"),
              std::string::npos);
}

TEST(EncoderOptions, AnEmptyListLeavesAnEmptyValue)
{
    const std::string s = BuildEncoderOptions("", "", "", "");
    EXPECT_NE(s.find("br=:mpeg"), std::string::npos);
    EXPECT_EQ(s.substr(s.size() - 8), " scale= ");
}

TEST(OutputName, ProposalReplacesTheExtension)
{
    const std::pair<const char *, const char *> cases[] = {
        {"clip.avi", "clip.mp4"},
        {"Holiday.MPEG", "Holiday.mp4"},
        {"trailer.mp4", "trailer.mp4"},
        {"x.3gp", "x.mp4"},
        {"intro.m1v", "intro.mp4"},
        {"clip.divx", "clip.dmp4"},
        {"abc", "mp4"},
        {"mpeg", "mp4"},
        {"Fête.avi", "Fête.mp4"},
        {"été", "mp4"},
        {"über.mPeG", "über.mp4"},
    };
    for (const auto &[title, expected] : cases)
        EXPECT_EQ(ProposeOutputName(title).value_or("<none>"), expected) << title;
}

TEST(OutputName, TooShortATitleIsLeftAlone)
{
    EXPECT_FALSE(ProposeOutputName("ab"));
    EXPECT_FALSE(ProposeOutputName(""));
    EXPECT_FALSE(ProposeOutputName("é")); // one character, two bytes
}

TEST(OutputName, Mp4EndingIgnoresCaseButNotBlanks)
{
    for (const char *ok : {"clip.mp4", "clip.MP4", "clip.Mp4", ".mp4", "été.mp4"})
        EXPECT_TRUE(HasMp4Ending(ok)) << ok;
    for (const char *bad : {"clip.mp4 ", "mp4", "clip.mp", "", "clip.dmp4x"})
        EXPECT_FALSE(HasMp4Ending(bad)) << bad;
}

TEST(OutputFolder, GetsOneSeparator)
{
    EXPECT_EQ(WithTrailingSeparator("D:\\Videos", '\\'), "D:\\Videos\\");
    EXPECT_EQ(WithTrailingSeparator("C:\\", '\\'), "C:\\");
    EXPECT_EQ(WithTrailingSeparator("/home/ann/Videos", '/'), "/home/ann/Videos/");
    EXPECT_EQ(WithTrailingSeparator("/", '/'), "/");
    EXPECT_EQ(WithTrailingSeparator("", '/'), "");
}

// The percentage of a progress line, or nothing.
std::optional<int> ProgressPercent(std::string_view line)
{
    const std::optional<vantrel::ProgressLine> progress = vantrel::ParseProgressLine(line);
    return progress ? progress->percent : std::nullopt;
}

TEST(ProgressLine, PercentIsReadFromProgressLinesOnly)
{
    EXPECT_EQ(ProgressPercent("Pos: 12.3s 308f (41%)"), 41);
    EXPECT_EQ(ProgressPercent("Pos:   0.0s      0f (  0%)"), 0);
    EXPECT_EQ(ProgressPercent("Pos: 30.0s 750f (100%)"), 100);
    EXPECT_EQ(ProgressPercent("Pos: 30.0s 750f (250%)"), 100);
    EXPECT_FALSE(ProgressPercent("Pos: 12.3s 308f"));
    EXPECT_FALSE(ProgressPercent("Encoding (41%) done"));
    EXPECT_FALSE(ProgressPercent("Pos: 1s (x%)"));
    EXPECT_FALSE(ProgressPercent("Pos: 1s (%)"));
    EXPECT_FALSE(ProgressPercent("Pos: 1s (99999999999999999999%)"));
}
