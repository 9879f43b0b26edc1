// `fix TEMP FINAL` run in-process over the platform functions of this
// system: the Windows build is checked this way under Wine, where there is no
// FFmpeg to make clips for the program test.
#include "tests/tools/fix/mp4builder.h"
#include "tools/fix/fixcore.h"
#include "tools/fix/fixrun.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <set>
#include <sstream>

#ifdef _WIN32
#include <windows.h>
#endif

namespace vantrel::fix {
namespace {

namespace fs = std::filesystem;
using namespace vantrel::fix::test;

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

constexpr std::uint32_t kData = 40; // ftyp (24), free (8), then the media data

Bytes MoovLast()
{
    return Cat({Ftyp(), Box("free"), Box("mdat", Payload(5000)),
                Moov({Track(Stco({kData, kData + 100, kData + 4000}))})});
}

Bytes Expected(const Bytes &in)
{
    MemorySource source(in);
    return Assemble(MakePlan(source), source);
}

class FixRun : public ::testing::Test
{
protected:
    void SetUp() override
    {
        std::random_device seed;
        do {
            m_dir = fs::temp_directory_path()
                    / PathOf("vantrel-fix \xC3\xA9t\xC3\xA9-" + std::to_string(seed()));
        } while (!fs::create_directory(m_dir));
    }
    void TearDown() override
    {
        std::error_code ignored;
        fs::remove_all(m_dir, ignored);
    }

    int Run(const fs::path &temp, const fs::path &final)
    {
        std::ostringstream err;
        const int code = RunFix({Utf8Of(temp), Utf8Of(final)}, err);
        m_err = err.str();
        return code;
    }

    std::set<fs::path> Listing() const
    {
        std::set<fs::path> names;
        for (const auto &e : fs::directory_iterator(m_dir))
            names.insert(e.path().filename());
        return names;
    }

    fs::path m_dir;
    std::string m_err;
};

// The final file is an ordinary one: not hidden, not read-only.
void ExpectPlainFile(const fs::path &file)
{
#ifdef _WIN32
    const DWORD attributes = GetFileAttributesW(file.c_str());
    ASSERT_NE(attributes, INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY), 0u);
#else
    EXPECT_TRUE(fs::is_regular_file(file));
#endif
}

TEST_F(FixRun, WritesTheFinalFileUnderUnicodeNamesAndRemovesTemp)
{
    const fs::path temp = m_dir / PathOf("vid\xC3\xA9o \xE2\x82\xAC.mp4.temp");
    const fs::path final = m_dir / PathOf("vid\xC3\xA9o \xE2\x82\xAC.mp4");
    const Bytes in = MoovLast();
    WriteAll(temp, in);

    EXPECT_EQ(Run(temp, final), kExitOk) << m_err;
    EXPECT_EQ(m_err, "");
    EXPECT_EQ(ReadAll(final), Expected(in));
    ExpectPlainFile(final);
    EXPECT_EQ(Listing(), std::set<fs::path>{final.filename()});
}

TEST_F(FixRun, ReplacesAnOldFinalFile)
{
    const fs::path temp = m_dir / "clip.mp4.temp";
    const fs::path final = m_dir / "clip.mp4";
    WriteAll(final, Bytes(100000, 0x55));
    const Bytes in = MoovLast();
    WriteAll(temp, in);

    EXPECT_EQ(Run(temp, final), kExitOk) << m_err;
    EXPECT_EQ(ReadAll(final), Expected(in));
    ExpectPlainFile(final);
    EXPECT_EQ(Listing(), std::set<fs::path>{"clip.mp4"});
}

TEST_F(FixRun, RewritesInPlaceWhenBothNamesAreOneFile)
{
    const fs::path file = m_dir / "same.mp4";
    const Bytes in = MoovLast();
    WriteAll(file, in);

    EXPECT_EQ(Run(file, m_dir / "." / "same.mp4"), kExitOk) << m_err;
    EXPECT_EQ(ReadAll(file), Expected(in));
    EXPECT_EQ(Listing(), std::set<fs::path>{"same.mp4"});
}

TEST_F(FixRun, RefusesBadInputAndLeavesEverythingAsItWas)
{
    const fs::path temp = m_dir / PathOf("\xC3\xA9t\xC3\xA9.mp4.temp");
    const Bytes notMp4(3000, 'x');
    WriteAll(temp, notMp4);

    EXPECT_EQ(Run(temp, m_dir / "out.mp4"), kExitFailed);
    EXPECT_EQ(m_err.rfind("fix: \"" + Utf8Of(temp) + "\": ", 0), 0u) << m_err;
    EXPECT_EQ(m_err.substr(m_err.size() - 2), "!\n") << m_err;
    EXPECT_EQ(ReadAll(temp), notMp4);
    EXPECT_EQ(Listing(), std::set<fs::path>{temp.filename()});

    EXPECT_EQ(Run(m_dir / "absent.temp", m_dir / "out.mp4"), kExitFailed);
    EXPECT_EQ(m_err.rfind("fix: CANNOT OPEN \"" + Utf8Of(m_dir / "absent.temp") + "\": ", 0), 0u)
        << m_err;
    EXPECT_EQ(Listing(), std::set<fs::path>{temp.filename()});
}

} // namespace
} // namespace vantrel::fix
