#ifndef _WIN32

#include "tools/mencoder/platform.h"

#include "tools/common/systemtext.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#ifdef __linux__
#include <sys/prctl.h>
#endif

namespace vantrel::mencoder::platform {

namespace {

constexpr int kStopSignals[] = {SIGTERM, SIGINT, SIGHUP};
constexpr auto kKillGrace = std::chrono::seconds(2);

volatile std::sig_atomic_t g_stopSignal = 0;
bool g_caught[NSIG] = {};
int g_wakeRead = -1;
int g_wakeWrite = -1;

extern "C" void OnStopSignal(int signal)
{
    if (g_stopSignal == 0)
        g_stopSignal = signal;
    int saved = errno;
    if (g_wakeWrite >= 0) {
        char byte = 0;
        [[maybe_unused]] auto n = write(g_wakeWrite, &byte, 1);
    }
    errno = saved;
}

void CloseFd(int &fd)
{
    if (fd >= 0)
        close(fd);
    fd = -1;
}

bool IsExecutableFile(const std::string &path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(path.c_str(), X_OK) == 0;
}

} // namespace

std::string FindProgram(std::string_view name, const std::string &firstFolder)
{
    auto in = [&](std::string_view folder) {
        std::string path(folder);
        if (path.empty() || path.back() != '/')
            path += '/';
        return path + std::string(name);
    };
    if (!firstFolder.empty() && IsExecutableFile(in(firstFolder)))
        return in(firstFolder);
    const char *env = std::getenv("PATH");
    std::string_view folders = env ? env : "/usr/local/bin:/usr/bin:/bin";
    while (!folders.empty()) {
        auto colon = folders.find(':');
        auto folder = folders.substr(0, colon);
        // An empty entry would mean the current folder: not a place to run programs from.
        if (!folder.empty() && IsExecutableFile(in(folder)))
            return in(folder);
        if (colon == std::string_view::npos)
            break;
        folders.remove_prefix(colon + 1);
    }
    return {};
}

void InstallStopHandlers()
{
    int fds[2];
    if (g_wakeRead < 0 && pipe2(fds, O_CLOEXEC | O_NONBLOCK) == 0) {
        g_wakeRead = fds[0];
        g_wakeWrite = fds[1];
    }
    std::signal(SIGPIPE, SIG_IGN);
    sigset_t stops;
    sigemptyset(&stops);
    for (int sig : kStopSignals) {
        struct sigaction old;
        if (sigaction(sig, nullptr, &old) != 0 || old.sa_handler == SIG_IGN)
            continue;
        struct sigaction action = {};
        action.sa_handler = OnStopSignal;
        sigemptyset(&action.sa_mask);
        if (sigaction(sig, &action, nullptr) == 0) {
            g_caught[sig] = true;
            sigaddset(&stops, sig);
        }
    }
    // A stop signal blocked by whoever started us would never reach the handler.
    sigprocmask(SIG_UNBLOCK, &stops, nullptr);
}

std::string StopRequest()
{
    int sig = g_stopSignal;
    return sig ? "SIGNAL " + std::to_string(sig) : std::string();
}

ChildResult RunChild(const std::string &program, const std::vector<std::string> &args,
                     const OutputHandler &onStdout, const OutputHandler &onStderr)
{
    ChildResult result;
    std::vector<char *> argv;
    argv.push_back(const_cast<char *>(program.c_str()));
    for (const auto &arg : args)
        argv.push_back(const_cast<char *>(arg.c_str()));
    argv.push_back(nullptr);

    int out[2] = {-1, -1}, err[2] = {-1, -1}, exec[2] = {-1, -1};
    if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0 || pipe2(exec, O_CLOEXEC) != 0) {
        result.startError = tools::SystemText(errno);
        for (int *p : {out, err, exec}) {
            CloseFd(p[0]);
            CloseFd(p[1]);
        }
        return result;
    }

