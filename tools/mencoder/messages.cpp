#include "tools/mencoder/messages.h"

#include "tools/common/systemtext.h"

#include <optional>

namespace vantrel::mencoder {

namespace {

std::string Quoted(std::string_view text)
{
    return "\"" + std::string(text) + "\"";
}

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
    return tools::UpperAscii(text);
}

std::string DescribeFfmpegFailure(const std::vector<std::string> &stderrTail,
                                  const std::string &source, const std::string &output,
                                  int exitCode)
{
    // The most specific cause wins, whatever its place among the last lines.
    for (const auto &line : stderrTail) {
        if (auto reason = ReasonFor(line, source))
            return "CANNOT READ THE SOURCE FILE " + Quoted(source) + ": " + ReasonText(*reason)
                   + "!";
    }
    for (const auto &line : stderrTail) {
        if (line.find("'0:V:0' matches no streams") != std::string::npos)
            return "THE SOURCE FILE " + Quoted(source) + " HAS NO VIDEO STREAM!";
    }
    for (const auto &line : stderrTail) {
        if (auto reason = ReasonFor(line, output))
            return "CANNOT WRITE THE OUTPUT FILE " + Quoted(output) + ": " + ReasonText(*reason)
                   + "!";
    }
    for (const auto &line : stderrTail) {
        auto at = line.find("received signal ");
        if (at != std::string::npos)
            return "FFMPEG WAS STOPPED BY SIGNAL " + ReasonText(line.substr(at + 16)) + "!";
    }
    for (auto it = stderrTail.rbegin(); it != stderrTail.rend(); ++it) {
        if (!IsNoise(*it))
            return "FFMPEG FAILED WITH EXIT CODE " + std::to_string(exitCode) + ": "
                   + ReasonText(WithoutContext(*it)) + "!";
    }
    return "FFMPEG FAILED WITH EXIT CODE " + std::to_string(exitCode) + "!";
}

} // namespace vantrel::mencoder
