#pragma once

#include <string>

namespace vantrel::platform {

// The folder that holds the running executable, UTF-8, without a trailing
// separator. Empty if the operating system cannot tell.
std::string ApplicationFolder();

// The separator between a folder and a name on this platform.
#ifdef _WIN32
inline constexpr char kPathSeparator = '\\';
#else
inline constexpr char kPathSeparator = '/';
#endif

} // namespace vantrel::platform
