#pragma once

// Whole small files, read and replaced safely: the reading never waits on a
// named pipe or device in a file's place, and the replacing leaves either the
// old file or the whole new one, also after a crash or a power cut.

#include <filesystem>
#include <functional>
#include <string_view>

namespace vantrel::platform {

struct FileStatus
{
    int error = 0;           // errno of the failure; 0 when there was none
    bool notRegular = false; // something else than a file or folder stands there
    bool ok() const { return error == 0 && !notRegular; }
};

// Reads a regular file from its start, handing each piece read to `take`
// until the end of the file or until `take` returns false. A folder gives
// EISDIR; a named pipe, socket or device is refused at once (notRegular).
FileStatus ReadFileInPieces(const std::filesystem::path &file,
                            const std::function<bool(std::string_view piece)> &take);

// Writes `content` to a new file in the same folder (owner-only where the
// system has permissions), flushes it to the disk, renames it over `file`
// and flushes the folder. On failure the new file is removed again and
// `file` is as it was. (Not called ReplaceFile: <windows.h> makes that name a
// macro, which would rename the definition but not the callers.)
FileStatus WriteWholeFile(const std::filesystem::path &file, std::string_view content);

} // namespace vantrel::platform
