// mencoder: takes the encoder command line of Vantrel and encodes with FFmpeg.
//
// Exit codes (common/companions.h), one for each thing that can fail:
//   0  the output file was written whole
//   1  the source cannot be read or decoded (missing, not a video, damaged,
//      no video stream, or FFmpeg failed without saying why)
//   2  the command line was refused
//   3  the encoding was stopped (SIGTERM, SIGINT, SIGHUP; Ctrl+C on Windows)
//   4  the output cannot be written: no space left (disk or quota full)
//   5  the output cannot be written: no permission (read-only file system too)
//   6  the output cannot be written: the file-size limit was reached
//   7  the output cannot be written for another reason (missing folder, a
//      link or something else than a regular file at its name, ...)
//   8  FFmpeg is missing, cannot be started, or died of a signal
//   9  the source is one still picture (PNG, JPEG, a GIF of one frame), not a
//      video
// Before encoding, FFmpeg lists the source's packets (probe.h): that refuses
// a still picture and a cut-off file, and gives what the encoding arguments
// take from the source (its field order, where its video ends);
// --print-ffmpeg-args lists the source too, and prints the arguments that
// the encoding would run.
// FFmpeg's own complaints about the output count even when it exits with 0
// ("Error writing trailer"): such a file has no index and does not play. On
// any failure one line on standard error says why, and no output file is left
// behind; when mencoder itself is killed outright, a small guard process
// removes it (platform.h, GuardOutput).

#include "platform/appfolder.h"
#ifdef _WIN32
#include "platform/widetext.h"
#endif
#include "tools/common/systemtext.h"
#include "tools/mencoder/messages.h"
#include "tools/mencoder/options.h"
#include "tools/mencoder/platform.h"
#include "tools/mencoder/probe.h"
#include "tools/mencoder/progress.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using namespace vantrel::mencoder;

