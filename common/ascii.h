#pragma once

// Case rules of ASCII alone, for protocol text (URL schemes, host names,
// "SHA256 Fingerprint="), where the user's locale must not count. Pure.

#include <string_view>

namespace vantrel::ascii {

char ToLower(char c);

// Whether `text` begins with `lowerPrefix` (given in lower case), ignoring
// the case of ASCII letters in `text`.
bool StartsWithNoCase(std::string_view text, std::string_view lowerPrefix);

} // namespace vantrel::ascii
