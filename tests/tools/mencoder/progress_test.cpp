// Reading FFmpeg's output, the progress lines, and the failure texts.

#include "common/ascii.h"
#include "tools/common/systemtext.h"
#include "tools/mencoder/messages.h"
#include "tools/mencoder/progress.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace vantrel::mencoder;
using Lines = std::vector<std::string>;

TEST(MencoderLines, ChunksThatSplitLinesAndMixedLineEnds)
{
    LineSplitter splitter;
    EXPECT_EQ(splitter.feed("frame=1\nout_ti"), Lines{"frame=1"});
    EXPECT_EQ(splitter.feed("me_us=40000\r"), Lines{"out_time_us=40000"});
    // "\r\n" split across two chunks is still one line end.
    EXPECT_EQ(splitter.feed("\nprogress=continue\r\rlast"), (Lines{"progress=continue", ""}));
    EXPECT_EQ(splitter.finish(), "last");
    EXPECT_EQ(splitter.finish(), std::nullopt);
}

TEST(MencoderLines, OverlongLinesAreCut)
{
    LineSplitter splitter(4);
    EXPECT_EQ(splitter.feed("abcdefghij\n"), (Lines{"abcd", "efgh", "ij"}));
}

TEST(MencoderProgress, BlocksGivePositionsAndKeepLastKnownValues)
{
    ProgressReader reader;
    auto feed = [&](const Lines &lines) {
        std::optional<vantrel::EncoderPosition> last;
        for (const auto &line : lines) {
            auto position = reader.line(line);
            if (position)
                last = position;
        }
        return last;
    };
    // At the start FFmpeg knows no time yet.
    auto first =
        feed({"frame=0", "fps=0.00", "out_time_us=N/A", "out_time=N/A", "progress=continue"});
    ASSERT_TRUE(first);
    EXPECT_EQ(first->frames, 0);
    EXPECT_EQ(first->seconds, 0.0);
    EXPECT_FALSE(reader.ended());

    auto second = feed({"frame=308", "out_time_us=12345678", "speed=1.2x", "progress=continue"});
    ASSERT_TRUE(second);
    EXPECT_EQ(second->frames, 308);
    EXPECT_DOUBLE_EQ(second->seconds, 12.345678);

    auto third = feed({"frame=N/A", "out_time_us=-23000", "progress=end"});
    ASSERT_TRUE(third);
    EXPECT_EQ(third->frames, 308);
    EXPECT_EQ(third->seconds, 0.0);
    EXPECT_TRUE(reader.ended());

    EXPECT_FALSE(reader.line("bitrate= 899.8kbits/s"));
}

TEST(MencoderProgress, DurationLine)
{
    EXPECT_EQ(ParseDurationLine("  Duration: 00:01:02.50, start: 0.000000, bitrate: 242 kb/s"),
              62.5);
    EXPECT_EQ(ParseDurationLine("  Duration: 01:00:00.00, start: 0.0"), 3600.0);
    EXPECT_EQ(ParseDurationLine("  Duration: N/A, start: 0.000000, bitrate: N/A"), std::nullopt);
    EXPECT_EQ(ParseDurationLine("  Duration: 00:00:00.00, start: 0.0"), std::nullopt);
    EXPECT_EQ(ParseDurationLine("      DURATION        : 00:00:03.023000000"), std::nullopt);
    EXPECT_EQ(ParseDurationLine("    comment         : Duration: 00:00:09.00"), std::nullopt);
    EXPECT_EQ(ParseDurationLine("  Duration: 00:61:00.00,"), std::nullopt);
}

TEST(MencoderProgress, PercentWhileRunning)
{
    struct Row
    {
        double seconds, duration;
        int percent;
    };
    for (const Row &row : {Row{0, 10, 0}, Row{4.1, 10, 41}, Row{0.099, 10, 0}, Row{9.999, 10, 99},
                           Row{10, 10, 99}, Row{12, 10, 99}, Row{-1, 10, 0}, Row{5, 0, 0}}) {
        EXPECT_EQ(RunningPercent(row.seconds, row.duration), row.percent)
            << row.seconds << " of " << row.duration;
    }
}

