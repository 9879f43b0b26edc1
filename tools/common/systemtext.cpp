#include "tools/common/systemtext.h"

#include "common/ascii.h"
#include "platform/systemerror.h"

#include <cstdint>

namespace vantrel::tools {

std::string SystemText(int code)
{
    std::string text = platform::GetSystemErrorText(code);
    while (!text.empty() && (text.back() == '.' || text.back() == ' '))
        text.pop_back();
    if (text.empty()) {
#ifdef _WIN32
        // The number as Windows shows it: unsigned.
        text = "ERROR " + std::to_string(static_cast<std::uint32_t>(code));
#else
        text = "ERROR " + std::to_string(code);
#endif
    }
    return text;
}

std::string UpperSystemText(int code)
{
    return ascii::Upper(SystemText(code));
}

std::string Quoted(std::string_view text)
{
    // Appended, not "\"" + text: GCC 12 warns falsely (-Wrestrict) on that.
    std::string quoted(1, '"');
    quoted.append(text).push_back('"');
    return quoted;
}

} // namespace vantrel::tools
