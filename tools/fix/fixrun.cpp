#include "tools/fix/fixrun.h"

#include "tools/fix/fixcore.h"
#include "tools/fix/fixplatform.h"

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <optional>

namespace vantrel::fix {

namespace {

// Below this size a copy costs next to nothing and keeps the file compact;
// the in-place rewrite pads the front to a whole number of blocks.
constexpr std::uint64_t kInPlaceMinimum = 1u << 20;

// The input file as bytes for the box parser.
class FileSource final : public ByteSource
{
public:
    explicit FileSource(platform::Input &input)
        : m_input(input)
    {}
    std::uint64_t size() const override { return m_input.size(); }
    void read(std::uint64_t offset, void *dst, std::size_t n) override
    {
        std::string error;
        if (!m_input.readAt(offset, dst, n, error))
            throw FixError(error);
    }

private:
    platform::Input &m_input;
};

// Ends the program here when a test asks for it, to leave the files as a
// crash at this point would.
void StopPoint(const char *step)
{
    const char *want = std::getenv("VANTREL_FIX_STOP_AFTER");
    if (want == nullptr || std::strcmp(want, step) != 0)
        return;
    if (const char *sig = std::getenv("VANTREL_FIX_STOP_SIGNAL"))
        std::raise(std::atoi(sig));
    std::_Exit(kExitStopped);
}

bool WritePlan(const Plan &plan, platform::Input &input, platform::Output &output,
               std::string &error)
{
    for (const Piece &piece : plan.pieces) {
        const bool ok = piece.fromInput ? output.copyFrom(input, piece.offset, piece.length, error)
                                        : output.write(plan.moov.data(), plan.moov.size(), error);
        if (!ok)
            return false;
    }
    // A file that grew or shrank while it was copied is not the file checked.
    if (input.currentSize() != input.size()) {
        error = "THE INPUT FILE CHANGED WHILE IT WAS READ!";
        return false;
    }
    return true;
}

// The in-place rewrite, step by step, and what TEMP holds if the program dies
// or the power fails right after each one (L is the inserted length, F the
// size of the 'ftyp' box, M the new movie box):
//
//  1. insert L bytes at offset 0      zeros, then the original file at L.
//  2. write the movie box at F and    zeros up to F, the new movie box, a
//     the 'free' header behind it     'free' box to L, the original at L.
//  3. write the 'ftyp' box at 0       the new front, complete; behind it the
//                                     whole original (two movie boxes).
//  4. flush                           the same, on disk.
//  5. turn the old 'ftyp' into 'free' the same, the old 'ftyp' a 'free' box.
//  6. cut off the old movie box       a file in order: it plays.
//  7. flush                           the same, on disk.
//  8. rename TEMP to FINAL            FINAL complete, TEMP gone.
//  9. flush the folder                the same, on disk.
//
// Nothing of the original is cut off before the new front is on disk (4), so
// a power cut never loses both movie boxes. After 1 to 5 TEMP does not play;
// a new run recognises it (FindInterrupted: the original behind the front
// plans to exactly this L) and puts it back, giving the old 'ftyp' its type
// and collapsing the front, and then starts over. After 6 and 7 TEMP is in
// order and a new run renames it. A failure on the way is undone the same
// way while the old movie box is there.
class InPlace
{
public:
    InPlace(const Plan &plan, platform::Input &input)
        : m_plan(plan)
        , m_input(input)
    {}

    platform::Outcome run(const std::string &tempPath, const std::string &finalPath,
                          std::string &error)
    {
        using platform::Outcome;
        std::string ignored;
        if (!m_file.open(tempPath, m_input.id(), ignored))
            return Outcome::NotHere; // not writable here, for one: copy instead
        std::vector<std::uint8_t> ftyp(std::size_t(m_plan.ftypSize));
        if (!m_input.readAt(0, ftyp.data(), ftyp.size(), error))
            return Outcome::Failed;
        if (m_input.currentSize() != m_input.size()) {
            error = "THE INPUT FILE CHANGED WHILE IT WAS READ!";
            return Outcome::Failed;
        }
        const std::uint64_t length = m_plan.insertLength;
        const Outcome inserted = m_file.insertFront(length, error);
        if (inserted != Outcome::Done)
            return inserted;
        StopPoint("insert");

        // The 'free' box's body is the inserted range itself, which reads as zeros.
        const std::uint8_t fill[8] = {std::uint8_t(m_plan.fillSize >> 24),
                                      std::uint8_t(m_plan.fillSize >> 16),
                                      std::uint8_t(m_plan.fillSize >> 8),
                                      std::uint8_t(m_plan.fillSize),
                                      'f',
                                      'r',
                                      'e',
                                      'e'};
        const std::uint64_t moovAt = m_plan.ftypSize;
        if (!m_file.writeAt(moovAt, m_plan.moov.data(), m_plan.moov.size(), error)
            || !m_file.writeAt(moovAt + m_plan.moov.size(), fill, sizeof fill, error))
            return undo(error);
        StopPoint("moov");
        if (!m_file.writeAt(0, ftyp.data(), ftyp.size(), error))
            return undo(error);
        StopPoint("ftyp");
        if (!m_file.flush(error))
            return undo(error);
        StopPoint("flush");
        if (!m_file.writeAt(length + 4, "free", 4, error))
            return undo(error);
        m_ftypFreed = true;
        StopPoint("free");
        if (!m_file.cut(length + m_plan.oldMoovOffset, error))
            return undo(error);
        StopPoint("cut");
        // From here on TEMP is in order; a failure leaves it so.
        if (!m_file.flush(error))
            return Outcome::Failed;
        StopPoint("flush-cut");
        m_file.close();
        m_input.close();
        const Outcome renamed = platform::RenameInto(tempPath, finalPath, error);
        if (renamed == Outcome::NotHere)
            error = "CANNOT MOVE \"" + tempPath + "\" TO \"" + finalPath + "\"!";
        if (renamed != Outcome::Done)
            return Outcome::Failed;
        StopPoint("rename");
        return Outcome::Done;
    }

private:
    // Puts the original back after a failure before the cut; `error` keeps
    // the first failure.
    platform::Outcome undo(std::string &error)
    {
        std::string again;
        if ((m_ftypFreed && !m_file.writeAt(m_plan.insertLength + 4, "ftyp", 4, again))
            || !m_file.flush(again) || !m_file.collapseFront(m_plan.insertLength, again)
            || !m_file.flush(again))
            error += " THE FILE WAS LEFT HALF REARRANGED; A NEW RUN PUTS IT BACK!";
        return platform::Outcome::Failed;
    }

