// Windows side of the repair program's platform functions. Paths arrive as
// UTF-8 and are used through the wide-character API.
#ifdef _WIN32

#include "tools/fix/fixplatform.h"

#include "tools/common/systemtext.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <algorithm>

namespace vantrel::fix::platform {

namespace {

std::wstring Wide(const std::string &utf8)
{
    if (utf8.empty())
        return {};
    const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), nullptr, 0);
    std::wstring out(std::size_t(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), out.data(), n);
    return out;
}

// `what` is a plain text so that building the arguments cannot disturb the
// last-error code read beside it.
std::string Failure(const char *what, const std::string &path, DWORD error)
{
    return std::string(what) + " \"" + path + "\": " + tools::UpperSystemText(int(error)) + "!";
}

std::pair<std::string, std::string> SplitPath(const std::string &path)
{
    const auto slash = path.find_last_of("\\/");
    if (slash == std::string::npos)
        return {".", path};
    return {path.substr(0, slash + 1), path.substr(slash + 1)};
}

bool IdOfHandle(HANDLE h, FileId &id)
{
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(h, &info))
        return false;
    id.device = info.dwVolumeSerialNumber;
    id.index = std::uint64_t(info.nFileIndexHigh) << 32 | info.nFileIndexLow;
    return true;
}

} // namespace

