// The terminal of a POSIX system: signals, termios, poll.

#include "cli/terminal.h"

#include "cli/options.h"

#include <QSocketNotifier>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace vantrel::cli {

namespace {

int g_pipe[2] = {-1, -1};
volatile std::sig_atomic_t g_signals = 0;
// The file a hard end removes: two buffers, so that one can be filled while
// the handler may read the other.
char g_lastMomentFiles[2][4096];
volatile std::sig_atomic_t g_lastMomentFile = -1;

extern "C" void OnStopSignal(int)
{
    const int savedErrno = errno;
    g_signals = g_signals + 1;
    if (g_signals >= 2) {
        const int file = g_lastMomentFile;
        if (file >= 0)
            ::unlink(g_lastMomentFiles[file]);
        ::_exit(kExitInterrupted);
    }
    const char byte = 1;
    if (::write(g_pipe[1], &byte, 1) < 0) {
        // The pipe is full: a stop is pending already.
    }
    errno = savedErrno;
}

bool ReadLine(std::string &password);

} // namespace

StopSignals::StopSignals(QObject *parent)
    : QObject(parent)
{
    if (::pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        std::perror("vantrel-cli: pipe");
        return;
    }
    struct sigaction action = {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
    auto notifier = std::make_unique<QSocketNotifier>(g_pipe[0], QSocketNotifier::Read);
    connect(notifier.get(), &QSocketNotifier::activated, this, [this] {
        char bytes[16];
        while (::read(g_pipe[0], bytes, sizeof bytes) > 0) {
        }
        emit stopRequested();
    });
    m_notifier = std::move(notifier);
}

StopSignals::~StopSignals()
{
    m_notifier.reset();
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
}

bool StopSignals::stopPending()
{
    return g_signals > 0;
}

void StopSignals::setLastMomentFile(const std::string &path)
{
    if (path.empty() || path.size() >= sizeof g_lastMomentFiles[0]) {
        g_lastMomentFile = -1;
        return;
    }
    const int next = g_lastMomentFile == 0 ? 1 : 0;
    std::memcpy(g_lastMomentFiles[next], path.c_str(), path.size() + 1);
    // The name is whole before the handler may read it.
    std::atomic_signal_fence(std::memory_order_seq_cst);
    g_lastMomentFile = next;
}

TerminalSetup::TerminalSetup() = default;

TerminalSetup::~TerminalSetup() = default;

bool CanAskOnTerminal()
{
    return ::isatty(STDIN_FILENO) == 1 && ::isatty(STDERR_FILENO) == 1;
}

bool StdoutIsTerminal()
{
    return ::isatty(STDOUT_FILENO) == 1;
}

std::size_t TerminalColumns()
{
    struct winsize size = {};
    if (::ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) != 0)
        return 0;
    return size.ws_col;
}

bool ReadPasswordLine(std::string &password)
{
    // Typed on a terminal: asked for, and not shown.
    termios saved = {};
    const bool typed = ::isatty(STDIN_FILENO) == 1 && ::tcgetattr(STDIN_FILENO, &saved) == 0;
    if (typed) {
        termios hidden = saved;
        hidden.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &hidden);
        std::fputs("Password: ", stderr);
        std::fflush(stderr);
    }
    const bool gotLine = ReadLine(password);
    if (typed) {
        ::tcsetattr(STDIN_FILENO, TCSANOW, &saved);
        std::fputc('\n', stderr);
    }
    return gotLine;
}

namespace {

bool ReadLine(std::string &password)
{
    // Byte by byte: what follows the line stays for the questions.
    password.clear();
    bool any = false;
    char c = 0;
    for (;;) {
        const ssize_t got = ::read(STDIN_FILENO, &c, 1);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0 || c == '\n')
            break;
        any = true;
        password += c;
    }
    if (!password.empty() && password.back() == '\r')
        password.pop_back();
    return any || c == '\n';
}

} // namespace

bool ReadAnswerLine(std::string &answer)
{
    answer.clear();
    const int stopFd = g_pipe[0];
    for (;;) {
        pollfd watched[2] = {{STDIN_FILENO, POLLIN, 0}, {stopFd, POLLIN, 0}};
        const int count = stopFd >= 0 ? 2 : 1;
        if (::poll(watched, count, -1) < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        if (count == 2 && (watched[1].revents & POLLIN))
            return false;
        char c = 0;
        const ssize_t got = ::read(STDIN_FILENO, &c, 1);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        if (c == '\n')
            break;
        answer += c;
    }
    return true;
}

} // namespace vantrel::cli
