// fix TEMP FINAL: writes FINAL as TEMP made ready to play while it downloads.
#include "tools/fix/fixrun.h"

#include <iostream>
#include <string>
#include <vector>

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <shellapi.h>
#endif

int main(int argc, char **argv)
{
    std::vector<std::string> args;
#ifdef _WIN32
    // The wide command line, so that any file name arrives intact as UTF-8.
    (void)argc;
    (void)argv;
    int count = 0;
    if (LPWSTR *wide = CommandLineToArgvW(GetCommandLineW(), &count)) {
        for (int i = 1; i < count; ++i) {
            const int n =
                WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, nullptr, 0, nullptr, nullptr);
            std::string arg(std::size_t(n > 0 ? n - 1 : 0), '\0');
            WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, arg.data(), n, nullptr, nullptr);
            args.push_back(arg);
        }
        LocalFree(wide);
    }
#else
    args.assign(argv + (argc > 0 ? 1 : 0), argv + argc);
#endif
    return vantrel::fix::RunFix(args, std::cerr);
}
