#pragma once

// The box work of the repair program, over bytes only: reading the top-level
// layout of an MP4 file, checking its movie box, and planning the output in
// which the movie box stands in front of the media data with every chunk
// offset moved to match. No file system here; the program, the tests and the
// fuzz target hand in the bytes through a ByteSource.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

namespace vantrel::fix {

// A refused input. The text is the user-facing message: upper case, ending in "!".
class FixError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// Random access to the input bytes.
class ByteSource
{
public:
    virtual ~ByteSource() = default;
    virtual std::uint64_t size() const = 0;
    // Reads exactly n bytes at offset into dst; throws FixError when it cannot.
    virtual void read(std::uint64_t offset, void *dst, std::size_t n) = 0;
};

class MemorySource final : public ByteSource
{
public:
    explicit MemorySource(std::span<const std::uint8_t> bytes)
        : m_bytes(bytes)
    {}
    std::uint64_t size() const override { return m_bytes.size(); }
    void read(std::uint64_t offset, void *dst, std::size_t n) override;

private:
    std::span<const std::uint8_t> m_bytes;
};

// Four-character box types as big-endian numbers.
constexpr std::uint32_t FourCC(const char (&s)[5])
{
    return std::uint32_t(std::uint8_t(s[0])) << 24 | std::uint32_t(std::uint8_t(s[1])) << 16
           | std::uint32_t(std::uint8_t(s[2])) << 8 | std::uint32_t(std::uint8_t(s[3]));
}

// "mdat", or "\x00abc" style escapes for bytes that are not printable.
std::string TypeName(std::uint32_t type);

struct BoxHeader
{
    std::uint32_t type = 0;
    std::uint64_t size = 0;       // the whole box, header included, size 0 resolved
    std::uint32_t headerSize = 0; // 8, or 16 with a 64-bit size
    bool toEnd = false;           // the size field was 0: the box runs to the end of its parent
};

// Reads the header of the box whose first bytes are `bytes` (up to 16 are
// looked at). `room` is the number of bytes from the box's start to the end of
// its parent or of the file. `at` (the box's position in the file) and
// `within` ("THE FILE", "ITS 'stbl' BOX") only serve the messages.
BoxHeader ParseBoxHeader(std::span<const std::uint8_t> bytes, std::uint64_t room, std::uint64_t at,
                         const std::string &within);

// One box at the top level of the file.
struct TopBox
{
    BoxHeader header;
    std::uint64_t offset = 0;
    std::uint64_t end() const { return offset + header.size; }
};

// Walks the top level of the file, reading only box headers. Throws FixError
// on anything that is not a well-formed sequence of boxes.
std::vector<TopBox> ScanTopLevel(ByteSource &input);

// A piece of the output: a range of the input, or the rewritten movie box.
struct Piece
{
    bool fromInput = true;
    std::uint64_t offset = 0; // in the input (fromInput only)
    std::uint64_t length = 0;
};

struct Plan
{
    bool inOrder = false;           // movie box already in front: copy the file as it is
    bool inPlace = false;           // rewritten in the file itself (see below)
    std::vector<std::uint8_t> moov; // the rewritten movie box (empty when inOrder)
    std::vector<Piece> pieces;      // the output, front to back (copy plans only)
    std::uint64_t outputSize = 0;
    int widenedTables = 0; // chunk offset tables turned from 32 to 64 bits

    // In place: `insertLength` bytes are inserted at the front of the file.
    // They take the input's leading 'ftyp' box (`ftypSize` bytes, copied),
    // the rewritten movie box and a 'free' box of `fillSize` bytes. The old
    // 'ftyp' box then lies at insertLength and becomes a 'free' box; the old
    // movie box, last in the file, is cut off at insertLength + oldMoovOffset.
    std::uint64_t insertLength = 0;
    std::uint64_t ftypSize = 0;
    std::uint64_t fillSize = 0;
    std::uint64_t oldMoovOffset = 0;
};

// Upper bound for the movie box, which is held in memory.
inline constexpr std::uint64_t kMaxMoovSize = 512ull << 20;
// Upper bound for the number of boxes at the top level of a file.
inline constexpr std::size_t kMaxTopLevelBoxes = 100000;

// Checks the input and plans the output. Throws FixError when the input is
// refused; nothing has been written at that point. With `inPlaceBlock` (the
// file system's block size) a file whose movie box is behind its media data
// gets an in-place plan when it can have one: it starts with an 'ftyp' box
// and ends with its movie box. Every other file gets a copy plan.
Plan MakePlan(ByteSource &input, std::uint64_t inPlaceBlock = 0);

// A file left by an in-place rewrite that stopped before the old movie box
// was cut off: the original file starts at `insertLength`, with its 'ftyp'
// box turned into a 'free' box already when `ftypFreed`.
struct Interrupted
{
    std::uint64_t insertLength = 0;
    bool ftypFreed = false;
};

// Recognises such a file strictly: the front holds zeros or a copy of the
// original's 'ftyp' box, and the original behind it is a valid file whose
// in-place plan with this block size inserts exactly `insertLength` bytes.
std::optional<Interrupted> FindInterrupted(ByteSource &input, std::uint64_t block);

// The chunk offsets of every track of a movie box (the whole box, header
// included), in the order they are stored.
std::vector<std::uint64_t> ChunkOffsets(std::span<const std::uint8_t> moov);

// The output of a plan in memory, in place plans included (for tests and fuzzing; the program
// streams).
std::vector<std::uint8_t> Assemble(const Plan &plan, ByteSource &input);

} // namespace vantrel::fix
