#pragma once

// Reading FFmpeg's output and writing our progress lines. Pure functions and
// small value classes; nothing here touches a file or a process.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vantrel::mencoder {

// Cuts a byte stream into lines. A line ends at "\n" or "\r" ("\r\n" gives one
// line); an unfinished line is kept for the next chunk. Lines longer than the
// limit are cut there, so a stream without line ends cannot grow memory.
class LineSplitter
{
public:
    explicit LineSplitter(std::size_t maxLine = 4096)
        : m_maxLine(maxLine)
    {}

    // The lines completed by this chunk, without their line ends.
    std::vector<std::string> feed(std::string_view chunk);
    // The unfinished last line, if any, once the stream has ended.
    std::optional<std::string> finish();

private:
    std::size_t m_maxLine;
    std::string m_partial;
    bool m_afterCr = false;
};

// Where the encoding stands: the output's time position and frame count.
struct Position
{
    double seconds = 0;
    long long frames = 0;
};

// Reads the key=value lines of FFmpeg's -progress output. Each block ends with
// "progress=continue" or "progress=end".
class ProgressReader
{
public:
    // The position when this line ends a block, otherwise nothing.
    std::optional<Position> line(std::string_view text);
    bool ended() const { return m_ended; }

private:
    Position m_current;
    bool m_ended = false;
};

// The input duration in seconds from FFmpeg's "  Duration: 00:01:02.50, ..."
// line; nothing for any other line and for "Duration: N/A".
std::optional<double> ParseDurationLine(std::string_view line);

// Whole percent of the duration, rounded down and held within 0..99 while the
// encoding runs: 100 is kept for the line that reports success.
int RunningPercent(double seconds, double duration);

// "Pos: 12.3s 308f (41%)", or "Pos: 12.3s 308f" when the percent is unknown.
std::string ProgressLine(const Position &position, std::optional<int> percent);

// True when an encoding that FFmpeg reported as finished stopped well short of
// the source's duration: the source ends early, as a cut-off download does.
// Small differences between container and stream durations are allowed for.
bool EndsEarly(double encodedSeconds, double durationSeconds);

} // namespace vantrel::mencoder
