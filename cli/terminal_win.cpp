// The terminal of Windows: the console's control events, its modes and its
// input. Texts are UTF-8 inside the tool and UTF-16 at the console.

#include "cli/terminal.h"

#include "cli/options.h"
#include "platform/widetext.h"

#include <QWinEventNotifier>

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <iterator>
#include <mutex>
#include <string>

namespace vantrel::cli {

namespace {

using platform::Utf8ToWide;
using platform::WideToUtf8;

// Set by the first stop and never reset, so that a question waiting for its
// answer sees it as well as the event loop.
std::atomic<HANDLE> g_stopEvent{nullptr};
std::atomic<int> g_signals{0};

// The file a hard end removes. The handler runs on a thread of its own, so a
// lock will do.
std::mutex g_lastMomentMutex;
std::wstring g_lastMomentFile;

// What TerminalSetup changed on the console, to be given back.
std::atomic<bool> g_outputModeChanged{false};
std::atomic<DWORD> g_savedOutputMode{0};
std::atomic<UINT> g_savedCodePage{0};

// After a close, log-off or shut-down event the system ends the process as
// soon as the handler returns, and after five seconds anyway: the batch gets
// half of that time to stop on its own, the hard end the rest.
constexpr DWORD kGraceOnCloseMs = 2500;

// How long a hard end tries to remove the last-moment file: 2 s.
constexpr int kRemoveTries = 20;
constexpr DWORD kRemoveRetryMs = 100;

// A console, not a file, a pipe or the NUL device (for which _isatty is true
// as well); its mode in `mode`.
bool IsConsole(HANDLE handle, DWORD *mode = nullptr)
{
    DWORD got = 0;
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE || !GetConsoleMode(handle, &got))
        return false;
    if (mode)
        *mode = got;
    return true;
}

bool Stopped()
{
    const HANDLE stop = g_stopEvent.load();
    return stop && WaitForSingleObject(stop, 0) == WAIT_OBJECT_0;
}

// Gives the console back what TerminalSetup changed. Flushes nothing: a
// hard end must not wait for the lock of a stream the main thread writes.
void RestoreConsole()
{
    if (g_outputModeChanged.exchange(false))
        SetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), g_savedOutputMode.load());
    if (const UINT codePage = g_savedCodePage.exchange(0))
        SetConsoleOutputCP(codePage);
}

[[noreturn]] void EndAtOnce()
{
    {
        // The encoder had the same Ctrl-C and is ending; until it has, its
        // FFmpeg may hold the file open, and an open file is not removed.
        std::lock_guard lock(g_lastMomentMutex);
        for (int tries = 0; !g_lastMomentFile.empty() && tries < kRemoveTries; ++tries) {
            if (DeleteFileW(g_lastMomentFile.c_str()) || GetLastError() == ERROR_FILE_NOT_FOUND
                || GetLastError() == ERROR_PATH_NOT_FOUND)
                break;
            Sleep(kRemoveRetryMs);
        }
    }
    RestoreConsole();
    // Not ExitProcess: the DLLs' clean-up could wait for a lock that the
    // main thread holds.
    TerminateProcess(GetCurrentProcess(), kExitInterrupted);
    for (;;)
        Sleep(INFINITE);
}

BOOL WINAPI OnConsoleEvent(DWORD event)
{
    if (g_signals.fetch_add(1) + 1 >= 2)
        EndAtOnce();
    if (const HANDLE stop = g_stopEvent.load())
        SetEvent(stop);
    if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT) {
        Sleep(kGraceOnCloseMs);
        EndAtOnce();
    }
    return TRUE;
}

// A line typed on the console, without its line end. False when nothing came:
// the read was ended by Ctrl-C, or Ctrl-Z was typed for the end of input.
bool ReadConsoleLine(HANDLE in, std::string &line)
{
    std::wstring typed;
    wchar_t chunk[256];
    for (;;) {
        DWORD got = 0;
        if (!ReadConsoleW(in, chunk, DWORD(std::size(chunk)), &got, nullptr) || got == 0)
            return false;
        typed.append(chunk, got);
        if (typed.back() == L'\n')
            break;
    }
    while (!typed.empty() && (typed.back() == L'\n' || typed.back() == L'\r'))
        typed.pop_back();
    if (typed == L"\x1a")
        return false;
    line = WideToUtf8(typed);
    return true;
}

