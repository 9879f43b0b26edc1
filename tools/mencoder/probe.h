#pragma once

// What mencoder learns about the source before it encodes it. FFmpeg copies
// the streams that the encoding takes into its "framecrc" packet list on
// standard output: every packet's stream, times and length, on the very
// timeline that the encoding's filters see. Its standard error describes the
// source (the container's duration, the video's field order) and tells of
// packets cut short. Pure: main.cpp runs FFmpeg and hands the lines over.

#include "tools/mencoder/messages.h"
#include "tools/mencoder/options.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vantrel::mencoder {

// The arguments for FFmpeg that list the source's packets.
std::vector<std::string> ProbeArguments(const EncoderJob &job);

// What the listing showed.
struct SourceReport
{
    VideoTraits video;
    long long videoFrames = 0; // packets of the video stream
    bool hasAudio = false;     // an audio stream with at least one packet
    double dataSeconds = 0;    // from the first packet to the end of the last
    // The container's own duration; unset when it has none or FFmpeg guessed
    // it from the bit rate.
    std::optional<double> declaredSeconds;
    bool readTrouble = false; // FFmpeg told of a packet cut short or broken
};

class SourceProbe
{
public:
    // A line of FFmpeg's standard output.
    void packetLine(std::string_view line);
    // A line of its standard error.
    void messageLine(std::string_view line, const std::string &source);
    SourceReport report() const;

private:
    // Packet times of one kind: the latest, its length, the one before it.
    struct Track
    {
        long long packets = 0;
        double first = 0;
        double last = 0;
        double lastDuration = 0; // 0 when unknown
        std::optional<double> beforeLast;
        double end = 0; // the latest time plus length

        void add(double time, double length);
        void add(const Track &other, double shift);
    };
    struct Stream
    {
        bool video = false;
        bool audio = false;
        long long tbNum = 0;
        long long tbDen = 0;
        Track shown; // packets with a presentation time
        // Packets with a decoding time only, and how much later than its
        // decoding a frame is shown at the least.
        Track decoded;
        std::optional<double> delay;

        Track all() const;
    };
    Stream &stream(std::size_t index);
    double videoEnd(const Track &video) const;

    std::vector<Stream> m_streams;
    std::optional<double> m_declared;
    bool m_durationGuessed = false;
    bool m_readTrouble = false;
    bool m_videoDescribed = false;
    FieldOrder m_fieldOrder = FieldOrder::Unknown;
};

// The field order in FFmpeg's description of a video stream ("Stream #0:0:
// Video: mpeg2video (Main), yuv420p(tv, top first), 720x576 ...").
FieldOrder FieldOrderOf(std::string_view streamLine);

// Why a source is refused before any encoding, if it is: its only picture is
// one still image, or it is cut off (its data ends well before the length its
// container gives, and FFmpeg told of the cut: a file that reads without
// trouble is never called damaged).
std::optional<Failure> RefusalOf(const SourceReport &report, const std::string &source);

} // namespace vantrel::mencoder
