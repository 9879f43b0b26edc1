// mencoder: takes the encoder command line of Vantrel and encodes with FFmpeg.
//
// Exit codes: 0 the output file was written whole; 1 the encoding failed;
// 2 the command line was refused; 3 the encoding was stopped. On any failure
// one line on standard error says why, and no output file is left behind.

#include "platform/appfolder.h"
#ifdef _WIN32
#include "platform/widetext.h"
#endif
#include "tools/mencoder/messages.h"
#include "tools/mencoder/options.h"
#include "tools/mencoder/platform.h"
#include "tools/mencoder/progress.h"

#include <chrono>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using namespace vantrel::mencoder;

namespace {

constexpr int kFailed = 1;
constexpr int kBadCommandLine = 2;
constexpr int kStopped = 3;

#ifdef _WIN32
constexpr const char *kFfmpegName = "ffmpeg.exe";
#else
constexpr const char *kFfmpegName = "ffmpeg";
#endif

// At most four progress lines a second.
constexpr auto kProgressInterval = std::chrono::milliseconds(250);
// FFmpeg's last words, kept to explain a failure.
constexpr std::size_t kStderrTailLines = 40;

int Report(const std::string &message, int code)
{
    std::fprintf(stderr, "mencoder: %s\n", message.c_str());
    std::fflush(stderr);
    return code;
}

void PrintLine(const std::string &line)
{
    std::fputs(line.c_str(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

// A path of the command line (UTF-8) for std::filesystem, which would read a
// narrow string in the ANSI code page on Windows.
fs::path PathOf(const std::string &utf8)
{
#ifdef _WIN32
    return fs::path(std::u8string(utf8.begin(), utf8.end()));
#else
    return fs::path(utf8);
#endif
}

std::string Quoted(const std::string &text)
{
    return "\"" + text + "\"";
}

std::string StoppedText(const std::string &request)
{
    return request.empty() ? "ENCODING STOPPED!" : "ENCODING STOPPED BY " + request + "!";
}

std::string Seconds(double value)
{
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.1f", value);
    return buffer;
}

class Encoding
{
public:
    explicit Encoding(const EncoderJob &job)
        : m_job(job)
    {}

    int run()
    {
        const std::string ffmpeg =
            platform::FindProgram(kFfmpegName, vantrel::platform::ApplicationFolder());
        if (ffmpeg.empty())
            return Report("FFMPEG WAS NOT FOUND, NEITHER NEXT TO MENCODER NOR ON THE PATH!",
                          kFailed);
        if (auto refusal = checkSource())
            return Report(*refusal, kFailed);
        std::error_code ec;
        if (fs::equivalent(PathOf(m_job.source), PathOf(m_job.output), ec) && !ec)
            return Report("THE OUTPUT FILE " + Quoted(m_job.output) + " IS THE SOURCE FILE!",
                          kBadCommandLine);
        if (auto stop = platform::StopRequest(); !stop.empty())
            return Report(StoppedText(stop), kStopped);
        if (auto error = platform::CreateEmptyFile(m_job.output); !error.empty())
            return Report("CANNOT WRITE THE OUTPUT FILE " + Quoted(m_job.output) + ": "
                              + ReasonText(error) + "!",
                          kFailed);

        // From here on the output file exists and goes again on any failure.
        auto child = platform::RunChild(
            ffmpeg, FfmpegArguments(m_job), [this](std::string_view chunk) { onStdout(chunk); },
            [this](std::string_view chunk) { onStderr(chunk); });
        if (auto last = m_stdoutLines.finish())
            onProgressLine(*last);
        if (auto last = m_stderrLines.finish())
            onStderrLine(*last);

        if (auto failure = judge(child, ffmpeg)) {
            platform::RemoveFile(m_job.output);
            return Report(failure->first, failure->second);
        }
        PrintLine(ProgressLine(m_position, 100));
        return 0;
    }

private:
    std::optional<std::string> checkSource() const
    {
        std::error_code ec;
        const auto status = fs::status(PathOf(m_job.source), ec);
        if (status.type() == fs::file_type::not_found)
            return "THE SOURCE FILE " + Quoted(m_job.source) + " DOES NOT EXIST!";
        if (ec) // a folder on the way that we may not look into, for example
            return "CANNOT READ THE SOURCE FILE " + Quoted(m_job.source) + ": "
                   + ReasonText(ec.message()) + "!";
        if (!fs::is_regular_file(status))
            return "THE SOURCE FILE " + Quoted(m_job.source) + " IS NOT A FILE!";
        if (auto error = platform::CheckReadable(m_job.source); !error.empty())
            return "CANNOT READ THE SOURCE FILE " + Quoted(m_job.source) + ": " + ReasonText(error)
                   + "!";
        return std::nullopt;
    }

    // The failure text and exit code, or nothing when the output is whole.
    std::optional<std::pair<std::string, int>> judge(const platform::ChildResult &child,
                                                     const std::string &ffmpeg) const
    {
        if (auto stop = platform::StopRequest(); child.stoppedByUs || !stop.empty())
            return std::pair(StoppedText(stop), kStopped);
        if (!child.started)
            return std::pair("CANNOT START FFMPEG " + Quoted(ffmpeg) + ": "
                                 + ReasonText(child.startError) + "!",
                             kFailed);
        if (!child.exited)
            return std::pair("FFMPEG WAS KILLED BY SIGNAL " + std::to_string(child.signal) + "!",
                             kFailed);
        if (child.exitCode != 0) {
            std::vector<std::string> tail(m_stderrTail.begin(), m_stderrTail.end());
            return std::pair(
                DescribeFfmpegFailure(tail, m_job.source, m_job.output, child.exitCode), kFailed);
        }
        std::error_code ec;
        if (fs::file_size(PathOf(m_job.output), ec) == 0 || ec)
            return std::pair("FFMPEG WROTE NO OUTPUT FILE!", kFailed);
        if (m_duration && EndsEarly(m_position.seconds, *m_duration))
            return std::pair("THE SOURCE FILE " + Quoted(m_job.source)
                                 + " IS DAMAGED: IT ENDS AFTER " + Seconds(m_position.seconds)
                                 + " OF " + Seconds(*m_duration) + " SECONDS!",
                             kFailed);
        return std::nullopt;
    }

    void onStdout(std::string_view chunk)
    {
        for (const auto &line : m_stdoutLines.feed(chunk))
            onProgressLine(line);
    }

    void onStderr(std::string_view chunk)
    {
        for (const auto &line : m_stderrLines.feed(chunk))
            onStderrLine(line);
    }

    void onProgressLine(const std::string &line)
    {
        auto position = m_progress.line(line);
        if (!position)
            return;
        m_position = *position;
        // The closing line is printed once the output is known to be whole.
        if (m_progress.ended())
            return;
        auto now = std::chrono::steady_clock::now();
        if (m_lastPrint && now - *m_lastPrint < kProgressInterval)
            return;
        m_lastPrint = now;
        std::optional<int> percent;
        if (m_duration)
            percent = RunningPercent(m_position.seconds, *m_duration);
        PrintLine(ProgressLine(m_position, percent));
    }

    void onStderrLine(const std::string &line)
    {
        // Only the source has a "Duration:" line.
        if (!m_duration)
            m_duration = ParseDurationLine(line);
        m_stderrTail.push_back(line);
        if (m_stderrTail.size() > kStderrTailLines)
            m_stderrTail.pop_front();
    }

    const EncoderJob &m_job;
    LineSplitter m_stdoutLines;
    LineSplitter m_stderrLines;
    ProgressReader m_progress;
    Position m_position;
    std::optional<std::chrono::steady_clock::time_point> m_lastPrint;
    std::optional<double> m_duration;
    std::deque<std::string> m_stderrTail;
};

} // namespace

int main(int argc, char **argv)
{
    platform::InstallStopHandlers();
#ifdef _WIN32
    // The wide command line, so that any file name arrives intact as UTF-8.
    (void)argc;
    (void)argv;
    const std::vector<std::string> args = vantrel::platform::CommandLineArguments();
#else
    const std::vector<std::string> args(argv + 1, argv + argc);
#endif
    const ParseResult parsed = ParseCommandLine(args);
    if (!parsed.ok())
        return Report(parsed.error, kBadCommandLine);
    if (parsed.job.printFfmpegArgs) {
        for (const auto &arg : FfmpegArguments(parsed.job))
            PrintLine(arg);
        return 0;
    }
    return Encoding(parsed.job).run();
}
