#pragma once

// What the two companion programs, fix and mencoder, share: the system's text
// for an error code as their messages quote it (platform/systemerror gives the
// text), and a quoted path.

#include <string>
#include <string_view>

namespace vantrel::tools {

// The system's text for an error code: errno, or on Windows the code of
// GetLastError(). Without the closing line end, full stop and spaces;
// "ERROR N" when the system has no text for the code.
std::string SystemText(int code);

// SystemText(code) upper-cased (ASCII letters), as the messages quote it.
std::string UpperSystemText(int code);

// The text in quotation marks, as the messages quote file paths.
std::string Quoted(std::string_view text);

} // namespace vantrel::tools
