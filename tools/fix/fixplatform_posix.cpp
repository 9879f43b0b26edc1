// POSIX side of the repair program's platform functions (Linux, macOS, BSD).
#ifndef _WIN32

#include "tools/fix/fixplatform.h"

#include "tools/common/systemtext.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

namespace vantrel::fix::platform {

namespace {

// EOPNOTSUPP and ENOTSUP are one code on Linux, two elsewhere.
bool IsNotSupported(int error)
{
#if ENOTSUP != EOPNOTSUPP
    if (error == ENOTSUP)
        return true;
#endif
    return error == EOPNOTSUPP;
}

std::string Failure(const std::string &what, const std::string &path, int error)
{
    return what + " \"" + path + "\": " + tools::UpperSystemText(error) + "!";
}

FileId IdFromStat(const struct stat &st)
{
    return {std::uint64_t(st.st_dev), std::uint64_t(st.st_ino)};
}

// The temporary file to remove if a signal ends the program: a fixed buffer,
// because the handler may only make async-signal-safe calls.
char g_pendingPath[4096];
volatile std::sig_atomic_t g_pending = 0;

extern "C" void RemovePendingAndDie(int sig)
{
    if (g_pending)
        ::unlink(g_pendingPath);
    std::signal(sig, SIG_DFL);
    std::raise(sig);
}

void ArmCleanup(const std::string &path)
{
    if (path.size() >= sizeof g_pendingPath)
        return;
    std::memcpy(g_pendingPath, path.c_str(), path.size() + 1);
    g_pending = 1;
    static bool installed = false;
    if (!installed) {
        installed = true;
        for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) {
            struct sigaction sa = {};
            sa.sa_handler = RemovePendingAndDie;
            sigemptyset(&sa.sa_mask);
            sigaction(sig, &sa, nullptr);
        }
    }
}

void DisarmCleanup()
{
    g_pending = 0;
}

bool WriteAll(int fd, const std::uint8_t *p, std::size_t n, int &error)
{
    while (n > 0) {
        const ssize_t w = ::write(fd, p, n);
        if (w < 0) {
            if (errno == EINTR)
                continue;
            error = errno;
            return false;
        }
        p += w;
        n -= std::size_t(w);
    }
    return true;
}

// The folder of a path and its last part, split at the last slash.
std::pair<std::string, std::string> SplitPath(const std::string &path)
{
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return {".", path};
    return {slash == 0 ? "/" : path.substr(0, slash), path.substr(slash + 1)};
}

} // namespace

std::optional<FileId> IdOf(const std::string &path)
{
    struct stat st;
    if (::stat(path.c_str(), &st) != 0)
        return std::nullopt;
    return IdFromStat(st);
}

Input::~Input()
{
    close();
}