std::optional<FileId> IdOf(const std::string &path)
{
    HANDLE h =
        CreateFileW(Wide(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return std::nullopt;
    FileId id;
    const bool ok = IdOfHandle(h, id);
    CloseHandle(h);
    if (!ok)
        return std::nullopt;
    return id;
}

Input::~Input()
{
    close();
}

bool Input::open(const std::string &path, std::string &error)
{
    HANDLE h =
        CreateFileW(Wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        error = Failure("CANNOT OPEN", path, GetLastError());
        return false;
    }
    m_handle = h;
    LARGE_INTEGER size;
    if (GetFileType(h) != FILE_TYPE_DISK || !GetFileSizeEx(h, &size) || !IdOfHandle(h, m_id)) {
        error = "\"" + path + "\" IS NOT A REGULAR FILE!";
        return false;
    }
    m_size = std::uint64_t(size.QuadPart);
    m_mode = 0;
    return true;
}

void Input::close()
{
    if (m_handle) {
        CloseHandle(static_cast<HANDLE>(m_handle));
        m_handle = nullptr;
    }
}

bool Input::readAt(std::uint64_t offset, void *dst, std::size_t n, std::string &error)
{
    auto *p = static_cast<std::uint8_t *>(dst);
    while (n > 0) {
        OVERLAPPED at = {};
        at.Offset = DWORD(offset);
        at.OffsetHigh = DWORD(offset >> 32);
        const DWORD want = DWORD(std::min<std::size_t>(n, 1u << 30));
        DWORD got = 0;
        if (!ReadFile(static_cast<HANDLE>(m_handle), p, want, &got, &at)) {
            const DWORD e = GetLastError();
            if (e == ERROR_HANDLE_EOF) {
                error = "THE INPUT FILE CHANGED WHILE IT WAS READ!";
                return false;
            }
            error = "CANNOT READ THE INPUT FILE: " + tools::UpperSystemText(int(e)) + "!";
            return false;
        }
        if (got == 0) {
            error = "THE INPUT FILE CHANGED WHILE IT WAS READ!";
            return false;
        }
        p += got;
        n -= got;
        offset += got;
    }
    return true;
}

std::optional<std::uint64_t> Input::currentSize() const
{
    LARGE_INTEGER size;
    if (!GetFileSizeEx(static_cast<HANDLE>(m_handle), &size))
        return std::nullopt;
    return std::uint64_t(size.QuadPart);
}

Output::~Output()
{
    discard();
}

bool Output::create(const std::string &finalPath, unsigned, std::string &error)
{
    auto [folder, name] = SplitPath(finalPath);
    const std::string prefix =
        (folder == "." ? std::string() : folder) + "." + name.substr(0, 200) + ".fix-";
    static unsigned counter = 0;
    for (int attempt = 0; attempt < 100; ++attempt) {
        const unsigned long long tag =
            GetTickCount64() ^ (std::uint64_t(GetCurrentProcessId()) << 20) ^ ++counter;
        const std::string candidate = prefix + std::to_string(tag % 1000000007ull);
        HANDLE h = CreateFileW(Wide(candidate).c_str(), GENERIC_WRITE | DELETE, 0, nullptr,
                               CREATE_NEW, FILE_ATTRIBUTE_HIDDEN, nullptr);
        if (h != INVALID_HANDLE_VALUE) {
            m_handle = h;
            m_path = candidate;
            // Deleted when its handle closes, also when the program is
            // stopped or killed; commit() takes this back.
            FILE_DISPOSITION_INFO deleteOnClose = {TRUE};
            SetFileInformationByHandle(h, FileDispositionInfo, &deleteOnClose,
                                       sizeof deleteOnClose);
            return true;
        }
        const DWORD e = GetLastError();
        if (e != ERROR_FILE_EXISTS && e != ERROR_ALREADY_EXISTS) {
            error = Failure("CANNOT CREATE A FILE IN", folder, e);
            return false;
        }
    }
    error = "CANNOT CREATE A FILE IN \"" + folder + "\"!";
    return false;
}

bool Output::write(const void *data, std::size_t n, std::string &error)
{
    auto *p = static_cast<const std::uint8_t *>(data);
    while (n > 0) {
        DWORD done = 0;
        const DWORD want = DWORD(std::min<std::size_t>(n, 1u << 30));
        if (!WriteFile(static_cast<HANDLE>(m_handle), p, want, &done, nullptr)) {
            error = Failure("CANNOT WRITE", m_path, GetLastError());
            return false;
        }
        p += done;
        n -= done;
    }
    return true;
}

bool Output::copyFrom(Input &input, std::uint64_t offset, std::uint64_t length, std::string &error)
{
    return copyByBuffer(input, offset, length, error);
}

bool Output::commit(const std::string &finalPath, std::string &error)
{
    HANDLE h = static_cast<HANDLE>(m_handle);
    // Kept after all, and no longer hidden: the rename keeps the attributes.
    FILE_DISPOSITION_INFO keep = {FALSE};
    FILE_BASIC_INFO visible = {};
    visible.FileAttributes = FILE_ATTRIBUTE_NORMAL;
    if (!SetFileInformationByHandle(h, FileDispositionInfo, &keep, sizeof keep)
        || !SetFileInformationByHandle(h, FileBasicInfo, &visible, sizeof visible)
        || !FlushFileBuffers(h)) {
        error = Failure("CANNOT WRITE", m_path, GetLastError());
        discard();
        return false;
    }
    CloseHandle(h);
    m_handle = nullptr;
    if (!MoveFileExW(Wide(m_path).c_str(), Wide(finalPath).c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        error = Failure("CANNOT CREATE", finalPath, GetLastError());
        discard();
        return false;
    }
    m_path.clear();
    return true;
}

void Output::discard()
{
    if (m_handle) {
        CloseHandle(static_cast<HANDLE>(m_handle));
        m_handle = nullptr;
    }
    if (!m_path.empty()) {
        DeleteFileW(Wide(m_path).c_str());
        m_path.clear();
    }
}

bool Input::flush(std::string &)
{
    return true; // never needed: the input is never renamed into place here
}

// Windows keeps the copy path: the input is not renamed or rewritten.
bool CanTakeOver(const std::string &, const Input &, const std::string &)
{
    return false;
}

Outcome RenameInto(const std::string &, const std::string &, std::string &)
{
    return Outcome::NotHere;
}

Rewrite::~Rewrite()
{
    close();
}

void Rewrite::close()
{}

bool Rewrite::open(const std::string &path, const FileId &, std::string &error)
{
    error = "\"" + path + "\" CANNOT BE REWRITTEN IN PLACE ON THIS SYSTEM!";
    return false;
}

Outcome Rewrite::insertFront(std::uint64_t, std::string &)
{
    return Outcome::NotHere;
}

bool Rewrite::collapseFront(std::uint64_t, std::string &error)
{
    error = "\"" + m_path + "\" CANNOT BE PUT BACK ON THIS SYSTEM!";
    return false;
}

bool Rewrite::writeAt(std::uint64_t, const void *, std::size_t, std::string &error)
{
    error = "\"" + m_path + "\" CANNOT BE REWRITTEN IN PLACE ON THIS SYSTEM!";
    return false;
}

bool Rewrite::flush(std::string &)
{
    return true;
}

bool Rewrite::cut(std::uint64_t, std::string &error)
{
    error = "\"" + m_path + "\" CANNOT BE REWRITTEN IN PLACE ON THIS SYSTEM!";
    return false;
}

bool RemoveFile(const std::string &path, std::string &error)
{
    if (!DeleteFileW(Wide(path).c_str())) {
        error = Failure("CANNOT REMOVE", path, GetLastError());
        return false;
    }
    return true;
}

} // namespace vantrel::fix::platform

#endif // _WIN32
