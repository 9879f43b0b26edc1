#pragma once

// The arguments that the main program hands to mencoder: its encoder command
// line for the four list choices, split into arguments.

#include <string>
#include <vector>

inline std::vector<std::string> encoderLine(const std::string &source, const std::string &output,
                                            const std::string &audioBitrate = "48",
                                            const std::string &sampleRate = "16000",
                                            const std::string &videoBitrate = "468",
                                            const std::string &window = "320:240")
{
    // clang-format off
    return {source, "-sws", "9", "-vf", "harddup",
            "-oac", "faac", "-faacopts", "br=" + audioBitrate + ":mpeg=4:object=2:raw",
            "-channels", "2", "-srate", sampleRate,
            "-ovc", "x264", "-x264encopts", "bitrate=" + videoBitrate
                + ":vbv_maxrate=768:vbv_bufsize=2000:nocabac:level_idc=13:global_header",
            "-ofps", "25", "-vf-add", "scale=" + window,
            "-of", "lavf", "-lavfopts", "format=mp4", "-o", output};
    // clang-format on
}
