// Windows side of the encoder adapter's platform functions. Paths and
// arguments arrive as UTF-8 and go to the wide-character API.
#ifdef _WIN32

#include "tools/mencoder/platform.h"

#include "common/cmdline.h"
#include "platform/widetext.h"
#include "tools/common/systemtext.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace vantrel::mencoder::platform {

namespace {

using vantrel::platform::Utf8ToWide;
using vantrel::platform::WideToUtf8;

// The console event that asked us to stop, plus one; 0 while there is none.
std::atomic<DWORD> g_stopEvent{0};

// Wakes the loop of RunChild: output arrived, a stream or the child ended,
// or a stop was asked for.
std::mutex g_mutex;
std::condition_variable g_wake;

// After a close, log-off or shut-down event the system ends the process as
// soon as the handler returns; holding it here gives the main thread the time
// to stop the child and remove the output (the system allows a few seconds).
constexpr DWORD kHoldOnCloseMs = 10000;

BOOL WINAPI OnConsoleEvent(DWORD event)
{
    DWORD none = 0;
    g_stopEvent.compare_exchange_strong(none, event + 1);
    {
        std::lock_guard lock(g_mutex);
    }
    g_wake.notify_all();
    if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT)
        Sleep(kHoldOnCloseMs);
    return TRUE;
}

// The system's text for the last error of this thread.
std::string LastErrorText()
{
    return tools::SystemText(int(GetLastError()));
}

bool StopRequested()
{
    return g_stopEvent.load() != 0;
}

bool IsFile(const std::wstring &path)
{
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::wstring InFolder(std::wstring folder, std::string_view name)
{
    if (folder.size() >= 2 && folder.front() == L'"' && folder.back() == L'"')
        folder = folder.substr(1, folder.size() - 2);
    if (!folder.empty() && folder.back() != L'\\' && folder.back() != L'/')
        folder += L'\\';
    return folder + Utf8ToWide(name);
}

std::wstring Environment(const wchar_t *name)
{
    const DWORD size = GetEnvironmentVariableW(name, nullptr, 0);
    if (size == 0)
        return {};
    std::wstring value(size, L'\0');
    const DWORD n = GetEnvironmentVariableW(name, value.data(), size);
    value.resize(n < size ? n : 0);
    return value;
}

// Owns a handle; closes it at the end of its scope.
class Handle
{
public:
    Handle() = default;
    explicit Handle(HANDLE h)
        : m_h(h == INVALID_HANDLE_VALUE ? nullptr : h)
    {}
    Handle(const Handle &) = delete;
    Handle &operator=(const Handle &) = delete;
    ~Handle() { reset(); }
    HANDLE get() const { return m_h; }
    HANDLE *out() { return &m_h; }
    explicit operator bool() const { return m_h != nullptr; }
    void reset()
    {
        if (m_h)
            CloseHandle(m_h);
        m_h = nullptr;
    }

private:
    HANDLE m_h = nullptr;
};

// One piece of output of the child: which stream, and the bytes.
struct Chunk
{
    int stream;
    std::string bytes;
};

} // namespace

std::string FindProgram(std::string_view name, const std::string &firstFolder)
{
    if (!firstFolder.empty()) {
        const std::wstring path = InFolder(Utf8ToWide(firstFolder), name);
        if (IsFile(path))
            return WideToUtf8(path);
    }
    const std::wstring folders = Environment(L"PATH");
    std::size_t start = 0;
    while (start <= folders.size()) {
        std::size_t end = folders.find(L';', start);
        if (end == std::wstring::npos)
            end = folders.size();
        const std::wstring folder = folders.substr(start, end - start);
        // An empty entry would mean the current folder: not a place to run programs from.
        if (!folder.empty()) {
            const std::wstring path = InFolder(folder, name);
            if (IsFile(path))
                return WideToUtf8(path);
        }
        start = end + 1;
    }
    return {};
}

