// A stand-in for the program, for the job object's test (Windows only):
//
//   jobprobe sleep    sleeps for a minute
//   jobprobe parent   joins the job as the program does, starts one sleeper
//                     as a child and one outside the job, prints
//                     "INSIDE <id>" and "OUTSIDE <id>", and ends at once

#include "platform/childprocesses.h"

#include <QCoreApplication>

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

std::wstring OwnPath()
{
    wchar_t path[MAX_PATH];
    const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    return std::wstring(path, n);
}

unsigned long StartChild(const std::wstring &commandLine)
{
    std::wstring line = commandLine;
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                        nullptr, &startup, &process))
        return 0;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return process.dwProcessId;
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc == 2 && std::strcmp(argv[1], "sleep") == 0) {
        Sleep(60000);
        return 0;
    }
    if (argc != 2 || std::strcmp(argv[1], "parent") != 0)
        return 2;
    QCoreApplication app(argc, argv);
    if (!vantrel::platform::EndChildProcessesWithUs())
        return 3;
    const std::wstring sleeper = L"\"" + OwnPath() + L"\" sleep";
    std::printf("INSIDE %lu\nOUTSIDE %lu\n", StartChild(sleeper),
                vantrel::platform::StartOutsideOurJob(sleeper));
    std::fflush(stdout);
    // As the program ends: at once, nothing waited for.
    std::_Exit(0);
}
