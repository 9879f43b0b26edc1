#pragma once

// What the two companion programs, fix and mencoder, share: the system's text
// for an error code, in UTF-8 on every system, and the ASCII upper case their
// messages are written in. The main program keeps its own (platform/).

#include <string>
#include <string_view>

namespace vantrel::tools {

// The system's text for an error code: errno, or on Windows the code of
// GetLastError(). Without the closing line end, full stop and spaces;
// "ERROR N" when the system has no text for the code.
std::string SystemText(int code);

// ASCII letters upper-cased; other bytes (UTF-8 included) left as they are.
std::string UpperAscii(std::string_view text);

// SystemText(code) upper-cased, as the messages quote it.
std::string UpperSystemText(int code);

} // namespace vantrel::tools
