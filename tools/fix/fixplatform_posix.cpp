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
#include <time.h>
#include <unistd.h>

namespace vantrel::fix::platform {

namespace {

// Closes `fd` if it is open, and marks it closed.
void CloseFd(int &fd)
{
    if (fd >= 0) {
        ::close(fd);
        fd = -1;
    }
}

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

// The temporary file to remove if a signal ends the program: its folder, open,
// and its name in a fixed buffer (a name, not a path, so that no path length
// limits it), because the handler may only make async-signal-safe calls.
char g_pendingName[256];
volatile std::sig_atomic_t g_pendingFolder = -1;
volatile std::sig_atomic_t g_pending = 0;

extern "C" void RemovePendingAndDie(int sig)
{
    if (g_pending)
        ::unlinkat(int(g_pendingFolder), g_pendingName, 0);
    std::signal(sig, SIG_DFL);
    std::raise(sig);
}

// Every signal that ends the program by default and can be caught. The
// file-size limit is not among them: with SIGXFSZ ignored, the write that
// passes it fails with EFBIG and the program reports it like a full disk.
void InstallCleanup()
{
    static bool installed = false;
    if (installed)
        return;
    installed = true;
    for (int sig :
         {SIGINT, SIGTERM, SIGHUP, SIGPIPE, SIGQUIT, SIGALRM, SIGUSR1, SIGUSR2, SIGXCPU, SIGVTALRM,
          SIGPROF, SIGABRT, SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGTRAP, SIGSYS}) {
        struct sigaction sa = {};
        sa.sa_handler = RemovePendingAndDie;
        sigemptyset(&sa.sa_mask);
        sigaction(sig, &sa, nullptr);
    }
    struct sigaction ignore = {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    sigaction(SIGXFSZ, &ignore, nullptr);
}

void DisarmCleanup()
{
    g_pending = 0;
}

// A name for the output that no one is likely to have taken.
std::string RandomTag()
{
    static const char kChars[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    static std::uint64_t state = 0;
    struct timespec now = {};
    ::clock_gettime(CLOCK_REALTIME, &now);
    state += std::uint64_t(now.tv_nsec) ^ (std::uint64_t(now.tv_sec) << 30)
             ^ (std::uint64_t(::getpid()) << 40) ^ 0x9e3779b97f4a7c15ull;
    std::uint64_t x = state;
    std::string tag;
    for (int i = 0; i < 6; ++i) {
        x ^= x >> 33;
        x *= 0xff51afd7ed558ccdull;
        x ^= x >> 29;
        tag += kChars[x % (sizeof kChars - 1)];
    }
    return tag;
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
    CloseFd(m_fd);
}

bool Input::open(const std::string &path, std::string &error)
{
    // Without O_NONBLOCK, opening a FIFO waits for a writer.
    m_fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
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
    ::fcntl(m_fd, F_SETFL, ::fcntl(m_fd, F_GETFL) & ~O_NONBLOCK);
    m_size = std::uint64_t(st.st_size);
    m_id = IdFromStat(st);
    m_mode = unsigned(st.st_mode & 07777);
    m_blockSize = std::uint64_t(st.st_blksize > 0 ? st.st_blksize : 0);
    return true;
}

bool Input::flush(std::string &error)
{
    if (::fsync(m_fd) != 0) {
        error = "CANNOT WRITE THE INPUT FILE: " + tools::UpperSystemText(errno) + "!";
        return false;
    }
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
    m_folder = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (m_folder < 0) {
        error = Failure("CANNOT CREATE A FILE IN", folder, errno);
        return false;
    }
    InstallCleanup();
    // A hidden name in the same folder, so that the rename cannot cross file
    // systems; shortened so that it stays within the usual name limit. Made
    // new (never a link or a file that is there already), and removed again
    // if a signal ends the program: signals wait until it is registered.
    std::string prefix(1, '.'); // appended: GCC 12 warns falsely on "." + name
    prefix.append(name, 0, 200).append(".fix-");
    sigset_t all;
    sigset_t before;
    sigfillset(&all);
    for (int attempt = 0; attempt < 100 && m_fd < 0; ++attempt) {
        const std::string leaf = prefix + RandomTag();
        ::sigprocmask(SIG_BLOCK, &all, &before);
        m_fd = ::openat(m_folder, leaf.c_str(),
                        O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        const int e = errno;
        if (m_fd >= 0) {
            m_name = leaf;
            std::memcpy(g_pendingName, leaf.c_str(), leaf.size() + 1);
            g_pendingFolder = m_folder;
            g_pending = 1;
        }
        ::sigprocmask(SIG_SETMASK, &before, nullptr);
        if (m_fd < 0 && e != EEXIST) {
            error = Failure("CANNOT CREATE A FILE IN", folder, e);
            discard();
            return false;
        }
    }
    if (m_fd < 0) {
        error = Failure("CANNOT CREATE A FILE IN", folder, EEXIST);
        discard();
        return false;
    }
    m_path = folder + "/" + m_name;
    // The output gets the permissions of the input, not 0600.
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
    // The rename replaces whatever FINAL is, a link included; it never
    // writes through one.
    if (::renameat(m_folder, m_name.c_str(), m_folder, SplitPath(finalPath).second.c_str()) != 0) {
        error = Failure("CANNOT CREATE", finalPath, errno);
        discard();
        return false;
    }
    DisarmCleanup();
    m_path.clear();
    m_name.clear();
    // Make the new name itself durable; some file systems cannot sync a
    // folder, which changes nothing about the file being complete.
    ::fsync(m_folder);
    ::close(m_folder);
    m_folder = -1;
    return true;
}

void Output::discard()
{
    CloseFd(m_fd);
    if (!m_name.empty()) {
        ::unlinkat(m_folder, m_name.c_str(), 0);
        DisarmCleanup();
        m_name.clear();
        m_path.clear();
    }
    if (m_folder >= 0) {
        ::close(m_folder);
        m_folder = -1;
    }
}

bool CanTakeOver(const std::string &tempPath, const Input &input, const std::string &finalPath)
{
    // The rename must be sure to succeed once TEMP is rewritten: FINAL's
    // folder writable, and no folder where FINAL goes (the copy path then
    // reports it with TEMP untouched).
    const std::string folderPath = SplitPath(finalPath).first;
    struct stat temp;
    struct stat folder;
    struct stat final;
    return ::lstat(tempPath.c_str(), &temp) == 0 && S_ISREG(temp.st_mode) && temp.st_nlink == 1
           && IdFromStat(temp) == input.m_id && ::stat(folderPath.c_str(), &folder) == 0
           && folder.st_dev == temp.st_dev && ::access(folderPath.c_str(), W_OK | X_OK) == 0
           && (::lstat(finalPath.c_str(), &final) != 0 || !S_ISDIR(final.st_mode));
}

Outcome RenameInto(const std::string &tempPath, const std::string &finalPath, std::string &error)
{
    if (::rename(tempPath.c_str(), finalPath.c_str()) != 0) {
        if (errno == EXDEV)
            return Outcome::NotHere;
        error = Failure("CANNOT CREATE", finalPath, errno);
        return Outcome::Failed;
    }
    const int dir = ::open(SplitPath(finalPath).first.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return Outcome::Done;
}

Rewrite::~Rewrite()
{
    close();
}

void Rewrite::close()
{
    CloseFd(m_fd);
}

bool Rewrite::open(const std::string &path, const FileId &id, std::string &error)
{
    m_path = path;
    m_fd = ::open(path.c_str(), O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (m_fd < 0) {
        error = Failure("CANNOT OPEN", path, errno);
        return false;
    }
    struct stat st;
    if (::fstat(m_fd, &st) != 0 || !S_ISREG(st.st_mode) || IdFromStat(st) != id) {
        error = "THE INPUT FILE CHANGED WHILE IT WAS READ!";
        close();
        return false;
    }
    return true;
}

#ifdef __linux__
// fallocate at the front of the file, again when a signal cut it short.
int FallocateFront(int fd, int mode, std::uint64_t length)
{
    int r;
    do
        r = ::fallocate(fd, mode, 0, off_t(length));
    while (r != 0 && errno == EINTR);
    return r;
}
#endif

Outcome Rewrite::insertFront(std::uint64_t length, std::string &error)
{
#if defined(__linux__) && defined(FALLOC_FL_INSERT_RANGE)
    if (FallocateFront(m_fd, FALLOC_FL_INSERT_RANGE, length) == 0)
        return Outcome::Done;
    if (IsNotSupported(errno) || errno == EINVAL || errno == ENOSYS)
        return Outcome::NotHere;
    error = Failure("CANNOT WRITE", m_path, errno);
    return Outcome::Failed;
#else
    (void)length;
    (void)error;
    return Outcome::NotHere;
#endif
}

bool Rewrite::collapseFront(std::uint64_t length, std::string &error)
{
#if defined(__linux__) && defined(FALLOC_FL_COLLAPSE_RANGE)
    if (FallocateFront(m_fd, FALLOC_FL_COLLAPSE_RANGE, length) == 0)
        return true;
    error = Failure("CANNOT WRITE", m_path, errno);
#else
    (void)length;
    error = "\"" + m_path + "\" CANNOT BE PUT BACK ON THIS SYSTEM!";
#endif
    return false;
}

bool Rewrite::writeAt(std::uint64_t offset, const void *data, std::size_t n, std::string &error)
{
    const auto *p = static_cast<const std::uint8_t *>(data);
    while (n > 0) {
        const ssize_t w = ::pwrite(m_fd, p, n, off_t(offset));
        if (w < 0 && errno == EINTR)
            continue;
        if (w < 0) {
            error = Failure("CANNOT WRITE", m_path, errno);
            return false;
        }
        p += w;
        n -= std::size_t(w);
        offset += std::uint64_t(w);
    }
    return true;
}

bool Rewrite::flush(std::string &error)
{
    if (::fsync(m_fd) != 0) {
        error = Failure("CANNOT WRITE", m_path, errno);
        return false;
    }
    return true;
}

bool Rewrite::cut(std::uint64_t size, std::string &error)
{
    if (::ftruncate(m_fd, off_t(size)) != 0) {
        error = Failure("CANNOT WRITE", m_path, errno);
        return false;
    }
    return true;
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
