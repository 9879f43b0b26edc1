#include "tools/fix/fixcore.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace vantrel::fix {

namespace {

constexpr std::uint64_t kMax32 = std::numeric_limits<std::uint32_t>::max();

[[noreturn]] void Refuse(const std::string &message)
{
    throw FixError(message);
}

std::uint32_t Be32(const std::uint8_t *p)
{
    return std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8
           | std::uint32_t(p[3]);
}

std::uint64_t Be64(const std::uint8_t *p)
{
    return std::uint64_t(Be32(p)) << 32 | Be32(p + 4);
}

void PutBe32(std::vector<std::uint8_t> &out, std::uint32_t v)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(std::uint8_t(v >> shift));
}

void PutBe64(std::vector<std::uint8_t> &out, std::uint64_t v)
{
    PutBe32(out, std::uint32_t(v >> 32));
    PutBe32(out, std::uint32_t(v));
}

std::string Quoted(std::uint32_t type)
{
    // Appended, not "'" + name: GCC 12 warns falsely (-Wrestrict) on that.
    std::string quoted(1, '\'');
    quoted.append(TypeName(type)).push_back('\'');
    return quoted;
}

std::string At(std::uint64_t offset)
{
    return " AT BYTE " + std::to_string(offset);
}

// Box types whose presence marks a fragmented file.
bool IsFragmentBox(std::uint32_t type)
{
    return type == FourCC("moof") || type == FourCC("mfra") || type == FourCC("sidx")
           || type == FourCC("ssix") || type == FourCC("styp");
}

// Types that may open an MP4 or QuickTime file.
bool IsLeadingType(std::uint32_t type)
{
    static constexpr std::uint32_t kTypes[] = {
        FourCC("ftyp"), FourCC("moov"), FourCC("mdat"), FourCC("free"), FourCC("skip"),
        FourCC("wide"), FourCC("pnot"), FourCC("uuid"), FourCC("styp"), FourCC("sidx"),
        FourCC("moof"), FourCC("meta"), FourCC("pdin")};
    return std::find(std::begin(kTypes), std::end(kTypes), type) != std::end(kTypes);
}

// The containers this program walks into, by parent. Everything else is kept
// as opaque bytes. The fixed grammar also bounds the depth of the walk.
bool Descends(std::uint32_t parent, std::uint32_t child)
{
    if (parent == FourCC("moov"))
        return child == FourCC("trak") || child == FourCC("udta") || child == FourCC("meta");
    if (parent == FourCC("trak"))
        return child == FourCC("mdia") || child == FourCC("udta") || child == FourCC("meta");
    if (parent == FourCC("mdia"))
        return child == FourCC("minf");
    if (parent == FourCC("minf"))
        return child == FourCC("stbl") || child == FourCC("dinf");
    if (parent == FourCC("udta"))
        return child == FourCC("meta");
    return false;
}

// A box of the movie box as far as it is walked.
struct Node
{
    BoxHeader header;
    std::size_t start = 0;     // in the bytes of the tree
    std::size_t bodyStart = 0; // first child (after the header and any version/flags)
    std::size_t bodyEnd = 0;   // end of the last child; what follows is kept as it is
    bool container = false;
    int table = -1; // index of its chunk offset table
    std::vector<Node> children;

    std::size_t end() const { return start + std::size_t(header.size); }
};

struct ChunkTable
{
    std::size_t start = 0;   // of the box, in the bytes of the tree
    std::size_t entries = 0; // first entry
    std::uint32_t count = 0;
    bool wide = false;  // co64 in the input
    bool widen = false; // stco to be written as co64
};

// A movie box (or top-level meta box) checked and parsed for rewriting.
class Tree
{
public:
    Tree(std::span<const std::uint8_t> bytes, std::uint64_t fileOffset)
        : m_bytes(bytes)
        , m_fileOffset(fileOffset)
    {
        m_root.header = ParseBoxHeader(bytes, bytes.size(), fileOffset, "THE FILE");
        m_root.header.size = bytes.size();
        m_root.start = 0;
        m_root.container = true;
        parseBody(m_root);
    }

    const Node &root() const { return m_root; }
    std::vector<ChunkTable> &tables() { return m_tables; }
    const std::vector<ChunkTable> &tables() const { return m_tables; }
    bool hasItemLocations() const { return m_hasItemLocations; }
    bool hasAuxOffsets() const { return m_hasAuxOffsets; }

