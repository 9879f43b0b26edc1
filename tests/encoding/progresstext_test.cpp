// The progress texts: durations, encoder positions, the encoder window's
// line and the upload bar's rate, with the meter that paces it.

#include "common/progresstext.h"

#include <gtest/gtest.h>

using namespace vantrel;

namespace {

TEST(ProgressText, Durations)
{
    const struct
    {
        std::int64_t ms;
        const char *text;
    } cases[] = {
        {-5, "0:00"},         {0, "0:00"},          {999, "0:00"},           {7000, "0:07"},
        {59999, "0:59"},      {60000, "1:00"},      {754000, "12:34"},       {3599000, "59:59"},
        {3600000, "1:00:00"}, {3723000, "1:02:03"}, {360000000, "100:00:00"}};
    for (const auto &c : cases)
        EXPECT_EQ(FormatDuration(c.ms), c.text) << c.ms;
}

TEST(ProgressText, EncoderPositions)
{
    const struct
    {
        const char *line;
        bool valid;
        double seconds;
        std::int64_t frames;
    } cases[] = {
        {"Pos: 12.3s 308f (41%)", true, 12.3, 308},
        {"Pos: 0.0s 0f", true, 0, 0},
        {"Pos: 7s 175f ( 9%)", true, 7, 175},
        {"Pos: 12.3s (41%)", false, 0, 0},
        {"Pos: s 308f", false, 0, 0},
        {"Pos: 1.2.3s 30f", false, 0, 0},
        {"Pos: 1.0s 2.5f", false, 0, 0},
        {"Duration: 12.3s 308f", false, 0, 0},
        {"", false, 0, 0},
    };
    for (const auto &c : cases) {
        const auto line = ParseProgressLine(c.line);
        ASSERT_EQ(line.has_value(), c.valid) << c.line;
        if (!line)
            continue;
        EXPECT_DOUBLE_EQ(line->position.seconds, c.seconds) << c.line;
        EXPECT_EQ(line->position.frames, c.frames) << c.line;
    }
}

TEST(ProgressText, EncoderWindowLine)
{
    const EncoderPosition at{10.0, 250};
    const struct
    {
        std::int64_t elapsedMs;
        std::optional<EncoderPosition> position;
        std::optional<int> percent;
        const char *text;
    } cases[] = {
        {3000, std::nullopt, std::nullopt, "Elapsed 0:03"},
        {3000, std::nullopt, 0, "Elapsed 0:03"},
        {50, at, std::nullopt, "Elapsed 0:00"},
        {5000, at, std::nullopt, "Elapsed 0:05 | 50.0 fps, 2.0x real time"},
        {5000, at, 0, "Elapsed 0:05 | 50.0 fps, 2.0x real time"},
        {5000, at, 25, "Elapsed 0:05 | 50.0 fps, 2.0x real time | 0:15 left"},
        {20000, at, 40, "Elapsed 0:20 | 12.5 fps, 0.5x real time | 0:30 left"},
        {5000, at, 100, "Elapsed 0:05 | 50.0 fps, 2.0x real time | 0:00 left"},
        {5000, std::nullopt, 50, "Elapsed 0:05 | 0:05 left"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(EncodingProgressText(c.elapsedMs, c.position, c.percent), c.text)
            << c.elapsedMs << " " << c.percent.value_or(-1);
}

TEST(ProgressText, UploadRates)
{
    const struct
    {
        double rate;
        std::int64_t left;
        const char *text;
    } cases[] = {
        {0, 1000, ""},
        {-1, 1000, ""},
        {512, 5120, "0.5 KB/s, 0:10 left"},
        {870400, 870400LL * 65, "850.0 KB/s, 1:05 left"},
        {1048575, 0, "1024.0 KB/s, 0:00 left"},
        {1.5 * 1048576, 3LL * 1048576, "1.5 MB/s, 0:02 left"},
        {1048576, -10, "1.0 MB/s, 0:00 left"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(TransferRateText(c.rate, c.left), c.text) << c.rate;
}

TEST(ProgressText, MeterMeasuresFromTheFirstReportAndPacesItsText)
{
    TransferMeter meter;
    const struct
    {
        std::int64_t nowMs;
        std::int64_t sent;
        const char *text; // nullptr: nothing due
    } steps[] = {
        {1000, 1024, nullptr}, // the first report starts the clock
        {1100, 2048, nullptr}, // too soon
        {1250, 1024 + 128 * 1024, "512.0 KB/s, 0:01 left"},
        {1400, 1024 + 400 * 1024, nullptr}, // too soon after the last text
        {2000, 1024 + 1024 * 1024, "1.0 MB/s, 0:00 left"},
    };
    for (const auto &step : steps) {
        const auto text = meter.report(step.nowMs, step.sent, 1024 + 1024 * 1024);
        ASSERT_EQ(text.has_value(), step.text != nullptr) << step.nowMs;
        if (text) {
            EXPECT_EQ(*text, step.text) << step.nowMs;
        }
    }
    // A new transfer starts its own clock.
    meter.reset();
    EXPECT_FALSE(meter.report(5000, 0, 100).has_value());
    EXPECT_EQ(meter.report(6000, 50, 100).value_or("none"), "0.0 KB/s, 0:01 left");
}

} // namespace
