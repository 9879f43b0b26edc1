#pragma once

// fix, the repair program that puts an MP4 file's movie box in front of its
// media data. Here: the run of `fix TEMP FINAL`; beside it fixcore.h (the box
// work over bytes) and fixplatform.h (the file system, one source per system).

#include <ostream>
#include <string>
#include <vector>

namespace vantrel::fix {

// Exit codes of the repair program.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1; // refused input or a file system failure; TEMP as it was
inline constexpr int kExitUsage = 2;  // not called as `fix TEMP FINAL`
// Stopped on purpose after the step named in VANTREL_FIX_STOP_AFTER (for the
// tests of an interrupted run only; with VANTREL_FIX_STOP_SIGNAL set, the
// program raises that signal there instead).
inline constexpr int kExitStopped = 3;

// Runs `fix TEMP FINAL` with the two arguments after the program name.
// Writes one line per message to `err` and returns the exit code.
//
// Three ways, chosen by the file and where it lies:
// - the movie box is in front already: TEMP is flushed and renamed to FINAL;
// - it is behind the media data, and TEMP's file system can insert a range at
//   the front of a file: TEMP is rewritten in place and renamed (fixrun.cpp
//   has the order of the steps);
// - otherwise FINAL is written under a hidden temporary name in its own
//   folder, synced and renamed into place; TEMP is removed only after that.
// The first two need TEMP to be a plain file (not a link, one name only) on
// FINAL's file system. TEMP and FINAL may name the same file (also through
// another spelling or a link): the file is then rewritten through the
// temporary file and rename, and not removed afterwards.
int RunFix(const std::vector<std::string> &args, std::ostream &err);

} // namespace vantrel::fix