    // No stop request may run our handler in the child between fork and exec.
    sigset_t stops, previous;
    sigemptyset(&stops);
    for (int sig : kStopSignals)
        sigaddset(&stops, sig);
    sigprocmask(SIG_BLOCK, &stops, &previous);

    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid == 0) {
#ifdef __linux__
        // Die with us, even when we are killed outright.
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() != parent)
            _exit(127);
#endif
        for (int sig : kStopSignals) {
            if (g_caught[sig])
                std::signal(sig, SIG_DFL);
        }
        std::signal(SIGPIPE, SIG_DFL);
        sigprocmask(SIG_SETMASK, &previous, nullptr);
        int devNull = open("/dev/null", O_RDONLY | O_CLOEXEC);
        if (devNull < 0 || dup2(devNull, 0) < 0 || dup2(out[1], 1) < 0 || dup2(err[1], 2) < 0) {
            int error = errno;
            [[maybe_unused]] auto n = write(exec[1], &error, sizeof error);
            _exit(127);
        }
        execv(program.c_str(), argv.data());
        int error = errno;
        [[maybe_unused]] auto n = write(exec[1], &error, sizeof error);
        _exit(127);
    }
    const int forkError = errno;
    sigprocmask(SIG_SETMASK, &previous, nullptr);
    CloseFd(out[1]);
    CloseFd(err[1]);
    CloseFd(exec[1]);
    if (pid < 0) {
        result.startError = tools::SystemText(forkError);
        CloseFd(out[0]);
        CloseFd(err[0]);
        CloseFd(exec[0]);
        return result;
    }

    // The exec pipe closes on a successful exec, or carries the error.
    int execError = 0;
    ssize_t got;
    do {
        got = read(exec[0], &execError, sizeof execError);
    } while (got < 0 && errno == EINTR);
    const int readError = errno;
    CloseFd(exec[0]);
    // Anything but the end of the pipe means the child did not get to exec:
    // a short read too, though it cannot say why.
    if (got != 0) {
        while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
        }
        CloseFd(out[0]);
        CloseFd(err[0]);
        if (got == static_cast<ssize_t>(sizeof execError))
            result.startError = tools::SystemText(execError);
        else
            result.startError = tools::SystemText(got < 0 ? readError : EIO);
        return result;
    }
    result.started = true;

    using Clock = std::chrono::steady_clock;
    bool termSent = false;
    bool killSent = false;
    Clock::time_point killAt;
    auto stopChildIfAsked = [&] {
        if (g_stopSignal != 0 && !termSent) {
            result.stoppedByUs = true;
            termSent = true;
            kill(pid, SIGTERM);
            killAt = Clock::now() + kKillGrace;
        }
        if (termSent && !killSent && Clock::now() >= killAt) {
            killSent = true;
            kill(pid, SIGKILL);
        }
    };

    std::vector<char> buffer(std::size_t{64} * 1024);
    int *streams[2] = {&out[0], &err[0]};
    const OutputHandler *handlers[2] = {&onStdout, &onStderr};
    while (out[0] >= 0 || err[0] >= 0) {
        stopChildIfAsked();
        pollfd fds[3];
        nfds_t count = 0;
        for (int *fd : streams)
            fds[count++] = {*fd, POLLIN, 0};
        if (g_wakeRead >= 0)
            fds[count++] = {g_wakeRead, POLLIN, 0};
        int timeout = -1;
        if (termSent && !killSent) {
            auto left = std::chrono::ceil<std::chrono::milliseconds>(killAt - Clock::now());
            timeout = static_cast<int>(std::max<long long>(0, left.count()));
        }
        if (poll(fds, count, timeout) < 0) {
            if (errno == EINTR)
                continue;
            // Should not happen; do not leave the child running unwatched.
            kill(pid, SIGKILL);
            CloseFd(out[0]);
            CloseFd(err[0]);
            break;
        }
        if (g_wakeRead >= 0 && (fds[count - 1].revents & POLLIN)) {
            char drain[64];
            while (read(g_wakeRead, drain, sizeof drain) > 0) {
            }
        }
        for (int i = 0; i < 2; ++i) {
            if (*streams[i] < 0 || fds[i].revents == 0)
                continue;
            ssize_t n = read(*streams[i], buffer.data(), buffer.size());
            if (n > 0) {
                if (*handlers[i])
                    (*handlers[i])(std::string_view(buffer.data(), static_cast<std::size_t>(n)));
            } else if (n == 0 || (errno != EINTR && errno != EAGAIN)) {
                CloseFd(*streams[i]);
            }
        }
    }

    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR)
            break;
        stopChildIfAsked();
    }
    if (g_stopSignal != 0)
        result.stoppedByUs = true;
    if (WIFEXITED(status)) {
        result.exited = true;
        result.exitCode = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
        result.signal = WTERMSIG(status);
    }
    return result;
}

