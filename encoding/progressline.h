#pragma once

#include <optional>
#include <string_view>

namespace vantrel::encoding {

// The percent of an encoder progress line such as "Pos: 12.3s 308f (41%)",
// clamped to 0..100; nothing for any other line. Pure.
std::optional<int> ProgressPercent(std::string_view line);

} // namespace vantrel::encoding
