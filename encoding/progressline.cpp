#include "encoding/progressline.h"

namespace vantrel::encoding {

std::optional<int> ProgressPercent(std::string_view line)
{
    if (line.substr(0, 4) != "Pos:")
        return std::nullopt;
    const std::size_t close = line.rfind("%)");
    if (close == std::string_view::npos)
        return std::nullopt;
    const std::size_t open = line.rfind('(', close);
    if (open == std::string_view::npos || open + 1 == close)
        return std::nullopt;
    int value = 0;
    for (std::size_t i = open + 1; i < close; ++i) {
        const char c = line[i];
        if (c == ' ')
            continue;
        if (c < '0' || c > '9' || value > 1000)
            return std::nullopt;
        value = value * 10 + (c - '0');
    }
    return value > 100 ? 100 : value;
}

} // namespace vantrel::encoding
