#include "common/progresstext.h"

#include <cmath>
#include <cstdio>

namespace vantrel {

namespace {

std::string OneDecimal(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", value);
    return text;
}

} // namespace

std::string FormatDuration(std::int64_t milliseconds)
{
    const std::int64_t total = milliseconds > 0 ? milliseconds / 1000 : 0;
    const std::int64_t hours = total / 3600;
    const std::int64_t minutes = total / 60 % 60;
    const std::int64_t seconds = total % 60;
    char text[48];
    if (hours > 0)
        std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", static_cast<long long>(hours),
                      static_cast<long long>(minutes), static_cast<long long>(seconds));
    else
        std::snprintf(text, sizeof text, "%lld:%02lld", static_cast<long long>(minutes),
                      static_cast<long long>(seconds));
    return text;
}

std::string EncodingProgressText(std::int64_t elapsedMs,
                                 const std::optional<EncoderPosition> &position,
                                 std::optional<int> percent)
{
    std::string text = "Elapsed " + FormatDuration(elapsedMs);
    if (position && elapsedMs >= 100) {
        const double elapsed = static_cast<double>(elapsedMs) / 1000;
        text += " | " + OneDecimal(static_cast<double>(position->frames) / elapsed) + " fps, "
                + OneDecimal(position->seconds / elapsed) + "x real time";
    }
    if (percent && *percent > 0) {
        const int done = *percent > 100 ? 100 : *percent;
        const auto left =
            static_cast<std::int64_t>(static_cast<double>(elapsedMs) * (100 - done) / done);
        text += " | " + FormatDuration(left) + " left";
    }
    return text;
}

std::string TransferRateText(double bytesPerSecond, std::int64_t bytesLeft)
{
    if (!(bytesPerSecond > 0))
        return {};
    const double kib = bytesPerSecond / 1024;
    const std::string rate =
        kib < 1024 ? OneDecimal(kib) + " KB/s" : OneDecimal(kib / 1024) + " MB/s";
    const double left = bytesLeft > 0 ? static_cast<double>(bytesLeft) / bytesPerSecond : 0;
    return rate + ", " + FormatDuration(static_cast<std::int64_t>(left * 1000)) + " left";
}

std::optional<std::string> TransferMeter::report(std::int64_t nowMs, std::int64_t sent,
                                                 std::int64_t total)
{
    if (!m_started) {
        m_started = true;
        m_startMs = nowMs;
        m_startSent = sent;
        m_shownMs = nowMs;
        return std::nullopt;
    }
    if (nowMs - m_shownMs < kIntervalMs)
        return std::nullopt;
    m_shownMs = nowMs;
    const double seconds = static_cast<double>(nowMs - m_startMs) / 1000;
    const double rate = static_cast<double>(sent - m_startSent) / seconds;
    return TransferRateText(rate, total - sent);
}

} // namespace vantrel
