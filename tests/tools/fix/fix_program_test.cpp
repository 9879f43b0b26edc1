// The built `fix` program on real clips made with FFmpeg.
#include "tools/fix/fixcore.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/vfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>

namespace vantrel::fix {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

const std::string kFix = VANTREL_APP_DIR "/fix";

std::string Q(const fs::path &p)
{
    return "'" + p.string() + "'";
}

Bytes ReadAll(const fs::path &p)
{
    std::ifstream in(p, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

void WriteAll(const fs::path &p, const Bytes &bytes)
{
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char *>(bytes.data()), std::streamsize(bytes.size()));
}

std::string ReadText(const fs::path &p)
{
    std::ifstream in(p);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

int Shell(const std::string &command)
{
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

struct Result
{
    int code = -1;
    std::string err;
};

// Runs fix with the given arguments (already quoted) in `folder`, after
// `prefix` (variables, `ulimit`, `timeout`).
Result RunFix(const fs::path &folder, const std::string &args, const std::string &prefix = "")
{
    const fs::path errFile = folder.parent_path() / "stderr.txt";
    Result r;
    r.code = Shell("cd " + Q(folder) + " && " + prefix + " " + Q(kFix) + " " + args + " 2>"
                   + Q(errFile));
    r.err = ReadText(errFile);
    fs::remove(errFile);
    return r;
}

std::set<std::string> Listing(const fs::path &folder)
{
    std::set<std::string> names;
    for (const auto &e : fs::directory_iterator(folder))
        names.insert(e.path().filename().string());
    return names;
}

// What a player sees: a checksum of every decoded frame of every stream.
std::string FrameMd5(const fs::path &file)
{
    const fs::path out = file.string() + ".framemd5";
    EXPECT_EQ(Shell("ffmpeg -nostdin -v error -i " + Q(file) + " -map 0 -f framemd5 - >" + Q(out)),
              0);
    std::string text = ReadText(out);
    fs::remove(out);
    return text;
}

// Top-level box types, front to back.
std::vector<std::string> TopTypes(const Bytes &file)
{
    MemorySource source(file);
    std::vector<std::string> types;
    for (const TopBox &b : ScanTopLevel(source))
        types.push_back(TypeName(b.header.type));
    return types;
}

bool MoovBeforeMdat(const Bytes &file)
{
    const auto types = TopTypes(file);
    const auto moov = std::find(types.begin(), types.end(), "moov");
    const auto mdat = std::find(types.begin(), types.end(), "mdat");
    return moov != types.end() && mdat != types.end() && moov < mdat;
}

ino_t Inode(const fs::path &p)
{
    struct stat st;
    return stat(p.c_str(), &st) == 0 ? st.st_ino : 0;
}

// Whether the folder's file system can insert a range into a file.
bool CanInsert(const fs::path &folder)
{
    struct statfs st;
    return statfs(folder.c_str(), &st) == 0 && (st.f_type == 0xEF53 || st.f_type == 0x58465342);
}

class FixProgram : public testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        char pattern[] = "/tmp/fix-test-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        s_root = pattern;
        ASSERT_EQ(Shell("command -v ffmpeg >/dev/null"), 0) << "ffmpeg is needed on PATH";
        const std::string source = "ffmpeg -nostdin -v error -y -f lavfi -i "
                                   "testsrc=size=160x120:rate=25:duration=2 -f lavfi -i "
                                   "sine=duration=2 -c:v libx264 -preset ultrafast -c:a aac ";
        s_clip = s_root / "clip.mp4";
        s_fastStart = s_root / "faststart.mp4";
        ASSERT_EQ(Shell(source + Q(s_clip)), 0);
        ASSERT_EQ(Shell(source + "-movflags +faststart " + Q(s_fastStart)), 0);
        s_clipFrames = FrameMd5(s_clip);

        // Large enough to be rewritten in place rather than copied.
        const std::string big = "ffmpeg -nostdin -v error -y -f lavfi -i "
                                "testsrc2=size=320x240:rate=25:duration=1,noise=alls=40:allf=t "
                                "-f lavfi -i sine=duration=1 -c:v libx264 -preset ultrafast "
                                "-qp 5 -c:a aac ";
        s_big = s_root / "big.mp4";
        s_bigFastStart = s_root / "bigfaststart.mp4";
        ASSERT_EQ(Shell(big + Q(s_big)), 0);
        ASSERT_EQ(Shell(big + "-movflags +faststart " + Q(s_bigFastStart)), 0);
        ASSERT_GT(fs::file_size(s_big), 2u << 20);
        s_bigFrames = FrameMd5(s_big);
    }

    static void TearDownTestSuite() { fs::remove_all(s_root); }

    void SetUp() override
    {
        ASSERT_FALSE(s_clipFrames.empty());
        m_dir = s_root / testing::UnitTest::GetInstance()->current_test_info()->name();
        fs::create_directories(m_dir);
    }

    static inline fs::path s_root;
    static inline fs::path s_clip;
    static inline fs::path s_fastStart;
    static inline std::string s_clipFrames;
    static inline fs::path s_big;
    static inline fs::path s_bigFastStart;
    static inline std::string s_bigFrames;
    fs::path m_dir;
};

TEST_F(FixProgram, PutsTheMoovFirstAndThePictureStaysTheSame)
{
    const Bytes original = ReadAll(s_clip);
    ASSERT_FALSE(MoovBeforeMdat(original)) << "FFmpeg wrote the moov first; nothing to test";
    const fs::path temp = m_dir / "my clip.mp4.temp";
    const fs::path final = m_dir / "my clip.mp4";
    fs::copy_file(s_clip, temp);
    ASSERT_EQ(chmod(temp.c_str(), 0640), 0);

    const Result r = RunFix(m_dir, Q(temp) + " " + Q(final));
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(Listing(m_dir), std::set<std::string>{"my clip.mp4"});
    const Bytes fixed = ReadAll(final);
    EXPECT_TRUE(MoovBeforeMdat(fixed));
    EXPECT_EQ(fixed.size(), original.size());
    EXPECT_EQ(FrameMd5(final), s_clipFrames);
    struct stat st;
    ASSERT_EQ(stat(final.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
}

TEST_F(FixProgram, CopiesAFileInOrderByteForByteAndReplacesAnOldFinal)
{
    const fs::path temp = m_dir / "a.mp4.temp";
    const fs::path final = m_dir / "a.mp4";
    fs::copy_file(s_fastStart, temp);
    WriteAll(final, Bytes(100, 'x'));
    const Result r = RunFix(m_dir, "a.mp4.temp a.mp4");
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(ReadAll(final), ReadAll(s_fastStart));
    EXPECT_EQ(Listing(m_dir), std::set<std::string>{"a.mp4"});
}

TEST_F(FixProgram, CopiesFromAnotherFileSystem)
{
    // From tmpfs to the test folder the kernel copy is refused, and the
    // program copies through its buffer.
    const fs::path shm = "/dev/shm";
    const fs::path temp =
        (fs::is_directory(shm) ? shm : m_dir) / ("fix-test-" + std::to_string(getpid()));
    fs::copy_file(s_clip, temp, fs::copy_options::overwrite_existing);
    const fs::path final = m_dir / "b.mp4";
    const Result r = RunFix(m_dir, Q(temp) + " b.mp4");
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_FALSE(fs::exists(temp));
    EXPECT_TRUE(MoovBeforeMdat(ReadAll(final)));
    EXPECT_EQ(FrameMd5(final), s_clipFrames);
    fs::remove(temp);
}

TEST_F(FixProgram, RefusesBadInputAndLeavesTempAsItWas)
{
    const Bytes clip = ReadAll(s_clip);
    Bytes compressed = clip;
    // Make the movie box start with a compressed movie box.
    const std::string mvhd = "mvhd";
    auto at = std::search(compressed.begin(), compressed.end(), mvhd.begin(), mvhd.end());
    ASSERT_NE(at, compressed.end());
    std::copy_n("cmov", 4, at);
    const struct
    {
        const char *name;
        Bytes bytes;
        const char *message;
    } cases[] = {
        {"text", Bytes{'n', 'o', 't', ' ', 'a', ' ', 'v', 'i', 'd', 'e', 'o', '\n'},
         "NOT AN MP4 FILE!"},
        {"empty", {}, "NOT AN MP4 FILE!"},
        {"cut in the media data",
         Bytes(clip.begin(), clip.begin() + std::ptrdiff_t(clip.size() / 2)), "TRUNCATED"},
        {"cut in the moov", Bytes(clip.begin(), clip.end() - 10), "TRUNCATED"},
        {"compressed moov", compressed, "COMPRESSED"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path temp = m_dir / "bad.mp4.temp";
        WriteAll(temp, c.bytes);
        const Result r = RunFix(m_dir, "bad.mp4.temp bad.mp4");
        EXPECT_EQ(r.code, 1);
        EXPECT_EQ(r.err.rfind("fix: \"bad.mp4.temp\": ", 0), 0u) << r.err;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        EXPECT_EQ(r.err.substr(r.err.size() - 2), "!\n");
        EXPECT_EQ(ReadAll(temp), c.bytes);
        EXPECT_EQ(Listing(m_dir), std::set<std::string>{"bad.mp4.temp"});
    }
}

TEST_F(FixProgram, ReportsUsageAndFileSystemFailures)
{
    for (const char *args : {"", "one", "one two three"}) {
        const Result r = RunFix(m_dir, args);
        EXPECT_EQ(r.code, 2) << args;
        EXPECT_EQ(r.err, "fix: TWO FILE NAMES ARE NEEDED (USAGE: fix TEMP FINAL)!\n");
    }

    Result r = RunFix(m_dir, "missing.temp out.mp4");
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err, "fix: CANNOT OPEN \"missing.temp\": NO SUCH FILE OR DIRECTORY!\n");
    EXPECT_TRUE(Listing(m_dir).empty());

    const fs::path temp = m_dir / "c.mp4.temp";
    fs::copy_file(s_clip, temp);
    const Bytes before = ReadAll(temp);
    r = RunFix(m_dir, "c.mp4.temp no/such/folder/c.mp4");
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("CANNOT CREATE A FILE IN \"no/such/folder\""), std::string::npos) << r.err;

    // A folder where the final file should go: nothing is left behind.
    fs::create_directory(m_dir / "c.mp4");
    r = RunFix(m_dir, "c.mp4.temp c.mp4");
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("CANNOT CREATE \"c.mp4\""), std::string::npos) << r.err;
    EXPECT_EQ(Listing(m_dir), (std::set<std::string>{"c.mp4", "c.mp4.temp"}));
    EXPECT_EQ(ReadAll(temp), before);
    EXPECT_TRUE(fs::is_empty(m_dir / "c.mp4"));
}

TEST_F(FixProgram, RewritesInPlaceWhenBothNamesAreOneFile)
{
    fs::copy_file(s_clip, m_dir / "a.mp4");
    Result r = RunFix(m_dir, "a.mp4 ./a.mp4");
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(Listing(m_dir), std::set<std::string>{"a.mp4"});
    EXPECT_TRUE(MoovBeforeMdat(ReadAll(m_dir / "a.mp4")));
    EXPECT_EQ(FrameMd5(m_dir / "a.mp4"), s_clipFrames);

    // Once more: now in order, it stays as it is.
    const Bytes fixed = ReadAll(m_dir / "a.mp4");
    r = RunFix(m_dir, Q(m_dir / "a.mp4") + " ../" + m_dir.filename().string() + "/a.mp4");
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(ReadAll(m_dir / "a.mp4"), fixed);

    // Two links to one file: the final name gets the result, the other goes.
    fs::copy_file(s_clip, m_dir / "b.temp");
    fs::create_hard_link(m_dir / "b.temp", m_dir / "b.mp4");
    r = RunFix(m_dir, "b.temp b.mp4");
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(Listing(m_dir), (std::set<std::string>{"a.mp4", "b.mp4"}));
    EXPECT_TRUE(MoovBeforeMdat(ReadAll(m_dir / "b.mp4")));
}

TEST_F(FixProgram, RenamesRewritesInPlaceOrCopiesByFileAndFileSystem)
{
    enum Way { kRename, kInPlace, kCopy };
    const fs::path shm = "/dev/shm";
    const struct
    {
        const char *name;
        const fs::path &source;
        const std::string &frames;
        bool onTmpfs;
        bool oneFile;
        Way way;
    } cases[] = {
        {"in order", s_bigFastStart, s_bigFrames, false, false, kRename},
        {"moov last", s_big, s_bigFrames, false, false, kInPlace},
        {"moov last, small", s_clip, s_clipFrames, false, false, kCopy},
        {"moov last, one file", s_big, s_bigFrames, false, true, kCopy},
        {"moov last on tmpfs", s_big, s_bigFrames, true, false, kCopy},
        {"in order on tmpfs", s_bigFastStart, s_bigFrames, true, false, kRename},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        if (c.onTmpfs && !fs::is_directory(shm)) {
            ADD_FAILURE() << "no /dev/shm here";
            continue;
        }
        const fs::path dir =
            c.onTmpfs ? shm / ("fix-test-" + std::to_string(getpid())) : m_dir / c.name;
        fs::create_directories(dir);
        const Way way = c.way == kInPlace && !CanInsert(dir) ? kCopy : c.way;
        const fs::path final = dir / "v.mp4";
        const fs::path temp = c.oneFile ? final : dir / "v.mp4.temp";
        fs::copy_file(c.source, temp);
        const ino_t before = Inode(temp);

        const Result r = RunFix(dir, Q(temp) + " " + Q(final));
        EXPECT_EQ(r.code, 0) << r.err;
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(Listing(dir), std::set<std::string>{"v.mp4"});
        const Bytes fixed = ReadAll(final);
        EXPECT_TRUE(MoovBeforeMdat(fixed));
        EXPECT_EQ(FrameMd5(final), c.frames);
        EXPECT_EQ(Inode(final) == before, way != kCopy);
        if (way == kRename) {
            EXPECT_EQ(fixed, ReadAll(c.source));
        } else if (way == kInPlace) { // the front is padded to whole blocks
            EXPECT_GT(fixed.size(), fs::file_size(c.source));
        }
        if (c.onTmpfs)
            fs::remove_all(dir);
    }
}

TEST_F(FixProgram, AnInterruptedRewriteInPlaceIsPutBackOrFinishedByTheNextRun)
{
    if (!CanInsert(m_dir))
        GTEST_SKIP() << "the test folder's file system cannot insert a range";
    for (const char *step : {"insert", "moov", "ftyp", "flush", "free", "cut", "flush-cut"}) {
        SCOPED_TRACE(step);
        const fs::path dir = m_dir / step;
        fs::create_directories(dir);
        fs::copy_file(s_big, dir / "v.mp4.temp");
        const Bytes old(100, 'x');
        WriteAll(dir / "v.mp4", old);

        Result r = RunFix(dir, "v.mp4.temp v.mp4", std::string("VANTREL_FIX_STOP_AFTER=") + step);
        EXPECT_EQ(r.code, 3) << r.err;
        EXPECT_EQ(Listing(dir), (std::set<std::string>{"v.mp4", "v.mp4.temp"}));
        EXPECT_EQ(ReadAll(dir / "v.mp4"), old);

        r = RunFix(dir, "v.mp4.temp v.mp4");
        EXPECT_EQ(r.code, 0) << r.err;
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(Listing(dir), std::set<std::string>{"v.mp4"});
        EXPECT_TRUE(MoovBeforeMdat(ReadAll(dir / "v.mp4")));
        EXPECT_EQ(FrameMd5(dir / "v.mp4"), s_bigFrames);
    }

    // Stopped after the rename, before the folder is flushed: FINAL is complete.
    fs::copy_file(s_big, m_dir / "w.mp4.temp");
    const Result r = RunFix(m_dir, "w.mp4.temp w.mp4", "VANTREL_FIX_STOP_AFTER=rename");
    EXPECT_EQ(r.code, 3) << r.err;
    EXPECT_TRUE(fs::exists(m_dir / "w.mp4"));
    EXPECT_FALSE(fs::exists(m_dir / "w.mp4.temp"));
    EXPECT_EQ(FrameMd5(m_dir / "w.mp4"), s_bigFrames);
}

TEST_F(FixProgram, RefusesBadInputFitForInPlaceAndLeavesTempAsItWas)
{
    const Bytes big = ReadAll(s_big);
    Bytes compressed = big;
    const std::string mvhd = "mvhd";
    std::copy_n("cmov", 4,
                std::search(compressed.begin(), compressed.end(), mvhd.begin(), mvhd.end()));
    Bytes zeroFront(8192, 0);
    zeroFront.insert(zeroFront.end(), big.begin(), big.end());
    const struct
    {
        const char *name;
        Bytes bytes;
        const char *message;
    } cases[] = {
        {"cut in the moov", Bytes(big.begin(), big.end() - 10), "TRUNCATED"},
        {"compressed moov", compressed, "COMPRESSED"},
        {"zeros in front of a whole file", zeroFront, "NOT AN MP4 FILE!"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        WriteAll(m_dir / "bad.mp4.temp", c.bytes);
        const Result r = RunFix(m_dir, "bad.mp4.temp bad.mp4");
        EXPECT_EQ(r.code, 1);
        EXPECT_EQ(r.err.rfind("fix: \"bad.mp4.temp\": ", 0), 0u) << r.err;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
        EXPECT_EQ(ReadAll(m_dir / "bad.mp4.temp"), c.bytes);
        EXPECT_EQ(Listing(m_dir), std::set<std::string>{"bad.mp4.temp"});
    }

    // A folder where FINAL should go is found before TEMP is rewritten.
    WriteAll(m_dir / "bad.mp4.temp", big);
    fs::create_directory(m_dir / "bad.mp4");
    const Result r = RunFix(m_dir, "bad.mp4.temp bad.mp4");
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err, "fix: CANNOT CREATE \"bad.mp4\": IS A DIRECTORY!\n");
    EXPECT_EQ(ReadAll(m_dir / "bad.mp4.temp"), big);
}

TEST_F(FixProgram, RefusesAFifoAtOnce)
{
    ASSERT_EQ(mkfifo((m_dir / "f.temp").c_str(), 0600), 0);
    // Without a writer, opening the FIFO for reading would wait for ever.
    const Result r = RunFix(m_dir, "f.temp f.mp4", "timeout 20");
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err, "fix: \"f.temp\" IS NOT A REGULAR FILE!\n");
    EXPECT_EQ(Listing(m_dir), std::set<std::string>{"f.temp"});
}

TEST_F(FixProgram, LeavesNoHiddenFileWhenStoppedOrLimited)
{
    // TEMP and FINAL one file: the copy through a hidden file. The shell
    // gives 128 plus the number of a signal that ended the program.
    const Bytes big = ReadAll(s_big);
    const struct
    {
        const char *name;
        const char *prefix;
        int code;
        const char *message;
    } cases[] = {
        {"SIGTERM", "VANTREL_FIX_STOP_SIGNAL=15", 128 + 15, ""},
        {"SIGINT", "VANTREL_FIX_STOP_SIGNAL=2", 128 + 2, ""},
        {"SIGHUP", "VANTREL_FIX_STOP_SIGNAL=1", 128 + 1, ""},
        {"SIGQUIT", "VANTREL_FIX_STOP_SIGNAL=3", 128 + 3, ""},
        {"SIGUSR1", "VANTREL_FIX_STOP_SIGNAL=10", 128 + 10, ""},
        {"SIGABRT", "VANTREL_FIX_STOP_SIGNAL=6", 128 + 6, ""},
        {"file-size limit", "ulimit -f 1024 &&", 1, "FILE TOO LARGE!\n"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        WriteAll(m_dir / "v.mp4", big);
        const Result r =
            RunFix(m_dir, "v.mp4 v.mp4",
                   std::string("ulimit -c 0 && VANTREL_FIX_STOP_AFTER=copy ") + c.prefix);
        EXPECT_EQ(r.code, c.code) << r.err;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
        EXPECT_EQ(Listing(m_dir), std::set<std::string>{"v.mp4"});
        EXPECT_EQ(ReadAll(m_dir / "v.mp4"), big);
    }
}

TEST_F(FixProgram, NeverWritesThroughALink)
{
    const Bytes precious = {'k', 'e', 'e', 'p', '\n'};
    for (const fs::path *source : {&s_big, &s_clip}) {
        SCOPED_TRACE(source->filename().string());
        const fs::path dir = m_dir / source->stem();
        fs::create_directories(dir);
        WriteAll(dir / "precious.txt", precious);
        fs::create_symlink("precious.txt", dir / "v.mp4");
        fs::copy_file(*source, dir / "v.mp4.temp");
        const Result r = RunFix(dir, "v.mp4.temp v.mp4");
        EXPECT_EQ(r.code, 0) << r.err;
        EXPECT_EQ(ReadAll(dir / "precious.txt"), precious);
        EXPECT_FALSE(fs::is_symlink(dir / "v.mp4"));
        EXPECT_EQ(Listing(dir), (std::set<std::string>{"precious.txt", "v.mp4"}));
        EXPECT_EQ(FrameMd5(dir / "v.mp4"), source == &s_big ? s_bigFrames : s_clipFrames);
    }

    // A link as TEMP is read, never renamed or rewritten: its target stays.
    const fs::path target = m_dir / "target.mp4";
    fs::copy_file(s_big, target);
    fs::create_symlink("target.mp4", m_dir / "l.mp4.temp");
    const Result r = RunFix(m_dir, "l.mp4.temp l.mp4");
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(ReadAll(target), ReadAll(s_big));
    EXPECT_FALSE(fs::is_symlink(m_dir / "l.mp4"));
    EXPECT_EQ(FrameMd5(m_dir / "l.mp4"), s_bigFrames);
}

} // namespace
} // namespace vantrel::fix
