#include "tools/mencoder/messages.h"

#include "common/ascii.h"
#include "common/companions.h"
#include "tools/common/systemtext.h"

#include <iterator>
#include <optional>

namespace vantrel::mencoder {

namespace {

bool StartsWith(std::string_view text, std::string_view prefix)
{
    return text.substr(0, prefix.size()) == prefix;
}

// What FFmpeg said about a path: "file:PATH: reason" (or "PATH: reason").
std::optional<std::string_view> ReasonFor(std::string_view line, const std::string &path)
{
    const std::string withProtocol = "file:" + path;
    for (std::string_view name : {std::string_view(withProtocol), std::string_view(path)}) {
        if (StartsWith(line, name) && StartsWith(line.substr(name.size()), ": "))
            return line.substr(name.size() + 2);
    }
    return std::nullopt;
}

// What FFmpeg said about writing the output: its own line about the path, a
// line that names it later ("Error writing trailer of file:PATH: reason"),
// or a failed write of a packet, which only the output gets.
std::optional<std::string_view> OutputReasonIn(std::string_view line, const std::string &output)
{
    if (auto reason = ReasonFor(line, output))
        return reason;
    const std::string named = "file:" + output + ": ";
    if (auto at = line.find(named); at != std::string_view::npos)
        return line.substr(at + named.size());
    for (std::string_view write : {"av_interleaved_write_frame(): ", "Error muxing a packet: "}) {
        if (StartsWith(line, write))
            return line.substr(write.size());
    }
    return std::nullopt;
}

bool Contains(const std::string &text, std::string_view part)
{
    return text.find(part) != std::string::npos;
}

// "[libx264 @ 0x55d0c1a2] text" becomes "text".
std::string_view WithoutContext(std::string_view line)
{
    if (StartsWith(line, "[")) {
        auto close = line.find("] ");
        if (close != std::string_view::npos && line.substr(0, close).find(" @ ") != line.npos)
            return line.substr(close + 2);
    }
    return line;
}

// Lines that say nothing about the cause.
bool IsNoise(std::string_view line)
{
    return line.empty() || line.front() == ' ' || StartsWith(line, "Conversion failed")
           || StartsWith(line, "To ignore this") || StartsWith(line, "frame=")
           || StartsWith(line, "size=") || StartsWith(line, "video:");
}

} // namespace

std::string ReasonText(std::string_view text)
{
    while (!text.empty() && (text.back() == '.' || text.back() == ' ' || text.back() == '!'))
        text.remove_suffix(1);
    return ascii::Upper(text);
}

int ExitCodeOf(const Failure &failure)
{
    using namespace companions;
    // In the order of FailureKind and OutputProblem.
    constexpr int kByKind[] = {kSourceUnreadable, kCommandLineRefused, kEncodingStopped,
                               kOutputNotWritten, kEncoderBroken,      kSourceIsStillPicture};
    static_assert(std::size(kByKind) == static_cast<std::size_t>(FailureKind::StillPicture) + 1);
    constexpr int kByProblem[] = {kOutputNoSpace, kOutputNoPermission, kOutputSizeLimit,
                                  kOutputNotWritten};
    if (failure.kind == FailureKind::Output)
        return kByProblem[static_cast<int>(failure.problem)];
    return kByKind[static_cast<int>(failure.kind)];
}

OutputProblem OutputProblemOf(std::string_view reason)
{
    const std::string upper = ReasonText(reason);
    for (std::string_view text :
         {"NO SPACE LEFT ON DEVICE", "DISK QUOTA EXCEEDED", "NOT ENOUGH SPACE ON THE DISK"}) {
        if (Contains(upper, text))
            return OutputProblem::NoSpace;
    }
    for (std::string_view text : {"PERMISSION DENIED", "ACCESS IS DENIED",
                                  "OPERATION NOT PERMITTED", "READ-ONLY FILE SYSTEM"}) {
        if (Contains(upper, text))
            return OutputProblem::NoPermission;
    }
    for (std::string_view text : {"FILE TOO LARGE", "FILE SIZE LIMIT EXCEEDED"}) {
        if (Contains(upper, text))
            return OutputProblem::SizeLimit;
    }
    return OutputProblem::Other;
}

Failure OutputFailure(const std::string &output, std::string_view reason)
{
    return {FailureKind::Output, OutputProblemOf(reason),
            "CANNOT WRITE THE OUTPUT FILE " + tools::Quoted(output) + ": " + ReasonText(reason)
                + "!"};
}

bool IsOutputFailureLine(std::string_view line, const std::string &output)
{
    return OutputReasonIn(line, output).has_value();
}

bool IsReadTroubleLine(std::string_view line, const std::string &source)
{
    if (ReasonFor(line, source))
        return true;
    for (std::string_view text :
         {"partial file", "Packet corrupt", "ended prematurely", "corrupt input packet"}) {
        if (line.find(text) != std::string_view::npos)
            return true;
    }
    return false;
}

Failure DescribeFfmpegFailure(const std::vector<std::string> &stderrTail, const std::string &source,
                              const std::string &output, int exitCode)
{
    // The most specific cause wins, whatever its place among the last lines.
    for (const auto &line : stderrTail) {
        if (auto reason = ReasonFor(line, source))
            return {FailureKind::Source, OutputProblem::Other,
                    "CANNOT READ THE SOURCE FILE " + tools::Quoted(source) + ": "
                        + ReasonText(*reason) + "!"};
    }
    for (const auto &line : stderrTail) {
        if (line.find("'0:V:0' matches no streams") != std::string::npos)
            return {FailureKind::Source, OutputProblem::Other,
                    "THE SOURCE FILE " + tools::Quoted(source) + " HAS NO VIDEO STREAM!"};
    }
    for (const auto &line : stderrTail) {
        if (auto reason = OutputReasonIn(line, output))
            return OutputFailure(output, *reason);
    }
    // Too many packets that do not decode (FFmpeg's exit code 69, for one).
    for (const auto &line : stderrTail) {
        if (StartsWith(line, "Error while decoding stream"))
            return {FailureKind::Source, OutputProblem::Other,
                    "THE SOURCE FILE " + tools::Quoted(source)
                        + " CANNOT BE DECODED: " + ReasonText(line) + "!"};
    }
    for (const auto &line : stderrTail) {
        auto at = line.find("received signal ");
        if (at != std::string::npos)
            return {FailureKind::Ffmpeg, OutputProblem::Other,
                    "FFMPEG WAS STOPPED BY SIGNAL " + ReasonText(line.substr(at + 16)) + "!"};
    }
    // Whatever FFmpeg could not say more precisely is taken as a source that
    // does not decode.
    const std::string code = std::to_string(exitCode);
    for (auto it = stderrTail.rbegin(); it != stderrTail.rend(); ++it) {
        if (!IsNoise(*it))
            return {FailureKind::Source, OutputProblem::Other,
                    "FFMPEG FAILED WITH EXIT CODE " + code + ": " + ReasonText(WithoutContext(*it))
                        + "!"};
    }
    return {FailureKind::Source, OutputProblem::Other,
            "FFMPEG FAILED WITH EXIT CODE " + code + "!"};
}

} // namespace vantrel::mencoder