void InstallStopHandlers()
{
    SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

std::string StopRequest()
{
    switch (g_stopEvent.load()) {
    case 0:
        return {};
    case CTRL_C_EVENT + 1:
        return "CTRL+C";
    case CTRL_BREAK_EVENT + 1:
        return "CTRL+BREAK";
    case CTRL_CLOSE_EVENT + 1:
        return "THE CLOSING OF ITS CONSOLE";
    case CTRL_LOGOFF_EVENT + 1:
        return "THE USER'S LOG-OFF";
    default:
        return "THE SHUT-DOWN OF THE SYSTEM";
    }
}

ChildResult RunChild(const std::string &program, const std::vector<std::string> &args,
                     const OutputHandler &onStdout, const OutputHandler &onStderr)
{
    ChildResult result;

    // The child's ends of the pipes and NUL as its standard input are
    // inherited; our ends are not, so that the pipes close when it ends.
    SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, nullptr, TRUE};
    Handle outRead, outWrite, errRead, errWrite;
    if (!CreatePipe(outRead.out(), outWrite.out(), &inheritable, 0)
        || !CreatePipe(errRead.out(), errWrite.out(), &inheritable, 0)
        || !SetHandleInformation(outRead.get(), HANDLE_FLAG_INHERIT, 0)
        || !SetHandleInformation(errRead.get(), HANDLE_FLAG_INHERIT, 0)) {
        result.startError = LastErrorText();
        return result;
    }
    Handle nul(CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inheritable,
                           OPEN_EXISTING, 0, nullptr));
    if (!nul) {
        result.startError = LastErrorText();
        return result;
    }

    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = nul.get();
    startup.hStdOutput = outWrite.get();
    startup.hStdError = errWrite.get();

    // The exact program is named; the command line only carries the arguments
    // for the child to split by the same rules.
    const std::wstring application = Utf8ToWide(program);
    std::vector<std::string> argv = {program};
    argv.insert(argv.end(), args.begin(), args.end());
    std::wstring commandLine = Utf8ToWide(vantrel::JoinWindowsArguments(argv));

    // Started suspended, so that it is in the job before it can start
    // anything of its own. It gets a console of its own without a window:
    // the events of our console (Ctrl+C, closing) reach only us, and we stop it.
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(application.c_str(), commandLine.data(), nullptr, nullptr, TRUE,
                        CREATE_SUSPENDED | CREATE_NO_WINDOW, nullptr, nullptr, &startup,
                        &process)) {
        result.startError = LastErrorText();
        return result;
    }
    Handle child(process.hProcess);
    Handle thread(process.hThread);
    outWrite.reset();
    errWrite.reset();
    nul.reset();

    // The job ends the child when our last handle to it closes, that is when
    // we end in any way, killed included. Where we may not make a job (an
    // outer job that forbids it) the child runs without.
    Handle job(CreateJobObjectW(nullptr, nullptr));
    bool inJob = false;
    if (job) {
        JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
        limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
        inJob = SetInformationJobObject(job.get(), JobObjectExtendedLimitInformation, &limits,
                                        sizeof limits)
                && AssignProcessToJobObject(job.get(), child.get());
    }
    ResumeThread(thread.get());
    thread.reset();
    result.started = true;

    // Blocking reads on two threads; the chunks are handed over here, on the
    // calling thread, in the order they came.
    std::deque<Chunk> chunks;
    int openStreams = 2;
    bool exited = false;
    auto read = [&](HANDLE pipe, int stream) {
        std::vector<char> buffer(64 * 1024);
        for (;;) {
            DWORD got = 0;
            if (!ReadFile(pipe, buffer.data(), DWORD(buffer.size()), &got, nullptr))
                break; // ERROR_BROKEN_PIPE: the child's end is closed
            if (got == 0)
                continue;
            std::lock_guard lock(g_mutex);
            chunks.push_back({stream, std::string(buffer.data(), got)});
            g_wake.notify_all();
        }
        std::lock_guard lock(g_mutex);
        --openStreams;
        g_wake.notify_all();
    };
    std::thread outReader(read, outRead.get(), 0);
    std::thread errReader(read, errRead.get(), 1);
    std::thread waiter([&] {
        WaitForSingleObject(child.get(), INFINITE);
        std::lock_guard lock(g_mutex);
        exited = true;
        g_wake.notify_all();
    });

    const OutputHandler *handlers[2] = {&onStdout, &onStderr};
    bool killed = false;
    bool leftoversKilled = false;
    auto kill = [&] {
        if (!inJob || !TerminateJobObject(job.get(), 1))
            TerminateProcess(child.get(), 1);
    };
    {
        std::unique_lock lock(g_mutex);
        for (;;) {
            g_wake.wait(lock, [&] {
                return !chunks.empty() || (openStreams == 0 && exited)
                       || (StopRequested() && !killed)
                       || (exited && openStreams > 0 && inJob && !leftoversKilled);
            });
            // There is no request to end that a child without a console
            // would hear: a stop ends it at once.
            if (StopRequested() && !killed) {
                killed = true;
                result.stoppedByUs = true;
                kill();
            }
            // Anything the child started and left running would keep the
            // pipes open: it goes with the child.
            if (exited && openStreams > 0 && inJob && !leftoversKilled) {
                leftoversKilled = true;
                TerminateJobObject(job.get(), 1);
            }
            while (!chunks.empty()) {
                Chunk chunk = std::move(chunks.front());
                chunks.pop_front();
                lock.unlock();
                if (*handlers[chunk.stream])
                    (*handlers[chunk.stream])(chunk.bytes);
                lock.lock();
            }
            if (openStreams == 0 && exited)
                break;
        }
    }
    outReader.join();
    errReader.join();
    waiter.join();

    if (StopRequested())
        result.stoppedByUs = true;
    DWORD code = 0;
    if (GetExitCodeProcess(child.get(), &code)) {
        result.exited = true;
        result.exitCode = int(code);
    }
    return result;
}

std::string CheckReadable(const std::string &path)
{
    Handle file(CreateFileW(Utf8ToWide(path).c_str(), GENERIC_READ,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return LastErrorText();
    return {};
}

std::string CreateOutputFile(const std::string &path)
{
    const std::wstring wide = Utf8ToWide(path);
    const DWORD attributes = GetFileAttributesW(wide.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        if (attributes & FILE_ATTRIBUTE_REPARSE_POINT)
            return "it is a symbolic link";
        if (attributes & FILE_ATTRIBUTE_DIRECTORY)
            return "it is not a regular file";
    }
    Handle file(CreateFileW(
        wide.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
        nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!file)
        return LastErrorText();
    if (GetFileType(file.get()) != FILE_TYPE_DISK)
        return "it is not a regular file";
    return {};
}

void RemoveFile(const std::string &path)
{
    DeleteFileW(Utf8ToWide(path).c_str());
}

// The job object already ends FFmpeg with us; a killed mencoder leaves its
// output on Windows.
void GuardOutput(const std::string &)
{}

void KeepGuardedOutput()
{}

} // namespace vantrel::mencoder::platform

#endif // _WIN32
