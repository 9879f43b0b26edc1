#include "tools/mencoder/probe.h"

#include "tools/mencoder/progress.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <limits>

namespace vantrel::mencoder {

namespace {

bool StartsWith(std::string_view text, std::string_view prefix)
{
    return text.substr(0, prefix.size()) == prefix;
}

bool Contains(std::string_view text, std::string_view part)
{
    return text.find(part) != std::string_view::npos;
}

std::string_view Trimmed(std::string_view text)
{
    while (!text.empty() && text.front() == ' ')
        text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ')
        text.remove_suffix(1);
    return text;
}

std::optional<long long> Integer(std::string_view text)
{
    text = Trimmed(text);
    long long value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

// "#key N: value" of the listing's head, for stream N.
std::optional<std::pair<std::size_t, std::string_view>> HeadValue(std::string_view line,
                                                                  std::string_view key)
{
    if (!StartsWith(line, key))
        return std::nullopt;
    line.remove_prefix(key.size());
    const auto colon = line.find(':');
    const auto index = Integer(line.substr(0, colon));
    if (colon == std::string_view::npos || !index || *index < 0 || *index > 64)
        return std::nullopt;
    return std::pair{static_cast<std::size_t>(*index), Trimmed(line.substr(colon + 1))};
}

std::string Quoted(const std::string &text)
{
    return "\"" + text + "\"";
}

std::string Seconds(double value)
{
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.1f", value);
    return buffer;
}

// FFmpeg's value for a packet without a time.
constexpr long long kNoTime = std::numeric_limits<long long>::min();

} // namespace

std::vector<std::string> ProbeArguments(const EncoderJob &job)
{
    std::vector<std::string> a = {"-hide_banner", "-nostdin", "-nostats", "-i",
                                  "file:" + job.source};
    const auto maps = StreamMaps();
    a.insert(a.end(), maps.begin(), maps.end());
    a.insert(a.end(), {"-c", "copy", "-f", "framecrc", "pipe:1"});
    return a;
}

SourceProbe::Stream &SourceProbe::stream(std::size_t index)
{
    if (index >= m_streams.size())
        m_streams.resize(index + 1);
    return m_streams[index];
}

void SourceProbe::packetLine(std::string_view line)
{
    if (auto tb = HeadValue(line, "#tb ")) {
        const auto slash = tb->second.find('/');
        auto num = Integer(tb->second.substr(0, slash));
        auto den =
            slash == std::string_view::npos ? std::nullopt : Integer(tb->second.substr(slash + 1));
        if (num && den && *num > 0 && *den > 0) {
            stream(tb->first).tbNum = *num;
            stream(tb->first).tbDen = *den;
        }
        return;
    }
    if (auto type = HeadValue(line, "#media_type ")) {
        stream(type->first).video = type->second == "video";
        stream(type->first).audio = type->second == "audio";
        return;
    }
    // "stream, dts, pts, duration, size, checksum[, flags...]"
    std::string_view fields[4];
    for (auto &field : fields) {
        const auto comma = line.find(',');
        if (comma == std::string_view::npos)
            return;
        field = line.substr(0, comma);
        line.remove_prefix(comma + 1);
    }
    const auto index = Integer(fields[0]);
    const auto dts = Integer(fields[1]);
    const auto pts = Integer(fields[2]);
    const auto duration = Integer(fields[3]);
    if (!index || *index < 0 || *index >= static_cast<long long>(m_streams.size()) || !dts || !pts
        || !duration)
        return;
    Stream &s = m_streams[static_cast<std::size_t>(*index)];
    if (s.tbDen == 0 || (*dts == kNoTime && *pts == kNoTime))
        return;
    const double tb = static_cast<double>(s.tbNum) / static_cast<double>(s.tbDen);
    const double length = std::max(0.0, static_cast<double>(*duration) * tb);
    if (*pts == kNoTime) {
        s.decoded.add(static_cast<double>(*dts) * tb, length);
        return;
    }
    s.shown.add(static_cast<double>(*pts) * tb, length);
    if (*dts != kNoTime) {
        const double delay = static_cast<double>(*pts - *dts) * tb;
        s.delay = std::min(s.delay.value_or(delay), delay);
    }
}

void SourceProbe::Track::add(double time, double length)
{
    if (packets == 0) {
        first = last = time;
        lastDuration = length;
        end = time + length;
    } else {
        first = std::min(first, time);
        if (time > last) {
            beforeLast = last;
            last = time;
            lastDuration = length;
        } else if (time < last && (!beforeLast || time > *beforeLast)) {
            beforeLast = time;
        }
        end = std::max(end, time + length);
    }
    ++packets;
}

void SourceProbe::Track::add(const Track &other, double shift)
{
    if (other.packets == 0)
        return;
    const long long count = packets + other.packets;
    add(other.last + shift, other.lastDuration);
    if (other.beforeLast)
        add(*other.beforeLast + shift, 0);
    add(other.first + shift, 0);
    end = std::max(end, other.end + shift);
    packets = count;
}

// Packets without a presentation time are shown at the least delay after
// their decoding that the others have (none known: at their decoding time).
SourceProbe::Track SourceProbe::Stream::all() const
{
    Track track = shown;
    track.add(decoded, std::max(0.0, delay.value_or(0)));
    return track;
}

void SourceProbe::messageLine(std::string_view line, const std::string &source)
{
    if (!m_declared)
        m_declared = ParseDurationLine(line);
    if (Contains(line, "Estimating duration from bitrate"))
        m_durationGuessed = true;
    if (IsReadTroubleLine(line, source))
        m_readTrouble = true;
    // The source's first video stream that is not cover art is described
    // first, before the listing's own streams.
    if (!m_videoDescribed && Contains(line, "Stream #") && Contains(line, ": Video: ")
        && !Contains(line, "(attached pic)")) {
        m_videoDescribed = true;
        m_fieldOrder = FieldOrderOf(line);
    }
}

// Where the video stops being shown: when the latest of its frames' own
// lengths ends, or, where the container gives no length for the last frame,
// after as long as the frame before it was shown, but not past the
// container's end. A length past that end is not believed beyond one frame's
// time (a container that measures itself from its first frame's start to the
// last one's still shows the last one whole). A lone frame is shown as long
// as the sound plays.
double SourceProbe::videoEnd(const Track &video) const
{
    if (video.packets == 1) {
        double end = video.end;
        for (const Stream &s : m_streams)
            if (const Track t = s.all(); t.packets > 0)
                end = std::max(end, t.end);
        return end;
    }
    const bool guessed = video.lastDuration <= 0;
    const double gap = video.beforeLast ? video.last - *video.beforeLast : 0;
    double end = std::max(video.end, video.last + (guessed ? gap : video.lastDuration));
    // The container's end measured from the video's own start, which is never
    // before the container's: too late at worst, never too early.
    if (m_declared && !m_durationGuessed) {
        const double containerEnd = video.first + *m_declared;
        if (end > containerEnd)
            end = std::max(containerEnd,
                           video.last + (guessed ? 0 : std::min(video.lastDuration, gap)));
    }
    return end;
}

SourceReport SourceProbe::report() const
{
    SourceReport report;
    report.video.fieldOrder = m_fieldOrder;
    report.readTrouble = m_readTrouble;
    if (!m_durationGuessed)
        report.declaredSeconds = m_declared;

    std::optional<Track> video;
    std::optional<double> start;
    double end = 0;
    for (const Stream &s : m_streams) {
        const Track track = s.all();
        if (track.packets == 0)
            continue;
        start = std::min(start.value_or(track.first), track.first);
        if (s.video && !video) {
            video = track;
            continue;
        }
        report.hasAudio = report.hasAudio || s.audio;
        end = std::max(end, track.end);
    }
    if (video) {
        report.videoFrames = video->packets;
        const double videoStop = videoEnd(*video);
        // Packet times that run well past the container's length are not
        // those the decoder gives its frames (Theora in Ogg can have them):
        // the video's end is then left to FFmpeg.
        if (!report.declaredSeconds
            || !EndsEarly(*report.declaredSeconds, videoStop - video->first)) {
            report.video.lastFrame = video->last;
            report.video.end = videoStop;
        }
        end = std::max(end, videoStop);
    }
    report.dataSeconds = start ? end - *start : 0;
    return report;
}

FieldOrder FieldOrderOf(std::string_view streamLine)
{
    // A field coded first but shown second: the order is the one shown.
    if (Contains(streamLine, "top coded first"))
        return FieldOrder::BottomFirst;
    if (Contains(streamLine, "bottom coded first"))
        return FieldOrder::TopFirst;
    if (Contains(streamLine, "top first)"))
        return FieldOrder::TopFirst;
    if (Contains(streamLine, "bottom first)"))
        return FieldOrder::BottomFirst;
    if (Contains(streamLine, "(progressive)") || Contains(streamLine, " progressive)"))
        return FieldOrder::Progressive;
    return FieldOrder::Unknown;
}

std::optional<Failure> RefusalOf(const SourceReport &report, const std::string &source)
{
    if (report.videoFrames == 1 && !report.hasAudio)
        return Failure{FailureKind::StillPicture, OutputProblem::Other,
                       "THE SOURCE FILE " + Quoted(source) + " IS A STILL PICTURE, NOT A VIDEO!"};
    if (report.readTrouble && report.declaredSeconds
        && EndsEarly(report.dataSeconds, *report.declaredSeconds))
        return Failure{FailureKind::Source, OutputProblem::Other,
                       "THE SOURCE FILE " + Quoted(source) + " IS DAMAGED: IT ENDS AFTER "
                           + Seconds(report.dataSeconds) + " OF " + Seconds(*report.declaredSeconds)
                           + " SECONDS!"};
    return std::nullopt;
}

} // namespace vantrel::mencoder
