#include "common/ascii.h"

namespace vantrel::ascii {

char ToLower(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

char ToUpper(char c)
{
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

std::string Upper(std::string_view text)
{
    std::string upper(text);
    for (char &c : upper)
        c = ToUpper(c);
    return upper;
}

bool StartsWithNoCase(std::string_view text, std::string_view lowerPrefix)
{
    if (text.size() < lowerPrefix.size())
        return false;
    for (std::size_t i = 0; i < lowerPrefix.size(); ++i) {
        if (ToLower(text[i]) != lowerPrefix[i])
            return false;
    }
    return true;
}

std::string_view Trimmed(std::string_view text)
{
    constexpr std::string_view kBlanks = " \t\r\n";
    const std::size_t first = text.find_first_not_of(kBlanks);
    if (first == std::string_view::npos)
        return {};
    return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

} // namespace vantrel::ascii