    std::uint64_t entry(const ChunkTable &t, std::uint32_t i) const
    {
        return t.wide ? Be64(&m_bytes[t.entries + std::size_t(i) * 8])
                      : Be32(&m_bytes[t.entries + std::size_t(i) * 4]);
    }

    // Size of a node once its tables are written as planned.
    std::uint64_t sizeOf(const Node &n) const
    {
        std::uint64_t content;
        if (n.table >= 0) {
            const ChunkTable &t = m_tables[std::size_t(n.table)];
            if (!t.widen)
                return n.header.size;
            const std::size_t oldEntries = std::size_t(t.count) * 4;
            content = 8 + std::uint64_t(t.count) * 8 + (n.end() - t.entries - oldEntries);
        } else if (!n.container) {
            return n.header.size;
        } else {
            content = (n.bodyStart - n.start - n.header.headerSize) + (n.end() - n.bodyEnd);
            for (const Node &c : n.children)
                content += sizeOf(c);
        }
        return HeaderSizeFor(n.header, content) + content;
    }

    template<typename MoveFn>
    void write(const Node &n, std::vector<std::uint8_t> &out, const MoveFn &move) const
    {
        if (n.table < 0 && !n.container) {
            out.insert(out.end(), m_bytes.begin() + std::ptrdiff_t(n.start),
                       m_bytes.begin() + std::ptrdiff_t(n.end()));
            return;
        }
        const std::uint64_t size = sizeOf(n);
        if (n.table >= 0) {
            const ChunkTable &t = m_tables[std::size_t(n.table)];
            const bool wide = t.wide || t.widen;
            writeHeader(out, n.header, size, wide ? FourCC("co64") : FourCC("stco"));
            const std::size_t body = n.start + n.header.headerSize;
            out.insert(out.end(), m_bytes.begin() + std::ptrdiff_t(body),
                       m_bytes.begin() + std::ptrdiff_t(body + 8)); // version, flags, count
            for (std::uint32_t i = 0; i < t.count; ++i) {
                const std::uint64_t moved = move(entry(t, i));
                if (wide)
                    PutBe64(out, moved);
                else
                    PutBe32(out, std::uint32_t(moved));
            }
            const std::size_t tail = t.entries + std::size_t(t.count) * (t.wide ? 8 : 4);
            out.insert(out.end(), m_bytes.begin() + std::ptrdiff_t(tail),
                       m_bytes.begin() + std::ptrdiff_t(n.end()));
            return;
        }
        writeHeader(out, n.header, size, n.header.type);
        out.insert(out.end(), m_bytes.begin() + std::ptrdiff_t(n.start + n.header.headerSize),
                   m_bytes.begin() + std::ptrdiff_t(n.bodyStart));
        for (const Node &c : n.children)
            write(c, out, move);
        out.insert(out.end(), m_bytes.begin() + std::ptrdiff_t(n.bodyEnd),
                   m_bytes.begin() + std::ptrdiff_t(n.end()));
    }

private:
    // A box keeps a 64-bit size field if it had one; otherwise it gets one
    // only when its size no longer fits 32 bits.
    static std::uint32_t HeaderSizeFor(const BoxHeader &h, std::uint64_t content)
    {
        return h.headerSize == 16 || content + 8 > kMax32 ? 16 : 8;
    }

    static void writeHeader(std::vector<std::uint8_t> &out, const BoxHeader &h, std::uint64_t size,
                            std::uint32_t type)
    {
        if (h.headerSize == 8 && size <= kMax32) {
            PutBe32(out, std::uint32_t(size));
            PutBe32(out, type);
        } else {
            PutBe32(out, 1);
            PutBe32(out, type);
            PutBe64(out, size);
        }
    }

    std::uint64_t fileAt(std::size_t pos) const { return m_fileOffset + pos; }

    std::string within(const Node &n) const { return "ITS " + Quoted(n.header.type) + " BOX"; }

