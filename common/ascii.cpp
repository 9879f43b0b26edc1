#include "common/ascii.h"

namespace vantrel::ascii {

char ToLower(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
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

} // namespace vantrel::ascii
