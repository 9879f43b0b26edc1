// A small program for the platform tests to start as a child: it reports what
// it was given and where it lies, and behaves as asked.
//
//   childprobe args A B ...          each argument on a line of its own
//   childprobe streams OUT ERR CODE  OUT on standard output, ERR on standard
//                                    error, exit code CODE
//   childprobe app-folder            the application folder
//   childprobe sleep                 its process id, then sleeps for a minute
//   childprobe run-sleeper FILE      runs `childprobe sleep` through
//                                    RunChild and writes the sleeper's id to FILE

#include "platform/appfolder.h"
#include "tools/mencoder/platform.h"
#ifdef _WIN32
#include "platform/widetext.h"

#include <windows.h>
#else
#include <unistd.h>
#endif

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace {

long ProcessId()
{
#ifdef _WIN32
    return long(GetCurrentProcessId());
#else
    return long(getpid());
#endif
}

std::string OwnPath()
{
    return vantrel::platform::ApplicationFolder() + vantrel::platform::kPathSeparator
#ifdef _WIN32
           + "childprobe.exe";
#else
           + "childprobe";
#endif
}

} // namespace

int main(int argc, char **argv)
{
#ifdef _WIN32
    (void)argc;
    (void)argv;
    const std::vector<std::string> args = vantrel::platform::CommandLineArguments();
#else
    const std::vector<std::string> args(argv + 1, argv + argc);
#endif
    const std::string mode = args.empty() ? "" : args[0];
    if (mode == "args") {
        for (std::size_t i = 1; i < args.size(); ++i)
            std::printf("%s\n", args[i].c_str());
        return 0;
    }
    if (mode == "streams" && args.size() == 4) {
        std::fputs(args[1].c_str(), stdout);
        std::fflush(stdout);
        std::fputs(args[2].c_str(), stderr);
        return std::atoi(args[3].c_str());
    }
    if (mode == "app-folder") {
        std::printf("%s\n", vantrel::platform::ApplicationFolder().c_str());
        return 0;
    }
    if (mode == "sleep") {
        std::printf("%ld\n", ProcessId());
        std::fflush(stdout);
        std::this_thread::sleep_for(std::chrono::minutes(1));
        return 0;
    }
    if (mode == "run-sleeper" && args.size() == 2) {
        vantrel::mencoder::platform::InstallStopHandlers();
        std::string pid;
        auto result =
            vantrel::mencoder::platform::RunChild(OwnPath(), {"sleep"},
                                                  [&](std::string_view chunk) {
                                                      pid += chunk;
                                                      if (pid.find('\n') != std::string::npos)
                                                          std::ofstream(args[1]) << pid;
                                                  },
                                                  {});
        return result.started ? 0 : 1;
    }
    std::fprintf(stderr, "childprobe: UNKNOWN MODE!\n");
    return 2;
}
