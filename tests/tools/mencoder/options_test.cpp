// The mencoder command line: what is accepted, what it means for FFmpeg, and
// what is refused with which words.

#include "encoderline.h"
#include "tools/mencoder/options.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

using namespace vantrel::mencoder;

namespace {

using Args = std::vector<std::string>;

const std::string kSource = "/media/My Videos/holiday.avi";
const std::string kOutput = "/out/holiday.mp4.temp";

Args defaultLine()
{
    return encoderLine(kSource, kOutput);
}

// The value that follows `option` in an argument vector, or "(missing)".
std::string after(const Args &args, const std::string &option)
{
    auto it = std::find(args.begin(), args.end(), option);
    return it == args.end() || it + 1 == args.end() ? "(missing)" : *(it + 1);
}

Args replaced(Args args, const std::string &from, const std::string &to)
{
    std::replace(args.begin(), args.end(), from, to);
    return args;
}

Args without(Args args, const std::string &option)
{
    auto it = std::find(args.begin(), args.end(), option);
    if (it != args.end())
        args.erase(it, it + 2);
    return args;
}

Args with(Args args, const Args &more)
{
    args.insert(args.end(), more.begin(), more.end());
    return args;
}

// The scale filters of the -vf chain, in order.
std::string scales(const Args &args)
{
    std::string chain = after(args, "-vf") + ",", found;
    for (std::size_t at = 0, comma; (comma = chain.find(',', at)) != std::string::npos;
         at = comma + 1) {
        if (chain.compare(at, 6, "scale=") == 0)
            found += (found.empty() ? "" : ",") + chain.substr(at, comma - at);
    }
    return found;
}

} // namespace

TEST(MencoderOptions, DefaultLineGivesTheExpectedFfmpegArguments)
{
    auto parsed = ParseCommandLine(defaultLine());
    ASSERT_TRUE(parsed.ok()) << parsed.error;
    // clang-format off
    const Args expected = {
        "-hide_banner", "-nostdin", "-nostats", "-progress", "pipe:1", "-y",
        "-i", "file:/media/My Videos/holiday.avi",
        "-map", "0:V:0", "-map", "0:a:0?",
        // NOLINTNEXTLINE(bugprone-suspicious-missing-comma)
        "-vf", "bwdif=mode=send_frame:parity=auto:deint=interlaced,setsar=r=sar:max=1000,"
               "scale=320:240:flags=lanczos,tpad=stop_mode=clone:stop=1,fps=25:eof_action=pass",
        "-r", "25", "-fps_mode", "cfr",
        "-pix_fmt", "yuv420p", "-c:v", "libx264",
        "-b:v", "468k", "-maxrate", "768k", "-bufsize", "2000k",
        "-coder", "cavlc", "-level", "1.3", "-flags", "+global_header",
        "-c:a", "aac", "-profile:a", "aac_low", "-b:a", "48k", "-ac", "2", "-ar", "16000",
        "-f", "mp4", "file:/out/holiday.mp4.temp"};
    // clang-format on
    EXPECT_EQ(FfmpegArguments(parsed.job), expected);
    EXPECT_FALSE(parsed.job.printFfmpegArgs);
}

TEST(MencoderOptions, EveryCombinationOfTheFourListsIsAcceptedAndMapped)
{
    const Args windows = {"160:120", "240:180", "320:240", "400:300",
                          "512:384", "640:480", "768:576", "1024:768"};
    const Args videoRates = {"160", "225", "320", "468", "768", "1600", "1800", "2000", "2400"};
    const Args sampleRates = {"11025", "16000", "22050", "44100", "48000"};
    const Args audioRates = {"24", "32", "48", "56", "64", "96", "128", "196"};
    int accepted = 0;
    for (const auto &window : windows)
        for (const auto &videoRate : videoRates)
            for (const auto &sampleRate : sampleRates)
                for (const auto &audioRate : audioRates) {
                    auto parsed = ParseCommandLine(
                        encoderLine(kSource, kOutput, audioRate, sampleRate, videoRate, window));
                    ASSERT_TRUE(parsed.ok()) << parsed.error;
                    auto args = FfmpegArguments(parsed.job);
                    ASSERT_EQ(scales(args), "scale=" + window + ":flags=lanczos");
                    ASSERT_EQ(after(args, "-b:v"), videoRate + "k");
                    ASSERT_EQ(after(args, "-maxrate"), "768k");
                    ASSERT_EQ(after(args, "-ar"), sampleRate);
                    ASSERT_EQ(after(args, "-b:a"), audioRate + "k");
                    ++accepted;
                }
    EXPECT_EQ(accepted, 8 * 9 * 5 * 8);
}

