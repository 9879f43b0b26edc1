// Where the settings file lives: beside a copy in a writable folder, in the
// user's configuration folder for an installed copy.

#include "platform/settingslocation.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

// The settings file of a Windows copy stays beside the program; these are
// POSIX paths.
#ifndef _WIN32
namespace fs = std::filesystem;
using vantrel::platform::SettingsFolderFor;
using vantrel::platform::SettingsPlace;

namespace {

struct LocationCase
{
    const char *what;
    SettingsPlace place;
    std::string expected;
};

TEST(SettingsLocation, InstalledCopiesUseTheUsersConfigurationFolder)
{
    const LocationCase cases[] = {
        {"writable copy",
         {"/home/ann/vantrel/build/app", "/usr/lib/vantrel", "", "/home/ann", true},
         ""},
        {"writable copy, nothing compiled in", {"/opt/v", "", "/cfg", "/home/ann", true}, ""},
        {"installed folder",
         {"/usr/lib/vantrel", "/usr/lib/vantrel", "", "/home/ann", true},
         "/home/ann/.config/vantrel"},
        {"installed folder, other spelling",
         {"/usr/lib/./vantrel/", "/usr/lib/vantrel", "", "/home/ann", true},
         "/home/ann/.config/vantrel"},
        {"XDG_CONFIG_HOME wins",
         {"/usr/lib/vantrel", "/usr/lib/vantrel", "/home/ann/cfg", "/home/ann", true},
         "/home/ann/cfg/vantrel"},
        {"relative XDG_CONFIG_HOME ignored",
         {"/usr/lib/vantrel", "/usr/lib/vantrel", "cfg", "/home/ann", true},
         "/home/ann/.config/vantrel"},
        {"unwritable folder elsewhere",
         {"/opt/vantrel", "/usr/lib/vantrel", "", "/home/ann", false},
         "/home/ann/.config/vantrel"},
        {"no home at all", {"/opt/vantrel", "/usr/lib/vantrel", "", "", false}, ""},
    };
    for (const LocationCase &c : cases)
        EXPECT_EQ(SettingsFolderFor(c.place), c.expected) << c.what;
}

class SettingsFolderTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/settingslocation-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        m_root = pattern;
        fs::create_directories(m_root / "app");
        const char *config = std::getenv("XDG_CONFIG_HOME");
        m_oldConfig = config ? std::optional<std::string>(config) : std::nullopt;
        ::setenv("XDG_CONFIG_HOME", (m_root / "config").c_str(), 1);
    }
    void TearDown() override
    {
        if (m_oldConfig)
            ::setenv("XDG_CONFIG_HOME", m_oldConfig->c_str(), 1);
        else
            ::unsetenv("XDG_CONFIG_HOME");
        fs::remove_all(m_root);
    }

    fs::path m_root;
    std::optional<std::string> m_oldConfig;
};

TEST_F(SettingsFolderTest, InstalledCopyGetsAnOwnerOnlyFolderOfItsUser)
{
    const std::string app = (m_root / "app").string();
    const std::string folder = vantrel::platform::PrepareSettingsFolder(app, app);
    EXPECT_EQ(folder, (m_root / "config" / "vantrel").string());
    struct stat info;
    ASSERT_EQ(::stat(folder.c_str(), &info), 0);
    EXPECT_TRUE(S_ISDIR(info.st_mode));
    EXPECT_EQ(info.st_mode & 07777, 0700u);
}

TEST_F(SettingsFolderTest, WritableCopyKeepsItsFileBesideTheProgram)
{
    const std::string app = (m_root / "app").string();
    EXPECT_EQ(vantrel::platform::PrepareSettingsFolder(app, "/usr/lib/vantrel"), "");
    EXPECT_FALSE(fs::exists(m_root / "config"));
}

TEST_F(SettingsFolderTest, ReadOnlyFolderIsNotWritable)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "root may write every folder";
    const fs::path app = m_root / "app";
    fs::permissions(app, fs::perms::owner_read | fs::perms::owner_exec);
    EXPECT_FALSE(vantrel::platform::FolderIsWritable(app.string()));
    EXPECT_EQ(vantrel::platform::PrepareSettingsFolder(app.string(), "/usr/lib/vantrel"),
              (m_root / "config" / "vantrel").string());
    fs::permissions(app, fs::perms::owner_all);
}
} // namespace
#endif
