#pragma once

// The operating-system side of the repair program: reading the input at
// given positions, telling whether two paths name the same file, writing the
// output under a temporary name next to its final place, copying ranges of
// the input into it (copy_file_range where the system has it), and putting it
// in place atomically. Failures come back as false plus a message in upper
// case ending in "!", ready for the user.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace vantrel::fix::platform {

// Identity of a file: device and inode (volume serial and file index on Windows).
struct FileId
{
    std::uint64_t device = 0;
    std::uint64_t index = 0;
    bool operator==(const FileId &) const = default;
};

// The file a path names now, following links; nothing if there is none.
std::optional<FileId> IdOf(const std::string &path);

class Input
{
public:
    Input() = default;
    ~Input();
    Input(const Input &) = delete;
    Input &operator=(const Input &) = delete;

    // Opens a regular file for reading.
    bool open(const std::string &path, std::string &error);
    std::uint64_t size() const { return m_size; }
    FileId id() const { return m_id; }
    // The permission bits, to be given to the output (POSIX only).
    unsigned mode() const { return m_mode; }
    // Reads exactly n bytes at offset.
    bool readAt(std::uint64_t offset, void *dst, std::size_t n, std::string &error);
    // The size now, to notice a file that changes under us.
    std::optional<std::uint64_t> currentSize() const;
    void close();

private:
    friend class Output;
#ifdef _WIN32
    void *m_handle = nullptr;
#else
    int m_fd = -1;
#endif
    std::uint64_t m_size = 0;
    FileId m_id;
    unsigned m_mode = 0;
};

// The output under a temporary name in the final file's folder. Removed again
// unless commit() succeeds, also when the program is interrupted.
class Output
{
public:
    Output() = default;
    ~Output();
    Output(const Output &) = delete;
    Output &operator=(const Output &) = delete;

    bool create(const std::string &finalPath, unsigned mode, std::string &error);
    bool write(const void *data, std::size_t n, std::string &error);
    // Appends `length` bytes of the input from `offset`.
    bool copyFrom(Input &input, std::uint64_t offset, std::uint64_t length, std::string &error);
    // Flushes to disk, closes, and renames over finalPath (replacing a file
    // that is there), then flushes the folder.
    bool commit(const std::string &finalPath, std::string &error);
    // Closes and removes the temporary file.
    void discard();
    const std::string &path() const { return m_path; }

private:
    // copyFrom through a buffer in memory, the same on every system
    // (fixplatform.cpp).
    bool copyByBuffer(Input &input, std::uint64_t offset, std::uint64_t length, std::string &error);

#ifdef _WIN32
    void *m_handle = nullptr;
#else
    void startWriteback();

    int m_fd = -1;
    bool m_tryKernelCopy = true;
    std::uint64_t m_written = 0;     // bytes in the file so far
    std::uint64_t m_writtenBack = 0; // bytes handed to the disk already
#endif
    std::string m_path;
};

// Removes a file; false and a message if it could not.
bool RemoveFile(const std::string &path, std::string &error);

} // namespace vantrel::fix::platform
