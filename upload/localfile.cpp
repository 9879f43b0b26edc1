#include "upload/localfile.h"

#include "common/errornumbers.h"
#include "upload/ftperrors.h"

#include <system_error>

#include <sys/stat.h>
#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>
#endif

namespace vantrel::upload {

namespace {

std::FILE *OpenForReading(const std::filesystem::path &path)
{
#ifdef _WIN32
    return _wfopen(path.c_str(), L"rb");
#else
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return nullptr;
    struct stat status = {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)
        || ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
        ::close(fd);
        return nullptr;
    }
    std::FILE *file = ::fdopen(fd, "rb");
    if (!file)
        ::close(fd);
    return file;
#endif
}

// The size of the open file: the amount the upload announces and sends.
std::int64_t SizeOf(std::FILE *file)
{
#ifdef _WIN32
    struct _stat64 status = {};
    return _fstat64(_fileno(file), &status) == 0 ? status.st_size : 0;
#else
    struct stat status = {};
    return ::fstat(::fileno(file), &status) == 0 ? static_cast<std::int64_t>(status.st_size) : 0;
#endif
}

} // namespace

Result<LocalFile> OpenLocalFile(const std::filesystem::path &path)
{
    std::error_code error;
    const std::filesystem::file_status status = std::filesystem::status(path, error);
    if (path.empty() || error || !std::filesystem::exists(status)
        || std::filesystem::is_directory(status))
        return Failure(errors::kFileNotFound, "File not found");
    if (!std::filesystem::is_regular_file(status))
        return Failure(kErrNotRegularFile, "Not a regular file");
    LocalFile file;
    file.handle = {OpenForReading(path), [](std::FILE *f) {
                       if (f)
                           std::fclose(f);
                   }};
    if (!file.handle)
        return Failure(errors::kPathFileAccessError, "Could not read the local file");
    file.size = SizeOf(file.handle.get());
    return file;
}

} // namespace vantrel::upload
