#include "tools/fix/fixrun.h"

#include "tools/fix/fixcore.h"
#include "tools/fix/fixplatform.h"

namespace vantrel::fix {

namespace {

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

} // namespace

int RunFix(const std::vector<std::string> &args, std::ostream &err)
{
    if (args.size() != 2) {
        err << "fix: TWO FILE NAMES ARE NEEDED (USAGE: fix TEMP FINAL)!\n";
        return kExitUsage;
    }
    const std::string &tempPath = args[0];
    const std::string &finalPath = args[1];
    std::string error;

    platform::Input input;
    if (!input.open(tempPath, error)) {
        err << "fix: " << error << '\n';
        return kExitFailed;
    }
    const platform::FileId inputId = input.id();

    Plan plan;
    try {
        FileSource source(input);
        plan = MakePlan(source);
    } catch (const FixError &e) {
        err << "fix: \"" << tempPath << "\": " << e.what() << '\n';
        return kExitFailed;
    } catch (const std::bad_alloc &) {
        err << "fix: \"" << tempPath << "\": NOT ENOUGH MEMORY FOR ITS 'moov' BOX!\n";
        return kExitFailed;
    } catch (const std::exception &e) {
        err << "fix: \"" << tempPath << "\": CANNOT BE PROCESSED (" << e.what() << ")!\n";
        return kExitFailed;
    }

    platform::Output output;
    if (!output.create(finalPath, input.mode(), error) || !WritePlan(plan, input, output, error)) {
        output.discard();
        err << "fix: " << error << '\n';
        return kExitFailed;
    }
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

} // namespace vantrel::fix
