#include "upload/uploadpercent.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace vantrel::upload {

namespace {

double RoundHalfToEven(double x)
{
    const double lower = std::floor(x);
    const double fraction = x - lower;
    if (fraction > 0.5)
        return lower + 1.0;
    if (fraction < 0.5)
        return lower;
    return std::fmod(lower, 2.0) == 0.0 ? lower : lower + 1.0;
}

} // namespace

int UploadPercent(std::int64_t sent, std::int64_t total)
{
    if (total <= 0)
        return 100;
    sent = std::clamp<std::int64_t>(sent, 0, total);
    const double percent = static_cast<double>(sent) / static_cast<double>(total) * 100.0;
    return static_cast<int>(std::clamp(RoundHalfToEven(percent), 0.0, 100.0));
}

ProgressBarRange ScaleProgressBar(std::int64_t sent, std::int64_t total)
{
    if (total <= 0)
        return {1, 1};
    sent = std::clamp<std::int64_t>(sent, 0, total);
    constexpr std::int64_t kLimit = std::numeric_limits<int>::max();
    const std::int64_t divisor = total <= kLimit ? 1 : (total + kLimit - 1) / kLimit;
    return {static_cast<int>(total / divisor), static_cast<int>(sent / divisor)};
}

} // namespace vantrel::upload