// A line from a pipe or a file, byte by byte: what follows the line stays for
// the questions.
bool ReadLine(HANDLE in, std::string &line)
{
    bool any = false;
    char c = 0;
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(in, &c, 1, &got, nullptr) || got == 0 || c == '\n')
            break;
        any = true;
        line += c;
    }
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return any || c == '\n';
}

} // namespace

StopSignals::StopSignals(QObject *parent)
    : QObject(parent)
{
    if (!g_stopEvent.load()) {
        const HANDLE created = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        if (!created) {
            std::fputs("vantrel-cli: CreateEvent failed\n", stderr);
            return;
        }
        g_stopEvent = created;
    }
    auto notifier = std::make_unique<QWinEventNotifier>(g_stopEvent.load());
    connect(notifier.get(), &QWinEventNotifier::activated, this, [this, watch = notifier.get()] {
        // The event stays set: once is enough, and the second stop
        // ends the process in the handler.
        watch->setEnabled(false);
        emit stopRequested();
    });
    m_notifier = std::move(notifier);
    SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

StopSignals::~StopSignals()
{
    SetConsoleCtrlHandler(OnConsoleEvent, FALSE);
    m_notifier.reset();
    // The event stays open: a handler that already runs may still set it.
}

bool StopSignals::stopPending()
{
    return g_signals.load() > 0;
}

void StopSignals::setLastMomentFile(const std::string &path)
{
    std::wstring wide = Utf8ToWide(path);
    std::lock_guard lock(g_lastMomentMutex);
    g_lastMomentFile = std::move(wide);
}

TerminalSetup::TerminalSetup()
{
    // Escape sequences (Windows 10 and later): without them the lines are
    // not rewritten in place, see StdoutIsTerminal.
    const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    if (IsConsole(out, &mode) && !(mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING)
        && SetConsoleMode(out, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING)) {
        g_savedOutputMode = mode;
        g_outputModeChanged = true;
    }
    // The tool writes UTF-8, file names included.
    if (IsConsole(out) || IsConsole(GetStdHandle(STD_ERROR_HANDLE))) {
        const UINT codePage = GetConsoleOutputCP();
        if (codePage != CP_UTF8 && SetConsoleOutputCP(CP_UTF8))
            g_savedCodePage = codePage;
    }
}

TerminalSetup::~TerminalSetup()
{
    // What is still buffered is written in the code page it was made for.
    std::fflush(stdout);
    std::fflush(stderr);
    RestoreConsole();
}

bool CanAskOnTerminal()
{
    return IsConsole(GetStdHandle(STD_INPUT_HANDLE)) && IsConsole(GetStdHandle(STD_ERROR_HANDLE));
}

bool StdoutIsTerminal()
{
    DWORD mode = 0;
    return IsConsole(GetStdHandle(STD_OUTPUT_HANDLE), &mode)
           && (mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING);
}

std::size_t TerminalColumns()
{
    CONSOLE_SCREEN_BUFFER_INFO info = {};
    if (!GetConsoleScreenBufferInfo(GetStdHandle(STD_OUTPUT_HANDLE), &info))
        return 0;
    const int columns = info.srWindow.Right - info.srWindow.Left + 1;
    return columns > 0 ? std::size_t(columns) : 0;
}

bool ReadPasswordLine(std::string &password)
{
    password.clear();
    const HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
    DWORD saved = 0;
    if (!IsConsole(in, &saved))
        return ReadLine(in, password);
    // Typed on the console: asked for, and not shown.
    SetConsoleMode(in, (saved | ENABLE_LINE_INPUT) & ~DWORD(ENABLE_ECHO_INPUT));
    std::fputs("Password: ", stderr);
    std::fflush(stderr);
    const bool gotLine = ReadConsoleLine(in, password);
    SetConsoleMode(in, saved);
    std::fputc('\n', stderr);
    return gotLine;
}

bool ReadAnswerLine(std::string &answer)
{
    answer.clear();
    const HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
    if (!IsConsole(in)) {
        // A pipe or a file: read as it comes, which a stop does not end.
        return !Stopped() && ReadLine(in, answer);
    }
    // The console's handle is signalled by any input, keys as well as the
    // mouse or a change of focus: the wait tells whether a stop comes first,
    // then the line is read whole. Ctrl-C ends that read too.
    const HANDLE stop = g_stopEvent.load();
    const HANDLE watched[2] = {in, stop};
    const DWORD count = stop ? 2 : 1;
    if (WaitForMultipleObjects(count, watched, FALSE, INFINITE) != WAIT_OBJECT_0)
        return false;
    return ReadConsoleLine(in, answer) && !Stopped();
}

} // namespace vantrel::cli