void Input::close()
{
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

bool Input::open(const std::string &path, std::string &error)
{
    m_fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (m_fd < 0) {
        error = Failure("CANNOT OPEN", path, errno);
        return false;
    }
    struct stat st;
    if (::fstat(m_fd, &st) != 0) {
        error = Failure("CANNOT READ", path, errno);
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        error = "\"" + path + "\" IS NOT A REGULAR FILE!";
        return false;
    }
    m_size = std::uint64_t(st.st_size);
    m_id = IdFromStat(st);
    m_mode = unsigned(st.st_mode & 07777);
    return true;
}

bool Input::readAt(std::uint64_t offset, void *dst, std::size_t n, std::string &error)
{
    auto *p = static_cast<std::uint8_t *>(dst);
    while (n > 0) {
        const ssize_t r = ::pread(m_fd, p, n, off_t(offset));
        if (r < 0 && errno == EINTR)
            continue;
        if (r < 0) {
            error = "CANNOT READ THE INPUT FILE: " + tools::UpperSystemText(errno) + "!";
            return false;
        }
        if (r == 0) {
            error = "THE INPUT FILE CHANGED WHILE IT WAS READ!";
            return false;
        }
        p += r;
        n -= std::size_t(r);
        offset += std::uint64_t(r);
    }
    return true;
}

std::optional<std::uint64_t> Input::currentSize() const
{
    struct stat st;
    if (::fstat(m_fd, &st) != 0)
        return std::nullopt;
    return std::uint64_t(st.st_size);
}

Output::~Output()
{
    discard();
}

bool Output::create(const std::string &finalPath, unsigned mode, std::string &error)
{
    auto [folder, name] = SplitPath(finalPath);
    // A hidden name in the same folder, so that the rename cannot cross file
    // systems; shortened so that it stays within the usual name limit.
    std::string pattern = folder + "/." + name.substr(0, 200) + ".fix-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    m_fd = ::mkstemp(buffer.data());
    if (m_fd < 0) {
        error = Failure("CANNOT CREATE A FILE IN", folder, errno);
        return false;
    }
    m_path = buffer.data();
    ArmCleanup(m_path);
    ::fcntl(m_fd, F_SETFD, FD_CLOEXEC);
    // The output gets the permissions of the input, not mkstemp's 0600.
    if (::fchmod(m_fd, mode_t(mode)) != 0) {
        error = Failure("CANNOT SET THE PERMISSIONS OF", m_path, errno);
        discard();
        return false;
    }
    return true;
}

bool Output::write(const void *data, std::size_t n, std::string &error)
{
    int e = 0;
    if (!WriteAll(m_fd, static_cast<const std::uint8_t *>(data), n, e)) {
        error = Failure("CANNOT WRITE", m_path, e);
        return false;
    }
    m_written += n;
    startWriteback();
    return true;
}

// The output is synced before it is renamed. Handing every few megabytes to
// the disk as they are written lets the disk work while the copy goes on,
// instead of all at once at the end.
void Output::startWriteback()
{
#if defined(__linux__)
    constexpr std::uint64_t kStep = 8u << 20;
    if (m_written - m_writtenBack < kStep)
        return;
    ::sync_file_range(m_fd, off64_t(m_writtenBack), off64_t(m_written - m_writtenBack),
                      SYNC_FILE_RANGE_WRITE);
    m_writtenBack = m_written;
#endif
}

bool Output::copyFrom(Input &input, std::uint64_t offset, std::uint64_t length, std::string &error)
{
#if defined(__linux__)
    // The kernel copies without passing the bytes through this process.
    while (m_tryKernelCopy && length > 0) {
        loff_t from = loff_t(offset);
        const std::size_t chunk = std::size_t(std::min<std::uint64_t>(length, 8u << 20));
        const ssize_t n = ::copy_file_range(input.m_fd, &from, m_fd, nullptr, chunk, 0);
        if (n > 0) {
            offset += std::uint64_t(n);
            length -= std::uint64_t(n);
            m_written += std::uint64_t(n);
            startWriteback();
            continue;
        }
        if (n == 0) {
            error = "THE INPUT FILE CHANGED WHILE IT WAS READ!";
            return false;
        }
        if (errno == EINTR)
            continue;
        if (errno == ENOSYS || errno == EXDEV || errno == EINVAL || IsNotSupported(errno)
            || errno == EBADF || errno == ETXTBSY || errno == EPERM) {
            m_tryKernelCopy = false; // not for these files: copy through a buffer
            break;
        }
        error = Failure("CANNOT WRITE", m_path, errno);
        return false;
    }
#endif
    return copyByBuffer(input, offset, length, error);
}

bool Output::commit(const std::string &finalPath, std::string &error)
{
    if (::fsync(m_fd) != 0) {
        error = Failure("CANNOT WRITE", m_path, errno);
        discard();
        return false;
    }
    const int fd = m_fd;
    m_fd = -1;
    if (::close(fd) != 0) {
        error = Failure("CANNOT WRITE", m_path, errno);
        discard();
        return false;
    }
    if (::rename(m_path.c_str(), finalPath.c_str()) != 0) {
        error = Failure("CANNOT CREATE", finalPath, errno);
        discard();
        return false;
    }
    DisarmCleanup();
    m_path.clear();
    // Make the new name itself durable; some file systems cannot sync a
    // folder, which changes nothing about the file being complete.
    const int dir = ::open(SplitPath(finalPath).first.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return true;
}

void Output::discard()
{
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    if (!m_path.empty()) {
        ::unlink(m_path.c_str());
        DisarmCleanup();
        m_path.clear();
    }
}

bool RemoveFile(const std::string &path, std::string &error)
{
    if (::unlink(path.c_str()) != 0) {
        error = Failure("CANNOT REMOVE", path, errno);
        return false;
    }
    return true;
}

} // namespace vantrel::fix::platform

#endif // !_WIN32
