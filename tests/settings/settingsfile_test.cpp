#include "settings/settingsfile.h"

#include "common/failure.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

#ifndef _WIN32
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;
using namespace vantrel::settings;
using vantrel::Failure;

namespace {

class SettingsFileTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        std::random_device seed;
        do {
            m_folder = fs::temp_directory_path() / ("vantrel-settings-" + std::to_string(seed()));
        } while (!fs::create_directory(m_folder));
        m_file = SettingsFilePath(m_folder);
    }
    void TearDown() override
    {
        std::error_code ignored;
        fs::permissions(m_folder, fs::perms::owner_all, ignored);
        fs::remove_all(m_folder, ignored);
    }

    static void WriteBytes(const fs::path &file, const std::string &bytes)
    {
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        out << bytes;
        ASSERT_TRUE(out.good());
    }
    static std::string ReadBytes(const fs::path &file)
    {
        std::ifstream in(file, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    // The names in the folder besides the settings file.
    std::vector<std::string> Strays() const
    {
        std::vector<std::string> names;
        for (const auto &entry : fs::directory_iterator(m_folder))
            if (entry.path() != m_file)
                names.push_back(entry.path().filename().string());
        return names;
    }

    static FtpSettings Preset()
    {
        return {"old address", "old user", "old password", "old folder"};
    }

    fs::path m_folder;
    fs::path m_file;
};

// "ftp.example.com", "user", "p w" and "" scrambled by hand: each code plus
// the key letter one ahead ('o' for the first character), modulo 256.
const std::string kKnownFile = "\xD5\xEA\xD5\xA2\xD7\xE1\xCD\xE7\xD1\xDA\xD2\x9D\xD9\xD4\xE1\r\n"
                               "\xE4\xE9\xCA\xE6\r\n"
                               "\xDF\x96\xDC\r\n"
                               "\r\n";

TEST_F(SettingsFileTest, WritesFourScrambledLinesByteForByte)
{
    WriteSettingsFile(m_file, {"ftp.example.com", "user", "p w", ""});
    EXPECT_EQ(ReadBytes(m_file), kKnownFile);
    EXPECT_TRUE(Strays().empty());

    FtpSettings read = Preset();
    ReadSettingsFile(m_file, read);
    EXPECT_EQ(read.address, "ftp.example.com");
    EXPECT_EQ(read.userName, "user");
    EXPECT_EQ(read.password, "p w");
    EXPECT_EQ(read.serverFolder, "");
}

TEST_F(SettingsFileTest, NonAsciiAndSpacesRoundTrip)
{
    const FtpSettings values{"  caf\u00E9.example  ", "\u20AC", " ", "/d\u00E9j\u00E0 vu/ "};
    WriteSettingsFile(m_file, values);
    // é (0xE9) and € (0x80) are one byte each.
    EXPECT_EQ(ReadBytes(m_file).size(), 16u + 1u + 1u + 10u + 4u * 2u);
    FtpSettings read;
    ReadSettingsFile(m_file, read);
    EXPECT_EQ(read.address, values.address);
    EXPECT_EQ(read.userName, values.userName);
    EXPECT_EQ(read.password, values.password);
    EXPECT_EQ(read.serverFolder, values.serverFolder);
}

TEST_F(SettingsFileTest, MissingLinesKeepTheirValuesAndLaterLinesAreIgnored)
{
    WriteBytes(m_file, kKnownFile.substr(0, 23)); // the first two lines
    FtpSettings two = Preset();
    ReadSettingsFile(m_file, two);
    EXPECT_EQ(two.address, "ftp.example.com");
    EXPECT_EQ(two.userName, "user");
    EXPECT_EQ(two.password, "old password");
    EXPECT_EQ(two.serverFolder, "old folder");

    WriteBytes(m_file, kKnownFile + "\xE4\xE9\r\n\xE4\r\n");
    FtpSettings six = Preset();
    ReadSettingsFile(m_file, six);
    EXPECT_EQ(six.password, "p w");
    EXPECT_EQ(six.serverFolder, "");

    WriteBytes(m_file, "");
    FtpSettings none = Preset();
    ReadSettingsFile(m_file, none);
    EXPECT_EQ(none.address, "old address");
    EXPECT_EQ(none.serverFolder, "old folder");
}

TEST_F(SettingsFileTest, AcceptsLfCrAndMixedLineEnds)
{
    // Every line starts with the key letter 'o': 'a' + 'o' is 0xD0.
    const std::string cases[] = {"\xD0\n\xE4\n\n\xDF\n", "\xD0\r\xE4\r\r\xDF\r",
                                 "\xD0\r\n\xE4\n\r\xDF", "\xD0\n\xE4\r\n\r\n\xDF\r\n"};
    for (const std::string &bytes : cases) {
        WriteBytes(m_file, bytes);
        FtpSettings read = Preset();
        ReadSettingsFile(m_file, read);
        EXPECT_EQ(read.address, "a");
        EXPECT_EQ(read.userName, "u"); // 0xE4 - 'o'
        EXPECT_EQ(read.password, "");
        EXPECT_EQ(read.serverFolder, "p"); // 0xDF - 'o'
    }
}

TEST_F(SettingsFileTest, MissingFileIsFileNotFound)
{
    FtpSettings values = Preset();
    const SettingsResult result = ReadSettingsFile(m_file, values);
    ASSERT_FALSE(result.ok());
    const Failure failure = result.failure();
    EXPECT_EQ(failure.number(), 53);
    EXPECT_EQ(failure.description(), "File not found");
    EXPECT_EQ(values.address, "old address");
}

TEST_F(SettingsFileTest, FolderInPlaceOfTheFileIsRefused)
{
    fs::create_directory(m_file);
    FtpSettings values;
    const SettingsResult result = ReadSettingsFile(m_file, values);
    ASSERT_FALSE(result.ok());
    EXPECT_EQ(result.failure().description(), "Path/File access error (Is a directory)");
    EXPECT_FALSE(WriteSettingsFile(m_file, values).ok());
    EXPECT_TRUE(fs::is_directory(m_file));
    EXPECT_TRUE(Strays().empty());
}

TEST_F(SettingsFileTest, DamagedFilesAreReadSafely)
{
    // Random bytes, line ends and NULs included.
    std::mt19937 random(7);
    std::string junk;
    for (int i = 0; i < 100000; ++i)
        junk += static_cast<char>(random() & 0xFF);
    WriteBytes(m_file, junk);
    FtpSettings values;
    ReadSettingsFile(m_file, values);

    // Very many lines, and a huge one after the fourth: only four are kept.
    std::string many = kKnownFile;
    for (int i = 0; i < 100000; ++i)
        many += "x\r\n";
    many += std::string(8 << 20, 'y');
    WriteBytes(m_file, many);
    ReadSettingsFile(m_file, values);
    EXPECT_EQ(values.address, "ftp.example.com");
    EXPECT_EQ(values.serverFolder, "");

    // The longest value a line carries; one more is a damaged file.
    WriteBytes(m_file, std::string(kMaxValueLength, '\xD0') + "\r\n");
    ReadSettingsFile(m_file, values);
    EXPECT_EQ(values.address.size(), kMaxValueLength);
    WriteBytes(m_file, "\r\n" + std::string(1 << 20, '\xD0'));
    FtpSettings kept = Preset();
    const SettingsResult damaged = ReadSettingsFile(m_file, kept);
    ASSERT_FALSE(damaged.ok());
    EXPECT_NE(damaged.failure().description().find("damaged (line 2 is longer"), std::string::npos);
    EXPECT_EQ(kept.address, "old address");
}

TEST_F(SettingsFileTest, FindsTheFirstValueThatCannotBeStored)
{
    using Kind = StorageProblem::Kind;
    auto problem = [](const FtpSettings &values) {
        return FindStorageProblem(values);
    };
    EXPECT_EQ(problem({"a", "b", "c", ""}), std::nullopt);
    EXPECT_EQ(problem({std::string(kMaxValueLength, 'a'), "b", "c", ""}), std::nullopt);

    auto check = [&](const FtpSettings &values, SettingsField field, Kind kind) {
        const std::optional<StorageProblem> found = FindStorageProblem(values);
        ASSERT_TRUE(found.has_value());
        EXPECT_EQ(found->field, field);
        EXPECT_EQ(found->kind, kind);
    };
    check({"a", "\u4E2D", "c", "\u0100"}, SettingsField::UserName, Kind::CannotBeSaved);
    check({"a", "b", "c", std::string(kMaxValueLength + 1, 'x')}, SettingsField::ServerFolder,
          Kind::TooLong);
    // '›' (0x9B) + 'o' is 266: a scrambled LF; 'ž' (0x9E) + 'o' a CR.
    check({"\u203A", "b", "c", ""}, SettingsField::Address, Kind::CannotBeSaved);
    check({"a", "b", "\u017E", ""}, SettingsField::Password, Kind::CannotBeSaved);
    check({"a", "b", "c", "\xFF"}, SettingsField::ServerFolder, Kind::CannotBeSaved);
    // At the second position 'ž' meets 'v': harmless there.
    EXPECT_EQ(problem({"a\u017E", "b", "c", ""}), std::nullopt);
}

TEST_F(SettingsFileTest, RefusedValuesLeaveTheOldFileAlone)
{
    WriteBytes(m_file, kKnownFile);
    EXPECT_FALSE(WriteSettingsFile(m_file, {"a", "b", "\u203A", ""}).ok());
    EXPECT_EQ(ReadBytes(m_file), kKnownFile);
    EXPECT_TRUE(Strays().empty());
}

#ifndef _WIN32
TEST_F(SettingsFileTest, OwnerOnlyPermissions)
{
    WriteBytes(m_file, kKnownFile);
    fs::permissions(m_file, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read
                                | fs::perms::others_read);
    WriteSettingsFile(m_file, {"a", "b", "c", "d"});
    struct stat info;
    ASSERT_EQ(::stat(m_file.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0600u);
}

TEST_F(SettingsFileTest, FailedWriteKeepsTheOldFileWhole)
{
    WriteBytes(m_file, kKnownFile);
    // A file-size limit smaller than the new content makes the write fail
    // part-way, also for root.
    rlimit old{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = 8;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const SettingsResult result =
        WriteSettingsFile(m_file, {"a much longer address", "b", "c", "d"});
    const bool failed = !result.ok();
    EXPECT_EQ(result.failure().description(), "Path/File access error (File too large)");
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_TRUE(failed);
    EXPECT_EQ(ReadBytes(m_file), kKnownFile);
    EXPECT_TRUE(Strays().empty());
}

TEST_F(SettingsFileTest, UnwritableFolderIsReported)
{
    // A folder below a regular file cannot exist, whoever runs the test.
    WriteBytes(m_folder / "plain", "x");
    const Failure noFolder =
        WriteSettingsFile(SettingsFilePath(m_folder / "plain"), {"a", "b", "c", ""}).failure();
    EXPECT_EQ(noFolder.number(), 76);
    EXPECT_EQ(noFolder.description(), "Path not found");
    fs::remove(m_folder / "plain");

    if (::geteuid() == 0)
        GTEST_SKIP() << "root writes into read-only folders";
    WriteBytes(m_file, kKnownFile);
    fs::permissions(m_folder, fs::perms::owner_read | fs::perms::owner_exec);
    const Failure denied = WriteSettingsFile(m_file, {"a", "b", "c", ""}).failure();
    EXPECT_EQ(denied.number(), 70);
    EXPECT_EQ(denied.description(), "Permission denied");
    fs::permissions(m_folder, fs::perms::owner_all);
    EXPECT_EQ(ReadBytes(m_file), kKnownFile);
    EXPECT_TRUE(Strays().empty());
}
#endif

} // namespace