std::string CheckReadable(const std::string &path)
{
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return tools::SystemText(errno);
    close(fd);
    return {};
}

std::string CreateOutputFile(const std::string &path)
{
    struct stat st;
    if (lstat(path.c_str(), &st) == 0) {
        if (S_ISLNK(st.st_mode))
            return "it is a symbolic link";
        if (!S_ISREG(st.st_mode))
            return "it is not a regular file";
        // A leftover of an earlier run; a new file in its place, so that a
        // second name of it (a hard link) keeps its content.
        if (unlink(path.c_str()) != 0)
            return tools::SystemText(errno);
    }
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0)
        return errno == EEXIST ? "it was created by someone else meanwhile"
                               : tools::SystemText(errno);
    close(fd);
    return {};
}

void RemoveFile(const std::string &path)
{
    unlink(path.c_str());
}

namespace {
int g_guardWrite = -1;

// The guard's life: it waits for the end of the pipe and removes the file
// unless it was told to keep it. It holds nothing else open, so that nobody
// waits for it.
[[noreturn]] void RunGuard(int pipeRead, const std::string &path)
{
    for (int sig : kStopSignals)
        std::signal(sig, SIG_IGN);
    struct stat guarded;
    const bool known = lstat(path.c_str(), &guarded) == 0;
    int devNull = open("/dev/null", O_RDWR);
    for (int fd = 0; fd < 3; ++fd) {
        if (devNull >= 0)
            dup2(devNull, fd);
    }
    if (pipeRead != 3 && dup2(pipeRead, 3) < 0)
        _exit(1);
#ifdef SYS_close_range
    if (syscall(SYS_close_range, 4U, ~0U, 0) != 0)
#endif
    {
        for (int fd = 4; fd < 1024; ++fd)
            close(fd);
    }
    char keep = 0;
    ssize_t got;
    do {
        got = read(3, &keep, 1);
    } while (got < 0 && errno == EINTR);
    struct stat now;
    // Only the file we guarded: a later run may have made a new one there.
    if (got != 1 && known && lstat(path.c_str(), &now) == 0 && now.st_dev == guarded.st_dev
        && now.st_ino == guarded.st_ino)
        unlink(path.c_str());
    _exit(0);
}
} // namespace

void GuardOutput(const std::string &path)
{
    int fds[2];
    if (g_guardWrite >= 0 || pipe2(fds, O_CLOEXEC) != 0)
        return;
    const pid_t pid = fork();
    if (pid == 0) {
        close(fds[1]);
        RunGuard(fds[0], path);
    }
    close(fds[0]);
    if (pid < 0) {
        close(fds[1]);
        return;
    }
    g_guardWrite = fds[1];
}

void KeepGuardedOutput()
{
    if (g_guardWrite < 0)
        return;
    char keep = 1;
    [[maybe_unused]] auto n = write(g_guardWrite, &keep, 1);
    CloseFd(g_guardWrite);
}

} // namespace vantrel::mencoder::platform

#endif // _WIN32
