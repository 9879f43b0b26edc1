#pragma once

// What the upload display shows for an amount sent out of a total: the
// percentage and the progress bar's range. Pure functions.

#include <cstdint>

namespace vantrel::upload {

// sent / total * 100 in double precision, rounded to the nearest whole number
// with halves going to the even neighbour (1 of 8 gives 12, 3 of 8 gives 38).
// A total of 0 (an empty file) counts as complete: 100. The result is kept
// within 0..100.
int UploadPercent(std::int64_t sent, std::int64_t total);

// A progress bar takes an int range. Totals that fit are used as they are;
// larger ones are divided down by the same factor as the amount sent, so the
// bar keeps its proportion. A total of 0 gives a full bar (1 of 1).
struct ProgressBarRange
{
    int maximum = 0;
    int value = 0;
};
ProgressBarRange ScaleProgressBar(std::int64_t sent, std::int64_t total);

} // namespace vantrel::upload
