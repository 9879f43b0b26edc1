#pragma once

// Case rules and character classes of ASCII alone, for protocol text (URL
// schemes, host names, reply codes, "SHA256 Fingerprint="), where the user's
// locale must not count. Pure.

#include <string>
#include <string_view>

namespace vantrel::ascii {

char ToLower(char c);
char ToUpper(char c);
bool IsDigit(char c);

// ASCII letters upper-cased; other bytes (UTF-8 included) left as they are.
std::string Upper(std::string_view text);

// Whether `text` begins with `lowerPrefix` (given in lower case), ignoring
// the case of ASCII letters in `text`.
bool StartsWithNoCase(std::string_view text, std::string_view lowerPrefix);

// `text` without the spaces, tabs, CRs and LFs at either end.
std::string_view Trimmed(std::string_view text);

} // namespace vantrel::ascii
