#pragma once

// What vantrel-cli shows on a terminal: one line per file ("[2/8]
// clip.avi: encoding 41% | ..."), cut to the terminal's width so that it
// can be rewritten in place. Pure.

#include "common/progressline.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vantrel::cli {

// "[2/8] clip.avi"
std::string FileLabel(int number, int count, std::string_view name);

// "encoding 41% | Elapsed 0:12 | 25.0 fps, 1.0x real time | 0:18 left"
std::string EncodingStateText(std::int64_t elapsedMs, const ProgressLine &progress);

// "uploading 63% | 850.0 KB/s, 0:05 left"; without a rate text "uploading 63%".
std::string UploadStateText(std::int64_t sent, std::int64_t total, std::string_view rateText);

// A message of several lines as one.
std::string OneLine(std::string_view message);

// At most `columns` characters (UTF-8 sequences count as one); nothing is
// cut for 0 columns (the width is unknown).
std::string FitToWidth(std::string_view line, std::size_t columns);

} // namespace vantrel::cli
