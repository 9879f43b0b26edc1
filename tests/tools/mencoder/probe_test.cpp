// What the source's packet list tells: where its video ends, how its frames
// are made of fields, and which sources are refused before encoding.

#include "tools/mencoder/probe.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace vantrel::mencoder;

namespace {

using Lines = std::vector<std::string>;

const std::string kSource = "/v/clip.wmv";

// FFmpeg's packet list head for a video stream (time base 1/tb) and, when
// given, an audio stream.
Lines head(int videoTb, int audioTb = 0)
{
    Lines lines = {"#tb 0: 1/" + std::to_string(videoTb), "#media_type 0: video"};
    if (audioTb)
        lines.insert(lines.end(), {"#tb 1: 1/" + std::to_string(audioTb), "#media_type 1: audio"});
    return lines;
}

SourceReport reportOf(const Lines &packets, const Lines &messages = {})
{
    SourceProbe probe;
    for (const auto &line : messages)
        probe.messageLine(line, kSource);
    for (const auto &line : packets)
        probe.packetLine(line);
    return probe.report();
}

Lines operator+(Lines a, const Lines &b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

} // namespace

TEST(MencoderProbe, WhereTheVideoEnds)
{
    const std::string twoSeconds = "  Duration: 00:00:02.00, start: 0.000000, bitrate: 15 kb/s";
    struct Case
    {
        std::string name;
        Lines packets;
        Lines messages;
        double lastFrame;
        double end;
        double dataSeconds;
    };
    // "stream, dts, pts, duration, size, checksum"
    const Case cases[] = {
        {"one frame a second, no packet lengths: shown as long as the one before",
         head(1000) + Lines{"0, 0, 0, 0, 2019, 0x6ab68a30", "0, 1000, 1000, 0, 967, 0xa58766ee"},
         {},
         1.0,
         2.0,
         2.0},
        {"... but not past the container's end",
         head(1000) + Lines{"0, 0, 0, 0, 9, 0x0", "0, 1000, 1000, 0, 9, 0x0"},
         {"  Duration: 00:00:01.50, start: 0.000000, bitrate: 15 kb/s"},
         1.0,
         1.5,
         1.5},
        {"last frame held by its own length, sound as long",
         head(12800, 44100)
             + Lines{"0, -512, 0, 512, 9, 0x0", "1, -1024, -1024, 1024, 9, 0x0",
                     "0, 24576, 25088, 12032, 9, 0x0", "0, 24064, 24576, 512, 9, 0x0",
                     "1, 126976, 126976, 1024, 9, 0x0"},
         {"  Duration: 00:00:02.90, start: 0.000000, bitrate: 15 kb/s"},
         1.96,
         2.9,
         2.925714},
        {"a container that measures itself to the last frame's start still shows it whole",
         head(90000) + Lines{"0, -3600, 0, 3600, 9, 0x0", "0, 0, 3600, 3600, 9, 0x0"},
         {"  Duration: 00:00:00.04, start: 0.500000, bitrate: 15 kb/s"},
         0.04,
         0.08,
         0.08},
        {"a packet length past the container's end is not believed",
         head(1000) + Lines{"0, 0, 0, 40, 9, 0x0", "0, 40, 40, 900000, 9, 0x0"},
         {twoSeconds},
         0.04,
         2.0,
         2.0},
        {"frames with a decoding time only are shown after the others' delay",
         head(90000)
             + Lines{"0, -3600, 0, 3600, 9, 0x0", "0, 0, 3600, 3600, 9, 0x0",
                     "0, 3600, -9223372036854775808, 3600, 9, 0x0"},
         {},
         0.08,
         0.12,
         0.12},
        {"a lone frame is shown while the sound plays",
         head(25, 1000) + Lines{"0, 0, 0, 1, 9, 0x0", "1, 0, 0, 3000, 9, 0x0"},
         {},
         0.0,
         3.0,
         3.0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const SourceReport report = reportOf(c.packets, c.messages);
        ASSERT_TRUE(report.video.lastFrame && report.video.end);
        EXPECT_NEAR(*report.video.lastFrame, c.lastFrame, 1e-6);
        EXPECT_NEAR(*report.video.end, c.end, 1e-6);
        EXPECT_NEAR(report.dataSeconds, c.dataSeconds, 1e-3);
    }
}

TEST(MencoderProbe, PacketTimesFarPastTheContainersEndAreNotTrusted)
{
    // 242 frames of an 8.3 s Ogg file whose Theora packets count up to 102 s.
    const SourceReport report = reportOf(
        head(30000) + Lines{"0, 1001, 1001, 1001, 9, 0x0", "0, 3059059, 3059059, 1001, 9, 0x0"},
        {"  Duration: 00:00:08.34, start: 0.000000, bitrate: 600 kb/s"});
    EXPECT_FALSE(report.video.end);
    EXPECT_FALSE(report.video.lastFrame);
    EXPECT_FALSE(RefusalOf(report, kSource));
}

TEST(MencoderProbe, FieldOrderFromTheStreamDescription)
{
    const std::pair<std::string, FieldOrder> cases[] = {
        {"  Stream #0:0[0x1e0]: Video: mpeg2video (Main), yuv420p(tv, top first), 720x576",
         FieldOrder::TopFirst},
        {"  Stream #0:0: Video: huffyuv (HFYU / 0x55594648), bgr0(bottom first), 720x576",
         FieldOrder::BottomFirst},
        {"  Stream #0:0: Video: h264, yuv420p(top coded first (swapped)), 1920x1080",
         FieldOrder::BottomFirst},
        {"  Stream #0:0: Video: h264, yuv420p(tv, bt709, bottom coded first (swapped)), 1920x1080",
         FieldOrder::TopFirst},
        {"  Stream #0:0: Video: h264 (High), yuv420p(progressive), 1280x720 [SAR 1:1 DAR 16:9]",
         FieldOrder::Progressive},
        {"  Stream #0:0: Video: mjpeg (Progressive) (MJPG / 0x47504A4D), yuvj422p(pc), 640x480",
         FieldOrder::Unknown},
    };
    for (const auto &[line, order] : cases)
        EXPECT_EQ(FieldOrderOf(line), order) << line;

    // Cover art described first is not the video.
    SourceProbe probe;
    for (const std::string line :
         {"  Stream #0:0: Video: png, rgb24(pc), 500x500 (attached pic)",
          "  Stream #0:1: Video: mpeg2video, yuv420p(tv, top first), 720x576",
          "  Stream #0:0: Video: mpeg2video, yuv420p(tv, progressive), 720x576"})
        probe.messageLine(line, kSource);
    EXPECT_EQ(probe.report().video.fieldOrder, FieldOrder::TopFirst);
}

TEST(MencoderProbe, StillPicturesAndCutOffFilesAreRefused)
{
    const Lines six = {"  Duration: 00:00:06.00, start: 0.000000, bitrate: 15 kb/s"};
    const Lines cut = {"[mov,mp4,m4a,3gp,3g2,mj2 @ 0x55] stream 1, offset 0x14e35: partial file"};
    const Lines halfway =
        head(25, 1000)
        + Lines{"0, 0, 0, 1, 9, 0x0", "0, 86, 86, 1, 9, 0x0", "1, 0, 0, 3400, 9, 0x0"};
    struct Case
    {
        std::string name;
        Lines packets;
        Lines messages;
        int exitCode; // 0: not refused
        std::string text;
    };
    const Case cases[] = {
        {"one picture",
         head(25) + Lines{"0, 0, 0, 1, 9, 0x0"},
         {},
         9,
         "THE SOURCE FILE \"/v/clip.wmv\" IS A STILL PICTURE, NOT A VIDEO!"},
        {"one picture with sound",
         head(25, 1000) + Lines{"0, 0, 0, 1, 9, 0x0", "1, 0, 0, 20, 9, 0x0"},
         {},
         0,
         ""},
        {"cut off, and FFmpeg says so", halfway, six + cut, 1,
         "THE SOURCE FILE \"/v/clip.wmv\" IS DAMAGED: IT ENDS AFTER 3.5 OF 6.0 SECONDS!"},
        {"... a Matroska file", halfway,
         six + Lines{"[matroska,webm @ 0x55] File ended prematurely"}, 1,
         "THE SOURCE FILE \"/v/clip.wmv\" IS DAMAGED: IT ENDS AFTER 3.5 OF 6.0 SECONDS!"},
        {"ends early, but reads without trouble", halfway, six, 0, ""},
        {"a broken packet, but whole", halfway,
         Lines{"  Duration: 00:00:03.50, start: 0.000000, bitrate: 15 kb/s"} + cut, 0, ""},
        {"a duration guessed from the bit rate", halfway,
         six + cut
             + Lines{"[mpeg @ 0x55] Estimating duration from bitrate, this may be inaccurate"},
         0, ""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const auto refusal = RefusalOf(reportOf(c.packets, c.messages), kSource);
        ASSERT_EQ(refusal.has_value(), c.exitCode != 0);
        if (refusal) {
            EXPECT_EQ(ExitCodeOf(*refusal), c.exitCode);
            EXPECT_EQ(refusal->text, c.text);
        }
    }
}
