// The encoder adapter's platform functions with a real child process: the
// arguments arrive exactly, the two output streams stay apart, exit codes and
// start failures come back, FFmpeg is looked for in the right places, and
// (Windows) the child does not outlive the adapter.

#include "platform/appfolder.h"
#include "tools/mencoder/platform.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#endif

namespace fs = std::filesystem;
using namespace vantrel::mencoder;
using Lines = std::vector<std::string>;

namespace {

#ifdef _WIN32
const std::string kExe = ".exe";
#else
const std::string kExe = "";
#endif

// UTF-8 text as a path and back, the same on every system.
fs::path PathOf(const std::string &utf8)
{
    return fs::path(std::u8string(utf8.begin(), utf8.end()));
}
std::string Utf8Of(const fs::path &path)
{
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

const std::string &Probe()
{
    static const std::string path = vantrel::platform::ApplicationFolder()
                                    + vantrel::platform::kPathSeparator + "childprobe" + kExe;
    return path;
}

Lines SplitLines(const std::string &text)
{
    Lines lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

struct ProbeRun
{
    platform::ChildResult result;
    std::string out;
    std::string err;
};

ProbeRun RunProbe(const std::string &program, const std::vector<std::string> &args)
{
    ProbeRun run;
    run.result = platform::RunChild(
        program, args, [&](std::string_view chunk) { run.out += chunk; },
        [&](std::string_view chunk) { run.err += chunk; });
    return run;
}

#ifdef _WIN32
std::wstring GetPath()
{
    std::wstring value(32767, L'\0');
    value.resize(GetEnvironmentVariableW(L"PATH", value.data(), DWORD(value.size())));
    return value;
}
void SetPath(const std::wstring &value)
{
    SetEnvironmentVariableW(L"PATH", value.c_str());
}
#else
std::string GetPath()
{
    const char *value = std::getenv("PATH");
    return value ? value : "";
}
void SetPath(const std::string &value)
{
    setenv("PATH", value.c_str(), 1);
}
#endif

class ChildPlatform : public ::testing::Test
{
protected:
    void SetUp() override
    {
        std::random_device seed;
        do {
            m_dir = fs::temp_directory_path() / ("vantrel-platform-" + std::to_string(seed()));
        } while (!fs::create_directory(m_dir));
    }
    void TearDown() override
    {
        std::error_code ignored;
        fs::remove_all(m_dir, ignored);
    }
    fs::path m_dir;
};

} // namespace

TEST_F(ChildPlatform, ArgumentsArriveExactly)
{
    const std::vector<std::string> args = {"plain",
                                           "with space",
                                           "",
                                           "C:\\Program Files\\",
                                           "quote\"inside",
                                           "back\\\\\"slash",
                                           "tab\there",
                                           "-vf-add",
                                           "scale=320:240",
                                           "\xC3\xA9t\xC3\xA9 \xE2\x82\xAC"};
    std::vector<std::string> withMode = {"args"};
    withMode.insert(withMode.end(), args.begin(), args.end());
    const ProbeRun run = RunProbe(Probe(), withMode);
    ASSERT_TRUE(run.result.started) << run.result.startError;
    EXPECT_TRUE(run.result.exited);
    EXPECT_EQ(run.result.exitCode, 0);
    EXPECT_EQ(SplitLines(run.out), args);
    EXPECT_EQ(run.err, "");
}

TEST_F(ChildPlatform, StreamsStayApartAndTheExitCodeComesBack)
{
    const ProbeRun run = RunProbe(Probe(), {"streams", "to stdout", "to stderr", "7"});
    ASSERT_TRUE(run.result.started) << run.result.startError;
    EXPECT_TRUE(run.result.exited);
    EXPECT_EQ(run.result.exitCode, 7);
    EXPECT_FALSE(run.result.stoppedByUs);
    EXPECT_EQ(run.out, "to stdout");
    EXPECT_EQ(run.err, "to stderr");
}

TEST_F(ChildPlatform, AMissingProgramIsAStartFailure)
{
    const ProbeRun run = RunProbe(Utf8Of(m_dir / ("absent" + kExe)), {"args"});
    EXPECT_FALSE(run.result.started);
    EXPECT_FALSE(run.result.startError.empty());
    EXPECT_EQ(run.out, "");
}

TEST_F(ChildPlatform, ProgramInAFolderWithSpacesAndAccents)
{
    // The application folder as the program itself sees it, UTF-8 without a
    // trailing separator, from a folder that needs both quoting and Unicode.
    const fs::path folder = m_dir / PathOf("dossier \xC3\xA9t\xC3\xA9 \xE2\x82\xAC");
    fs::create_directory(folder);
    const fs::path copy = folder / ("childprobe" + kExe);
    fs::copy_file(PathOf(Probe()), copy);

    const ProbeRun run = RunProbe(Utf8Of(copy), {"app-folder"});
    ASSERT_TRUE(run.result.started) << run.result.startError;
    const Lines lines = SplitLines(run.out);
    ASSERT_EQ(lines.size(), 1u) << run.out;
    const std::string &reported = lines[0];
    EXPECT_NE(reported.back(), vantrel::platform::kPathSeparator);
#ifdef _WIN32
    EXPECT_EQ(reported.find('/'), std::string::npos) << reported;
#endif
    EXPECT_TRUE(fs::equivalent(PathOf(reported), folder)) << reported;
}

TEST_F(ChildPlatform, FfmpegIsFoundInTheFirstFolderThenOnThePath)
{
    const fs::path first = m_dir / "first";
    const fs::path onPath = m_dir / PathOf("on path \xC3\xA9");
    fs::create_directories(first);
    fs::create_directories(onPath);
    const std::string name = "ffmpeg" + kExe;
    for (const fs::path &folder : {first, onPath}) {
        std::ofstream(folder / name) << "stand-in";
        fs::permissions(folder / name, fs::perms::owner_all);
    }
    const auto savedPath = GetPath();
#ifdef _WIN32
    SetPath((m_dir / "nothing").wstring() + L";" + onPath.wstring());
#else
    SetPath((m_dir / "nothing").string() + ":" + onPath.string());
#endif

    const std::string inFirst = platform::FindProgram(name, Utf8Of(first));
    const std::string viaPath = platform::FindProgram(name, Utf8Of(m_dir / "empty"));
    const std::string missing = platform::FindProgram("absent" + kExe, Utf8Of(first));
    SetPath(savedPath);

    EXPECT_TRUE(fs::equivalent(PathOf(inFirst), first / name)) << inFirst;
    // A folder with non-ASCII letters in PATH (read through the wide API on Windows).
    EXPECT_TRUE(fs::equivalent(PathOf(viaPath), onPath / name)) << viaPath;
    EXPECT_EQ(missing, "");
}

#ifdef _WIN32
// The child of the adapter dies when the adapter is killed outright, by the
// job object it was started in.
TEST_F(ChildPlatform, TheChildDiesWithTheAdapter)
{
    const fs::path pidFile = m_dir / "sleeper.pid";
    std::wstring line =
        L"\"" + PathOf(Probe()).wstring() + L"\" run-sleeper \"" + pidFile.wstring() + L"\"";
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION middle = {};
    ASSERT_TRUE(CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW,
                               nullptr, nullptr, &startup, &middle));
    CloseHandle(middle.hThread);

    DWORD sleeperId = 0;
    for (int i = 0; i < 200 && sleeperId == 0; ++i) {
        std::ifstream in(pidFile);
        std::string text;
        if (std::getline(in, text) && !in.eof())
            sleeperId = DWORD(std::stoul(text));
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ASSERT_NE(sleeperId, 0u) << "the sleeper did not start";
    HANDLE sleeper = OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, sleeperId);
    ASSERT_NE(sleeper, nullptr);

    TerminateProcess(middle.hProcess, 9);
    WaitForSingleObject(middle.hProcess, 5000);
    CloseHandle(middle.hProcess);
    const DWORD waited = WaitForSingleObject(sleeper, 5000);
    if (waited != WAIT_OBJECT_0)
        TerminateProcess(sleeper, 1);
    CloseHandle(sleeper);
    EXPECT_EQ(waited, WAIT_OBJECT_0) << "the child outlived the adapter";
}
#endif