    void parseBody(Node &n)
    {
        n.bodyStart = n.start + n.header.headerSize;
        if (n.header.type == FourCC("meta")) {
            // ISO meta boxes carry version and flags; QuickTime ones start
            // directly with their handler box.
            const std::size_t payload = n.end() - n.bodyStart;
            const bool quickTime =
                payload >= 8 && Be32(&m_bytes[n.bodyStart + 4]) == FourCC("hdlr");
            if (!quickTime) {
                if (payload > 0 && payload < 4)
                    Refuse("THE FILE IS DAMAGED: THE " + Quoted(n.header.type) + " BOX"
                           + At(fileAt(n.start)) + " IS TRUNCATED!");
                n.bodyStart += std::min<std::size_t>(payload, 4);
            }
        }
        std::size_t pos = n.bodyStart;
        const std::size_t end = n.end();
        while (pos < end) {
            const std::size_t room = end - pos;
            // QuickTime allows a 32-bit zero to close a list of boxes.
            if (room < 8
                && std::all_of(m_bytes.begin() + std::ptrdiff_t(pos),
                               m_bytes.begin() + std::ptrdiff_t(end),
                               [](std::uint8_t b) { return b == 0; }))
                break;
            Node c;
            c.start = pos;
            c.header = ParseBoxHeader(m_bytes.subspan(pos, std::min<std::size_t>(room, 16)), room,
                                      fileAt(pos), within(n));
            inspect(n, c);
            pos += std::size_t(c.header.size);
            n.children.push_back(std::move(c));
        }
        n.bodyEnd = pos;
    }

    void inspect(const Node &parent, Node &c)
    {
        const std::uint32_t p = parent.header.type;
        const std::uint32_t t = c.header.type;
        if (p == FourCC("moov") && t == FourCC("cmov"))
            Refuse("THE 'moov' BOX IS COMPRESSED ('cmov'): THIS FILE CANNOT BE REARRANGED!");
        if (p == FourCC("moov") && t == FourCC("mvex"))
            Refuse("THE FILE IS FRAGMENTED ('mvex'): IT CANNOT BE REARRANGED!");
        if (Descends(p, t)) {
            c.container = true;
            parseBody(c);
        } else if (p == FourCC("stbl") && (t == FourCC("stco") || t == FourCC("co64"))) {
            parseTable(c);
        } else if (p == FourCC("stbl") && t == FourCC("saio")) {
            m_hasAuxOffsets = true;
        } else if (p == FourCC("dinf") && t == FourCC("dref")) {
            checkDataReferences(c);
        } else if (p == FourCC("meta") && t == FourCC("iloc")) {
            m_hasItemLocations = true;
        }
    }

    std::string damaged(const Node &c) const
    {
        return "THE FILE IS DAMAGED: THE " + Quoted(c.header.type) + " BOX" + At(fileAt(c.start));
    }

    void parseTable(Node &c)
    {
        ChunkTable t;
        t.start = c.start;
        t.wide = c.header.type == FourCC("co64");
        const std::size_t body = c.start + c.header.headerSize;
        const std::size_t payload = c.end() - body;
        if (payload < 8)
            Refuse(damaged(c) + " IS TRUNCATED!");
        if (m_bytes[body] != 0)
            Refuse(damaged(c) + " HAS AN UNKNOWN VERSION!");
        t.count = Be32(&m_bytes[body + 4]);
        t.entries = body + 8;
        if (std::uint64_t(t.count) * (t.wide ? 8 : 4) > payload - 8)
            Refuse(damaged(c) + " HOLDS FEWER OFFSETS THAN IT COUNTS!");
        c.table = int(m_tables.size());
        m_tables.push_back(t);
    }

    // Chunk offsets are positions in this file only when every data
    // reference is self-contained (flag 1).
    void checkDataReferences(const Node &c)
    {
        const std::size_t body = c.start + c.header.headerSize;
        const std::size_t end = c.end();
        if (end - body < 8)
            Refuse(damaged(c) + " IS TRUNCATED!");
        const std::uint32_t count = Be32(&m_bytes[body + 4]);
        std::size_t pos = body + 8;
        for (std::uint32_t i = 0; i < count; ++i) {
            if (pos >= end)
                Refuse(damaged(c) + " HOLDS FEWER ENTRIES THAN IT COUNTS!");
            const BoxHeader h =
                ParseBoxHeader(m_bytes.subspan(pos, std::min<std::size_t>(end - pos, 16)),
                               end - pos, fileAt(pos), within(c));
            if (h.size < std::uint64_t(h.headerSize) + 4)
                Refuse(damaged(c) + " HOLDS A TRUNCATED ENTRY!");
            if ((Be32(&m_bytes[pos + h.headerSize]) & 1) == 0)
                Refuse("THE FILE REFERS TO MEDIA DATA IN ANOTHER FILE: IT CANNOT BE REARRANGED!");
            pos += std::size_t(h.size);
        }
    }

