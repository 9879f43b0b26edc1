#include "tools/common/systemtext.h"

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include <cstring>
#endif

namespace vantrel::tools {

namespace {

#ifdef _WIN32
using Code = DWORD; // the number as Windows shows it: unsigned

std::string RawText(int code)
{
    wchar_t buffer[512] = {};
    const DWORD n =
        FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                       DWORD(code), 0, buffer, DWORD(std::size(buffer)), nullptr);
    if (n == 0)
        return {};
    const int size = WideCharToMultiByte(CP_UTF8, 0, buffer, int(n), nullptr, 0, nullptr, nullptr);
    std::string text(std::size_t(size > 0 ? size : 0), '\0');
    WideCharToMultiByte(CP_UTF8, 0, buffer, int(n), text.data(), size, nullptr, nullptr);
    return text;
}
#else
using Code = int;

std::string RawText(int code)
{
    return std::strerror(code);
}
#endif

} // namespace

std::string SystemText(int code)
{
    std::string text = RawText(code);
    while (
        !text.empty()
        && (text.back() == '\r' || text.back() == '\n' || text.back() == '.' || text.back() == ' '))
        text.pop_back();
    if (text.empty())
        text = "ERROR " + std::to_string(Code(code));
    return text;
}

std::string UpperAscii(std::string_view text)
{
    std::string upper(text);
    for (char &c : upper) {
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    }
    return upper;
}

std::string UpperSystemText(int code)
{
    return UpperAscii(SystemText(code));
}

} // namespace vantrel::tools
