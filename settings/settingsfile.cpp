#include "settings/settingsfile.h"

#include "common/codepage.h"
#include "common/failure.h"
#include "common/mdlmain.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <string_view>

#include <fcntl.h>
#include <sys/stat.h>
#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace vantrel::settings {

namespace {

constexpr std::size_t kFieldCount = 4;

// The values in line order.
constexpr std::array<std::string FtpSettings::*, kFieldCount> kFields = {
    &FtpSettings::address, &FtpSettings::userName, &FtpSettings::password,
    &FtpSettings::serverFolder};

// ---------------------------------------------------------------------------
// Failures in words a user understands.

// The operating system's reason, always in English (the C library's texts
// follow the user's locale).
std::string Reason(int error)
{
    switch (error) {
    case ENOENT:
        return "No such file or directory";
    case ENOTDIR:
        return "Not a directory";
    case EACCES:
        return "Permission denied";
    case EPERM:
        return "Operation not permitted";
    case EROFS:
        return "Read-only file system";
    case ENOSPC:
        return "No space left on device";
#ifdef EDQUOT
    case EDQUOT:
        return "Disk quota exceeded";
#endif
    case EIO:
        return "Input/output error";
    case EISDIR:
        return "Is a directory";
    case EMFILE:
        return "Too many open files";
    case ENFILE:
        return "Too many open files in system";
    case ENAMETOOLONG:
        return "File name too long";
    case EFBIG:
        return "File too large";
#ifdef ELOOP
    case ELOOP:
        return "Too many levels of symbolic links";
#endif
    case EBUSY:
        return "Device or resource busy";
    case EEXIST:
        return "File exists";
    case EINVAL:
        return "Invalid argument";
    default:
        break;
    }
    const char *text = std::strerror(error);
    return text && *text ? text : "Error " + std::to_string(error);
}

// A failure with the program's number and phrase for an operating system
// error, followed by the reason in brackets where it adds something.
Failure FileFailure(int error, bool reading)
{
    std::int32_t number = 75;
    std::string phrase = "Path/File access error";
    switch (error) {
    case ENOENT:
    case ENOTDIR:
        number = reading ? 53 : 76;
        phrase = reading ? "File not found" : "Path not found";
        break;
    case EACCES:
    case EPERM:
    case EROFS:
        number = 70;
        phrase = "Permission denied";
        break;
    case ENOSPC:
#ifdef EDQUOT
    case EDQUOT:
#endif
        number = 61;
        phrase = "Disk full";
        break;
    case EIO:
        number = 57;
        phrase = "Device I/O error";
        break;
    case EMFILE:
    case ENFILE:
        number = 67;
        phrase = "Too many files";
        break;
    default:
        break;
    }
    const std::string reason = Reason(error);
    if (error == ENOENT || error == ENOTDIR || reason == phrase)
        return Failure(number, phrase);
    return Failure(number, phrase + " (" + reason + ")");
}

// ---------------------------------------------------------------------------
// The few file operations, per platform.

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
// 0 for a regular file, else EISDIR for a folder or EINVAL for anything else.
int NotRegularFile(int fd)
{
    struct _stat64 info;
    if (_fstat64(fd, &info) != 0)
        return errno;
    if ((info.st_mode & _S_IFMT) == _S_IFREG)
        return 0;
    return (info.st_mode & _S_IFMT) == _S_IFDIR ? EISDIR : EINVAL;
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
#else
int OpenForReading(const std::filesystem::path &file)
{
    // Not blocking: a named pipe in the file's place must not hang the
    // program; it is refused below as not a regular file.
    return ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
}
long ReadSome(int fd, char *buffer, std::size_t size)
{
    long got;
    do {
        got = static_cast<long>(::read(fd, buffer, size));
    } while (got < 0 && errno == EINTR);
    return got;
}
int CloseFile(int fd)
{
    return ::close(fd);
}
// 0 for a regular file, else EISDIR for a folder or EINVAL for anything else.
int NotRegularFile(int fd)
{
    struct stat info;
    if (::fstat(fd, &info) != 0)
        return errno;
    if (S_ISREG(info.st_mode))
        return 0;
    return S_ISDIR(info.st_mode) ? EISDIR : EINVAL;
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

// ---------------------------------------------------------------------------
// Reading.

// Splits bytes into lines at CR LF, LF or a lone CR and keeps the first four.
class LineCollector
{
public:
    // Takes the next piece of the file; false once four lines are complete
    // and the rest need not be read.
    bool feed(std::string_view piece)
    {
        for (char byte : piece) {
            if (m_afterCr) {
                m_afterCr = false;
                if (byte == '\n')
                    continue;
            }
            if (byte == '\r' || byte == '\n') {
                endLine();
                m_afterCr = byte == '\r';
                if (m_count == kFieldCount)
                    return false;
                continue;
            }
            if (m_current.size() >= kMaxValueLength)
                throw Failure(6, "The settings file is damaged (line " + std::to_string(m_count + 1)
                                     + " is longer than 32,766 characters)");
            m_current += byte;
            m_inLine = true;
        }
        return true;
    }

    // The end of the file ends a last line that has no line end.
    void finish()
    {
        if (m_inLine)
            endLine();
    }

    const std::array<std::optional<std::string>, kFieldCount> &lines() const { return m_lines; }

private:
    void endLine()
    {
        if (m_count < kFieldCount)
            m_lines[m_count] = std::move(m_current);
        ++m_count;
        m_current.clear();
        m_inLine = false;
    }

    std::array<std::optional<std::string>, kFieldCount> m_lines;
    std::size_t m_count = 0;
    std::string m_current;
    bool m_inLine = false;
    bool m_afterCr = false;
};

// ---------------------------------------------------------------------------
// Writing.

// The four values as the file's bytes; throws when one cannot be stored.
std::string FileContent(const FtpSettings &values)
{
    static const char *const kNames[] = {"FTP address", "FTP user name", "FTP password",
                                         "server folder"};
    if (const std::optional<StorageProblem> problem = FindStorageProblem(values)) {
        const std::string name = kNames[static_cast<std::size_t>(problem->field)];
        if (problem->kind == StorageProblem::Kind::TooLong)
            throw Failure(5, "The " + name + " is longer than 32,766 characters");
        throw Failure(5, "The " + name + " contains a character that cannot be saved");
    }
    std::string content;
    for (std::size_t i = 0; i < kFieldCount; ++i) {
        const std::string bytes = *codepage::Utf8ToCp1252(values.*kFields[i]);
        content += mdlMain::ScrambleText(bytes, mdlMain::kSettingsKey);
        content += "\r\n";
    }
    return content;
}

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

#ifdef _WIN32

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

bool WriteAll(int fd, std::string_view data)
{
    while (!data.empty()) {
        const unsigned piece = static_cast<unsigned>(std::min<std::size_t>(data.size(), 1 << 20));
        const int written = _write(fd, data.data(), piece);
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

bool WriteAll(int fd, std::string_view data)
{
    while (!data.empty()) {
        const ssize_t written = ::write(fd, data.data(), data.size());
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (written == 0) {
            errno = ENOSPC;
            return false;
        }
        data.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
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

} // namespace

std::filesystem::path SettingsFilePath(const std::filesystem::path &appFolder)
{
    return appFolder / kSettingsFileName;
}

void ReadSettingsFile(const std::filesystem::path &file, FtpSettings &values)
{
    FileDescriptor fd(OpenForReading(file));
    if (fd.get() < 0)
        throw FileFailure(errno, true);
    if (const int error = NotRegularFile(fd.get())) {
        if (error == EINVAL)
            throw Failure(75, "Path/File access error (Not a regular file)");
        throw FileFailure(error, true);
    }

    LineCollector collector;
    std::array<char, std::size_t{16} * 1024> buffer;
    for (;;) {
        const long got = ReadSome(fd.get(), buffer.data(), buffer.size());
        if (got < 0)
            throw FileFailure(errno, true);
        if (got == 0) {
            collector.finish();
            break;
        }
        if (!collector.feed(std::string_view(buffer.data(), static_cast<std::size_t>(got))))
            break;
    }

    // Everything is read: only now do the values change.
    for (std::size_t i = 0; i < kFieldCount; ++i) {
        if (const std::optional<std::string> &line = collector.lines()[i]) {
            values.*kFields[i] =
                codepage::Cp1252ToUtf8(mdlMain::UnscrambleText(*line, mdlMain::kSettingsKey));
        }
    }
}

std::optional<StorageProblem> FindStorageProblem(const FtpSettings &values)
{
    for (std::size_t i = 0; i < kFieldCount; ++i) {
        const auto field = static_cast<SettingsField>(i);
        const std::optional<std::string> bytes = codepage::Utf8ToCp1252(values.*kFields[i]);
        if (!bytes)
            return StorageProblem{field, StorageProblem::Kind::CannotBeSaved};
        if (bytes->size() > kMaxValueLength)
            return StorageProblem{field, StorageProblem::Kind::TooLong};
        const std::string scrambled = mdlMain::ScrambleText(*bytes, mdlMain::kSettingsKey);
        if (scrambled.find_first_of("\r\n") != std::string::npos)
            return StorageProblem{field, StorageProblem::Kind::CannotBeSaved};
    }
    return std::nullopt;
}

void WriteSettingsFile(const std::filesystem::path &file, const FtpSettings &values)
{
    const std::string content = FileContent(values);

    std::filesystem::path temporaryPath;
    const int created = CreateTemporary(file, temporaryPath);
    if (created < 0)
        throw FileFailure(errno, false);
    TemporaryFile temporary(temporaryPath);
    FileDescriptor fd(created);
    if (!WriteAll(fd.get(), content) || !FlushToDisk(fd.get()))
        throw FileFailure(errno, false);
    if (!fd.close())
        throw FileFailure(errno, false);
    if (!RenameOver(temporary.path(), file))
        throw FileFailure(errno, false);
    temporary.keep();

    std::filesystem::path folder = file.parent_path();
    FlushFolder(folder.empty() ? std::filesystem::path(".") : folder);
}

} // namespace vantrel::settings
