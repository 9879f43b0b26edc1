// Windows side of platform/childprocesses.h: a job object that the program
// joins at start and holds until it ends.
#ifdef _WIN32

#include "platform/childprocesses.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QObject>
#include <QUrl>

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <vector>

namespace vantrel::platform {

namespace {

// Opens web addresses with the system's handler, started outside the job.
class OutsideUrlOpener : public QObject
{
    Q_OBJECT

public slots:
    void open(const QUrl &url)
    {
        // url.dll's handler does what the shell does for an address; the
        // encoded form has no quotation marks or spaces to break the line.
        std::vector<wchar_t> folder(MAX_PATH);
        const UINT n = GetSystemDirectoryW(folder.data(), UINT(folder.size()));
        const std::wstring system(folder.data(), n > 0 && n < folder.size() ? n : 0);
        const QByteArray encoded = url.toEncoded();
        const std::wstring address(encoded.begin(), encoded.end());
        const std::wstring handler =
            L"\"" + system + L"\\rundll32.exe\" url.dll,FileProtocolHandler ";
        if (!system.empty() && StartOutsideOurJob(handler + address) != 0)
            return;
        // Started inside the job, a browser closes with us; better than none.
        ShellExecuteW(nullptr, L"open", reinterpret_cast<LPCWSTR>(url.toString().utf16()), nullptr,
                      nullptr, SW_SHOWNORMAL);
    }
};

} // namespace

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
    auto *opener = new OutsideUrlOpener;
    opener->setParent(QCoreApplication::instance());
    for (const char *scheme : {"http", "https", "mailto"})
        QDesktopServices::setUrlHandler(QString::fromLatin1(scheme), opener, "open");
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

#include "childprocesses_win.moc"

#endif // _WIN32
