#pragma once

// The operating-system side of the repair program: reading the input at
// given positions, telling whether two paths name the same file, writing the
// output under a temporary name next to its final place, copying ranges of
// the input into it (copy_file_range where the system has it), and putting it
// in place atomically; and for a file that can itself become the output,
// renaming it or rewriting it in place (inserting a range at its front). Failures come back as
// false plus a message in upper case ending in "!", ready for the user.

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

// Done; or not possible here, with nothing changed; or failed (message).
enum class Outcome { Done, NotHere, Failed };

class Input
{
public:
    Input() = default;
    ~Input();
    Input(const Input &) = delete;
    Input &operator=(const Input &) = delete;

    // Opens a regular file for reading; anything else (a FIFO, a device) is
    // refused at once, without waiting for it.
    bool open(const std::string &path, std::string &error);
    std::uint64_t size() const { return m_size; }
    FileId id() const { return m_id; }
    // The permission bits, to be given to the output (POSIX only).
    unsigned mode() const { return m_mode; }
    // Reads exactly n bytes at offset.
    bool readAt(std::uint64_t offset, void *dst, std::size_t n, std::string &error);
    // The size now, to notice a file that changes under us.
    std::optional<std::uint64_t> currentSize() const;
    // The block size of its file system (0 where it is not known).
    std::uint64_t blockSize() const { return m_blockSize; }
    // Flushes the file to disk.
    bool flush(std::string &error);
    void close();

private:
    friend class Output;
    friend bool CanTakeOver(const std::string &, const Input &, const std::string &);
#ifdef _WIN32
    void *m_handle = nullptr;
#else
    int m_fd = -1;
#endif
    std::uint64_t m_size = 0;
    FileId m_id;
    unsigned m_mode = 0;
    std::uint64_t m_blockSize = 0;
};

// Whether the input may itself become FINAL, by a rename: the path names it
// directly (not through a link) and is its only name, and FINAL's folder is
// on the same file system. Always false on Windows, which copies.
bool CanTakeOver(const std::string &tempPath, const Input &input, const std::string &finalPath);

// Renames a file that was flushed already over finalPath (replacing what is
// there, a link included) and flushes the folder. NotHere when the two are on
// different file systems.
Outcome RenameInto(const std::string &tempPath, const std::string &finalPath, std::string &error);

// The input opened for rewriting in place. Never through a link, never
// anything but the regular file that was read.
class Rewrite
{
public:
    Rewrite() = default;
    ~Rewrite();
    Rewrite(const Rewrite &) = delete;
    Rewrite &operator=(const Rewrite &) = delete;

    bool open(const std::string &path, const FileId &id, std::string &error);
    // Inserts `length` bytes (a multiple of the block size) at the front.
    // NotHere when the file system cannot: the file is as it was.
    Outcome insertFront(std::uint64_t length, std::string &error);
    // Takes `length` bytes off the front again.
    bool collapseFront(std::uint64_t length, std::string &error);
    bool writeAt(std::uint64_t offset, const void *data, std::size_t n, std::string &error);
    bool flush(std::string &error);
    bool cut(std::uint64_t size, std::string &error);
    void close();

private:
#ifndef _WIN32
    int m_fd = -1;
#endif
    std::string m_path;
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

    int m_folder = -1;  // the folder, open while the output is pending
    std::string m_name; // the output's name in it

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