    const Plan &m_plan;
    platform::Input &m_input;
    platform::Rewrite m_file;
    bool m_ftypFreed = false;
};

// Puts back a file that an interrupted in-place rewrite left behind.
bool PutBack(const std::string &tempPath, const platform::FileId &id, const Interrupted &state,
             std::string &error)
{
    platform::Rewrite file;
    return file.open(tempPath, id, error)
           && (!state.ftypFreed || file.writeAt(state.insertLength + 4, "ftyp", 4, error))
           && file.flush(error) && file.collapseFront(state.insertLength, error)
           && file.flush(error);
}

// The plan for the input, or the message why there is none.
std::optional<Plan> PlanFor(platform::Input &input, std::uint64_t block, std::string &error)
{
    try {
        FileSource source(input);
        return MakePlan(source, block);
    } catch (const FixError &e) {
        error = e.what();
    } catch (const std::bad_alloc &) {
        error = "NOT ENOUGH MEMORY FOR ITS 'moov' BOX!";
    } catch (const std::exception &e) {
        error = std::string("CANNOT BE PROCESSED (") + e.what() + ")!";
    }
    return std::nullopt;
}

std::optional<Interrupted> InterruptedState(platform::Input &input, std::uint64_t block)
{
    try {
        FileSource source(input);
        return FindInterrupted(source, block);
    } catch (const std::exception &) {
        return std::nullopt;
    }
}

int Run(const std::string &tempPath, const std::string &finalPath, std::ostream &err,
        bool mayPutBack)
{
    std::string error;
    platform::Input input;
    if (!input.open(tempPath, error)) {
        err << "fix: " << error << '\n';
        return kExitFailed;
    }
    const platform::FileId inputId = input.id();
    const bool takeOver =
        platform::IdOf(finalPath) != inputId && platform::CanTakeOver(tempPath, input, finalPath);
    const std::uint64_t block = takeOver && input.size() >= kInPlaceMinimum ? input.blockSize() : 0;

    std::optional<Plan> plan = PlanFor(input, block, error);
    if (!plan) {
        const std::optional<Interrupted> state =
            mayPutBack && block > 0 ? InterruptedState(input, block) : std::nullopt;
        if (!state) {
            err << "fix: \"" << tempPath << "\": " << error << '\n';
            return kExitFailed;
        }
        input.close();
        if (!PutBack(tempPath, inputId, *state, error)) {
            err << "fix: \"" << tempPath
                << "\": AN INTERRUPTED RUN LEFT THE FILE HALF REARRANGED, AND IT CANNOT BE PUT "
                   "BACK: "
                << error << '\n';
            return kExitFailed;
        }
        return Run(tempPath, finalPath, err, false);
    }

    if (plan->inOrder && takeOver) {
        const platform::Outcome renamed = input.flush(error)
                                              ? platform::RenameInto(tempPath, finalPath, error)
                                              : platform::Outcome::Failed;
        if (renamed == platform::Outcome::Done)
            return kExitOk;
        if (renamed == platform::Outcome::Failed) {
            err << "fix: " << error << '\n';
            return kExitFailed;
        }
    }
    if (plan->inPlace) {
        const platform::Outcome rewritten = InPlace(*plan, input).run(tempPath, finalPath, error);
        if (rewritten == platform::Outcome::Done)
            return kExitOk;
        if (rewritten == platform::Outcome::Failed) {
            err << "fix: " << error << '\n';
            return kExitFailed;
        }
        plan = PlanFor(input, 0, error);
        if (!plan) {
            err << "fix: \"" << tempPath << "\": " << error << '\n';
            return kExitFailed;
        }
    }

    platform::Output output;
    if (!output.create(finalPath, input.mode(), error) || !WritePlan(*plan, input, output, error)) {
        output.discard();
        err << "fix: " << error << '\n';
        return kExitFailed;
    }
    StopPoint("copy");
    input.close();
    if (!output.commit(finalPath, error)) {
        err << "fix: " << error << '\n';
        return kExitFailed;
    }

    // TEMP goes only if it still names the file that was read, and that file
    // is not the one just put in place (TEMP and FINAL may be one file).
    const auto tempNow = platform::IdOf(tempPath);
    if (tempNow && *tempNow == inputId && tempNow != platform::IdOf(finalPath)
        && !platform::RemoveFile(tempPath, error)) {
        err << "fix: \"" << finalPath << "\" IS COMPLETE, BUT " << error << '\n';
    }
    return kExitOk;
}

} // namespace

int RunFix(const std::vector<std::string> &args, std::ostream &err)
{
    if (args.size() != 2) {
        err << "fix: TWO FILE NAMES ARE NEEDED (USAGE: fix TEMP FINAL)!\n";
        return kExitUsage;
    }
    return Run(args[0], args[1], err, true);
}

} // namespace vantrel::fix
