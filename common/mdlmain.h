#pragma once

// The shared module of the program: the settings cipher. (The folder browser,
// which needs a window, is in common/browseforfolder.h.)

#include <string>
#include <string_view>

namespace mdlMain {

// The one key that scrambles every line of the settings file.
inline constexpr std::string_view kSettingsKey = "movetrilzan";

// Both work on single-byte codes (one char = one code 0..255) and return a
// new string of the text's length. The key is aligned one letter ahead: text
// position 1 uses the key's second letter. An empty key returns the text
// unchanged; an empty text returns an empty string. Pure functions.
std::string ScrambleText(std::string_view text, std::string_view key);
std::string UnscrambleText(std::string_view text, std::string_view key);

} // namespace mdlMain
