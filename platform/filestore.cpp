#include "platform/filestore.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <string>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace vantrel::platform {

namespace {

#ifdef _WIN32

int OpenForReading(const std::filesystem::path &file)
{
    const int fd = _wopen(file.c_str(), _O_RDONLY | _O_BINARY | _O_NOINHERIT);
    // Windows refuses to open a folder as "access denied": say what it is.
    if (fd < 0 && errno == EACCES) {
        const DWORD attributes = GetFileAttributesW(file.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
            errno = EISDIR;
    }
    return fd;
}

long ReadSome(int fd, char *buffer, std::size_t size)
{
    return _read(fd, buffer, static_cast<unsigned>(size));
}

int CloseFile(int fd)
{
    return _close(fd);
}

FileStatus CheckRegular(int fd)
{
    struct _stat64 info;
    if (_fstat64(fd, &info) != 0)
        return {errno};
    if ((info.st_mode & _S_IFMT) == _S_IFREG)
        return {};
    if ((info.st_mode & _S_IFMT) == _S_IFDIR)
        return {EISDIR};
    return {0, true};
}

int ErrnoFromWindows(DWORD code)
{
    switch (code) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
        return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
        return EACCES;
    case ERROR_WRITE_PROTECT:
        return EROFS;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return ENOSPC;
    default:
        return EIO;
    }
}

int CreateTemporary(const std::filesystem::path &file, std::filesystem::path &temporary)
{
    static unsigned counter = 0;
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::filesystem::path candidate = file;
        candidate += L"." + std::to_wstring(GetCurrentProcessId()) + L"-"
                     + std::to_wstring(GetTickCount() + ++counter) + L".tmp";
        const int fd =
            _wopen(candidate.c_str(), _O_CREAT | _O_EXCL | _O_WRONLY | _O_BINARY | _O_NOINHERIT,
                   _S_IREAD | _S_IWRITE);
        if (fd >= 0 || errno != EEXIST) {
            temporary = candidate;
            return fd;
        }
    }
    return -1;
}

long WriteSome(int fd, const char *data, std::size_t size)
{
    return _write(fd, data, static_cast<unsigned>(std::min<std::size_t>(size, 1 << 20)));
}

bool FlushToDisk(int fd)
{
    return _commit(fd) == 0;
}

bool RenameOver(const std::filesystem::path &from, const std::filesystem::path &to)
{
    if (MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return true;
    errno = ErrnoFromWindows(GetLastError());
    return false;
}

void FlushFolder(const std::filesystem::path &)
{}

#else

int OpenForReading(const std::filesystem::path &file)
{
    // Not blocking: a named pipe in the file's place must not hang the
    // program; it is refused as not a regular file.
    return ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
}

// A read or write again after a signal cut it short.
template<typename Call>
long Retried(Call call)
{
    long done;
    do {
        done = static_cast<long>(call());
    } while (done < 0 && errno == EINTR);
    return done;
}

long ReadSome(int fd, char *buffer, std::size_t size)
{
    return Retried([&] { return ::read(fd, buffer, size); });
}

int CloseFile(int fd)
{
    return ::close(fd);
}

FileStatus CheckRegular(int fd)
{
    struct stat info;
    if (::fstat(fd, &info) != 0)
        return {errno};
    if (S_ISREG(info.st_mode))
        return {};
    if (S_ISDIR(info.st_mode))
        return {EISDIR};
    return {0, true};
}

int CreateTemporary(const std::filesystem::path &file, std::filesystem::path &temporary)
{
    std::string pattern = file.native() + ".XXXXXX";
    // mkstemp gives the file owner-only permissions.
    const int fd = ::mkstemp(pattern.data());
    if (fd < 0)
        return -1;
    temporary = pattern;
    ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    return fd;
}

long WriteSome(int fd, const char *data, std::size_t size)
{
    return Retried([&] { return ::write(fd, data, size); });
}

bool FlushToDisk(int fd)
{
    return ::fchmod(fd, S_IRUSR | S_IWUSR) == 0 && ::fsync(fd) == 0;
}

bool RenameOver(const std::filesystem::path &from, const std::filesystem::path &to)
{
    return ::rename(from.c_str(), to.c_str()) == 0;
}

// Makes the rename itself durable; a failure here leaves a complete file in
// place, so it is not reported.
void FlushFolder(const std::filesystem::path &folder)
{
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

#endif

// Closes a descriptor when it goes out of scope (if not closed before).
class FileDescriptor
{
public:
    explicit FileDescriptor(int fd)
        : m_fd(fd)
    {}
    FileDescriptor(const FileDescriptor &) = delete;
    FileDescriptor &operator=(const FileDescriptor &) = delete;
    ~FileDescriptor()
    {
        if (m_fd >= 0)
            CloseFile(m_fd);
    }
    int get() const { return m_fd; }
    // Closes now; false (errno set) when the system reports a failure.
    bool close()
    {
        const int fd = m_fd;
        m_fd = -1;
        return CloseFile(fd) == 0;
    }

private:
    int m_fd;
};

// Removes the temporary file unless it has been renamed into place.
class TemporaryFile
{
public:
    explicit TemporaryFile(std::filesystem::path path)
        : m_path(std::move(path))
    {}
    TemporaryFile(const TemporaryFile &) = delete;
    TemporaryFile &operator=(const TemporaryFile &) = delete;
    ~TemporaryFile()
    {
        if (!m_kept) {
            std::error_code ignored;
            std::filesystem::remove(m_path, ignored);
        }
    }
    const std::filesystem::path &path() const { return m_path; }
    void keep() { m_kept = true; }

private:
    std::filesystem::path m_path;
    bool m_kept = false;
};

bool WriteAll(int fd, std::string_view data)
{
    while (!data.empty()) {
        const long written = WriteSome(fd, data.data(), data.size());
        if (written < 0)
            return false;
        if (written == 0) {
            errno = ENOSPC;
            return false;
        }
        data.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

} // namespace

FileStatus ReadFileInPieces(const std::filesystem::path &file,
                            const std::function<bool(std::string_view piece)> &take)
{
    FileDescriptor fd(OpenForReading(file));
    if (fd.get() < 0)
        return {errno};
    if (const FileStatus regular = CheckRegular(fd.get()); !regular.ok())
        return regular;
    std::array<char, std::size_t{16} * 1024> buffer;
    for (;;) {
        const long got = ReadSome(fd.get(), buffer.data(), buffer.size());
        if (got < 0)
            return {errno};
        if (got == 0 || !take(std::string_view(buffer.data(), static_cast<std::size_t>(got))))
            return {};
    }
}

FileStatus WriteWholeFile(const std::filesystem::path &file, std::string_view content)
{
    std::filesystem::path temporaryPath;
    const int created = CreateTemporary(file, temporaryPath);
    if (created < 0)
        return {errno};
    TemporaryFile temporary(temporaryPath);
    FileDescriptor fd(created);
    if (!WriteAll(fd.get(), content) || !FlushToDisk(fd.get()) || !fd.close()
        || !RenameOver(temporary.path(), file))
        return {errno};
    temporary.keep();
    const std::filesystem::path folder = file.parent_path();
    FlushFolder(folder.empty() ? std::filesystem::path(".") : folder);
    return {};
}

} // namespace vantrel::platform