TEST(MencoderOptions, OrderOfOptionsDoesNotMatter)
{
    const auto reference = FfmpegArguments(ParseCommandLine(defaultLine()).job);
    auto parsed =
        ParseCommandLine({"-o", "/out/holiday.mp4.temp", "-ovc", "x264", "-vf", "harddup",
                          "-vf-add", "scale=320:240", "-x264encopts",
                          // NOLINTNEXTLINE(bugprone-suspicious-missing-comma)
                          "global_header:level_idc=13:nocabac:vbv_bufsize=2000:"
                          "vbv_maxrate=768:bitrate=468",
                          "-lavfopts", "format=mp4", "-srate", "16000", "-of", "lavf",
                          "/media/My Videos/holiday.avi", "-ofps", "25", "-channels", "2",
                          "-faacopts", "raw:object=2:mpeg=4:br=48", "-oac", "faac", "-sws", "9"});
    ASSERT_TRUE(parsed.ok()) << parsed.error;
    EXPECT_EQ(FfmpegArguments(parsed.job), reference);
}

TEST(MencoderOptions, FilterChainAndLaterValues)
{
    // -vf starts the chain afresh, -vf-add appends; scalers apply to each scale.
    auto parsed = ParseCommandLine(with(
        defaultLine(), {"-vf", "scale=640:480,harddup", "-vf-add", "scale=160:120", "-sws", "4"}));
    ASSERT_TRUE(parsed.ok()) << parsed.error;
    auto args = FfmpegArguments(parsed.job);
    EXPECT_EQ(scales(args), "scale=640:480:flags=neighbor,scale=160:120:flags=neighbor");
    EXPECT_EQ(after(args, "-fps_mode"), "cfr");

    // Without harddup the frame rate mode is FFmpeg's own; suboptions given
    // twice merge, the later value winning.
    parsed = ParseCommandLine(with(defaultLine(), {"-vf", "scale=640:480", "-x264encopts",
                                                   "bitrate=900:cabac", "-faacopts", "br=64"}));
    ASSERT_TRUE(parsed.ok()) << parsed.error;
    args = FfmpegArguments(parsed.job);
    EXPECT_EQ(scales(args), "scale=640:480:flags=lanczos");
    EXPECT_EQ(after(args, "-fps_mode"), "(missing)");
    EXPECT_EQ(after(args, "-b:v"), "900k");
    EXPECT_EQ(after(args, "-bufsize"), "2000k");
    EXPECT_EQ(after(args, "-coder"), "(missing)");
    EXPECT_EQ(after(args, "-b:a"), "64k");
}

TEST(MencoderOptions, ScalerNumbersMapToFfmpegFlags)
{
    const Args names = {"fast_bilinear", "bilinear", "bicubic", "experimental", "neighbor", "area",
                        "bicublin",      "gauss",    "sinc",    "lanczos",      "spline"};
    for (int sws = 0; sws <= 10; ++sws) {
        auto parsed = ParseCommandLine(replaced(defaultLine(), "9", std::to_string(sws)));
        ASSERT_TRUE(parsed.ok()) << parsed.error;
        EXPECT_EQ(scales(FfmpegArguments(parsed.job)),
                  "scale=320:240:flags=" + names[static_cast<std::size_t>(sws)]);
    }
    // Without -sws, mencoder's default scaler: bicubic.
    auto parsed = ParseCommandLine(without(defaultLine(), "-sws"));
    ASSERT_TRUE(parsed.ok());
    EXPECT_EQ(scales(FfmpegArguments(parsed.job)), "scale=320:240:flags=bicubic");
}

TEST(MencoderOptions, BareMinimumLeavesTheRestToFfmpeg)
{
    auto parsed = ParseCommandLine({"in.avi", "-oac", "faac", "-ovc", "x264", "-of", "lavf",
                                    "-lavfopts", "format=mp4", "-o", "-out.mp4"});
    ASSERT_TRUE(parsed.ok()) << parsed.error;
    // clang-format off
    const Args expected = {"-hide_banner", "-nostdin", "-nostats", "-progress", "pipe:1", "-y",
                           "-i", "file:in.avi", "-map", "0:V:0", "-map", "0:a:0?",
                           // NOLINTNEXTLINE(bugprone-suspicious-missing-comma)
                           "-vf", "bwdif=mode=send_frame:parity=auto:deint=interlaced,"
                                  "setsar=r=sar:max=1000",
                           "-pix_fmt", "yuv420p", "-c:v", "libx264",
                           "-c:a", "aac", "-profile:a", "aac_low", "-f", "mp4", "file:-out.mp4"};
    // clang-format on
    EXPECT_EQ(FfmpegArguments(parsed.job), expected);
}

