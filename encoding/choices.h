#pragma once

// The user's choices on the "Source Files" page: the proposed output name,
// the output folder's separator, and the checks before an encoding. Texts are
// UTF-8; lengths count characters, not bytes. Pure functions.

#include <optional>
#include <string>
#include <string_view>

namespace vantrel::encoding {

// The output name proposed from a source file's name: an extension "mpeg"
// (any case) loses four characters, any other name its last three; then
// "mp4" is appended. Nothing when the name is shorter than what is to be
// dropped.
std::optional<std::string> ProposeOutputName(std::string_view fileTitle);

// The folder with one separator at its end; the empty text stays empty.
std::string WithTrailingSeparator(std::string folder, char separator);

// True when the last four characters, lower-cased, are ".mp4".
bool HasMp4Ending(std::string_view fileName);

// A quotation mark cannot be carried inside a quoted command-line argument.
bool ContainsQuotationMark(std::string_view text);

} // namespace vantrel::encoding