    std::span<const std::uint8_t> m_bytes;
    std::uint64_t m_fileOffset = 0;
    Node m_root;
    std::vector<ChunkTable> m_tables;
    bool m_hasItemLocations = false;
    bool m_hasAuxOffsets = false;
};

std::vector<std::uint8_t> ReadBox(ByteSource &input, const TopBox &box)
{
    if (box.header.size > kMaxMoovSize)
        Refuse("THE " + Quoted(box.header.type) + " BOX" + At(box.offset) + " IS TOO LARGE ("
               + std::to_string(box.header.size) + " BYTES)!");
    std::vector<std::uint8_t> bytes(std::size_t(box.header.size));
    input.read(box.offset, bytes.data(), bytes.size());
    return bytes;
}

// The file as it was before an in-place rewrite began: the bytes from
// `start` on, with the 'ftyp' box at their front given back its type.
class ShiftedSource final : public ByteSource
{
public:
    ShiftedSource(ByteSource &base, std::uint64_t start, bool ftypFreed)
        : m_base(base)
        , m_start(start)
        , m_ftypFreed(ftypFreed)
    {}
    std::uint64_t size() const override { return m_base.size() - m_start; }
    void read(std::uint64_t offset, void *dst, std::size_t n) override
    {
        if (offset > size() || n > size() - offset)
            Refuse("THE FILE IS TRUNCATED" + At(offset) + "!");
        m_base.read(m_start + offset, dst, n);
        if (m_ftypFreed) {
            static const std::uint8_t kType[] = {'f', 't', 'y', 'p'};
            for (std::uint64_t i = 4; i < 8; ++i)
                if (i >= offset && i < offset + n)
                    static_cast<std::uint8_t *>(dst)[i - offset] = kType[i - 4];
        }
    }

private:
    ByteSource &m_base;
    std::uint64_t m_start;
    bool m_ftypFreed;
};

} // namespace

void MemorySource::read(std::uint64_t offset, void *dst, std::size_t n)
{
    if (offset > m_bytes.size() || n > m_bytes.size() - offset)
        Refuse("THE FILE IS TRUNCATED" + At(offset) + "!");
    if (n > 0)
        std::memcpy(dst, m_bytes.data() + offset, n);
}

std::string TypeName(std::uint32_t type)
{
    static const char kHex[] = "0123456789abcdef";
    std::string name;
    for (int shift = 24; shift >= 0; shift -= 8) {
        const auto c = std::uint8_t(type >> shift);
        if (c >= 0x20 && c < 0x7f && c != '\'' && c != '\\') {
            name += char(c);
        } else {
            name += "\\x";
            name += kHex[c >> 4];
            name += kHex[c & 15];
        }
    }
    return name;
}

BoxHeader ParseBoxHeader(std::span<const std::uint8_t> bytes, std::uint64_t room, std::uint64_t at,
                         const std::string &within)
{
    const std::string truncated = "THE FILE IS TRUNCATED: ";
    if (room < 8 || bytes.size() < 8)
        Refuse(truncated + "AN INCOMPLETE BOX HEADER" + At(at) + "!");
    BoxHeader h;
    h.type = Be32(bytes.data() + 4);
    const std::uint32_t size32 = Be32(bytes.data());
    if (size32 == 1) {
        if (room < 16 || bytes.size() < 16)
            Refuse(truncated + "AN INCOMPLETE BOX HEADER" + At(at) + "!");
        h.headerSize = 16;
        h.size = Be64(bytes.data() + 8);
    } else if (size32 == 0) {
        h.headerSize = 8;
        h.size = room;
        h.toEnd = true;
    } else {
        h.headerSize = 8;
        h.size = size32;
    }
    if (h.size < h.headerSize)
        Refuse("THE FILE IS DAMAGED: THE " + Quoted(h.type) + " BOX" + At(at)
               + " HAS AN IMPOSSIBLE SIZE (" + std::to_string(h.size) + ")!");
    if (h.size > room)
        Refuse(truncated + "THE " + Quoted(h.type) + " BOX" + At(at) + " (" + std::to_string(h.size)
               + " BYTES) RUNS PAST THE END OF " + within + "!");
    return h;
}

