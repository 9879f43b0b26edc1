#pragma once

// UTF-8 text to and from the wide-character (UTF-16) Windows API. Windows only:
// the rest of the system keeps every text in UTF-8.

#ifdef _WIN32

#include <string>
#include <string_view>
#include <vector>

namespace vantrel::platform {

std::wstring Utf8ToWide(std::string_view utf8);
std::string WideToUtf8(std::wstring_view wide);

// The arguments after the program name, read from the wide command line by
// the system's rules (CommandLineToArgvW), so that any file name arrives
// intact whatever the ANSI code page.
std::vector<std::string> CommandLineArguments();

} // namespace vantrel::platform

#endif // _WIN32
