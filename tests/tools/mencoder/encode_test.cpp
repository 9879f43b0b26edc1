// The mencoder program at work: real encodes of short generated clips, checked
// with ffprobe, and the ways a run can fail or be stopped.

#include "encoderline.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace fs = std::filesystem;
using Args = std::vector<std::string>;
using Lines = std::vector<std::string>;

namespace {

struct Outcome
{
    int exitCode = -1; // -1 when ended by a signal
    int signal = 0;
    std::string out;
    std::string err;
    double seconds = 0;

    Lines outLines() const { return split(out); }
    Lines errLines() const { return split(err); }

    static Lines split(const std::string &text)
    {
        Lines lines;
        std::istringstream in(text);
        for (std::string line; std::getline(in, line);)
            lines.push_back(line);
        return lines;
    }
};

// Called with the child's pid and its standard output so far.
using OnOutput = std::function<void(pid_t, const std::string &)>;

// Runs a program without a shell (found on PATH when given without a folder),
// PATH replaced when `path` is set. Killed after two minutes.
Outcome runProgram(const std::string &program, const Args &args,
                   const std::optional<std::string> &path = std::nullopt,
                   const OnOutput &onOutput = {})
{
    Outcome run;
    int out[2], err[2];
    if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) {
        ADD_FAILURE() << "pipe failed";
        return run;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_adddup2(&actions, err[1], 2);

    std::vector<std::string> env;
    for (char **e = environ; *e; ++e) {
        if (!path || std::string(*e).rfind("PATH=", 0) != 0)
            env.emplace_back(*e);
    }
    if (path)
        env.push_back("PATH=" + *path);
    std::vector<char *> envp, argv;
    for (auto &e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    Args all = {program};
    all.insert(all.end(), args.begin(), args.end());
    for (auto &a : all)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    auto start = std::chrono::steady_clock::now();
    pid_t pid = 0;
    int spawned = posix_spawnp(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    close(err[1]);
    if (spawned != 0) {
        close(out[0]);
        close(err[0]);
        ADD_FAILURE() << "cannot start " << program;
        return run;
    }
    const auto deadline = start + std::chrono::minutes(2);
    int fds[2] = {out[0], err[0]};
    std::string *sinks[2] = {&run.out, &run.err};
    while (fds[0] >= 0 || fds[1] >= 0) {
        pollfd p[2] = {{fds[0], POLLIN, 0}, {fds[1], POLLIN, 0}};
        if (poll(p, 2, 200) < 0 && errno != EINTR)
            break;
        if (std::chrono::steady_clock::now() > deadline) {
            ADD_FAILURE() << program << " did not end in time";
            kill(pid, SIGKILL);
        }
        for (int i = 0; i < 2; ++i) {
            if (fds[i] < 0 || !p[i].revents)
                continue;
            char buffer[4096];
            ssize_t n = read(fds[i], buffer, sizeof buffer);
            if (n > 0) {
                sinks[i]->append(buffer, static_cast<std::size_t>(n));
                if (i == 0 && onOutput)
                    onOutput(pid, run.out);
            } else if (n == 0 || errno != EINTR) {
                close(fds[i]);
                fds[i] = -1;
            }
        }
    }
    int status = 0;
    waitpid(pid, &status, 0);
    run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (WIFEXITED(status))
        run.exitCode = WEXITSTATUS(status);
    else if (WIFSIGNALED(status))
        run.signal = WTERMSIG(status);
    return run;
}

// Processes (other than zombies) whose command line holds `text`.
std::vector<pid_t> processesMentioning(const std::string &text)
{
    std::vector<pid_t> found;
    for (const auto &entry : fs::directory_iterator("/proc")) {
        const std::string name = entry.path().filename();
        if (name.find_first_not_of("0123456789") != std::string::npos)
            continue;
        std::ifstream in(entry.path() / "cmdline", std::ios::binary);
        std::string cmdline((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (cmdline.find(text) != std::string::npos && std::stoi(name) != getpid())
            found.push_back(std::stoi(name));
    }
    return found;
}

bool waitUntil(const std::function<bool()> &done, std::chrono::milliseconds limit)
{
    auto end = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
}

bool waitUntilGone(const std::string &text, std::chrono::milliseconds limit)
{
    return waitUntil([&] { return processesMentioning(text).empty(); }, limit);
}

std::string contentOf(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Where the movie header of an MP4 file begins, and its size.
std::pair<std::uint64_t, std::uint64_t> moovBox(const std::string &path)
{
    const std::string data = contentOf(path);
    std::uint64_t at = 0;
    while (at + 8 <= data.size()) {
        std::uint64_t size = 0;
        for (int i = 0; i < 4; ++i)
            size = size << 8 | static_cast<unsigned char>(data[at + i]);
        if (data.compare(at + 4, 4, "moov") == 0)
            return {at, size};
        if (size < 8)
            break;
        at += size;
    }
    return {0, 0};
}

const std::string kMencoder = MENCODER_EXE;

using Stream = std::map<std::string, std::string>;

// ffprobe's view of each stream of a file.
std::vector<Stream> probe(const std::string &file)
{
    Outcome run = runProgram("ffprobe", {"-v", "error", "-show_entries",
                                         // NOLINTNEXTLINE(bugprone-suspicious-missing-comma)
                                         "stream=codec_type,codec_name,profile,level,width,height,"
                                         "avg_frame_rate,sample_rate,channels,pix_fmt,duration,"
                                         "display_aspect_ratio",
                                         "-of", "compact", file});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    std::vector<Stream> streams;
    for (const auto &line : run.outLines()) {
        Stream stream;
        std::istringstream fields(line);
        for (std::string field; std::getline(fields, field, '|');) {
            auto eq = field.find('=');
            if (eq != std::string::npos)
                stream[field.substr(0, eq)] = field.substr(eq + 1);
        }
        streams.push_back(stream);
    }
    return streams;
}

// The entropy_coding_mode_flag values of the H.264 picture parameter sets.
Lines entropyCodingFlags(const std::string &file)
{
    Outcome run =
        runProgram("ffmpeg", {"-hide_banner", "-nostdin", "-i", file, "-map", "0:v:0", "-c", "copy",
                              "-bsf:v", "trace_headers", "-f", "null", "-"});
    EXPECT_EQ(run.exitCode, 0);
    Lines flags;
    for (const auto &line : run.errLines()) {
        if (line.find("entropy_coding_mode_flag") != std::string::npos)
            flags.push_back(line.substr(line.rfind('=') + 2));
    }
    return flags;
}

// The mean brightness (0 to 255) of each frame of a file's video.
std::vector<int> frameBrightness(const std::string &file)
{
    Outcome run =
        runProgram("ffmpeg", {"-v", "error", "-nostdin", "-i", file, "-vf",
                              "scale=1:1:flags=area,format=gray", "-f", "rawvideo", "pipe:1"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    std::vector<int> values;
    for (char c : run.out)
        values.push_back(static_cast<unsigned char>(c));
    return values;
}

// The pixels of one row of one frame that are neither dark nor bright: a
// moving edge of two fields scaled together blurs into such a grey band.
int greyPixelsInRow(const std::string &file, int frame, int row)
{
    Outcome run = runProgram("ffmpeg", {"-v", "error", "-nostdin", "-i", file, "-vf",
                                        "select=eq(n\\," + std::to_string(frame)
                                            + "),format=gray,crop=iw:1:0:" + std::to_string(row),
                                        "-frames:v", "1", "-f", "rawvideo", "pipe:1"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_FALSE(run.out.empty());
    return static_cast<int>(std::count_if(run.out.begin(), run.out.end(), [](char c) {
        const int value = static_cast<unsigned char>(c);
        return value > 48 && value < 208;
    }));
}

double seconds(const std::string &text)
{
    return text.empty() || text == "N/A" ? -1 : std::stod(text);
}

class MencoderRun : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        if (runProgram("ffmpeg", {"-hide_banner", "-version"}).exitCode != 0)
            return;
        char pattern[] = "/tmp/mencoder-test-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        s_dir = pattern;
        const Args h264 = {"-c:v", "libx264", "-preset", "ultrafast", "-pix_fmt", "yuv420p"};
        auto join = [](std::initializer_list<Args> parts) {
            Args all;
            for (const auto &p : parts)
                all.insert(all.end(), p.begin(), p.end());
            return all;
        };
        // 2.5 s with sound, index at the end.
        make(join({lavfi("testsrc=size=160x120:rate=30:duration=2.5"),
                   lavfi("sine=frequency=440:sample_rate=44100:duration=2.5"),
                   h264,
                   {"-c:a", "aac", file("clip.mp4")}}));
        make({"-i", file("clip.mp4"), "-c", "copy", "-movflags", "+faststart",
              file("indexfirst.mp4")});
        make(join({lavfi("testsrc=size=160x120:rate=25:duration=20"),
                   lavfi("sine=duration=20"),
                   h264,
                   {"-c:a", "aac", file("long.mp4")}}));
        make(join({lavfi("testsrc=size=160x120:rate=25:duration=2"), h264, {file("silent.mp4")}}));
        make(join({lavfi("sine=duration=1"), {"-c:a", "aac", file("tone.m4a")}}));
        truncate(file("clip.mp4"), file("damaged.mp4"));
        truncate(file("indexfirst.mp4"), file("cutoff.mp4"));
        make({"-i", file("clip.mp4"), "-c", "copy", file("clip.mkv")});
        truncate(file("clip.mkv"), file("cutoff.mkv"));
        std::ofstream(file("notes.avi")) << "This is a text file, not a video.\n";
        for (const char *picture : {"still.png", "still.jpg", "still.gif"})
            make(join({lavfi("testsrc=size=160x120"), {"-frames:v", "1", file(picture)}}));
    }

    // A file made by FFmpeg with these arguments.
    static void make(const Args &args)
    {
        Args all = {"-hide_banner", "-loglevel", "error", "-nostdin", "-y"};
        all.insert(all.end(), args.begin(), args.end());
        Outcome run = runProgram("ffmpeg", all);
        ASSERT_EQ(run.exitCode, 0) << run.err;
    }

    static Args lavfi(const std::string &source) { return {"-f", "lavfi", "-i", source}; }

    static void TearDownTestSuite()
    {
        if (!s_dir.empty())
            fs::remove_all(s_dir);
    }

    void SetUp() override
    {
        if (s_dir.empty())
            GTEST_SKIP() << "ffmpeg is not installed";
    }

    static std::string file(const std::string &name) { return s_dir + "/" + name; }

    // The first half of a file.
    static void truncate(const std::string &from, const std::string &to)
    {
        std::ifstream in(from, std::ios::binary);
        std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        std::ofstream(to, std::ios::binary) << data.substr(0, data.size() / 2);
    }

    // Starts a long encode, and once it reports progress hands its pid to `act`.
    static Outcome longEncodeWith(const std::string &output, const std::function<void(pid_t)> &act)
    {
        bool acted = false;
        return runProgram(kMencoder,
                          encoderLine(file("long.mp4"), output, "48", "16000", "468", "1024:768"),
                          std::nullopt, [&](pid_t pid, const std::string &out) {
                              if (!acted && out.find("Pos: ") != std::string::npos) {
                                  acted = true;
                                  act(pid);
                              }
                          });
    }

    static inline std::string s_dir;
};

void expectProgressLinesUpToHundred(const Outcome &run)
{
    const std::regex format(R"(Pos: \d+\.\ds \d+f \((\d+)%\))");
    Lines lines = run.outLines();
    ASSERT_FALSE(lines.empty());
    int previous = 0;
    for (const auto &line : lines) {
        std::smatch match;
        ASSERT_TRUE(std::regex_match(line, match, format)) << line;
        int percent = std::stoi(match[1]);
        EXPECT_GE(percent, previous) << line;
        previous = percent;
    }
    EXPECT_EQ(previous, 100) << lines.back();
    EXPECT_LE(lines.size(), static_cast<std::size_t>(run.seconds * 4) + 2);
}

} // namespace

TEST_F(MencoderRun, DefaultLineMakesH264AndAacLowComplexity)
{
    const std::string output = file("default.mp4.temp");
    Outcome run = runProgram(kMencoder, encoderLine(file("clip.mp4"), output));
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.err, "");
    expectProgressLinesUpToHundred(run);

    auto streams = probe(output);
    ASSERT_EQ(streams.size(), 2u);
    EXPECT_EQ(streams[0]["codec_name"], "h264");
    EXPECT_EQ(streams[0]["level"], "13");
    EXPECT_EQ(streams[0]["width"], "320");
    EXPECT_EQ(streams[0]["height"], "240");
    EXPECT_EQ(streams[0]["avg_frame_rate"], "25/1");
    EXPECT_EQ(streams[0]["pix_fmt"], "yuv420p");
    EXPECT_EQ(streams[1]["codec_name"], "aac");
    EXPECT_EQ(streams[1]["profile"], "LC");
    EXPECT_EQ(streams[1]["sample_rate"], "16000");
    EXPECT_EQ(streams[1]["channels"], "2");
    EXPECT_EQ(entropyCodingFlags(output), Lines{"0"}); // CAVLC, no CABAC
}

TEST_F(MencoderRun, LargestChoices)
{
    const std::string output = file("largest.mp4.temp");
    Outcome run = runProgram(
        kMencoder, encoderLine(file("clip.mp4"), output, "196", "48000", "2400", "1024:768"));
    ASSERT_EQ(run.exitCode, 0) << run.err;
    expectProgressLinesUpToHundred(run);
    auto streams = probe(output);
    ASSERT_EQ(streams.size(), 2u);
    EXPECT_EQ(streams[0]["codec_name"], "h264");
    EXPECT_EQ(streams[0]["level"], "13");
    EXPECT_EQ(streams[0]["width"], "1024");
    EXPECT_EQ(streams[0]["height"], "768");
    EXPECT_EQ(streams[0]["avg_frame_rate"], "25/1");
    EXPECT_EQ(streams[1]["profile"], "LC");
    EXPECT_EQ(streams[1]["sample_rate"], "48000");
    EXPECT_EQ(streams[1]["channels"], "2");
    EXPECT_EQ(entropyCodingFlags(output), Lines{"0"});
}

TEST_F(MencoderRun, SourceWithoutSoundGivesVideoOnly)
{
    const std::string output = file("silent.mp4.temp");
    Outcome run = runProgram(kMencoder, encoderLine(file("silent.mp4"), output));
    ASSERT_EQ(run.exitCode, 0) << run.err;
    auto streams = probe(output);
    ASSERT_EQ(streams.size(), 1u);
    EXPECT_EQ(streams[0]["codec_type"], "video");
}

TEST_F(MencoderRun, FailuresSayWhyAndLeaveNoOutput)
{
    struct Case
    {
        std::string name;
        Args args;
        std::string message;
        int exitCode;
        bool outputExistedBefore = false;
    };
    const std::string out = file("failed.mp4.temp");
    auto line = [&](const std::string &source) {
        return encoderLine(source, out);
    };
    auto replaced = [](Args args, const std::string &from, const std::string &to) {
        std::replace(args.begin(), args.end(), from, to);
        return args;
    };
    const std::vector<Case> cases = {
        {"missing source", line(file("absent.avi")),
         "THE SOURCE FILE \"" + file("absent.avi") + "\" DOES NOT EXIST!", 1},
        {"folder as source", line(s_dir), "THE SOURCE FILE \"" + s_dir + "\" IS NOT A FILE!", 1},
        {"text file named .avi", line(file("notes.avi")),
         "CANNOT READ THE SOURCE FILE \"" + file("notes.avi")
             + "\": INVALID DATA FOUND WHEN PROCESSING INPUT!",
         1, true},
        {"damaged video", line(file("damaged.mp4")),
         "CANNOT READ THE SOURCE FILE \"" + file("damaged.mp4")
             + "\": INVALID DATA FOUND WHEN PROCESSING INPUT!",
         1, true},
        {"cut-off video", line(file("cutoff.mp4")),
         "THE SOURCE FILE \"" + file("cutoff.mp4") + "\" IS DAMAGED: IT ENDS AFTER ", 1, true},
        {"cut-off Matroska video", line(file("cutoff.mkv")),
         "THE SOURCE FILE \"" + file("cutoff.mkv") + "\" IS DAMAGED: IT ENDS AFTER ", 1, true},
        {"PNG picture", line(file("still.png")),
         "THE SOURCE FILE \"" + file("still.png") + "\" IS A STILL PICTURE, NOT A VIDEO!", 9, true},
        {"JPEG picture", line(file("still.jpg")),
         "THE SOURCE FILE \"" + file("still.jpg") + "\" IS A STILL PICTURE, NOT A VIDEO!", 9},
        {"GIF of one frame", line(file("still.gif")),
         "THE SOURCE FILE \"" + file("still.gif") + "\" IS A STILL PICTURE, NOT A VIDEO!", 9},
        {"sound only", line(file("tone.m4a")),
         "THE SOURCE FILE \"" + file("tone.m4a") + "\" HAS NO VIDEO STREAM!", 1, true},
        {"unknown option", replaced(line(file("clip.mp4")), "-sws", "-swsx"),
         "UNKNOWN OPTION \"-swsx\"!", 2},
        {"bad value", replaced(line(file("clip.mp4")), "scale=320:240", "scale=abc"),
         "BAD VALUE \"scale=abc\" FOR OPTION \"-vf-add\"!", 2},
        {"output folder missing", encoderLine(file("clip.mp4"), file("nowhere/x.mp4.temp")),
         "CANNOT WRITE THE OUTPUT FILE \"" + file("nowhere/x.mp4.temp")
             + "\": NO SUCH FILE OR DIRECTORY!",
         7},
        {"output is the source", encoderLine(file("clip.mp4"), s_dir + "/./clip.mp4"),
         "THE OUTPUT FILE \"" + s_dir + "/./clip.mp4\" IS THE SOURCE FILE!", 2},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        if (c.outputExistedBefore)
            std::ofstream(out) << "from an earlier run";
        Outcome run = runProgram(kMencoder, c.args);
        EXPECT_EQ(run.exitCode, c.exitCode);
        Lines err = run.errLines();
        ASSERT_EQ(err.size(), 1u) << run.err;
        EXPECT_EQ(err[0].rfind("mencoder: " + c.message, 0), 0u) << err[0];
        EXPECT_EQ(err[0].back(), '!');
        EXPECT_FALSE(fs::exists(out));
        EXPECT_FALSE(fs::exists(file("nowhere")));
    }
    EXPECT_TRUE(fs::exists(file("clip.mp4")));
}

TEST_F(MencoderRun, FfmpegIsLookedForNextToMencoderFirstThenOnPath)
{
    const std::string alone = file("alone");
    const std::string empty = file("empty");
    fs::create_directories(alone);
    fs::create_directories(empty);
    fs::copy_file(kMencoder, alone + "/mencoder", fs::copy_options::overwrite_existing);
    const std::string output = file("lookup.mp4.temp");

    Outcome missing = runProgram(alone + "/mencoder", encoderLine(file("clip.mp4"), output), empty);
    EXPECT_EQ(missing.exitCode, 8);
    EXPECT_EQ(missing.err,
              "mencoder: FFMPEG WAS NOT FOUND, NEITHER NEXT TO MENCODER NOR ON THE PATH!\n");
    EXPECT_FALSE(fs::exists(output));

    // A stand-in next to mencoder wins over the real one on PATH.
    {
        std::ofstream script(alone + "/ffmpeg");
        script << "#!/bin/sh\necho \"$@\" > \"$(dirname \"$0\")/called\"\nexit 3\n";
    }
    fs::permissions(alone + "/ffmpeg", fs::perms::owner_all);
    Outcome standIn = runProgram(alone + "/mencoder", encoderLine(file("clip.mp4"), output));
    EXPECT_EQ(standIn.exitCode, 1);
    EXPECT_EQ(standIn.err, "mencoder: FFMPEG FAILED WITH EXIT CODE 3!\n");
    EXPECT_TRUE(fs::exists(alone + "/called"));
    EXPECT_FALSE(fs::exists(output));
}

TEST_F(MencoderRun, StopRequestStopsFfmpegAndRemovesOutput)
{
    for (int sig : {SIGTERM, SIGINT, SIGHUP}) {
        SCOPED_TRACE(sig);
        const std::string output = file("stopped.mp4.temp");
        Outcome run = longEncodeWith(output, [&](pid_t pid) { kill(pid, sig); });
        EXPECT_EQ(run.exitCode, 3);
        EXPECT_EQ(run.err, "mencoder: ENCODING STOPPED BY SIGNAL " + std::to_string(sig) + "!\n");
        EXPECT_FALSE(fs::exists(output));
        EXPECT_TRUE(processesMentioning("file:" + output).empty());
    }
}

TEST_F(MencoderRun, KilledFfmpegFailsTheRun)
{
    const std::string output = file("ffmpegkilled.mp4.temp");
    Outcome run = longEncodeWith(output, [&](pid_t) {
        for (pid_t ffmpeg : processesMentioning("file:" + output))
            kill(ffmpeg, SIGKILL);
    });
    EXPECT_EQ(run.exitCode, 8);
    EXPECT_EQ(run.err, "mencoder: FFMPEG WAS KILLED BY SIGNAL 9!\n");
    EXPECT_FALSE(fs::exists(output));
}

TEST_F(MencoderRun, FfmpegDoesNotOutliveAKilledMencoder)
{
    const std::string output = file("orphan.mp4.temp");
    Outcome run = longEncodeWith(output, [&](pid_t pid) {
        ASSERT_FALSE(processesMentioning("file:" + output).empty());
        kill(pid, SIGKILL);
    });
    EXPECT_EQ(run.signal, SIGKILL);
    EXPECT_TRUE(waitUntilGone("file:" + output, std::chrono::seconds(10)));
    // Nor does its output: the guard it left removes it.
    EXPECT_TRUE(waitUntil([&] { return !fs::exists(output); }, std::chrono::seconds(10)));
}

TEST_F(MencoderRun, OnlyARegularFileAtTheOutputNameIsReplaced)
{
    const std::string out = file("special.mp4.temp");
    const std::string precious = file("precious.txt");
    std::ofstream(precious) << "precious";
    struct Case
    {
        std::string name;
        std::function<void()> make;
        std::string reason;
    };
    const std::vector<Case> cases = {
        {"link to a file", [&] { fs::create_symlink(precious, out); }, "IT IS A SYMBOLIC LINK"},
        {"link to nowhere", [&] { fs::create_symlink(file("through-link"), out); },
         "IT IS A SYMBOLIC LINK"},
        {"named pipe", [&] { ASSERT_EQ(mkfifo(out.c_str(), 0600), 0); },
         "IT IS NOT A REGULAR FILE"},
        {"folder", [&] { fs::create_directory(out); }, "IT IS NOT A REGULAR FILE"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        c.make();
        Outcome run = runProgram(kMencoder, encoderLine(file("clip.mp4"), out));
        EXPECT_EQ(run.exitCode, 7);
        EXPECT_EQ(run.err,
                  "mencoder: CANNOT WRITE THE OUTPUT FILE \"" + out + "\": " + c.reason + "!\n");
        EXPECT_TRUE(fs::exists(fs::symlink_status(out))); // not ours to remove
        EXPECT_FALSE(fs::exists(file("through-link")));
        fs::remove(out);
    }
    EXPECT_EQ(contentOf(precious), "precious");

    // A leftover of an earlier run is replaced, but a second name of it keeps
    // its content.
    fs::create_hard_link(precious, out);
    Outcome run = runProgram(kMencoder, encoderLine(file("clip.mp4"), out));
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(contentOf(precious), "precious");
    EXPECT_EQ(probe(out).size(), 2u);
}

TEST_F(MencoderRun, FileSizeLimitFailsTheRunEvenInTheIndexAtTheEnd)
{
    const std::string out = file("limited.mp4.temp");
    const Args line = encoderLine(file("long.mp4"), out);
    Outcome whole = runProgram(kMencoder, line);
    ASSERT_EQ(whole.exitCode, 0) << whole.err;
    const auto [moovAt, moovSize] = moovBox(out);
    ASSERT_GT(moovSize, 0u);
    fs::remove(out);

    auto limited = [&](std::uint64_t bytes, bool signalIgnored) {
        // With the signal ignored, a write past the limit fails instead of
        // killing FFmpeg; the index at the end is then lost, and FFmpeg says
        // so but exits with 0.
        Args args = {"-c",
                     std::string(signalIgnored ? "trap '' XFSZ; " : "")
                         + "exec prlimit --fsize=" + std::to_string(bytes) + " \"$0\" \"$@\"",
                     kMencoder};
        args.insert(args.end(), line.begin(), line.end());
        return runProgram("sh", args);
    };
    const std::pair<std::string, Outcome> runs[] = {
        {"killed by the limit", limited(100000, false)},
        {"write refused while encoding", limited(100000, true)},
        {"write of the index refused", limited(moovAt + moovSize / 2, true)},
    };
    for (const auto &[name, run] : runs) {
        SCOPED_TRACE(name);
        EXPECT_EQ(run.exitCode, 6);
        EXPECT_EQ(run.err,
                  "mencoder: CANNOT WRITE THE OUTPUT FILE \"" + out + "\": FILE TOO LARGE!\n");
        EXPECT_FALSE(fs::exists(out));
    }
}

TEST_F(MencoderRun, FullOrReadOnlyFileSystemSaysWhy)
{
    struct Case
    {
        std::string name;
        unsigned long flags;
        int exitCode;
        std::string reason;
    };
    const Case cases[] = {
        {"full", 0, 4, "NO SPACE LEFT ON DEVICE"},
        {"read-only", MS_RDONLY, 5, "READ-ONLY FILE SYSTEM"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const std::string mountPoint = file("fs-" + c.name);
        fs::create_directories(mountPoint);
        if (mount("tmpfs", mountPoint.c_str(), "tmpfs", c.flags, "size=64k") != 0)
            GTEST_SKIP() << "a small file system of its own needs the right to mount one "
                            "(root): "
                         << std::strerror(errno);
        const std::string out = mountPoint + "/v.mp4.temp";
        Outcome run = runProgram(kMencoder, encoderLine(file("long.mp4"), out));
        EXPECT_EQ(run.exitCode, c.exitCode);
        EXPECT_EQ(run.err,
                  "mencoder: CANNOT WRITE THE OUTPUT FILE \"" + out + "\": " + c.reason + "!\n");
        EXPECT_FALSE(fs::exists(out));
        umount2(mountPoint.c_str(), MNT_DETACH);
    }
}

TEST_F(MencoderRun, VideoLastsAsLongAsTheSourcesAndEndsOnItsLastFrame)
{
    // Dark frames, then a bright last one.
    auto frames = [](const std::string &size, const std::string &rate, const std::string &length,
                     int last) {
        return lavfi("nullsrc=s=" + size + ":r=" + rate + ":d=" + length + ",geq=lum='if(gte(N,"
                     + std::to_string(last) + "),235,16)':cb=128:cr=128");
    };
    struct Case
    {
        std::string name;
        Args make;
        double seconds;   // of the source's video
        double lastFrame; // how long the source shows its last frame
        bool sound = false;
    };
    // Two frames a second apart; ASF has no packet lengths at all.
    auto slow = [&](const std::string &size, const Args &codec, const std::string &name) {
        Args args = frames(size, "1", "2", 1);
        args.insert(args.end(), codec.begin(), codec.end());
        args.push_back(file(name));
        return args;
    };
    const std::string held = file("held.mov");
    std::vector<Case> cases = {
        {"WMV", slow("84x33", {"-c:v", "msmpeg4", "-f", "asf"}, "slow.wmv"), 2, 1},
        {"AVI", slow("84x34", {"-c:v", "mpeg4"}, "slow.avi"), 2, 1},
        {"FLV", slow("84x34", {"-c:v", "flv1"}, "slow.flv"), 2, 1},
        {"MOV", slow("84x34", {"-c:v", "mpeg4"}, "slow.mov"), 2, 1},
        {"MP4", slow("84x34", {"-c:v", "libx264"}, "slow.mp4"), 2, 1},
        {"Ogg", slow("84x34", {"-c:v", "libtheora"}, "slow.ogv"), 2, 1},
        {"WebM", slow("84x34", {"-c:v", "libvpx"}, "slow.webm"), 2, 1},
        // 50 frames at 25 a second, the last held 0.94 s, sound to the end.
        {"last frame held",
         {"-i", file("held0.mov"), "-c", "copy", "-bsf:v",
          "setts=duration=if(eq(N\\,49)\\,0.94/TB\\,DURATION)", held},
         2.9,
         0.94,
         true},
        {"15 frames a second",
         [&] {
             Args args = frames("160x120", "15", "3", 44);
             args.insert(args.end(), {"-c:v", "mpeg4", file("15fps.avi")});
             return args;
         }(),
         3, 1.0 / 15},
    };
    Args heldSource = frames("160x120", "25", "2", 49);
    for (const auto &more :
         {lavfi("sine=duration=2.9"),
          Args{"-c:v", "libx264", "-preset", "ultrafast", "-c:a", "aac", file("held0.mov")}})
        heldSource.insert(heldSource.end(), more.begin(), more.end());
    make(heldSource);

    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        make(c.make);
        const std::string output = file("timeline.mp4.temp");
        Outcome run = runProgram(kMencoder, encoderLine(c.make.back(), output));
        ASSERT_EQ(run.exitCode, 0) << run.err;
        auto streams = probe(output);
        ASSERT_EQ(streams.size(), c.sound ? 2u : 1u);
        const double video = seconds(streams[0]["duration"]);
        EXPECT_NEAR(video, c.seconds, 0.041);
        if (c.sound) {
            EXPECT_NEAR(seconds(streams[1]["duration"]), video, 0.041);
        }
        const auto brightness = frameBrightness(output);
        ASSERT_FALSE(brightness.empty());
        const auto shown = std::count_if(brightness.begin(), brightness.end(),
                                         [](int value) { return value > 128; });
        EXPECT_GT(brightness.back(), 128);
        EXPECT_NEAR(static_cast<double>(shown) * 0.04, c.lastFrame, 0.041);
    }
}

TEST_F(MencoderRun, PictureKeepsItsShapeWhateverTheContainerSays)
{
    struct Case
    {
        std::string name;
        Args make; // after the source
        std::string shape;
    };
    const std::string sixteenByNine = "16:9";
    // Five frames; "setsar=0" leaves the pixel shape unsaid.
    auto picture = [&](const std::string &size, const std::string &pixel, const Args &codec,
                       const std::string &name) {
        Args args = lavfi("testsrc=size=" + size + ":rate=25:duration=0.2");
        args.insert(args.end(), {"-vf", "setsar=" + pixel});
        args.insert(args.end(), codec.begin(), codec.end());
        args.push_back(file(name));
        return args;
    };
    const Args h264 = {"-c:v", "libx264", "-preset", "ultrafast"};
    const Case cases[] = {
        {"AVI, 1024x576 MJPEG", picture("1024x576", "0", {"-c:v", "mjpeg"}, "wide.avi"), "16:9"},
        {"MP4, 1280x720", picture("1280x720", "0", h264, "wide.mp4"), "16:9"},
        {"Ogg, 1024x576 Theora", picture("1024x576", "0", {"-c:v", "libtheora"}, "wide.ogv"),
         "16:9"},
        {"square", picture("480x480", "0", {"-c:v", "mjpeg"}, "square.avi"), "1:1"},
        {"pixel shape stated", picture("720x576", "64/45", h264, "anamorphic.mp4"), "16:9"},
    };
    auto encoded = [&](const std::string &source) {
        const std::string output = file("shape.mp4.temp");
        Outcome run = runProgram(kMencoder, encoderLine(source, output));
        EXPECT_EQ(run.exitCode, 0) << run.err;
        return probe(output).at(0);
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        make(c.make);
        auto video = encoded(c.make.back());
        EXPECT_EQ(video["width"], "320");
        EXPECT_EQ(video["height"], "240");
        EXPECT_EQ(video["display_aspect_ratio"], c.shape);
    }
    // A phone video turned a quarter plays upright.
    make({"-i", file("wide.mp4"), "-c", "copy", "-metadata:s:v", "rotate=90", file("turned.mp4")});
    EXPECT_EQ(encoded(file("turned.mp4"))["display_aspect_ratio"], "9:16");
}

TEST_F(MencoderRun, InterlacedSourcesAreDeinterlacedBeforeScaling)
{
    // A white box that moves a seventh of the width a frame over black, each
    // frame woven of two fields a field's time apart.
    auto woven = [](const std::string &size, int width, const std::string &order) {
        return lavfi("color=black:s=" + size + ":r=50:d=0.6[bg];color=white:s=" + size
                     + ",scale=iw/4:ih/3[box];[bg][box]overlay=x=" + std::to_string(width / 7)
                     + "+t*" + std::to_string(width * 5 / 3)
                     + ":y=main_h/3:shortest=1,tinterlace=" + order);
    };
    auto with = [](Args args, const Args &more) {
        args.insert(args.end(), more.begin(), more.end());
        return args;
    };
    struct Case
    {
        std::string name;
        Args make;
    };
    const Case cases[] = {
        {"MPEG-2, its frames flagged", with(woven("360x288", 360, "interleave_top"),
                                            {"-c:v", "mpeg2video", "-q:v", "2", "-flags",
                                             "+ildct+ilme", "-top", "1", file("woven.mpg")})},
        {"DV, bottom field first",
         with(woven("720x576", 720, "interleave_bottom"),
              {"-c:v", "dvvideo", "-pix_fmt", "yuv420p", "-f", "dv", file("woven.dv")})},
        {"HuffYUV, the field order in the container only",
         with(woven("360x288", 360, "interleave_top"),
              {"-c:v", "huffyuv", "-pix_fmt", "yuv422p", "-field_order", "tt", file("woven.mov")})},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        make(c.make);
        const std::string output = file("woven.mp4.temp");
        Outcome run = runProgram(kMencoder, encoderLine(c.make.back(), output));
        ASSERT_EQ(run.exitCode, 0) << run.err;
        EXPECT_LE(greyPixelsInRow(output, 8, 120), 3);
    }
    // The same fields scaled together leave a grey band on each edge.
    make({"-i", file("woven.mpg"), "-vf", "scale=320:240", file("combed.mp4")});
    EXPECT_GE(greyPixelsInRow(file("combed.mp4"), 8, 120), 8);
}
