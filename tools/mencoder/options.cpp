#include "tools/mencoder/options.h"

#include "tools/common/systemtext.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdio>
#include <optional>
#include <string_view>

namespace vantrel::mencoder {

namespace {

// At most nine decimal digits: no sign, no spaces, no overflow.
bool IsDigits(std::string_view text)
{
    return !text.empty() && text.size() <= 9
           && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// A whole number of digits only within [min, max].
std::optional<int> ParseInt(std::string_view text, int min, int max)
{
    if (!IsDigits(text))
        return std::nullopt;
    int value = 0;
    std::from_chars(text.data(), text.data() + text.size(), value);
    if (value < min || value > max)
        return std::nullopt;
    return value;
}

double ToDouble(std::string_view digits)
{
    double value = 0;
    std::from_chars(digits.data(), digits.data() + digits.size(), value);
    return value;
}

// "25", "29.97" or "30000/1001", greater than 0 and at most 1000.
bool IsFrameRate(std::string_view text)
{
    double value = 0;
    if (auto slash = text.find('/'); slash != std::string_view::npos) {
        auto num = text.substr(0, slash);
        auto den = text.substr(slash + 1);
        if (!IsDigits(num) || !IsDigits(den) || ToDouble(den) == 0)
            return false;
        value = ToDouble(num) / ToDouble(den);
    } else {
        auto dot = text.find('.');
        if (!IsDigits(text.substr(0, dot)))
            return false;
        if (dot != std::string_view::npos && !IsDigits(text.substr(dot + 1)))
            return false;
        value = ToDouble(text);
    }
    return value > 0 && value <= 1000;
}

std::vector<std::string_view> Split(std::string_view text, char separator)
{
    std::vector<std::string_view> parts;
    for (;;) {
        auto at = text.find(separator);
        parts.push_back(text.substr(0, at));
        if (at == std::string_view::npos)
            return parts;
        text.remove_prefix(at + 1);
    }
}

// Sample rates that the AAC encoder can write.
constexpr std::array<int, 13> kAacSampleRates = {7350,  8000,  11025, 12000, 16000, 22050, 24000,
                                                 32000, 44100, 48000, 64000, 88200, 96000};

constexpr std::array<int, 16> kLevels = {10, 11, 12, 13, 20, 21, 22, 30,
                                         31, 32, 40, 41, 42, 50, 51, 52};

// Options that take a value; every option of ours does.
constexpr std::array<std::string_view, 13> kValueOptions = {
    "-sws", "-vf",          "-vf-add", "-oac", "-faacopts", "-channels", "-srate",
    "-ovc", "-x264encopts", "-ofps",   "-of",  "-lavfopts", "-o"};

class Parser
{
public:
    ParseResult run(const std::vector<std::string> &args)
    {
        for (std::size_t i = 0; i < args.size() && m_error.empty(); ++i) {
            const std::string &arg = args[i];
            if (arg.empty() || arg[0] != '-') {
                takeSource(arg);
                continue;
            }
            if (arg == "--print-ffmpeg-args") {
                m_job.printFfmpegArgs = true;
                continue;
            }
            if (std::find(kValueOptions.begin(), kValueOptions.end(), arg) == kValueOptions.end()) {
                fail("UNKNOWN OPTION " + tools::Quoted(arg) + "!");
                break;
            }
            if (i + 1 >= args.size()) {
                fail("OPTION " + tools::Quoted(arg) + " NEEDS A VALUE!");
                break;
            }
            option(arg, args[++i]);
        }
        if (m_error.empty())
            checkComplete();
        return {m_error.empty() ? m_job : EncoderJob{}, m_error};
    }

private:
    void fail(std::string message)
    {
        if (m_error.empty())
            m_error = std::move(message);
    }

    void badValue(std::string_view name, std::string_view value)
    {
        fail("BAD VALUE " + tools::Quoted(value) + " FOR OPTION " + tools::Quoted(name) + "!");
    }

    // Options that name a codec or container: one value is supported.
    void only(std::string_view name, std::string_view value, std::string_view supported,
              bool &given)
    {
        if (value == supported)
            given = true;
        else
            badValue(name, value);
    }

    void takeSource(const std::string &arg)
    {
        if (m_haveSource) {
            fail("MORE THAN ONE SOURCE FILE GIVEN: " + tools::Quoted(m_job.source) + " AND "
                 + tools::Quoted(arg) + "!");
            return;
        }
        m_haveSource = true;
        m_job.source = arg;
    }

    // A value read into its place, or refused.
    template<typename T>
    void take(std::string_view name, std::string_view value, const std::optional<T> &read, T &place)
    {
        if (read)
            place = *read;
        else
            badValue(name, value);
    }

    void option(std::string_view name, const std::string &value)
    {
        if (name == "-o") {
            m_job.output = value;
        } else if (name == "-sws") {
            take(name, value, ParseInt(value, 0, 10), m_job.scaler);
        } else if (name == "-vf") {
            m_job.filters.clear();
            filters(name, value);
        } else if (name == "-vf-add") {
            filters(name, value);
        } else if (name == "-ofps") {
            take(name, value, IsFrameRate(value) ? std::optional(value) : std::nullopt,
                 m_job.outputFps);
        } else if (name == "-oac") {
            only(name, value, "faac", m_haveAudioCodec);
        } else if (name == "-faacopts") {
            suboptions(name, value, &Parser::faacOption);
        } else if (name == "-channels") {
            take(name, value, ParseInt(value, 1, 6), m_job.channels);
        } else if (name == "-srate") {
            std::optional<int> rate = ParseInt(value, 1, 96000);
            if (rate
                && std::find(kAacSampleRates.begin(), kAacSampleRates.end(), *rate)
                       == kAacSampleRates.end())
                rate.reset();
            take(name, value, rate, m_job.sampleRate);
        } else if (name == "-ovc") {
            only(name, value, "x264", m_haveVideoCodec);
        } else if (name == "-x264encopts") {
            suboptions(name, value, &Parser::x264Option);
        } else if (name == "-of") {
            only(name, value, "lavf", m_lavf);
        } else if (name == "-lavfopts") {
            suboptions(name, value, &Parser::lavfOption);
        }
    }

    // A comma-separated filter list; each filter is appended in order.
    void filters(std::string_view name, std::string_view value)
    {
        for (auto item : Split(value, ',')) {
            if (item.empty())
                return badValue(name, value);
            auto eq = item.find('=');
            auto filter = item.substr(0, eq);
            if (filter == "harddup" && eq == std::string_view::npos) {
                m_job.filters.push_back({VideoFilter::Kind::HardDup, 0, 0});
            } else if (filter == "scale" && eq != std::string_view::npos) {
                auto size = Split(item.substr(eq + 1), ':');
                std::optional<int> w, h;
                if (size.size() == 2) {
                    w = ParseInt(size[0], 16, 8192);
                    h = ParseInt(size[1], 16, 8192);
                }
                // H.264 in 4:2:0 needs even sizes.
                if (!w || !h || *w % 2 || *h % 2)
                    return badValue(name, item);
                m_job.filters.push_back({VideoFilter::Kind::Scale, *w, *h});
            } else if (filter == "harddup" || filter == "scale") {
                return badValue(name, item);
            } else {
                return fail("UNKNOWN VIDEO FILTER " + tools::Quoted(filter) + " IN OPTION "
                            + tools::Quoted(name) + "!");
            }
        }
    }

    using SuboptionHandler = bool (Parser::*)(std::string_view key, std::string_view value,
                                              bool hasValue);

    // key=value and flag items separated by colons, applied left to right.
    void suboptions(std::string_view name, std::string_view value, SuboptionHandler handler)
    {
        for (auto item : Split(value, ':')) {
            auto eq = item.find('=');
            auto key = item.substr(0, eq);
            auto val = eq == std::string_view::npos ? std::string_view() : item.substr(eq + 1);
            if (key.empty())
                return badValue(name, value);
            if (!(this->*handler)(key, val, eq != std::string_view::npos)) {
                if (m_unknownKey)
                    return fail("UNKNOWN SUBOPTION " + tools::Quoted(key) + " IN OPTION "
                                + tools::Quoted(name) + "!");
                return badValue(name, item);
            }
        }
    }

    // Returns false with m_unknownKey set for a key it does not know.
    bool unknown()
    {
        m_unknownKey = true;
        return false;
    }

    bool setInt(int &target, std::string_view value, bool hasValue, int min, int max)
    {
        auto n = hasValue ? ParseInt(value, min, max) : std::nullopt;
        if (n)
            target = *n;
        return n.has_value();
    }

    bool faacOption(std::string_view key, std::string_view value, bool hasValue)
    {
        m_unknownKey = false;
        if (key == "br")
            return setInt(m_job.audioBitrateKbit, value, hasValue, 8, 512);
        if (key == "mpeg") // MPEG-4 AAC only
            return hasValue && value == "4";
        if (key == "object") // 2: Low Complexity, the only profile we write
            return hasValue && value == "2";
        if (key == "raw") // MP4 carries raw AAC frames anyway
            return !hasValue;
        return unknown();
    }

    bool x264Option(std::string_view key, std::string_view value, bool hasValue)
    {
        m_unknownKey = false;
        if (key == "bitrate")
            return setInt(m_job.videoBitrateKbit, value, hasValue, 1, 100000);
        if (key == "vbv_maxrate")
            return setInt(m_job.vbvMaxrateKbit, value, hasValue, 1, 1000000);
        if (key == "vbv_bufsize")
            return setInt(m_job.vbvBufsizeKbit, value, hasValue, 1, 1000000);
        if (key == "level_idc") {
            auto n = hasValue ? ParseInt(value, 10, 52) : std::nullopt;
            if (!n || std::find(kLevels.begin(), kLevels.end(), *n) == kLevels.end())
                return false;
            m_job.levelIdc = *n;
            return true;
        }
        if (key == "cabac" || key == "nocabac") {
            m_job.cabac = key == "cabac";
            return !hasValue;
        }
        if (key == "global_header") {
            m_job.globalHeader = true;
            return !hasValue;
        }
        return unknown();
    }

    bool lavfOption(std::string_view key, std::string_view value, bool hasValue)
    {
        m_unknownKey = false;
        if (key == "format") {
            m_format = value;
            return hasValue && value == "mp4";
        }
        return unknown();
    }

    void checkComplete()
    {
        if (m_job.source.empty())
            fail("NO SOURCE FILE GIVEN!");
        else if (m_job.output.empty())
            fail("NO OUTPUT FILE GIVEN (\"-o\")!");
        else if (!m_haveVideoCodec)
            fail("NO VIDEO CODEC GIVEN (\"-ovc\")!");
        else if (!m_haveAudioCodec)
            fail("NO AUDIO CODEC GIVEN (\"-oac\")!");
        else if (!m_lavf || m_format != "mp4")
            fail("ONLY MP4 OUTPUT IS SUPPORTED (\"-of lavf -lavfopts format=mp4\")!");
    }

    EncoderJob m_job;
    std::string m_error;
    bool m_haveSource = false;
    bool m_haveAudioCodec = false;
    bool m_haveVideoCodec = false;
    bool m_lavf = false;
    std::string m_format;
    bool m_unknownKey = false;
};

} // namespace

ParseResult ParseCommandLine(const std::vector<std::string> &args)
{
    return Parser().run(args);
}

std::string ScalerFlags(int sws)
{
    static constexpr std::array<const char *, 11> names = {
        "fast_bilinear", "bilinear", "bicubic", "experimental", "neighbor", "area",
        "bicublin",      "gauss",    "sinc",    "lanczos",      "spline"};
    if (sws < 0 || sws >= static_cast<int>(names.size()))
        return {};
    return names[static_cast<std::size_t>(sws)];
}

std::vector<std::string> StreamMaps()
{
    return {"-map", "0:V:0", "-map", "0:a:0?"};
}

namespace {

// Seconds for a filter option: fixed, at most six decimals, no trailing zeros.
std::string Decimal(double seconds)
{
    char buffer[48];
    std::snprintf(buffer, sizeof buffer, "%.6f", std::max(0.0, seconds));
    std::string text = buffer;
    text.erase(text.find_last_not_of('0') + 1);
    if (text.back() == '.')
        text.pop_back();
    return text;
}

// bwdif: motion adaptive, one frame out for each frame in. A stream that says
// it is interlaced has all of its frames deinterlaced in its field order
// (some codecs flag no frame); otherwise only the frames that the decoder
// flags as interlaced are, in their own field order, and progressive frames
// pass untouched.
std::optional<std::string> Deinterlace(FieldOrder order)
{
    switch (order) {
    case FieldOrder::Progressive:
        return std::nullopt;
    case FieldOrder::TopFirst:
        return "bwdif=mode=send_frame:parity=tff:deint=all";
    case FieldOrder::BottomFirst:
        return "bwdif=mode=send_frame:parity=bff:deint=all";
    case FieldOrder::Unknown:
        break;
    }
    return "bwdif=mode=send_frame:parity=auto:deint=interlaced";
}

} // namespace

std::vector<std::string> FfmpegArguments(const EncoderJob &job, const VideoTraits &video)
{
    std::vector<std::string> a = {"-hide_banner", "-nostdin", "-nostats", "-progress",
                                  "pipe:1",       "-y",       "-i",       "file:" + job.source};
    const auto maps = StreamMaps();
    a.insert(a.end(), maps.begin(), maps.end());

    std::vector<std::string> chain;
    if (auto deinterlace = Deinterlace(video.fieldOrder))
        chain.push_back(*deinterlace);
    // A pixel shape left unsaid is square ("sar" is 1 then), so that each
    // scale below gives the output the shape that keeps the picture's
    // proportions, whatever the container.
    chain.emplace_back("setsar=r=sar:max=1000");
    bool constantRate = false;
    for (const auto &f : job.filters) {
        if (f.kind == VideoFilter::Kind::HardDup) {
            constantRate = true;
            continue;
        }
        chain.push_back("scale=" + std::to_string(f.width) + ":" + std::to_string(f.height)
                        + ":flags=" + ScalerFlags(job.scaler));
    }
    if (!job.outputFps.empty()) {
        // FFmpeg 5.1 ends the filters' input where the last frame begins, so a
        // rate change would show that frame once at most, or drop it when it
        // falls on the new rate's grid. A copy of it after the end lets the
        // rate change show it; the rest of its time is filled with copies up
        // to the video's end, and the picture cut there.
        chain.emplace_back("tpad=stop_mode=clone:stop=1");
        chain.push_back("fps=" + job.outputFps + ":eof_action=pass");
        if (video.lastFrame && video.end) {
            chain.push_back("tpad=stop_mode=clone:stop_duration="
                            + Decimal(*video.end - *video.lastFrame));
            chain.push_back("trim=end=" + Decimal(*video.end));
        }
    }
    std::string joined;
    for (const auto &filter : chain)
        joined += (joined.empty() ? "" : ",") + filter;
    a.insert(a.end(), {"-vf", joined});
    if (!job.outputFps.empty())
        a.insert(a.end(), {"-r", job.outputFps});
    if (constantRate)
        a.insert(a.end(), {"-fps_mode", "cfr"});

    // x264 as mencoder drives it always encodes 4:2:0, which every player takes.
    a.insert(a.end(), {"-pix_fmt", "yuv420p", "-c:v", "libx264"});
    auto kbit = [](int n) {
        return std::to_string(n) + "k";
    };
    if (job.videoBitrateKbit)
        a.insert(a.end(), {"-b:v", kbit(job.videoBitrateKbit)});
    if (job.vbvMaxrateKbit)
        a.insert(a.end(), {"-maxrate", kbit(job.vbvMaxrateKbit)});
    if (job.vbvBufsizeKbit)
        a.insert(a.end(), {"-bufsize", kbit(job.vbvBufsizeKbit)});
    if (!job.cabac)
        a.insert(a.end(), {"-coder", "cavlc"});
    if (job.levelIdc)
        a.insert(a.end(), {"-level", std::to_string(job.levelIdc / 10) + "."
                                         + std::to_string(job.levelIdc % 10)});
    if (job.globalHeader)
        a.insert(a.end(), {"-flags", "+global_header"});

    a.insert(a.end(), {"-c:a", "aac", "-profile:a", "aac_low"});
    if (job.audioBitrateKbit)
        a.insert(a.end(), {"-b:a", kbit(job.audioBitrateKbit)});
    if (job.channels)
        a.insert(a.end(), {"-ac", std::to_string(job.channels)});
    if (job.sampleRate)
        a.insert(a.end(), {"-ar", std::to_string(job.sampleRate)});

    a.insert(a.end(), {"-f", "mp4", "file:" + job.output});
    return a;
}

} // namespace vantrel::mencoder
