// Where a Windows copy keeps its settings: beside a copy its user can write,
// in "%APPDATA%\Vantrel" for one under Program Files or in a folder its user
// cannot write. The rules are pure and run on every system; the last test
// asks the real Windows.

#include "platform/settingslocation.h"
#include "platform/windowsplaces.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#ifdef _WIN32
#include "platform/appfolder.h"
#include "platform/widetext.h"

#include <windows.h>

#include <shlobj.h>
#endif

using vantrel::platform::IsWindowsPathInside;
using vantrel::platform::WindowsPlace;
using vantrel::platform::WindowsSettingsFolderFor;

namespace {

const std::vector<std::string> kProgramFolders = {"C:\\Program Files", "C:\\Program Files (x86)"};
const std::string kAppData = "C:\\Users\\Ann\\AppData\\Roaming";

TEST(WindowsPlaces, PathInsideFolderByWindowsRules)
{
    struct Case
    {
        const char *path;
        const char *folder;
        bool inside;
    };
    const Case cases[] = {
        {"C:\\Program Files\\Vantrel", "C:\\Program Files", true},
        {"C:\\Program Files", "C:\\Program Files", true},
        {"c:\\PROGRAM FILES\\Vantrel", "C:\\Program Files", true},
        {"C:/Program Files/Vantrel/", "C:\\Program Files\\", true},
        {"C:\\Program Files\\.\\Vantrel", "C:\\Program Files", true},
        // A sibling whose name begins the same is not inside.
        {"C:\\Program Files (x86)\\Vantrel", "C:\\Program Files", false},
        {"C:\\Program FilesX\\Vantrel", "C:\\Program Files", false},
        {"D:\\Program Files\\Vantrel", "C:\\Program Files", false},
        {"C:\\Users\\Ann\\Vantrel", "C:\\Program Files", false},
        {"C:\\Program", "C:\\Program Files", false},
        // A server path is not the drive path of the same name.
        {"\\\\server\\Program Files\\Vantrel", "C:\\Program Files", false},
        {"\\\\server\\share\\Vantrel", "\\\\server\\share", true},
        {"", "C:\\Program Files", false},
        {"C:\\Program Files\\Vantrel", "", false},
    };
    for (const Case &c : cases)
        EXPECT_EQ(IsWindowsPathInside(c.path, c.folder), c.inside) << c.path << " in " << c.folder;
}

TEST(WindowsPlaces, InstalledCopiesUseTheUsersApplicationData)
{
    struct Case
    {
        const char *what;
        WindowsPlace place;
        std::string expected;
    };
    const Case cases[] = {
        {"writable copy elsewhere",
         {"C:\\Users\\Ann\\vantrel", kProgramFolders, kAppData, true},
         ""},
        {"under Program Files, writable (an administrator, Wine)",
         {"C:\\Program Files\\Vantrel", kProgramFolders, kAppData, true},
         kAppData + "\\Vantrel"},
        {"under the 32-bit Program Files",
         {"C:\\Program Files (x86)\\Vantrel", kProgramFolders, kAppData, true},
         kAppData + "\\Vantrel"},
        {"unwritable folder elsewhere",
         {"D:\\Apps\\Vantrel", kProgramFolders, kAppData, false},
         kAppData + "\\Vantrel"},
        {"trailing separator of APPDATA",
         {"C:\\Program Files\\Vantrel", kProgramFolders, kAppData + "\\", true},
         kAppData + "\\Vantrel"},
        {"APPDATA a drive's root",
         {"C:\\Program Files\\Vantrel", kProgramFolders, "E:\\", true},
         "E:\\Vantrel"},
        {"APPDATA on a server",
         {"C:\\Program Files\\Vantrel", kProgramFolders, "\\\\home\\ann", true},
         "\\\\home\\ann\\Vantrel"},
        // With nowhere to go the file stays beside the program, where the
        // first save reports the folder as it would any unwritable one.
        {"no APPDATA", {"C:\\Program Files\\Vantrel", kProgramFolders, "", true}, ""},
        {"relative APPDATA", {"C:\\Program Files\\Vantrel", kProgramFolders, "Roaming", true}, ""},
        {"no Program Files known", {"C:\\Program Files\\Vantrel", {}, kAppData, true}, ""},
    };
    for (const Case &c : cases)
        EXPECT_EQ(WindowsSettingsFolderFor(c.place), c.expected) << c.what;
}

#ifdef _WIN32
std::string KnownFolder(REFKNOWNFOLDERID id)
{
    PWSTR path = nullptr;
    std::string folder;
    if (SUCCEEDED(SHGetKnownFolderPath(id, KF_FLAG_DEFAULT, nullptr, &path)))
        folder = vantrel::platform::WideToUtf8(path);
    CoTaskMemFree(path);
    return folder;
}

// This test program lies in the build's folder, which its user can write.
TEST(WindowsPlaces, TheSystemsFolders)
{
    const std::string here = vantrel::platform::ApplicationFolder();
    EXPECT_TRUE(vantrel::platform::FolderIsWritable(here));
    EXPECT_EQ(vantrel::platform::PrepareSettingsFolder(here, ""), "");
    EXPECT_FALSE(vantrel::platform::FolderIsWritable(here + "\\no such folder"));

    // As if it lay under Program Files.
    const std::string programs = KnownFolder(FOLDERID_ProgramFiles);
    const std::string appData = KnownFolder(FOLDERID_RoamingAppData);
    ASSERT_FALSE(programs.empty());
    ASSERT_FALSE(appData.empty());
    const std::wstring expected = vantrel::platform::Utf8ToWide(appData + "\\Vantrel");
    const bool existed = GetFileAttributesW(expected.c_str()) != INVALID_FILE_ATTRIBUTES;
    const std::string folder = vantrel::platform::PrepareSettingsFolder(programs + "\\Vantrel", "");
    EXPECT_EQ(folder, appData + "\\Vantrel");
    const DWORD attributes = GetFileAttributesW(expected.c_str());
    ASSERT_NE(attributes, INVALID_FILE_ATTRIBUTES);
    EXPECT_TRUE(attributes & FILE_ATTRIBUTE_DIRECTORY);
    if (!existed)
        RemoveDirectoryW(expected.c_str());
}
#endif

} // namespace
