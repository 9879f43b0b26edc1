// Windows side of platform/childprocesses.h: a job object that the program
// joins at start and holds until it ends.
#ifdef _WIN32

#include "platform/childprocesses.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

namespace vantrel::platform {

bool EndChildProcessesWithUs()
{
    // Never closed: the system closes it when the program ends, and the job
    // then ends every process still in it.
    static HANDLE job = nullptr;
    if (job)
        return true;
    HANDLE created = CreateJobObjectW(nullptr, nullptr);
    if (!created)
        return false;
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
    limits.BasicLimitInformation.LimitFlags =
        JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE | JOB_OBJECT_LIMIT_BREAKAWAY_OK;
    if (!SetInformationJobObject(created, JobObjectExtendedLimitInformation, &limits, sizeof limits)
        || !AssignProcessToJobObject(created, GetCurrentProcess())) {
        CloseHandle(created);
        return false;
    }
    job = created;
    return true;
}

unsigned long StartOutsideOurJob(const std::wstring &commandLine)
{
    std::wstring line = commandLine;
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE,
                        CREATE_BREAKAWAY_FROM_JOB | CREATE_NO_WINDOW, nullptr, nullptr, &startup,
                        &process))
        return 0;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return process.dwProcessId;
}

} // namespace vantrel::platform

#endif // _WIN32
