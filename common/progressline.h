#pragma once

// The encoder's progress line, "Pos: 12.3s 308f (41%)": where the encoding
// stands in the source and how many frames it has written, and, once the
// source's length is known, the percentage done. `mencoder` prints it; the
// encoding job reads it. Pure.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vantrel {

struct EncoderPosition
{
    double seconds = 0;
    std::int64_t frames = 0;
};

struct ProgressLine
{
    EncoderPosition position;
    std::optional<int> percent; // 0..100
};

// "Pos: 12.3s 308f (41%)", or "Pos: 12.3s 308f" without a percentage; a
// negative position counts as 0, the percentage is held within 0..100.
std::string FormatProgressLine(const ProgressLine &line);

// The line read back; nothing for any other line. A percentage that is not
// a whole number leaves it out; one above 100 counts as 100.
std::optional<ProgressLine> ParseProgressLine(std::string_view line);

} // namespace vantrel
