#pragma once

// Child processes that end with the program, however it ends. On Linux the
// encoding job asks the system to stop its child when we die
// (PR_SET_PDEATHSIG, encoding/programrun.cpp). On Windows the program
// puts itself into a job object that ends every process in it once its last
// handle is closed, which the system does when the program ends; whatever
// the program starts from then on is in the job too, and so is whatever
// those start (the encoder adapter's FFmpeg).

#ifdef _WIN32
#include <string>
#endif

namespace vantrel::platform {

#ifdef _WIN32

// Puts the running program into such a job. Call it once in main(),
// before anything is started; a program with windows also calls
// OpenWebLinksOutsideOurJob (platform/weblinks.h). False when the system
// refuses: the program runs on, and its children may outlive it.
bool EndChildProcessesWithUs();

// Starts `commandLine` outside the job, so that it lives on after the
// program; its process id, 0 when it could not be started.
unsigned long StartOutsideOurJob(const std::wstring &commandLine);

#else

inline bool EndChildProcessesWithUs()
{
    return true;
}

#endif

} // namespace vantrel::platform