std::vector<TopBox> ScanTopLevel(ByteSource &input)
{
    const std::uint64_t size = input.size();
    std::vector<TopBox> boxes;
    std::uint64_t pos = 0;
    while (pos < size) {
        const std::uint64_t room = size - pos;
        std::uint8_t head[16];
        const auto n = std::size_t(std::min<std::uint64_t>(room, sizeof head));
        input.read(pos, head, n);
        if (boxes.empty() && (n < 8 || !IsLeadingType(Be32(head + 4))))
            Refuse("THE FILE IS NOT AN MP4 FILE!");
        if (boxes.size() == kMaxTopLevelBoxes)
            Refuse("THE FILE HAS TOO MANY BOXES AT ITS TOP LEVEL!");
        TopBox box;
        box.offset = pos;
        box.header = ParseBoxHeader(std::span(head, n), room, pos, "THE FILE");
        pos += box.header.size;
        boxes.push_back(box);
    }
    if (boxes.empty())
        Refuse("THE FILE IS EMPTY: IT IS NOT AN MP4 FILE!");
    return boxes;
}

Plan MakePlan(ByteSource &input, std::uint64_t inPlaceBlock)
{
    const std::vector<TopBox> boxes = ScanTopLevel(input);

    std::size_t moovIndex = boxes.size();
    std::size_t firstMdat = boxes.size();
    std::vector<std::size_t> metas;
    for (std::size_t i = 0; i < boxes.size(); ++i) {
        const std::uint32_t type = boxes[i].header.type;
        if (IsFragmentBox(type))
            Refuse("THE FILE IS FRAGMENTED (" + Quoted(type) + "): IT CANNOT BE REARRANGED!");
        if (type == FourCC("moov")) {
            if (moovIndex != boxes.size())
                Refuse("THE FILE HAS MORE THAN ONE 'moov' BOX!");
            moovIndex = i;
        } else if (type == FourCC("mdat") && firstMdat == boxes.size()) {
            firstMdat = i;
        } else if (type == FourCC("meta")) {
            metas.push_back(i);
        }
    }
    if (moovIndex == boxes.size())
        Refuse("THE FILE HAS NO 'moov' BOX: IT IS INCOMPLETE OR NOT AN MP4 FILE!");

    const TopBox &moovBox = boxes[moovIndex];
    std::vector<std::uint8_t> moovBytes = ReadBox(input, moovBox);
    Tree tree(moovBytes, moovBox.offset);

    // Every chunk must start inside the payload of a media data box.
    std::vector<std::pair<std::uint64_t, std::uint64_t>> payloads;
    for (const TopBox &b : boxes)
        if (b.header.type == FourCC("mdat"))
            payloads.emplace_back(b.offset + b.header.headerSize, b.end());
    for (const ChunkTable &t : tree.tables()) {
        for (std::uint32_t i = 0; i < t.count; ++i) {
            const std::uint64_t off = tree.entry(t, i);
            auto it = std::upper_bound(
                payloads.begin(), payloads.end(), off,
                [](std::uint64_t v, const auto &range) { return v < range.first; });
            if (it == payloads.begin() || off >= std::prev(it)->second)
                Refuse("THE FILE IS DAMAGED: A CHUNK OFFSET (" + std::to_string(off)
                       + ") POINTS OUTSIDE THE MEDIA DATA!");
        }
    }

    Plan plan;
    if (firstMdat == boxes.size() || moovIndex < firstMdat) {
        plan.inOrder = true;
        plan.outputSize = input.size();
        plan.pieces.push_back({true, 0, input.size()});
        return plan;
    }

    // Positions that this program does not rewrite would go stale.
    if (tree.hasItemLocations())
        Refuse("THE 'moov' BOX HOLDS ITEM LOCATIONS ('iloc') THAT CANNOT BE MOVED!");
    if (tree.hasAuxOffsets())
        Refuse("THE 'moov' BOX HOLDS SAMPLE INFORMATION OFFSETS ('saio') THAT CANNOT BE MOVED!");
    for (std::size_t i : metas) {
        const std::vector<std::uint8_t> metaBytes = ReadBox(input, boxes[i]);
        if (Tree(metaBytes, boxes[i].offset).hasItemLocations())
            Refuse("THE FILE HOLDS ITEM LOCATIONS ('iloc') THAT CANNOT BE MOVED!");
    }

    const std::uint64_t fileSize = input.size();
    const std::uint64_t oldStart = moovBox.offset;
    const std::uint64_t oldSize = moovBox.header.size;
    const TopBox &first = boxes.front();
    const bool inPlace = inPlaceBlock > 0 && first.header.type == FourCC("ftyp")
                         && first.header.headerSize == 8 && moovIndex == boxes.size() - 1
                         && firstMdat > 0;

    // Where every chunk goes, and how far that is, as a function of the size
    // of the new movie box. In place, everything moves by the inserted
    // length. Otherwise the movie box goes where the first media data box
    // starts; what lay between them moves back by the new movie box's size,
    // what followed the movie box by the growth of the movie box.
    const std::uint64_t insertAt = boxes[firstMdat].offset;
    const std::uint64_t ftypSize = first.header.size;
    auto insertLength = [&](std::uint64_t newSize) {
        const std::uint64_t least = ftypSize + newSize + 8; // room for the 'free' box header
        return (least + inPlaceBlock - 1) / inPlaceBlock * inPlaceBlock;
    };
    auto moved = [&](std::uint64_t off, std::uint64_t newSize) {
        if (inPlace)
            return off + insertLength(newSize);
        if (off < insertAt)
            return off;
        if (off < oldStart)
            return off + newSize;
        return off - oldSize + newSize;
    };

    // Widening a table grows the movie box, which moves every chunk further
    // and may make more tables pass 4 GiB. The move grows with the size of
    // the movie box, so a table's fate is settled by its largest offset: with
    // the tables sorted by it, one sweep widens them in turn while the size
    // grows. Only offsets that move count (those in front of the first media
    // data box stay where they are).
    std::vector<std::pair<std::uint64_t, std::size_t>> order; // largest offset, table
    for (std::size_t k = 0; k < tree.tables().size(); ++k) {
        ChunkTable &t = tree.tables()[k];
        if (t.wide)
            continue;
        bool moves = false;
        std::uint64_t largest = 0;
        for (std::uint32_t i = 0; i < t.count; ++i) {
            const std::uint64_t off = tree.entry(t, i);
            if (!inPlace && off < insertAt)
                continue;
            moves = true;
            largest = std::max(largest, off);
        }
        if (moves)
            order.emplace_back(largest, k);
    }
    std::sort(order.begin(), order.end(), std::greater<>());
    std::size_t next = 0;
    std::uint64_t newSize = tree.sizeOf(tree.root());
    for (;;) {
        while (next < order.size() && moved(order[next].first, newSize) > kMax32) {
            ChunkTable &t = tree.tables()[order[next].second];
            t.widen = true;
            newSize += std::uint64_t(t.count) * 4;
            ++next;
        }
        // The sizes of the boxes around the tables settle it exactly (a box
        // header may have grown as well); this repeats only in that case.
        const std::uint64_t size = tree.sizeOf(tree.root());
        if (size == newSize)
            break;
        newSize = size;
        if (newSize > kMaxMoovSize * 2)
            break;
    }
    if (newSize > kMaxMoovSize * 2)
        Refuse("THE 'moov' BOX WOULD BECOME TOO LARGE!");

    plan.moov.reserve(std::size_t(newSize));
    tree.write(tree.root(), plan.moov, [&](std::uint64_t off) { return moved(off, newSize); });
    for (const ChunkTable &t : tree.tables())
        plan.widenedTables += t.widen ? 1 : 0;

    if (inPlace) {
        plan.inPlace = true;
        plan.insertLength = insertLength(newSize);
        plan.ftypSize = ftypSize;
        plan.fillSize = plan.insertLength - ftypSize - plan.moov.size();
        plan.oldMoovOffset = oldStart;
        plan.outputSize = plan.insertLength + oldStart;
        return plan;
    }
    if (insertAt > 0)
        plan.pieces.push_back({true, 0, insertAt});
    plan.pieces.push_back({false, 0, plan.moov.size()});
    plan.pieces.push_back({true, insertAt, oldStart - insertAt});
    if (moovBox.end() < fileSize)
        plan.pieces.push_back({true, moovBox.end(), fileSize - moovBox.end()});
    plan.outputSize = fileSize - oldSize + plan.moov.size();
    return plan;
}