TEST(MencoderOptions, FrameRatesAsDecimalsAndFractions)
{
    for (std::string rate : {"29.97", "30000/1001", "1000"}) {
        auto parsed = ParseCommandLine(replaced(defaultLine(), "25", rate));
        ASSERT_TRUE(parsed.ok()) << rate << ": " << parsed.error;
        EXPECT_EQ(after(FfmpegArguments(parsed.job), "-r"), rate);
    }
    for (std::string rate : {"0", "25.", ".5", "1/0", "1001", "25fps", "-25"}) {
        EXPECT_EQ(ParseCommandLine(replaced(defaultLine(), "25", rate)).error,
                  "BAD VALUE \"" + rate + "\" FOR OPTION \"-ofps\"!");
    }
}

TEST(MencoderOptions, WhatTheSourceSaysShapesTheFilterChain)
{
    const EncoderJob job = ParseCommandLine(defaultLine()).job;
    const std::string scale = "setsar=r=sar:max=1000,scale=320:240:flags=lanczos,";
    const std::string rate = "tpad=stop_mode=clone:stop=1,fps=25:eof_action=pass";
    struct Case
    {
        std::string name;
        VideoTraits video;
        std::string chain;
    };
    const Case cases[] = {
        {"progressive", {FieldOrder::Progressive, {}, {}}, scale + rate},
        {"top field first",
         {FieldOrder::TopFirst, {}, {}},
         "bwdif=mode=send_frame:parity=tff:deint=all," + scale + rate},
        {"bottom field first",
         {FieldOrder::BottomFirst, {}, {}},
         "bwdif=mode=send_frame:parity=bff:deint=all," + scale + rate},
        {"last frame held",
         {FieldOrder::Progressive, 1.96, 2.9},
         scale + rate + ",tpad=stop_mode=clone:stop_duration=0.94,trim=end=2.9"},
        {"end before the last frame's start",
         {FieldOrder::Progressive, 12.5, 12.25},
         scale + rate + ",tpad=stop_mode=clone:stop_duration=0,trim=end=12.25"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(after(FfmpegArguments(job, c.video), "-vf"), c.chain);
    }
    // Without a frame rate to change to, the end is FFmpeg's own.
    EXPECT_EQ(after(FfmpegArguments(ParseCommandLine(without(defaultLine(), "-ofps")).job,
                                    {FieldOrder::Progressive, 1.96, 2.9}),
                    "-vf"),
              "setsar=r=sar:max=1000,scale=320:240:flags=lanczos");
}

TEST(MencoderOptions, DebugOptionAsksForTheArgumentsOnly)
{
    auto parsed = ParseCommandLine(with(defaultLine(), {"--print-ffmpeg-args"}));
    ASSERT_TRUE(parsed.ok());
    EXPECT_TRUE(parsed.job.printFfmpegArgs);
}

struct Refusal
{
    Args args;
    std::string error;
};

TEST(MencoderOptions, RefusesWhatItCannotHonour)
{
    const Args line = defaultLine();
    const std::string x264 = "bitrate=468:vbv_maxrate=768:vbv_bufsize=2000:nocabac:level_idc=13"
                             ":global_header";
    const std::vector<Refusal> refusals = {
        {with(line, {"-foo", "1"}), "UNKNOWN OPTION \"-foo\"!"},
        {with(line, {"-"}), "UNKNOWN OPTION \"-\"!"},
        {with(line, {"-o"}), "OPTION \"-o\" NEEDS A VALUE!"},
        {replaced(line, "scale=320:240", "scale=abc"),
         "BAD VALUE \"scale=abc\" FOR OPTION \"-vf-add\"!"},
        {replaced(line, "scale=320:240", "scale=321:240"),
         "BAD VALUE \"scale=321:240\" FOR OPTION \"-vf-add\"!"},
        {replaced(line, "scale=320:240", "scale=320"),
         "BAD VALUE \"scale=320\" FOR OPTION \"-vf-add\"!"},
        {replaced(line, "scale=320:240", "scale=320:240:0"),
         "BAD VALUE \"scale=320:240:0\" FOR OPTION \"-vf-add\"!"},
        {replaced(line, "scale=320:240", "scale=0:0"),
         "BAD VALUE \"scale=0:0\" FOR OPTION \"-vf-add\"!"},
        {replaced(line, "harddup", "harddup,"), "BAD VALUE \"harddup,\" FOR OPTION \"-vf\"!"},
        {replaced(line, "harddup", "crop=10:10"),
         "UNKNOWN VIDEO FILTER \"crop\" IN OPTION \"-vf\"!"},
        {replaced(line, "br=48:mpeg=4:object=2:raw", "br=x:mpeg=4:object=2:raw"),
         "BAD VALUE \"br=x\" FOR OPTION \"-faacopts\"!"},
        {replaced(line, "br=48:mpeg=4:object=2:raw", "br=48:object=1"),
         "BAD VALUE \"object=1\" FOR OPTION \"-faacopts\"!"},
        {replaced(line, "br=48:mpeg=4:object=2:raw", "br=48:mpeg=2"),
         "BAD VALUE \"mpeg=2\" FOR OPTION \"-faacopts\"!"},
        {replaced(line, "br=48:mpeg=4:object=2:raw", "br=48:tns"),
         "UNKNOWN SUBOPTION \"tns\" IN OPTION \"-faacopts\"!"},
        {replaced(line, "br=48:mpeg=4:object=2:raw", "br=48::raw"),
         "BAD VALUE \"br=48::raw\" FOR OPTION \"-faacopts\"!"},
        {replaced(line, "9", "99"), "BAD VALUE \"99\" FOR OPTION \"-sws\"!"},
        {replaced(line, "9", "-1"), "BAD VALUE \"-1\" FOR OPTION \"-sws\"!"},
        {replaced(line, "16000", "12345"), "BAD VALUE \"12345\" FOR OPTION \"-srate\"!"},
        {replaced(line, "2", "0"), "BAD VALUE \"0\" FOR OPTION \"-channels\"!"},
        {replaced(line, x264, "bitrate=468:level_idc=14"),
         "BAD VALUE \"level_idc=14\" FOR OPTION \"-x264encopts\"!"},
        {replaced(line, x264, "bitrate="), "BAD VALUE \"bitrate=\" FOR OPTION \"-x264encopts\"!"},
        {replaced(line, x264, "bitrate=+468"),
         "BAD VALUE \"bitrate=+468\" FOR OPTION \"-x264encopts\"!"},
        {replaced(line, x264, "nocabac=1"), "BAD VALUE \"nocabac=1\" FOR OPTION \"-x264encopts\"!"},
        {replaced(line, x264, "crf=20"), "UNKNOWN SUBOPTION \"crf\" IN OPTION \"-x264encopts\"!"},
        {replaced(line, "faac", "mp3lame"), "BAD VALUE \"mp3lame\" FOR OPTION \"-oac\"!"},
        {replaced(line, "x264", "xvid"), "BAD VALUE \"xvid\" FOR OPTION \"-ovc\"!"},
        {replaced(line, "lavf", "avi"), "BAD VALUE \"avi\" FOR OPTION \"-of\"!"},
        {replaced(line, "format=mp4", "format=avi"),
         "BAD VALUE \"format=avi\" FOR OPTION \"-lavfopts\"!"},
        {with(line, {"second.avi"}),
         "MORE THAN ONE SOURCE FILE GIVEN: \"/media/My Videos/holiday.avi\" AND \"second.avi\"!"},
        {Args(line.begin() + 1, line.end()), "NO SOURCE FILE GIVEN!"},
        {replaced(line, "/media/My Videos/holiday.avi", ""), "NO SOURCE FILE GIVEN!"},
        {without(line, "-o"), "NO OUTPUT FILE GIVEN (\"-o\")!"},
        {without(line, "-ovc"), "NO VIDEO CODEC GIVEN (\"-ovc\")!"},
        {without(line, "-oac"), "NO AUDIO CODEC GIVEN (\"-oac\")!"},
        {without(line, "-lavfopts"),
         "ONLY MP4 OUTPUT IS SUPPORTED (\"-of lavf -lavfopts format=mp4\")!"},
        {without(line, "-of"), "ONLY MP4 OUTPUT IS SUPPORTED (\"-of lavf -lavfopts format=mp4\")!"},
    };
    for (const auto &refusal : refusals) {
        auto parsed = ParseCommandLine(refusal.args);
        EXPECT_FALSE(parsed.ok()) << refusal.error;
        EXPECT_EQ(parsed.error, refusal.error);
    }
}