TEST(MencoderProgress, LineFormat)
{
    EXPECT_EQ(vantrel::FormatProgressLine({{12.34, 308}, 41}), "Pos: 12.3s 308f (41%)");
    EXPECT_EQ(vantrel::FormatProgressLine({{12.36, 308}, std::nullopt}), "Pos: 12.4s 308f");
    EXPECT_EQ(vantrel::FormatProgressLine({{0, 0}, 0}), "Pos: 0.0s 0f (0%)");
    EXPECT_EQ(vantrel::FormatProgressLine({{3.1, 75}, 100}), "Pos: 3.1s 75f (100%)");
    EXPECT_EQ(vantrel::FormatProgressLine({{-0.5, 1}, 130}), "Pos: 0.0s 1f (100%)");
}

TEST(MencoderProgress, SourceThatEndsEarly)
{
    EXPECT_TRUE(EndsEarly(1.3, 3.0));   // cut-off download
    EXPECT_FALSE(EndsEarly(2.1, 3.0));  // within a second
    EXPECT_FALSE(EndsEarly(3.03, 3.0)); // audio a little longer
    EXPECT_FALSE(EndsEarly(95.5, 100)); // within 5 %
    EXPECT_TRUE(EndsEarly(90, 100));
    EXPECT_FALSE(EndsEarly(0, 0)); // duration unknown
}

TEST(MencoderMessages, ReasonsAreUpperCasedWithoutFinalStop)
{
    EXPECT_EQ(ReasonText("Invalid data found when processing input."),
              "INVALID DATA FOUND WHEN PROCESSING INPUT");
    EXPECT_EQ(ReasonText("No such file or directory"), "NO SUCH FILE OR DIRECTORY");
    EXPECT_EQ(vantrel::ascii::Upper("caf\xc3\xa9 1/2"), "CAF\xc3\xa9 1/2");
}

