// libFuzzer target over the option parser of the encoder adapter. The input
// is the argument list, one argument per line or per NUL-ended piece (a last
// separator ends the last argument rather than adding an empty one).
//
// A refused line gives one message in the program's style and no job. An
// accepted line gives a job with a source and an output, a known scaler and
// even frame sizes, and FFmpeg arguments that name the input and the output
// through the file protocol, exactly once each; the listing of the source that
// comes first names it the same way. The job, written back as a command line
// of its own and read again, gives the same FFmpeg arguments.
#include "tools/mencoder/options.h"
#include "tools/mencoder/probe.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

using namespace vantrel::mencoder;

namespace {

using Args = std::vector<std::string>;

void Check(bool ok, const char *what, const Args &args)
{
    if (!ok) {
        std::fprintf(stderr, "mencoder_options_fuzz: %s\narguments:", what);
        for (const std::string &a : args) {
            std::fprintf(stderr, " [");
            std::fwrite(a.data(), 1, a.size(), stderr);
            std::fprintf(stderr, "]");
        }
        std::fprintf(stderr, "\n");
        std::abort();
    }
}

Args SplitInput(std::string_view input)
{
    Args args;
    while (!input.empty()) {
        const std::size_t at = input.find_first_of(std::string_view("\0\n", 2));
        args.emplace_back(input.substr(0, at));
        if (at == std::string_view::npos)
            break;
        input.remove_prefix(at + 1);
    }
    return args;
}

// The job as a command line of its own, every option written out.
Args CommandLineOf(const EncoderJob &job)
{
    Args args = {job.source, "-sws", std::to_string(job.scaler)};
    std::string chain;
    for (const VideoFilter &f : job.filters) {
        if (!chain.empty())
            chain += ',';
        chain += f.kind == VideoFilter::Kind::HardDup
                     ? std::string("harddup")
                     : "scale=" + std::to_string(f.width) + ":" + std::to_string(f.height);
    }
    if (!chain.empty())
        args.insert(args.end(), {"-vf", chain});
    if (!job.outputFps.empty())
        args.insert(args.end(), {"-ofps", job.outputFps});
    args.insert(args.end(), {"-oac", "faac"});
    if (job.audioBitrateKbit)
        args.insert(args.end(), {"-faacopts", "br=" + std::to_string(job.audioBitrateKbit)});
    if (job.channels)
        args.insert(args.end(), {"-channels", std::to_string(job.channels)});
    if (job.sampleRate)
        args.insert(args.end(), {"-srate", std::to_string(job.sampleRate)});
    args.insert(args.end(), {"-ovc", "x264"});
    std::string x264 = job.cabac ? "cabac" : "nocabac";
    if (job.videoBitrateKbit)
        x264 += ":bitrate=" + std::to_string(job.videoBitrateKbit);
    if (job.vbvMaxrateKbit)
        x264 += ":vbv_maxrate=" + std::to_string(job.vbvMaxrateKbit);
    if (job.vbvBufsizeKbit)
        x264 += ":vbv_bufsize=" + std::to_string(job.vbvBufsizeKbit);
    if (job.levelIdc)
        x264 += ":level_idc=" + std::to_string(job.levelIdc);
    if (job.globalHeader)
        x264 += ":global_header";
    args.insert(args.end(),
                {"-x264encopts", x264, "-of", "lavf", "-lavfopts", "format=mp4", "-o", job.output});
    if (job.printFfmpegArgs)
        args.push_back("--print-ffmpeg-args");
    return args;
}

void CheckRefusal(const ParseResult &result, const Args &args)
{
    const std::string &error = result.error;
    Check(!error.empty() && error.back() == '!', "a refusal does not end in \"!\"", args);
    Check(error.front() >= 'A' && error.front() <= 'Z',
          "a refusal does not start with a capital letter", args);
    // No argument holds a line end (they are cut there), so neither may the
    // message that quotes them.
    Check(error.find('\n') == std::string::npos, "a refusal of more than one line", args);
    Check(result.job.source.empty() && result.job.output.empty(), "a refusal carries a job", args);
}

void CheckJob(const EncoderJob &job, const Args &args)
{
    Check(!job.source.empty() && !job.output.empty(), "a job without source or output", args);
    Check(!ScalerFlags(job.scaler).empty(), "a job with an unknown scaler", args);
    for (const VideoFilter &f : job.filters) {
        if (f.kind == VideoFilter::Kind::Scale)
            Check(f.width >= 16 && f.height >= 16 && f.width <= 8192 && f.height <= 8192
                      && f.width % 2 == 0 && f.height % 2 == 0,
                  "a job with a frame size H.264 cannot take", args);
    }

    const Args ffmpeg = FfmpegArguments(job);
    const auto count = [&](const std::string &value) {
        return std::count(ffmpeg.begin(), ffmpeg.end(), value);
    };
    const std::string input = "file:" + job.source;
    const std::string output = "file:" + job.output;
    Check(count("-i") == 1, "FFmpeg is not given exactly one input", args);
    const auto i = std::find(ffmpeg.begin(), ffmpeg.end(), "-i");
    Check(i + 1 != ffmpeg.end() && *(i + 1) == input, "the input is not the source", args);
    Check(ffmpeg.size() >= 3 && ffmpeg.back() == output && ffmpeg[ffmpeg.size() - 2] == "mp4"
              && ffmpeg[ffmpeg.size() - 3] == "-f",
          "the output is not the last argument, as MP4", args);
    Check(
        std::none_of(ffmpeg.begin(), ffmpeg.end(), [](const std::string &a) { return a.empty(); }),
        "an empty FFmpeg argument", args);

    const Args probe = ProbeArguments(job);
    const auto probeInput = std::find(probe.begin(), probe.end(), "-i");
    Check(std::count(probe.begin(), probe.end(), "-i") == 1 && probeInput + 1 != probe.end()
              && *(probeInput + 1) == input
              && (output == input || std::count(probe.begin(), probe.end(), output) == 0),
          "the source's listing does not read the source alone", args);

    const Args again = CommandLineOf(job);
    const ParseResult reread = ParseCommandLine(again);
    Check(reread.ok(), "the job written out is refused", again);
    Check(FfmpegArguments(reread.job) == ffmpeg, "the job written out means something else", again);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const Args args = SplitInput(std::string_view(reinterpret_cast<const char *>(data), size));
    const ParseResult result = ParseCommandLine(args);
    if (result.ok())
        CheckJob(result.job, args);
    else
        CheckRefusal(result, args);
    return 0;
}
