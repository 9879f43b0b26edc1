// The box work of the repair program on files put together in memory.
#include "tests/tools/fix/mp4builder.h"
#include "tools/fix/fixcore.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <map>

namespace vantrel::fix {
namespace {

using namespace vantrel::fix::test;

constexpr std::uint64_t k4G = 1ull << 32;

Plan PlanOf(const Bytes &file)
{
    MemorySource source(file);
    return MakePlan(source);
}

Bytes Fixed(const Bytes &file)
{
    MemorySource source(file);
    return Assemble(MakePlan(source), source);
}

// The message of a refusal, or "" when the file is accepted.
std::string RefusalOf(const Bytes &file)
{
    try {
        PlanOf(file);
        return {};
    } catch (const FixError &e) {
        return e.what();
    }
}

std::vector<std::string> TopTypes(const Bytes &file)
{
    MemorySource source(file);
    std::vector<std::string> types;
    for (const TopBox &b : ScanTopLevel(source))
        types.push_back(TypeName(b.header.type));
    return types;
}

Bytes MoovOf(const Bytes &file)
{
    MemorySource source(file);
    for (const TopBox &b : ScanTopLevel(source))
        if (b.header.type == FourCC("moov"))
            return Bytes(file.begin() + std::ptrdiff_t(b.offset),
                         file.begin() + std::ptrdiff_t(b.end()));
    return {};
}

int Count(const Bytes &bytes, const char *type)
{
    int n = 0;
    for (std::size_t i = 0; i + 4 <= bytes.size(); ++i)
        n += std::memcmp(&bytes[i], type, 4) == 0 ? 1 : 0;
    return n;
}

// Every chunk of the output starts with the bytes its chunk started with in
// the input.
void ExpectChunksKept(const Bytes &in, const Bytes &out)
{
    const auto before = ChunkOffsets(MoovOf(in));
    const auto after = ChunkOffsets(MoovOf(out));
    ASSERT_EQ(before.size(), after.size());
    for (std::size_t i = 0; i < before.size(); ++i) {
        ASSERT_LE(after[i] + 4, out.size());
        EXPECT_TRUE(std::equal(in.begin() + std::ptrdiff_t(before[i]),
                               in.begin() + std::ptrdiff_t(before[i] + 4),
                               out.begin() + std::ptrdiff_t(after[i])))
            << "chunk " << i << " moved from " << before[i] << " to " << after[i];
    }
}

// ftyp (24 bytes), free (8), then media data whose payload starts at 40.
constexpr std::uint32_t kData = 40;

Bytes MoovLast()
{
    return Cat({Ftyp(), Box("free"), Box("mdat", Payload(1000)),
                Moov({Track(Stco({kData, kData + 100, kData + 500})),
                      Track(Co64({kData + 300, kData + 996}))}),
                Box("free", Bytes(5, 0xee))});
}

TEST(FixCore, PutsMoovInFrontOfMdatAndMovesEveryChunk)
{
    const Bytes in = MoovLast();
    const Plan plan = PlanOf(in);
    EXPECT_FALSE(plan.inOrder);
    EXPECT_EQ(plan.widenedTables, 0);

    const Bytes out = Fixed(in);
    EXPECT_EQ(TopTypes(out), (std::vector<std::string>{"ftyp", "free", "moov", "mdat", "free"}));
    EXPECT_EQ(out.size(), in.size());
    EXPECT_EQ(plan.outputSize, out.size());
    ExpectChunksKept(in, out);
    // Nothing narrows: the 64-bit table stays one.
    EXPECT_EQ(Count(MoovOf(out), "co64"), 1);
    EXPECT_EQ(Count(MoovOf(out), "stco"), 1);
    // The result is in order itself.
    EXPECT_TRUE(PlanOf(out).inOrder);
}

TEST(FixCore, LeavesAFileInOrderAsItIs)
{
    const Bytes moov = Moov({Track(Stco({0, 0}))});
    // Chunk offsets point past the movie box, which stands first.
    const auto data = std::uint32_t(24 + moov.size() + 8);
    const Bytes in =
        Cat({Ftyp(), Moov({Track(Stco({data, data + 10}))}), Box("mdat", Payload(64))});
    const Plan plan = PlanOf(in);
    EXPECT_TRUE(plan.inOrder);
    EXPECT_EQ(Fixed(in), in);

    // A movie box without any media data has nothing to stand in front of.
    const Bytes noData = Cat({Ftyp(), Moov({Track(Stco({}))})});
    EXPECT_TRUE(PlanOf(noData).inOrder);
}

TEST(FixCore, MovesChunksInEveryMediaDataBox)
{
    // mdat, moov, mdat: the first part moves back by the movie box, the second stays.
    const Bytes first = Box("mdat", Payload(200, 1));
    const Bytes moovShape = Moov({Track(Stco({0, 0})), Track(Stco({0}))});
    const auto a = std::uint32_t(24 + 8);
    const auto b = std::uint32_t(24 + first.size() + moovShape.size() + 8);
    const Bytes in = Cat({Ftyp(), first, Moov({Track(Stco({a, b + 50})), Track(Stco({a + 196}))}),
                          Box("mdat", Payload(300, 2))});
    const Bytes out = Fixed(in);
    EXPECT_EQ(TopTypes(out), (std::vector<std::string>{"ftyp", "moov", "mdat", "mdat"}));
    ExpectChunksKept(in, out);
}

TEST(FixCore, UnderstandsLargeAndToEndSizes)
{
    // A 64-bit sized mdat, and a movie box that runs to the end of the file.
    const Bytes mdat = LargeBox("mdat", Payload(500));
    const auto data = std::uint32_t(24 + 16);
    const Bytes moovBody = Moov({Track(Stco({data, data + 400}))});
    const Bytes in =
        Cat({Ftyp(), mdat, OpenBox("moov", Bytes(moovBody.begin() + 8, moovBody.end()))});

    const Bytes out = Fixed(in);
    EXPECT_EQ(TopTypes(out), (std::vector<std::string>{"ftyp", "moov", "mdat"}));
    ExpectChunksKept(in, out);
    // Once in front, the movie box states its size.
    EXPECT_EQ(out[24] << 24 | out[25] << 16 | out[26] << 8 | out[27], int(moovBody.size()));
    const std::size_t mdatAt = 24 + moovBody.size();
    EXPECT_EQ(
        Bytes(out.begin() + std::ptrdiff_t(mdatAt), out.begin() + std::ptrdiff_t(mdatAt + 16)),
        Bytes(mdat.begin(), mdat.begin() + 16));

    // A QuickTime list may end in a 32-bit zero; an ISO and a QuickTime meta box.
    const Bytes udta =
        Box("udta", Cat({FullBox("meta", 0, Box("hdlr", Bytes(20, 0))), Bytes(4, 0)}));
    const Bytes qtMeta = Box("meta", Cat({Box("hdlr", Bytes(20, 0)), Box("keys")}));
    const Bytes moovShape = Moov({Track(Stco({0}), {}, udta), qtMeta});
    const auto at = std::uint32_t(24 + 8);
    const Bytes quickTime =
        Cat({Ftyp(), Box("mdat", Payload(50)), Moov({Track(Stco({at}), {}, udta), qtMeta})});
    ASSERT_EQ(RefusalOf(quickTime), "");
    ExpectChunksKept(quickTime, Fixed(quickTime));
}

// Input positions from a pattern of pieces, zero elsewhere: stands for a
// file of several GiB without holding it.
class SparseSource final : public ByteSource
{
public:
    explicit SparseSource(std::uint64_t size)
        : m_size(size)
    {}
    void put(std::uint64_t at, const Bytes &bytes) { m_pieces[at] = bytes; }
    std::uint64_t size() const override { return m_size; }
    void read(std::uint64_t offset, void *dst, std::size_t n) override
    {
        if (offset + n > m_size)
            throw FixError("PAST THE END!");
        auto *out = static_cast<std::uint8_t *>(dst);
        std::fill(out, out + n, 0);
        for (const auto &[at, bytes] : m_pieces) {
            const std::uint64_t from = std::max(at, offset);
            const std::uint64_t to = std::min(at + bytes.size(), offset + n);
            for (std::uint64_t i = from; i < to; ++i)
                out[i - offset] = bytes[std::size_t(i - at)];
        }
    }

private:
    std::uint64_t m_size;
    std::map<std::uint64_t, Bytes> m_pieces;
};

// ftyp, a 64-bit sized mdat up to `mdatEnd` (zeros but for its header), then
// `moov`.
void PutMovie(SparseSource &input, std::uint64_t mdatEnd, const Bytes &moov)
{
    Bytes mdatHeader;
    Append32(mdatHeader, 1);
    AppendType(mdatHeader, "mdat");
    Append64(mdatHeader, mdatEnd - 24);
    input.put(0, Ftyp());
    input.put(24, mdatHeader);
    input.put(mdatEnd, moov);
}

TEST(FixCore, WidensTablesWhoseOffsetsPass4GiBUntilTheSizeSettles)
{
    // ftyp, a 64-bit sized mdat just over 4 GiB, then the movie box.
    const std::uint64_t mdatEnd = k4G + 8192;
    auto moovWith = [](std::uint32_t x, std::uint32_t y, std::uint64_t z) {
        return Moov(
            {Track(Stco({x})), Track(Stco({y})), Track(Co64({z})), Track(Stco({40, 1000}))});
    };
    const std::uint64_t m0 = moovWith(0, 0, 0).size();
    // x passes 4 GiB as soon as the movie box is in front of it; y only once
    // x's table has grown by 4 bytes; z was 64-bit already.
    const auto x = std::uint32_t(k4G - m0);
    const auto y = std::uint32_t(k4G - 2 - m0);
    const std::uint64_t z = k4G + 100;
    const Bytes moov = moovWith(x, y, z);
    ASSERT_EQ(moov.size(), m0);

    SparseSource input(mdatEnd + moov.size());
    PutMovie(input, mdatEnd, moov);

    const Plan plan = MakePlan(input);
    EXPECT_FALSE(plan.inOrder);
    EXPECT_EQ(plan.widenedTables, 2);
    const std::uint64_t grown = m0 + 8;
    ASSERT_EQ(plan.moov.size(), grown);
    EXPECT_EQ(ChunkOffsets(plan.moov), (std::vector<std::uint64_t>{x + grown, y + grown, z + grown,
                                                                   40 + grown, 1000 + grown}));
    EXPECT_EQ(Count(plan.moov, "co64"), 3);
    EXPECT_EQ(Count(plan.moov, "stco"), 1);

    ASSERT_EQ(plan.pieces.size(), 3u);
    EXPECT_TRUE(plan.pieces[0].fromInput && plan.pieces[0].offset == 0
                && plan.pieces[0].length == 24);
    EXPECT_FALSE(plan.pieces[1].fromInput);
    EXPECT_TRUE(plan.pieces[2].fromInput && plan.pieces[2].offset == 24
                && plan.pieces[2].length == mdatEnd - 24);
    EXPECT_EQ(plan.outputSize, mdatEnd + grown);
}

// ftyp, free, media data whose payload starts at 40, and the movie box last.
Bytes MoovAtTheEnd()
{
    return Cat({Ftyp(), Box("free"), Box("mdat", Payload(5000)),
                Moov({Track(Stco({kData, kData + 100, kData + 4000})),
                      Track(Co64({kData + 300, kData + 4996}))})});
}

constexpr std::uint64_t kBlock = 512;

TEST(FixCore, RewritesInPlaceAFileThatStartsWithFtypAndEndsWithMoov)
{
    const Bytes in = MoovAtTheEnd();
    MemorySource source(in);
    const Plan plan = MakePlan(source, kBlock);
    ASSERT_TRUE(plan.inPlace);
    EXPECT_FALSE(plan.inOrder);
    EXPECT_EQ(plan.insertLength % kBlock, 0u);
    EXPECT_EQ(plan.ftypSize, Ftyp().size());
    EXPECT_EQ(plan.ftypSize + plan.moov.size() + plan.fillSize, plan.insertLength);
    EXPECT_GE(plan.fillSize, 8u);
    EXPECT_LT(plan.fillSize, kBlock + 8);

    const Bytes out = Assemble(plan, source);
    EXPECT_EQ(out.size(), plan.outputSize);
    EXPECT_EQ(TopTypes(out),
              (std::vector<std::string>{"ftyp", "moov", "free", "free", "free", "mdat"}));
    ExpectChunksKept(in, out);
    EXPECT_TRUE(PlanOf(out).inOrder);
    // The media data has not moved within the file, only behind the front.
    EXPECT_TRUE(std::equal(in.begin() + 24, in.end() - std::ptrdiff_t(MoovOf(in).size()),
                           out.begin() + std::ptrdiff_t(plan.insertLength + 24), out.end()));
}

TEST(FixCore, CopiesWhatCannotBeRewrittenInPlace)
{
    const Bytes moov = Moov({Track(Stco({32}))});
    const struct
    {
        const char *name;
        Bytes file;
        std::uint64_t block;
    } cases[] = {
        {"something behind the moov", MoovLast(), kBlock},
        {"no ftyp in front", Cat({Box("free", Bytes(16, 0)), Box("mdat", Payload(100)), moov}),
         kBlock},
        {"no block size", MoovAtTheEnd(), 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        MemorySource source(c.file);
        const Plan plan = MakePlan(source, c.block);
        EXPECT_FALSE(plan.inPlace);
        EXPECT_FALSE(plan.inOrder);
        EXPECT_EQ(plan.insertLength, 0u);
        EXPECT_TRUE(PlanOf(Assemble(plan, source)).inOrder);
    }
}

TEST(FixCore, WidensInPlaceTheTablesThatTheInsertedLengthPushesPast4GiB)
{
    const std::uint64_t mdatEnd = k4G + 8192;
    const Bytes shape = Moov({Track(Stco({0})), Track(Stco({0}))});
    const std::uint64_t length = (24 + shape.size() + 8 + 4 + kBlock - 1) / kBlock * kBlock;
    const auto x = std::uint32_t(k4G - length);     // passes 4 GiB by the insert
    const auto y = std::uint32_t(k4G - length - 8); // stays below, even once x has grown
    SparseSource input(mdatEnd + shape.size());
    PutMovie(input, mdatEnd, Moov({Track(Stco({x})), Track(Stco({y}))}));

    const Plan plan = MakePlan(input, kBlock);
    ASSERT_TRUE(plan.inPlace);
    EXPECT_EQ(plan.insertLength, length);
    EXPECT_EQ(plan.widenedTables, 1);
    EXPECT_EQ(ChunkOffsets(plan.moov), (std::vector<std::uint64_t>{x + length, y + length}));
}

// Each widened table grows the movie box by just enough to push the next
// table past 4 GiB: a search that goes over every table again after each
// widening takes time in the square of the number of tables.
TEST(FixCore, WidensAChainOfManyTablesInTimeLinearInTheMoov)
{
    constexpr std::uint32_t kTables = 128 * 1024;
    auto moovWith = [](auto offsetOf) {
        // The table is the track's last box, its one offset the last 4 bytes.
        const Bytes track = Track(Stco({0}));
        Bytes tracks;
        tracks.reserve(track.size() * kTables);
        for (std::uint32_t i = 0; i < kTables; ++i) {
            tracks.insert(tracks.end(), track.begin(), track.end() - 4);
            Append32(tracks, offsetOf(i));
        }
        return Box("moov", Cat({FullBox("mvhd", 0, Bytes(96, 0)), tracks}));
    };
    const std::uint64_t size = moovWith([](std::uint32_t) { return 0u; }).size();
    const std::uint64_t mdatEnd = k4G - size + 4096;
    auto chained = [&](std::uint32_t i) {
        return std::uint32_t(k4G - size - 4ull * i);
    };
    auto timed = [&](const Bytes &moov, Plan &plan) {
        SparseSource input(mdatEnd + moov.size());
        PutMovie(input, mdatEnd, moov);
        const auto start = std::chrono::steady_clock::now();
        plan = MakePlan(input);
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    };

    Plan plain;
    const double plainSeconds = timed(moovWith([](std::uint32_t) { return kData; }), plain);
    EXPECT_EQ(plain.widenedTables, 0);
    Plan chain;
    const double chainSeconds = timed(moovWith(chained), chain);
    EXPECT_EQ(chain.widenedTables, int(kTables));
    const std::uint64_t grown = size + 4ull * kTables;
    ASSERT_EQ(chain.moov.size(), grown);
    const std::vector<std::uint64_t> offsets = ChunkOffsets(chain.moov);
    ASSERT_EQ(offsets.size(), kTables);
    EXPECT_EQ(offsets.front(), chained(0) + grown);
    EXPECT_EQ(offsets.back(), chained(kTables - 1) + grown);
    // About the same time as a movie box of its size that widens nothing;
    // the margin is wide for a busy machine (the square takes minutes).
    EXPECT_LT(chainSeconds, 20 * plainSeconds + 2.0)
        << "chain " << chainSeconds << " s, plain " << plainSeconds << " s";
}

TEST(FixCore, RecognisesEveryStateAnInterruptedRewriteInPlaceLeaves)
{
    const Bytes in = MoovAtTheEnd();
    MemorySource source(in);
    const Plan plan = MakePlan(source, kBlock);
    ASSERT_TRUE(plan.inPlace);
    const Bytes out = Assemble(plan, source);
    const auto length = std::ptrdiff_t(plan.insertLength);
    const auto ftyp = std::ptrdiff_t(plan.ftypSize);
    const Bytes front(out.begin(), out.begin() + length);
    Bytes frontNoFtyp = front;
    std::fill(frontNoFtyp.begin(), frontNoFtyp.begin() + ftyp, 0);
    Bytes frontHalfMoov(std::size_t(length), 0);
    std::copy(front.begin() + ftyp, front.begin() + ftyp + 40, frontHalfMoov.begin() + ftyp);
    Bytes inFreed = in;
    std::copy_n("free", 4, inFreed.begin() + 4);
    Bytes damaged = in;
    damaged.resize(damaged.size() - 3);
    const Bytes zeros(std::size_t(length), 0);

    const struct
    {
        const char *name;
        Bytes file;
        bool recognised;
        bool ftypFreed;
    } cases[] = {
        {"after the insert", Cat({zeros, in}), true, false},
        {"after part of the movie box", Cat({frontHalfMoov, in}), true, false},
        {"after the movie box", Cat({frontNoFtyp, in}), true, false},
        {"after the ftyp", Cat({front, in}), true, false},
        {"after the old ftyp became free", Cat({front, inFreed}), true, true},
        {"the original", in, false, false},
        {"the result", out, false, false},
        {"a front of another length", Cat({zeros, zeros, in}), false, false},
        {"a damaged original behind it", Cat({zeros, damaged}), false, false},
        {"a front that is not the original's ftyp", Cat({frontNoFtyp, inFreed}), false, false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        MemorySource file(c.file);
        const std::optional<Interrupted> found = FindInterrupted(file, kBlock);
        ASSERT_EQ(found.has_value(), c.recognised);
        if (found) {
            EXPECT_EQ(found->insertLength, plan.insertLength);
            EXPECT_EQ(found->ftypFreed, c.ftypFreed);
        }
    }
}

TEST(FixCore, RefusesEveryTruncationOfAFile)
{
    // Ends with its movie box: no shorter piece of it is a whole file.
    const Bytes full = Cat({Ftyp(), Box("mdat", Payload(1000)), Moov({Track(Stco({32, 500}))})});
    ASSERT_EQ(RefusalOf(full), "");
    for (std::size_t n = 0; n < full.size(); ++n) {
        const std::string refusal =
            RefusalOf(Bytes(full.begin(), full.begin() + std::ptrdiff_t(n)));
        EXPECT_NE(refusal, "") << "accepted the first " << n << " bytes";
    }
}

struct BadCase
{
    const char *name;
    Bytes file;
    const char *message; // a part of the expected message
};

std::vector<BadCase> BadCases()
{
    const auto at = std::uint32_t(24 + 8); // payload of an mdat right after ftyp
    auto withMoov = [&](const Bytes &moov) {
        return Cat({Ftyp(), Box("mdat", Payload(100)), moov});
    };
    Bytes tinySize = Box("moov", Bytes(16, 0));
    tinySize[3] = 3;
    Bytes tinyLarge = LargeBox("mdat", Bytes(4, 0));
    tinyLarge[15] = 8;
    Bytes pastEnd = Box("mdat", Payload(10));
    pastEnd[3] = 200;
    // A sample table whose chunk table claims more room than the table has.
    Bytes nested = Track(Stco({at}));
    const Bytes stco = Stco({at});
    const auto where = std::search(nested.begin(), nested.end(), stco.begin(), stco.end());
    where[3] = std::uint8_t(stco.size() + 40);
    Bytes overCount = Stco({at});
    overCount[15] = 2;
    const Bytes iloc = FullBox("iloc", 0, Bytes(4, 0));
    const Bytes topMeta = FullBox("meta", 0, iloc);
    const auto afterMeta = std::uint32_t(24 + topMeta.size() + 8);

    return {
        {"empty", {}, "NOT AN MP4 FILE!"},
        {"text", Bytes{'h', 'e', 'l', 'l', 'o', ' ', 'w', 'o', 'r', 'l', 'd', '!'},
         "NOT AN MP4 FILE!"},
        {"short", Bytes{0, 0, 0}, "NOT AN MP4 FILE!"},
        {"size below 8", Cat({Ftyp(), tinySize}), "IMPOSSIBLE SIZE (3)"},
        {"large size below 16", Cat({Ftyp(), tinyLarge}), "IMPOSSIBLE SIZE (8)"},
        {"past the end", Cat({Ftyp(), pastEnd}), "RUNS PAST THE END OF THE FILE"},
        {"nested larger than parent", withMoov(Moov({nested})),
         "RUNS PAST THE END OF ITS 'stbl' BOX"},
        {"trailing bytes", Cat({MoovLast(), Bytes{1, 2, 3}}), "INCOMPLETE BOX HEADER"},
        {"no moov", Cat({Ftyp(), Box("mdat", Payload(10))}), "NO 'moov' BOX"},
        {"two moov", Cat({withMoov(Moov({Track(Stco({at}))})), Moov({})}), "MORE THAN ONE 'moov'"},
        {"compressed moov", withMoov(Box("moov", Box("cmov", Bytes(40, 0)))), "COMPRESSED"},
        {"moof", Cat({withMoov(Moov({Track(Stco({at}))})), Box("moof", Bytes(8, 0))}),
         "FRAGMENTED ('moof')"},
        {"mvex", withMoov(Moov({Track(Stco({at})), Box("mvex", Box("trex", Bytes(24, 0)))})),
         "FRAGMENTED ('mvex')"},
        {"offset before mdat", withMoov(Moov({Track(Stco({at, 10}))})),
         "CHUNK OFFSET (10) POINTS OUTSIDE"},
        {"offset past mdat", withMoov(Moov({Track(Co64({at + 100}))})),
         "POINTS OUTSIDE THE MEDIA DATA"},
        {"table shorter than its count", withMoov(Moov({Track(overCount)})), "FEWER OFFSETS"},
        {"external data", withMoov(Moov({Box("trak", Box("mdia", Box("minf", Dinf(0))))})),
         "MEDIA DATA IN ANOTHER FILE"},
        {"iloc in moov", withMoov(Moov({Track(Stco({at})), FullBox("meta", 0, iloc)})), "('iloc')"},
        {"iloc at top level",
         Cat({Ftyp(), topMeta, Box("mdat", Payload(100)), Moov({Track(Stco({afterMeta}))})}),
         "('iloc')"},
        {"saio",
         withMoov(Moov({Track(Stco({at}), FullBox("saio", 0, Bytes{0, 0, 0, 1, 0, 0, 0, 40}))})),
         "('saio')"},
        {"odd type", Cat({Ftyp(), Box(std::string("\x01zz'", 4), Bytes(2, 0)), Bytes{0, 0, 1}}),
         "INCOMPLETE BOX HEADER AT BYTE 34"},
    };
}

TEST(FixCore, RefusesBadInputWithAClearMessage)
{
    for (const BadCase &c : BadCases()) {
        const std::string refusal = RefusalOf(c.file);
        EXPECT_NE(refusal.find(c.message), std::string::npos)
            << c.name << ": got \"" << refusal << "\"";
        EXPECT_TRUE(!refusal.empty() && refusal.back() == '!') << c.name << ": " << refusal;
    }
}

TEST(FixCore, KeepsPositionsItCannotRewriteWhenNothingMoves)
{
    // An item table or auxiliary offsets are harmless when the movie box is
    // already in front: the file is copied as it is.
    const Bytes iloc = FullBox("iloc", 0, Bytes(4, 0));
    const Bytes shape = Moov({Track(Stco({0})), FullBox("meta", 0, iloc)});
    const auto data = std::uint32_t(24 + shape.size() + 8);
    const Bytes in = Cat(
        {Ftyp(), Moov({Track(Stco({data})), FullBox("meta", 0, iloc)}), Box("mdat", Payload(20))});
    EXPECT_TRUE(PlanOf(in).inOrder);
}

TEST(FixCore, NamesOddBoxTypesReadably)
{
    EXPECT_EQ(TypeName(FourCC("mdat")), "mdat");
    EXPECT_EQ(TypeName(0x01'7a'27'5c), "\\x01z\\x27\\x5c");
}

} // namespace
} // namespace vantrel::fix
