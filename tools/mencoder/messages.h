#pragma once

// The one line that tells the user why an encoding failed. Our own words are
// in upper case and end in "!"; file paths are quoted as they are. Pure.

#include <string>
#include <string_view>
#include <vector>

namespace vantrel::mencoder {

// The reason part of a failure text: trailing full stops and spaces dropped,
// then upper-cased ("Invalid data found when processing input." becomes
// "INVALID DATA FOUND WHEN PROCESSING INPUT").
std::string ReasonText(std::string_view text);

// The reason for FFmpeg's failure, from the last lines of its standard error
// and its exit code: the source could not be read or has no video, the output
// could not be written, FFmpeg was stopped by a signal, or its last word.
std::string DescribeFfmpegFailure(const std::vector<std::string> &stderrTail,
                                  const std::string &source, const std::string &output,
                                  int exitCode);

} // namespace vantrel::mencoder
