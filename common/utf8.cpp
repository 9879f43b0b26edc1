#include "common/utf8.h"

namespace vantrel::utf8 {

namespace {

bool IsContinuation(unsigned char c)
{
    return (c & 0xC0) == 0x80;
}

// Bytes taken by the character that starts at `pos`.
std::size_t CharLength(std::string_view text, std::size_t pos)
{
    const auto lead = static_cast<unsigned char>(text[pos]);
    std::size_t expected = 1;
    if (lead >= 0xF0 && lead <= 0xF4)
        expected = 4;
    else if (lead >= 0xE0)
        expected = lead <= 0xEF ? 3 : 1;
    else if (lead >= 0xC2)
        expected = 2;
    if (pos + expected > text.size())
        return 1;
    for (std::size_t i = 1; i < expected; ++i) {
        if (!IsContinuation(static_cast<unsigned char>(text[pos + i])))
            return 1;
    }
    return expected;
}

} // namespace

std::size_t Length(std::string_view text)
{
    std::size_t count = 0;
    for (std::size_t pos = 0; pos < text.size(); pos += CharLength(text, pos))
        ++count;
    return count;
}

std::string_view Left(std::string_view text, std::size_t count)
{
    std::size_t pos = 0;
    for (; pos < text.size() && count > 0; --count)
        pos += CharLength(text, pos);
    return text.substr(0, pos);
}

std::string_view Right(std::string_view text, std::size_t count)
{
    const std::size_t length = Length(text);
    return count >= length ? text : text.substr(Left(text, length - count).size());
}

std::filesystem::path PathOf(std::string_view text)
{
    return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

} // namespace vantrel::utf8
