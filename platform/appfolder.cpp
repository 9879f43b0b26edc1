#include "platform/appfolder.h"

#ifdef _WIN32
#include <windows.h>

#include <vector>
#else
#include <filesystem>
#include <system_error>
#endif

namespace vantrel::platform {

std::string ApplicationFolder()
{
#ifdef _WIN32
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, buffer.data(), DWORD(buffer.size()));
        if (n == 0)
            return {};
        if (n < buffer.size()) {
            std::wstring path(buffer.data(), n);
            const auto slash = path.find_last_of(L"\\/");
            path = slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
            const int len = WideCharToMultiByte(CP_UTF8, 0, path.data(), int(path.size()), nullptr,
                                                0, nullptr, nullptr);
            std::string out(std::size_t(len), '\0');
            WideCharToMultiByte(CP_UTF8, 0, path.data(), int(path.size()), out.data(), len, nullptr,
                                nullptr);
            return out;
        }
        buffer.resize(buffer.size() * 2);
    }
#else
    std::error_code ec;
    const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec)
        return {};
    std::string folder = exe.parent_path().string();
    if (folder.size() > 1 && folder.back() == '/')
        folder.pop_back();
    return folder;
#endif
}

} // namespace vantrel::platform
