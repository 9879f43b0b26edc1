#pragma once

// The local file an upload sends, opened for reading: only a regular file,
// and without waiting (a named pipe put in its place would block the thread
// that opens it until a writer came).

#include "common/result.h"

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>

namespace vantrel::upload {

struct LocalFile
{
    std::shared_ptr<std::FILE> handle;
    std::int64_t size = 0;
};

// The file at `path`, open; a failure "File not found" for a missing file or
// a folder, "Not a regular file" (kErrNotRegularFile) for a pipe, socket or
// device, "Could not read the local file" when it cannot be opened.
Result<LocalFile> OpenLocalFile(const std::filesystem::path &path);

} // namespace vantrel::upload
