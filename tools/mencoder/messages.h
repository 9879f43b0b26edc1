#pragma once

// The one line that tells the user why an encoding failed, and the exit code
// that says what failed. Our own words are in upper case and end in "!"; file
// paths are quoted as they are. Pure.

#include <string>
#include <string_view>
#include <vector>

namespace vantrel::mencoder {

// What an encoding failed on.
enum class FailureKind {
    Source,       // the source cannot be read or decoded
    CommandLine,  // the command line was refused
    Stopped,      // a stop request ended it
    Output,       // the output cannot be written; see OutputProblem
    Ffmpeg,       // FFmpeg is missing, cannot be started, or died of a signal
    StillPicture, // the source is one still picture, not a video
};

// Why an output cannot be written, where the user can do something about it.
enum class OutputProblem {
    NoSpace,      // the disk or the quota is full
    NoPermission, // no right to write there
    SizeLimit,    // the file-size limit of the process or the file system
    Other,
};

struct Failure
{
    FailureKind kind = FailureKind::Source;
    OutputProblem problem = OutputProblem::Other; // for FailureKind::Output
    std::string text;                             // the one line for standard error
};

// The exit code of a failure; main.cpp lists them.
int ExitCodeOf(const Failure &failure);

// The reason part of a failure text: trailing full stops and spaces dropped,
// then upper-cased ("Invalid data found when processing input." becomes
// "INVALID DATA FOUND WHEN PROCESSING INPUT").
std::string ReasonText(std::string_view text);

// The problem behind the reason for a failed write, as the system or FFmpeg
// words it ("No space left on device", "File too large", ...).
OutputProblem OutputProblemOf(std::string_view reason);

// "CANNOT WRITE THE OUTPUT FILE "PATH": REASON!", with its problem.
Failure OutputFailure(const std::string &output, std::string_view reason);

// The reason for FFmpeg's failure, from the last lines of its standard error
// and its exit code: the source could not be read or has no video, the output
// could not be written, FFmpeg was stopped by a signal, or its last word.
Failure DescribeFfmpegFailure(const std::vector<std::string> &stderrTail, const std::string &source,
                              const std::string &output, int exitCode);

// Whether a line of FFmpeg's standard error says that writing the output
// failed ("Error writing trailer of file:PATH: REASON", for one). FFmpeg
// exits with 0 after some of these, with an output that does not play.
bool IsOutputFailureLine(std::string_view line, const std::string &output);

// Whether a line of FFmpeg's standard error says that reading the source
// stopped short or gave a broken packet: a packet cut by the end of the file
// ("partial file", "Packet corrupt", "File ended prematurely"), or a read
// error that ended the input early ("file:PATH: reason").
bool IsReadTroubleLine(std::string_view line, const std::string &source);

} // namespace vantrel::mencoder
