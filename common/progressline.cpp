#include "common/progressline.h"

#include "common/ascii.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace vantrel {

namespace {

// The number that ends just before `end` ("12.3" in "12.3s"); nothing when
// no digit stands there.
std::optional<double> NumberBefore(std::string_view text, std::size_t end)
{
    std::size_t begin = end;
    while (begin > 0 && (ascii::IsDigit(text[begin - 1]) || text[begin - 1] == '.'))
        --begin;
    if (begin == end || end - begin > 20)
        return std::nullopt;
    double value = 0;
    double scale = 0;
    for (std::size_t i = begin; i < end; ++i) {
        if (text[i] == '.') {
            if (scale != 0)
                return std::nullopt;
            scale = 1;
            continue;
        }
        const int digit = text[i] - '0';
        if (scale == 0) {
            value = value * 10 + digit;
        } else {
            scale /= 10;
            value += digit * scale;
        }
    }
    return value;
}

// The percentage in "(41%)" at the end of the line, spaces allowed.
std::optional<int> PercentOf(std::string_view line)
{
    const std::size_t close = line.rfind("%)");
    if (close == std::string_view::npos)
        return std::nullopt;
    const std::size_t open = line.rfind('(', close);
    if (open == std::string_view::npos || open + 1 == close)
        return std::nullopt;
    int value = 0;
    for (std::size_t i = open + 1; i < close; ++i) {
        const char c = line[i];
        if (c == ' ')
            continue;
        if (!ascii::IsDigit(c) || value > 1000)
            return std::nullopt;
        value = value * 10 + (c - '0');
    }
    return std::min(value, 100);
}

} // namespace

std::string FormatProgressLine(const ProgressLine &line)
{
    char buffer[96];
    const double seconds = std::max(0.0, line.position.seconds);
    const auto frames = static_cast<long long>(line.position.frames);
    if (line.percent)
        std::snprintf(buffer, sizeof buffer, "Pos: %.1fs %lldf (%d%%)", seconds, frames,
                      std::clamp(*line.percent, 0, 100));
    else
        std::snprintf(buffer, sizeof buffer, "Pos: %.1fs %lldf", seconds, frames);
    return buffer;
}

std::optional<ProgressLine> ParseProgressLine(std::string_view line)
{
    if (line.substr(0, 4) != "Pos:")
        return std::nullopt;
    const std::size_t secondsEnd = line.find('s', 4);
    if (secondsEnd == std::string_view::npos)
        return std::nullopt;
    const std::size_t framesEnd = line.find('f', secondsEnd);
    if (framesEnd == std::string_view::npos)
        return std::nullopt;
    const auto seconds = NumberBefore(line, secondsEnd);
    const auto frames = NumberBefore(line, framesEnd);
    if (!seconds || !frames || *frames != std::floor(*frames))
        return std::nullopt;
    return ProgressLine{{*seconds, static_cast<std::int64_t>(*frames)},
                        PercentOf(line.substr(framesEnd))};
}

} // namespace vantrel