namespace {

#ifdef _WIN32
constexpr const char *kFfmpegName = "ffmpeg.exe";
#else
constexpr const char *kFfmpegName = "ffmpeg";
#endif

// At most four progress lines a second.
constexpr auto kProgressInterval = std::chrono::milliseconds(250);
// FFmpeg's last words, kept to explain a failure.
constexpr std::size_t kStderrTailLines = 40;
// FFmpeg's first complaints about writing the output, kept whatever follows.
constexpr std::size_t kOutputFailureLines = 4;

int Report(const Failure &failure)
{
    std::fprintf(stderr, "mencoder: %s\n", failure.text.c_str());
    std::fflush(stderr);
    return ExitCodeOf(failure);
}

Failure Of(FailureKind kind, std::string text)
{
    return {kind, OutputProblem::Other, std::move(text)};
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

// The last lines of a child's standard error, kept to explain a failure.
class Tail
{
public:
    void add(const std::string &line)
    {
        m_lines.push_back(line);
        if (m_lines.size() > kStderrTailLines)
            m_lines.pop_front();
    }
    std::vector<std::string> lines() const { return {m_lines.begin(), m_lines.end()}; }

private:
    std::deque<std::string> m_lines;
};

class Encoding
{
public:
    explicit Encoding(const EncoderJob &job)
        : m_job(job)
    {}

    int run()
    {
        if (auto failure = prepare())
            return Report(*failure);
        std::error_code ec;
        if (fs::equivalent(PathOf(m_job.source), PathOf(m_job.output), ec) && !ec)
            return Report(Of(FailureKind::CommandLine,
                             "THE OUTPUT FILE " + Quoted(m_job.output) + " IS THE SOURCE FILE!"));
        if (auto stop = platform::StopRequest(); !stop.empty())
            return Report(Of(FailureKind::Stopped, StoppedText(stop)));
        if (auto error = platform::CreateOutputFile(m_job.output); !error.empty())
            return Report(OutputFailure(m_job.output, error));

        // From here on the output file exists and goes again on any failure,
        // even when we are killed.
        platform::GuardOutput(m_job.output);
        const Probed source = probe();
        if (source.failure) {
            platform::RemoveFile(m_job.output);
            return Report(*source.failure);
        }
        auto child = platform::RunChild(
            m_ffmpeg, FfmpegArguments(m_job, source.report.video),
            [this](std::string_view chunk) { onStdout(chunk); },
            [this](std::string_view chunk) { onStderr(chunk); });
        if (auto last = m_stdoutLines.finish())
            onProgressLine(*last);
        if (auto last = m_stderrLines.finish())
            onStderrLine(*last);

        if (auto failure = judge(child)) {
            platform::RemoveFile(m_job.output);
            return Report(*failure);
        }
        platform::KeepGuardedOutput();
        PrintLine(vantrel::FormatProgressLine({m_position, 100}));
        return 0;
    }

    // The FFmpeg arguments of the encoding, one a line, after the same
    // listing of the source and the same refusals.
    int printArguments()
    {
        if (auto failure = prepare())
            return Report(*failure);
        const Probed source = probe();
        if (source.failure)
            return Report(*source.failure);
        for (const auto &arg : FfmpegArguments(m_job, source.report.video))
            PrintLine(arg);
        return 0;
    }

private:
    // FFmpeg found and the source a readable file, or why not.
    std::optional<Failure> prepare()
    {
        m_ffmpeg = platform::FindProgram(kFfmpegName, vantrel::platform::ApplicationFolder());
        if (m_ffmpeg.empty())
            return Of(FailureKind::Ffmpeg,
                      "FFMPEG WAS NOT FOUND, NEITHER NEXT TO MENCODER NOR ON THE PATH!");
        if (auto refusal = checkSource())
            return Of(FailureKind::Source, *refusal);
        return std::nullopt;
    }

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

    // What the source's packet list shows, or why it is refused.
    struct Probed
    {
        std::optional<Failure> failure;
        SourceReport report;
    };
    Probed probe() const
    {
        SourceProbe probe;
        LineSplitter out;
        LineSplitter err;
        Tail tail;
        auto onErr = [&](const std::string &line) {
            probe.messageLine(line, m_job.source);
            tail.add(line);
        };
        auto child = platform::RunChild(
            m_ffmpeg, ProbeArguments(m_job),
            [&](std::string_view chunk) {
                for (const auto &line : out.feed(chunk))
                    probe.packetLine(line);
            },
            [&](std::string_view chunk) {
                for (const auto &line : err.feed(chunk))
                    onErr(line);
            });
        if (auto last = out.finish())
            probe.packetLine(*last);
        if (auto last = err.finish())
            onErr(*last);
        if (auto failure = childFailure(child, tail.lines()))
            return {failure, {}};
        const SourceReport report = probe.report();
        return {RefusalOf(report, m_job.source), report};
    }

    // Why a run of FFmpeg failed, judged by how it ended and its last words.
    std::optional<Failure> childFailure(const platform::ChildResult &child,
                                        const std::vector<std::string> &lines) const
    {
        if (auto stop = platform::StopRequest(); child.stoppedByUs || !stop.empty())
            return Of(FailureKind::Stopped, StoppedText(stop));
        if (!child.started)
            return Of(FailureKind::Ffmpeg, "CANNOT START FFMPEG " + Quoted(m_ffmpeg) + ": "
                                               + ReasonText(child.startError) + "!");
#ifdef SIGXFSZ
        if (!child.exited && child.signal == SIGXFSZ)
            return OutputFailure(m_job.output, vantrel::tools::SystemText(EFBIG));
#endif
        if (!child.exited)
            return Of(FailureKind::Ffmpeg,
                      "FFMPEG WAS KILLED BY SIGNAL " + std::to_string(child.signal) + "!");
        if (child.exitCode != 0)
            return DescribeFfmpegFailure(lines, m_job.source, m_job.output, child.exitCode);
        return std::nullopt;
    }

    // What failed, or nothing when the output is whole.
    std::optional<Failure> judge(const platform::ChildResult &child) const
    {
        // The lines that told of a failed write come first: the tail may have
        // lost them under FFmpeg's closing statistics.
        std::vector<std::string> lines(m_outputFailures.begin(), m_outputFailures.end());
        const auto tail = m_stderrTail.lines();
        lines.insert(lines.end(), tail.begin(), tail.end());
        if (auto failure = childFailure(child, lines))
            return failure;
        if (!m_outputFailures.empty())
            return DescribeFfmpegFailure(m_outputFailures, m_job.source, m_job.output, 0);
        std::error_code ec;
        if (fs::file_size(PathOf(m_job.output), ec) == 0 || ec)
            return Of(FailureKind::Ffmpeg, "FFMPEG WROTE NO OUTPUT FILE!");
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
        PrintLine(vantrel::FormatProgressLine({m_position, percent}));
    }

    void onStderrLine(const std::string &line)
    {
        // Only the source has a "Duration:" line.
        if (!m_duration)
            m_duration = ParseDurationLine(line);
        if (m_outputFailures.size() < kOutputFailureLines
            && IsOutputFailureLine(line, m_job.output))
            m_outputFailures.push_back(line);
        m_stderrTail.add(line);
    }

    const EncoderJob &m_job;
    std::string m_ffmpeg;
    LineSplitter m_stdoutLines;
    LineSplitter m_stderrLines;
    ProgressReader m_progress;
    vantrel::EncoderPosition m_position;
    std::optional<std::chrono::steady_clock::time_point> m_lastPrint;
    std::optional<double> m_duration;
    Tail m_stderrTail;
    std::vector<std::string> m_outputFailures;
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
        return Report(Of(FailureKind::CommandLine, parsed.error));
    if (parsed.job.printFfmpegArgs)
        return Encoding(parsed.job).printArguments();
    return Encoding(parsed.job).run();
}