std::optional<Interrupted> FindInterrupted(ByteSource &input, std::uint64_t block)
{
    const std::uint64_t size = input.size();
    if (block == 0 || size < 16)
        return std::nullopt;
    std::uint8_t head[16];
    input.read(0, head, sizeof head);
    const bool zeroFront = std::all_of(head, head + 8, [](std::uint8_t b) { return b == 0; });
    std::vector<std::uint64_t> candidates;
    if (zeroFront) {
        // The front was not written yet, or only in part: the original
        // starts at one of the block boundaries within reach of a movie box.
        const std::uint64_t reach = std::min(size, kMaxMoovSize * 2 + 2 * block);
        for (std::uint64_t at = block; at + 16 <= reach; at += block)
            candidates.push_back(at);
    } else {
        // The front is complete: 'ftyp', the new movie box, a 'free' box.
        std::uint64_t at = 0;
        for (const std::uint32_t type : {FourCC("ftyp"), FourCC("moov"), FourCC("free")}) {
            if (at + 16 > size)
                return std::nullopt;
            std::uint8_t box[16];
            input.read(at, box, sizeof box);
            const std::uint64_t boxSize = Be32(box);
            if (Be32(box + 4) != type || boxSize < 8 || boxSize > size - at)
                return std::nullopt;
            at += boxSize;
        }
        if (at % block != 0)
            return std::nullopt;
        candidates.push_back(at);
    }

    for (const std::uint64_t at : candidates) {
        std::uint8_t box[16];
        input.read(at, box, sizeof box);
        const std::uint32_t type = Be32(box + 4);
        const std::uint64_t ftypSize = Be32(box);
        if ((type != FourCC("ftyp") && type != FourCC("free")) || ftypSize < 8 || ftypSize > at
            || ftypSize > size - at || ftypSize > (1u << 20))
            continue;
        // The front's first bytes: zeros, or the same 'ftyp' box.
        const auto n = std::size_t(ftypSize);
        std::vector<std::uint8_t> front(n);
        std::vector<std::uint8_t> original(n);
        input.read(0, front.data(), front.size());
        input.read(at, original.data(), original.size());
        const bool ftypFreed = type == FourCC("free");
        if (ftypFreed)
            std::memcpy(original.data() + 4, "ftyp", 4);
        const bool frontZero =
            std::all_of(front.begin(), front.end(), [](std::uint8_t b) { return b == 0; });
        if (frontZero ? ftypFreed : front != original)
            continue;
        ShiftedSource view(input, at, ftypFreed);
        try {
            const Plan plan = MakePlan(view, block);
            if (plan.inPlace && plan.insertLength == at)
                return Interrupted{at, ftypFreed};
        } catch (const FixError &) {
        }
    }
    return std::nullopt;
}

