#pragma once

#include <string>

namespace vantrel::platform {

// The operating system's text for an error code (errno here, a Windows error
// code on Windows), without a closing line end; the empty text when the
// system has none.
std::string GetSystemErrorText(int code);

} // namespace vantrel::platform
