// libFuzzer target over the box work of the repair program, in memory.
// Any input may be refused; an accepted one must give an output that is in
// order, accepted again, and whose every chunk starts with the bytes it
// started with in the input.
#include "tools/fix/fixcore.h"

#include <cstdio>
#include <cstdlib>
#include <optional>

using namespace vantrel::fix;

namespace {

void Check(bool ok, const char *what)
{
    if (!ok) {
        std::fprintf(stderr, "fix_box_fuzz: %s\n", what);
        std::abort();
    }
}

std::vector<std::uint8_t> MoovOf(ByteSource &source)
{
    for (const TopBox &b : ScanTopLevel(source)) {
        if (b.header.type == FourCC("moov")) {
            std::vector<std::uint8_t> bytes(std::size_t(b.header.size));
            source.read(b.offset, bytes.data(), bytes.size());
            return bytes;
        }
    }
    return {};
}

// The in-place plan of an accepted file, where it has one: the same checks,
// and the file as an interrupted rewrite leaves it is recognised.
void CheckInPlace(MemorySource &source, std::span<const std::uint8_t> input)
{
    constexpr std::uint64_t kBlock = 64;
    const Plan plan = MakePlan(source, kBlock);
    if (!plan.inPlace)
        return;
    Check(plan.insertLength % kBlock == 0, "inserted length not whole blocks");
    const std::vector<std::uint8_t> out = Assemble(plan, source);
    Check(out.size() == plan.outputSize, "in-place output size differs from the plan");
    MemorySource again(out);
    try {
        Check(MakePlan(again).inOrder, "in-place output not in order");
    } catch (const FixError &e) {
        std::fprintf(stderr, "fix_box_fuzz: in-place output refused: %s\n", e.what());
        std::abort();
    }
    const std::vector<std::uint64_t> before = ChunkOffsets(MoovOf(source));
    const std::vector<std::uint64_t> after = ChunkOffsets(plan.moov);
    Check(before.size() == after.size(), "in-place chunk count changed");
    for (std::size_t i = 0; i < before.size(); ++i)
        Check(after[i] < out.size() && out[after[i]] == input[before[i]],
              "in-place chunk moved to the wrong place");

    std::vector<std::uint8_t> interrupted(std::size_t(plan.insertLength), 0);
    interrupted.insert(interrupted.end(), input.begin(), input.end());
    MemorySource left(interrupted);
    const std::optional<Interrupted> found = FindInterrupted(left, kBlock);
    Check(found && found->insertLength == plan.insertLength && !found->ftypFreed,
          "an interrupted rewrite not recognised");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::span<const std::uint8_t> input(data, size);
    MemorySource source(input);
    Plan plan;
    try {
        plan = MakePlan(source);
    } catch (const FixError &) {
        return 0;
    }

    const std::vector<std::uint8_t> out = Assemble(plan, source);
    Check(out.size() == plan.outputSize, "output size differs from the plan");
    if (plan.inOrder) {
        Check(std::equal(out.begin(), out.end(), input.begin(), input.end()),
              "a file in order was not copied as it is");
        return 0;
    }

    MemorySource again(out);
    Plan second;
    try {
        second = MakePlan(again);
    } catch (const FixError &e) {
        std::fprintf(stderr, "fix_box_fuzz: output refused: %s\n", e.what());
        std::abort();
    }
    Check(second.inOrder, "output not in order");

    const std::vector<std::uint64_t> before = ChunkOffsets(MoovOf(source));
    const std::vector<std::uint64_t> after = ChunkOffsets(plan.moov);
    Check(before.size() == after.size(), "chunk count changed");
    for (std::size_t i = 0; i < before.size(); ++i) {
        Check(after[i] < out.size() && before[i] < size, "chunk offset out of range");
        Check(out[after[i]] == data[before[i]], "chunk moved to the wrong place");
    }
    CheckInPlace(source, input);
    return 0;
}