std::vector<std::uint64_t> ChunkOffsets(std::span<const std::uint8_t> moov)
{
    const Tree tree(moov, 0);
    std::vector<std::uint64_t> offsets;
    for (const ChunkTable &t : tree.tables())
        for (std::uint32_t i = 0; i < t.count; ++i)
            offsets.push_back(tree.entry(t, i));
    return offsets;
}

std::vector<std::uint8_t> Assemble(const Plan &plan, ByteSource &input)
{
    std::vector<std::uint8_t> out;
    out.reserve(std::size_t(plan.outputSize));
    if (plan.inPlace) {
        out.resize(std::size_t(plan.ftypSize));
        input.read(0, out.data(), out.size());
        out.insert(out.end(), plan.moov.begin(), plan.moov.end());
        PutBe32(out, std::uint32_t(plan.fillSize));
        PutBe32(out, FourCC("free"));
        out.resize(std::size_t(plan.insertLength), 0);
        out.resize(std::size_t(plan.outputSize));
        input.read(0, out.data() + plan.insertLength, std::size_t(plan.oldMoovOffset));
        std::memcpy(out.data() + plan.insertLength + 4, "free", 4);
        return out;
    }
    for (const Piece &p : plan.pieces) {
        if (p.fromInput) {
            const std::size_t at = out.size();
            out.resize(at + std::size_t(p.length));
            input.read(p.offset, out.data() + at, std::size_t(p.length));
        } else {
            out.insert(out.end(), plan.moov.begin(), plan.moov.end());
        }
    }
    return out;
}

} // namespace vantrel::fix
