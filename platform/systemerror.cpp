#include "platform/systemerror.h"

#include <cerrno>
#include <cstring>
#include <iterator>

#ifdef _WIN32
#include <windows.h>
#endif

namespace vantrel::platform {

namespace {

struct ErrnoEntry
{
    int code;
    const char *text;
};

constexpr ErrnoEntry kErrnoTexts[] = {
    {ENOENT, "No such file or directory"},
    {ENOTDIR, "Not a directory"},
    {EACCES, "Permission denied"},
    {EPERM, "Operation not permitted"},
    {EROFS, "Read-only file system"},
    {ENOSPC, "No space left on device"},
#ifdef EDQUOT
    {EDQUOT, "Disk quota exceeded"},
#endif
    {EIO, "Input/output error"},
    {EISDIR, "Is a directory"},
    {EMFILE, "Too many open files"},
    {ENFILE, "Too many open files in system"},
    {ENAMETOOLONG, "File name too long"},
    {EFBIG, "File too large"},
#ifdef ELOOP
    {ELOOP, "Too many levels of symbolic links"},
#endif
    {EBUSY, "Device or resource busy"},
    {EEXIST, "File exists"},
    {EINVAL, "Invalid argument"},
    {ENOEXEC, "Exec format error"},
    {ENOMEM, "Cannot allocate memory"},
};

std::string CLibraryText(int error)
{
#ifdef _WIN32
    const char *text = std::strerror(error);
    const std::string result = text ? text : "";
    return result.rfind("Unknown error", 0) == 0 ? std::string() : result;
#else
    // strerror invents "Unknown error N" for codes it does not know.
    char buffer[256] = {};
    const char *text = strerror_r(error, buffer, sizeof buffer);
    const std::string result = text ? text : "";
    return result.rfind("Unknown error", 0) == 0 ? std::string() : result;
#endif
}

} // namespace

std::string ErrnoText(int error)
{
    for (const ErrnoEntry &entry : kErrnoTexts) {
        if (entry.code == error)
            return entry.text;
    }
    return CLibraryText(error);
}

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
    return ErrnoText(code);
#endif
}

} // namespace vantrel::platform
