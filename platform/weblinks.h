#pragma once

// Web links of the windows (About, the upload page) open in a browser that
// must not end with the program: on Windows the program's job
// (platform/childprocesses.h) would take a browser we start with it.

namespace vantrel::platform {

#ifdef _WIN32

// Has Qt open http, https and mailto addresses through a process started
// outside the job. Call once, after the application object is made.
void OpenWebLinksOutsideOurJob();

#else

inline void OpenWebLinksOutsideOurJob()
{}

#endif

} // namespace vantrel::platform
