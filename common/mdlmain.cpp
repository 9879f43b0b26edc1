#include "common/mdlmain.h"

namespace mdlMain {

namespace {

// Text position i (counted from 1) uses the key letter at (i mod L) + 1, so
// the key runs one letter ahead of the text.
template<typename Combine>
std::string Transform(std::string_view text, std::string_view key, Combine combine)
{
    if (key.empty())
        return std::string(text);
    std::string result(text.size(), '\0');
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto t = static_cast<unsigned char>(text[i]);
        const auto k = static_cast<unsigned char>(key[(i + 1) % key.size()]);
        result[i] = static_cast<char>(combine(t, k) & 0xFF);
    }
    return result;
}

} // namespace

std::string ScrambleText(std::string_view text, std::string_view key)
{
    return Transform(text, key, [](unsigned t, unsigned k) { return t + k; });
}

std::string UnscrambleText(std::string_view text, std::string_view key)
{
    return Transform(text, key, [](unsigned t, unsigned k) { return t + 256 - k; });
}

} // namespace mdlMain
