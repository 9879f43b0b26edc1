#include "encoding/encoderoptions.h"

namespace vantrel::encoding {

std::string BuildEncoderOptions(std::string_view audioBitrate, std::string_view audioSampling,
                                std::string_view videoBitrate, std::string_view videoWindow)
{
    std::string options;
    options.reserve(256);
    options += " -sws 9 -vf harddup -oac faac -faacopts br=";
    options += audioBitrate;
    options += ":mpeg=4:object=2:raw -channels 2 ";
    options += "-srate ";
    options += audioSampling;
    options += " -ovc x264 -x264encopts bitrate=";
    options += videoBitrate;
    options += ":vbv_maxrate=768:vbv_bufsize=2000:nocabac:level_idc=13:global_header";
    options += " -ofps 25 ";
    options += "-vf-add scale=";
    options += videoWindow;
    options += " ";
    return options;
}

} // namespace vantrel::encoding
