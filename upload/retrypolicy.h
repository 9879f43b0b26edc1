#pragma once

// How often, and after how long a pause, an upload whose connection broke
// tries again (upload/resumableupload). All attempts stay within the stall
// time of the connection.

#include <chrono>

namespace vantrel::upload {

struct RetryPolicy
{
    // New attempts after the first, at most.
    int attempts = 5;
    // The pause before the first of them; each pause after is twice the one
    // before, up to the longest.
    std::chrono::milliseconds firstPause{1000};
    std::chrono::milliseconds longestPause{8000};
};

} // namespace vantrel::upload
