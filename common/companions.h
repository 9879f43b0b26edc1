#pragma once

// The two companion programs as the rest of the system knows them: their
// names in the application folder and what the encoder's exit code says.
// `mencoder` returns these codes and the encoding job reads them; nothing
// else gives a meaning to a number.

namespace vantrel::companions {

inline constexpr const char *kEncoderName = "mencoder";
inline constexpr const char *kRepairName = "fix";

enum EncoderExit : int {
    kEncoded = 0,              // the output file was written whole
    kSourceUnreadable = 1,     // the source cannot be read or decoded
    kCommandLineRefused = 2,   // an option or value the encoder does not take
    kEncodingStopped = 3,      // a stop request ended it
    kOutputNoSpace = 4,        // the output cannot be written: disk or quota full
    kOutputNoPermission = 5,   // ... no right to write there
    kOutputSizeLimit = 6,      // ... the file-size limit was reached
    kOutputNotWritten = 7,     // ... for another reason
    kEncoderBroken = 8,        // FFmpeg is missing, cannot start, or died
    kSourceIsStillPicture = 9, // the source is one still picture, not a video
};

} // namespace vantrel::companions
