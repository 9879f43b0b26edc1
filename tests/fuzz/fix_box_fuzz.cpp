// libFuzzer target over the box work of the repair program, in memory.
// Any input may be refused; an accepted one must give an output that is in
// order, accepted again, and whose every chunk starts with the bytes it
// started with in the input.
#include "tools/fix/fixcore.h"

#include <cstdio>
#include <cstdlib>

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
    return 0;
}
