#include "platform/systemerror.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <cstring>
#endif

namespace vantrel::platform {

std::string GetSystemErrorText(int code)
{
#ifdef _WIN32
    wchar_t buffer[512];
    const DWORD n =
        FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                       DWORD(code), 0, buffer, DWORD(std::size(buffer)), nullptr);
    if (n == 0)
        return {};
    std::wstring text(buffer, n);
    while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r'))
        text.pop_back();
    const int len = WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0,
                                        nullptr, nullptr);
    std::string out(std::size_t(len), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), out.data(), len, nullptr,
                        nullptr);
    return out;
#else
    // strerror invents "Unknown error N" for codes it does not know.
    char buffer[256] = {};
    const char *text = strerror_r(code, buffer, sizeof buffer);
    const std::string result = text ? text : "";
    return result.rfind("Unknown error", 0) == 0 ? std::string() : result;
#endif
}

} // namespace vantrel::platform
