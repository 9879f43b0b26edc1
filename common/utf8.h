#pragma once

// Counting and cutting UTF-8 text by characters (code points). Bytes that
// are not valid UTF-8 count as one character each. Pure functions.

#include <cstddef>
#include <filesystem>
#include <string_view>

namespace vantrel::utf8 {

std::size_t Length(std::string_view text);
// The first `count` characters.
std::string_view Left(std::string_view text, std::size_t count);
// The last `count` characters.
std::string_view Right(std::string_view text, std::size_t count);

// The file-system path that UTF-8 text names (on Windows too, where a narrow
// string would be read in the ANSI code page).
std::filesystem::path PathOf(std::string_view text);

} // namespace vantrel::utf8
