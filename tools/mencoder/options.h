#pragma once

// mencoder, the encoder adapter over FFmpeg. Here: the command line it
// understands and what it means for FFmpeg, pure; beside it progress.h and
// messages.h (FFmpeg's output, our lines) and platform.h (processes, files).

#include <optional>
#include <string>
#include <vector>

namespace vantrel::mencoder {

// One entry of the video filter chain (-vf, -vf-add).
struct VideoFilter
{
    enum class Kind { Scale, HardDup };
    Kind kind = Kind::HardDup;
    int width = 0; // Scale only
    int height = 0;

    bool operator==(const VideoFilter &) const = default;
};

// The meaning of one encoder command line. Zero means "not given": FFmpeg's
// own default applies.
struct EncoderJob
{
    std::string source;
    std::string output;

    int scaler = 2; // -sws; mencoder's default is bicubic
    std::vector<VideoFilter> filters;
    std::string outputFps; // -ofps as given ("25", "29.97", "30000/1001"); empty: keep

    // -oac faac -faacopts ...; -channels; -srate
    int audioBitrateKbit = 0;
    int channels = 0;
    int sampleRate = 0;

    // -ovc x264 -x264encopts ...
    int videoBitrateKbit = 0;
    int vbvMaxrateKbit = 0;
    int vbvBufsizeKbit = 0;
    bool cabac = true;
    int levelIdc = 0; // 13 means level 1.3
    bool globalHeader = false;

    // Debug: print the FFmpeg arguments instead of encoding.
    bool printFfmpegArgs = false;
};

// Either a job or the reason the command line was refused. The reason is a
// user-facing text in upper case that ends in "!", without program name.
struct ParseResult
{
    EncoderJob job;
    std::string error;

    bool ok() const { return error.empty(); }
};

// Reads the arguments that follow the program name. Pure.
ParseResult ParseCommandLine(const std::vector<std::string> &args);

// The FFmpeg scaler flag name for a mencoder -sws number (0..10); empty for
// any other number. Pure.
std::string ScalerFlags(int sws);

// How the frames of the source's video are made of fields, as its stream
// says (FFmpeg's "top first", "progressive", ...).
enum class FieldOrder {
    Unknown, // nothing said: each frame's own interlace flag decides
    Progressive,
    TopFirst,
    BottomFirst,
};

// What the FFmpeg arguments take from the source itself; probe.h finds it
// out. Times are seconds on the timeline of FFmpeg's filters.
struct VideoTraits
{
    FieldOrder fieldOrder = FieldOrder::Unknown;
    std::optional<double> lastFrame; // where the last frame begins
    std::optional<double> end;       // where it stops being shown
};

// The input streams that an encoding takes, for FFmpeg's -map: the first real
// video stream (not cover art), required, and the first audio stream when
// there is one.
std::vector<std::string> StreamMaps();

// The arguments (without the program itself) that make FFmpeg do the job:
// progress as key=value blocks on its standard output, no statistics and no
// questions on the terminal, input and output named through the file
// protocol so that no path is mistaken for an option or a protocol. An
// interlaced source is deinterlaced before any scaling, a source that states
// no pixel shape has square pixels, and the change of frame rate keeps the
// last frame on screen until the video's end. Pure.
std::vector<std::string> FfmpegArguments(const EncoderJob &job, const VideoTraits &video = {});

} // namespace vantrel::mencoder
