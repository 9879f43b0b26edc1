#pragma once

// Reading FFmpeg's progress and its description of the source. Pure
// functions and small value classes; nothing here touches a file or a
// process. Our own progress lines are common/progressline's, and FFmpeg's
// output is cut into lines by common/lines.

#include "common/lines.h"
#include "common/progressline.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vantrel::mencoder {

using vantrel::LineSplitter;

// Reads the key=value lines of FFmpeg's -progress output. Each block ends with
// "progress=continue" or "progress=end".
class ProgressReader
{
public:
    // The position when this line ends a block, otherwise nothing.
    std::optional<EncoderPosition> line(std::string_view text);
    bool ended() const { return m_ended; }

private:
    EncoderPosition m_current;
    bool m_ended = false;
};

// The input duration in seconds from FFmpeg's "  Duration: 00:01:02.50, ..."
// line; nothing for any other line and for "Duration: N/A".
std::optional<double> ParseDurationLine(std::string_view line);

// Whole percent of the duration, rounded down and held within 0..99 while the
// encoding runs: 100 is kept for the line that reports success.
int RunningPercent(double seconds, double duration);

// True when an encoding that FFmpeg reported as finished stopped well short of
// the source's duration: the source ends early, as a cut-off download does.
// Small differences between container and stream durations are allowed for.
bool EndsEarly(double encodedSeconds, double durationSeconds);

} // namespace vantrel::mencoder
