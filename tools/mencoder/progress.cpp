#include "tools/mencoder/progress.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>

namespace vantrel::mencoder {

namespace {

template<typename T>
std::optional<T> Number(std::string_view text)
{
    T value{};
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

} // namespace

std::optional<EncoderPosition> ProgressReader::line(std::string_view text)
{
    auto eq = text.find('=');
    if (eq == std::string_view::npos)
        return std::nullopt;
    auto key = text.substr(0, eq);
    auto value = text.substr(eq + 1);
    // Values are "N/A" until known; the last known value stands meanwhile.
    if (key == "frame") {
        if (auto n = Number<long long>(value))
            m_current.frames = std::max(0LL, *n);
    } else if (key == "out_time_us") {
        if (auto n = Number<long long>(value))
            m_current.seconds = std::max(0.0, static_cast<double>(*n) / 1e6);
    } else if (key == "progress") {
        m_ended = value == "end";
        return m_current;
    }
    return std::nullopt;
}

std::optional<double> ParseDurationLine(std::string_view line)
{
    static constexpr std::string_view tag = "Duration: ";
    auto start = line.find_first_not_of(' ');
    if (start == std::string_view::npos || line.substr(start, tag.size()) != tag)
        return std::nullopt;
    auto rest = line.substr(start + tag.size());
    rest = rest.substr(0, rest.find(','));
    // HH:MM:SS.cc
    auto c1 = rest.find(':');
    auto c2 = rest.find(':', c1 == std::string_view::npos ? c1 : c1 + 1);
    if (c1 == std::string_view::npos || c2 == std::string_view::npos)
        return std::nullopt;
    auto h = Number<int>(rest.substr(0, c1));
    auto m = Number<int>(rest.substr(c1 + 1, c2 - c1 - 1));
    auto s = Number<double>(rest.substr(c2 + 1));
    if (!h || !m || !s || *h < 0 || *m < 0 || *m > 59 || *s < 0)
        return std::nullopt;
    double total = *h * 3600.0 + *m * 60.0 + *s;
    if (total <= 0)
        return std::nullopt;
    return total;
}

int RunningPercent(double seconds, double duration)
{
    if (!(duration > 0) || !(seconds > 0))
        return 0;
    // The small term keeps 4.1 of 10 at 41, not 40.99999.
    double percent = std::floor(seconds * 100.0 / duration + 1e-9);
    return static_cast<int>(std::clamp(percent, 0.0, 99.0));
}

bool EndsEarly(double encodedSeconds, double durationSeconds)
{
    if (!(durationSeconds > 0))
        return false;
    double slack = std::max(1.0, durationSeconds * 0.05);
    return encodedSeconds + slack < durationSeconds;
}

} // namespace vantrel::mencoder
