#pragma once

// The encoder and repair command lines, composed piece by piece. The
// separator is an argument so that the Windows form ('\\') can be composed on
// any platform; the program uses its own. Pure functions.

#include <string>

namespace vantrel::encoding {

struct EncodeJob
{
    std::string appFolder;      // no trailing separator
    std::string sourcePath;     // full path of the source video
    std::string encoderOptions; // the option string, a space at each end
    std::string outputFolder;   // ends with a separator
    std::string outputName;     // e.g. "holiday.mp4"
};

// Where the program of that name lies: app folder, separator, name.
std::string ProgramPath(const std::string &appFolder, const char *name, char separator);

// The encoder writes here; the repair program turns it into the final file.
std::string TemporaryOutputPath(const EncodeJob &job);
std::string FinalOutputPath(const EncodeJob &job);

// APP\mencoder "SOURCE" OPTIONS -of lavf -lavfopts format=mp4 -o "FOLDERNAME.temp"
std::string ComposeEncoderLine(const EncodeJob &job, char separator);

// APP\fix "FOLDERNAME.temp" "FOLDERNAME"
std::string ComposeRepairLine(const EncodeJob &job, char separator);

} // namespace vantrel::encoding
