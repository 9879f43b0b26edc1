#pragma once

// The few operating-system services the encoder adapter needs besides the
// application folder (platform/appfolder.h): finding FFmpeg, running it as a child with its output
// read as it comes, and being told to stop. platform_posix.cpp and platform_win.cpp; paths and
// arguments are UTF-8 on Windows too.

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace vantrel::mencoder::platform {

// The full path of the program `name` in `firstFolder`, else in the first
// folder of PATH that holds it; empty when there is none.
std::string FindProgram(std::string_view name, const std::string &firstFolder);

// From now on a request to stop (SIGTERM, SIGINT, SIGHUP; a signal that was
// ignored when we started stays ignored; on Windows Ctrl+C, Ctrl+Break and
// the closing of the console) is recorded instead of ending the process, and
// a running child is stopped. Writing to a closed pipe fails instead of
// killing us.
void InstallStopHandlers();

// The text of the stop request received so far ("SIGNAL 15", "CTRL+C"),
// empty while there is none.
std::string StopRequest();

struct ChildResult
{
    bool started = false;
    std::string startError; // why it could not be started
    bool exited = false;    // ended by itself with exitCode
    int exitCode = 0;
    int signal = 0; // ended by this signal
    bool stoppedByUs = false;
};

using OutputHandler = std::function<void(std::string_view chunk)>;

// Runs `program` with `args` (no shell involved) and waits for it to end. Its
// standard output and standard error are handed over as they arrive; standard
// input is empty. On a stop request the child is asked to end, and killed
// after a short grace (on Windows, where a child without a console cannot be
// asked, killed at once). The child also dies when we do.
ChildResult RunChild(const std::string &program, const std::vector<std::string> &args,
                     const OutputHandler &onStdout, const OutputHandler &onStderr);

// Empty on success, else the system's reason.
std::string CheckReadable(const std::string &path);

// An empty output file at `path`; empty on success, else the reason. A
// regular file there is replaced by a new one (so that no other name of it is
// written through); a link or anything else that is not a regular file is
// refused, and not followed.
std::string CreateOutputFile(const std::string &path);

void RemoveFile(const std::string &path);

// From now on the file now at `path` is removed should this process end in
// any way before KeepGuardedOutput() (killed outright, for one). On POSIX a
// small forked guard waits for that; on Windows nothing is done.
void GuardOutput(const std::string &path);
// The output is whole: the guard lets it be.
void KeepGuardedOutput();

} // namespace vantrel::mencoder::platform
