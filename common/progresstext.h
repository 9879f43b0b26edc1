#pragma once

// The texts that say how far a job has come and how long the rest will
// take: beside the encoder window's bar, and in the upload progress bar.
// Pure: every time comes in as an argument.

#include "common/progressline.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vantrel {

// A duration in whole seconds, rounded down: "0:07", "12:34", "1:02:03".
// Negative durations count as 0.
std::string FormatDuration(std::int64_t milliseconds);

// The encoder window's text: "Elapsed 0:12", with a position
// "Elapsed 0:12 | 25.0 fps, 1.0x real time", and once a percentage above 0
// is known "Elapsed 0:12 | 25.0 fps, 1.0x real time | 0:18 left". The speed
// is left out until a tenth of a second has passed.
std::string EncodingProgressText(std::int64_t elapsedMs,
                                 const std::optional<EncoderPosition> &position,
                                 std::optional<int> percent);

// The upload bar's text for a rate in bytes per second and the bytes still
// to send: "850.0 KB/s, 1:05 left", "1.5 MB/s, 0:02 left" (units of 1024).
// Empty while the rate is 0.
std::string TransferRateText(double bytesPerSecond, std::int64_t bytesLeft);

// The rate of one transfer since its first progress report, and when the
// bar's text is due: at most every kIntervalMs, so that it stays readable
// however often the reports come.
class TransferMeter
{
public:
    static constexpr std::int64_t kIntervalMs = 250;

    // A new transfer: the next report is its first.
    void reset() { m_started = false; }

    // A progress report at `nowMs`; the text to show when one is due.
    std::optional<std::string> report(std::int64_t nowMs, std::int64_t sent, std::int64_t total);

private:
    bool m_started = false;
    std::int64_t m_startMs = 0;
    std::int64_t m_startSent = 0;
    std::int64_t m_shownMs = 0;
};

} // namespace vantrel