TEST(MencoderMessages, FfmpegFailuresAreExplainedWithTheirExitCode)
{
    const std::string source = "/v/in.avi";
    const std::string output = "/out/in.mp4.temp";
    struct Row
    {
        Lines tail;
        std::string message;
        int exitCode;
    };
    const std::vector<Row> rows = {
        {{"[avi @ 0x55bb] Format avi detected only with low score of 1, misdetection possible!",
          "file:/v/in.avi: Invalid data found when processing input"},
         "CANNOT READ THE SOURCE FILE \"/v/in.avi\": INVALID DATA FOUND WHEN PROCESSING INPUT!",
         1},
        {{"/v/in.avi: Permission denied"},
         "CANNOT READ THE SOURCE FILE \"/v/in.avi\": PERMISSION DENIED!",
         1},
        {{"      handler_name    : SoundHandler", "Stream map '0:V:0' matches no streams.",
          "To ignore this, add a trailing '?' to the map."},
         "THE SOURCE FILE \"/v/in.avi\" HAS NO VIDEO STREAM!",
         1},
        {{"file:/out/in.mp4.temp: No space left on device", "Conversion failed!"},
         "CANNOT WRITE THE OUTPUT FILE \"/out/in.mp4.temp\": NO SPACE LEFT ON DEVICE!",
         4},
        // A disk that fills up while encoding, as FFmpeg 5 tells it.
        {{"av_interleaved_write_frame(): No space left on device",
          "Error writing trailer of file:/out/in.mp4.temp: No space left on device",
          "Error closing file file:/out/in.mp4.temp: No space left on device",
          "[aac @ 0x5625] Qavg: 481.987", "Conversion failed!"},
         "CANNOT WRITE THE OUTPUT FILE \"/out/in.mp4.temp\": NO SPACE LEFT ON DEVICE!",
         4},
        {{"[mp4 @ 0x55] frames left", "av_interleaved_write_frame(): Disk quota exceeded"},
         "CANNOT WRITE THE OUTPUT FILE \"/out/in.mp4.temp\": DISK QUOTA EXCEEDED!",
         4},
        {{"file:/out/in.mp4.temp: Permission denied"},
         "CANNOT WRITE THE OUTPUT FILE \"/out/in.mp4.temp\": PERMISSION DENIED!",
         5},
        {{"file:/out/in.mp4.temp: Read-only file system"},
         "CANNOT WRITE THE OUTPUT FILE \"/out/in.mp4.temp\": READ-ONLY FILE SYSTEM!",
         5},
        {{"Error writing trailer of file:/out/in.mp4.temp: File too large"},
         "CANNOT WRITE THE OUTPUT FILE \"/out/in.mp4.temp\": FILE TOO LARGE!",
         6},
        {{"Error writing trailer of file:/out/in.mp4.temp: Input/output error"},
         "CANNOT WRITE THE OUTPUT FILE \"/out/in.mp4.temp\": INPUT/OUTPUT ERROR!",
         7},
        {{"[libx264 @ 0x5651] kb/s:2665.59", "Exiting normally, received signal 15."},
         "FFMPEG WAS STOPPED BY SIGNAL 15!",
         8},
        // A sound that does not decode, under the encoders' closing words.
        {{"Error while decoding stream #0:1: Invalid argument",
          "    Last message repeated 5331 times", "[libx264 @ 0x5628] kb/s:34.46",
          "[aac @ 0x5628] Qavg: 569.203", "Conversion failed!"},
         "THE SOURCE FILE \"/v/in.avi\" CANNOT BE DECODED: ERROR WHILE DECODING STREAM #0:1: "
         "INVALID ARGUMENT!",
         1},
        {{"[libx264 @ 0x55de] Error opening encoder.", "Conversion failed!", ""},
         "FFMPEG FAILED WITH EXIT CODE 1: ERROR OPENING ENCODER!",
         1},
        // A line about another file that merely begins like the source.
        {{"file:/v/in.avi.srt: No such file or directory"},
         "FFMPEG FAILED WITH EXIT CODE 1: FILE:/V/IN.AVI.SRT: NO SUCH FILE OR DIRECTORY!",
         1},
        // Nor is a file whose name begins like the output's the output.
        {{"Error writing trailer of file:/out/in.mp4.temp.x: No space left on device"},
         "FFMPEG FAILED WITH EXIT CODE 1: ERROR WRITING TRAILER OF FILE:/OUT/IN.MP4.TEMP.X: NO "
         "SPACE LEFT ON DEVICE!",
         1},
        {{}, "FFMPEG FAILED WITH EXIT CODE 1!", 1},
    };
    for (const auto &row : rows) {
        const Failure failure = DescribeFfmpegFailure(row.tail, source, output, 1);
        EXPECT_EQ(failure.text, row.message);
        EXPECT_EQ(ExitCodeOf(failure), row.exitCode) << row.message;
    }
}

TEST(MencoderMessages, OutputFailureLinesAreToldFromOthers)
{
    const std::string output = "/out/in.mp4.temp";
    const std::pair<std::string, bool> rows[] = {
        {"Error writing trailer of file:/out/in.mp4.temp: No space left on device", true},
        {"Error closing file file:/out/in.mp4.temp: File too large", true},
        {"av_interleaved_write_frame(): No space left on device", true},
        {"file:/v/in.avi: Invalid data found when processing input", false},
        {"Error writing trailer of file:/out/in.mp4.temp.x: File too large", false},
        {"frame=  500 fps=480 q=-1.0 Lsize=     527kB time=00:00:20.01", false},
        {"[aac @ 0x55f3c18937c0] Qavg: 188.003", false},
    };
    for (const auto &[line, isOutputFailure] : rows)
        EXPECT_EQ(IsOutputFailureLine(line, output), isOutputFailure) << line;
}
