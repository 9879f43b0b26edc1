#pragma once

// The program's texts for operating-system errors.

#include <string>

namespace vantrel::platform {

// The text of an errno code in English, whatever the user's locale (the C
// library's own texts follow it); the C library's text for codes without an
// English text here; the empty text for a code the system does not know.
std::string ErrnoText(int error);

// The operating system's text for its own error code (errno here, a Windows
// error code on Windows), without a closing line end; the empty text when
// the system has none.
std::string GetSystemErrorText(int code);

} // namespace vantrel::platform
