#pragma once

// Where an installed copy of the program keeps its settings on Windows. A
// copy that its user can write (an unpacked archive, the build's folder)
// keeps them beside the program; a copy installed under Program Files, or in
// any folder its user cannot write, keeps them in "%APPDATA%\Vantrel". The
// folder test matters under Program Files because an administrator, or Wine,
// may write there although the folder belongs to every user of the machine.
// Pure: paths by Windows' rules, whatever the system it runs on.

#include <string>
#include <string_view>
#include <vector>

namespace vantrel::platform {

struct WindowsPlace
{
    // Folder of the running program.
    std::string appFolder;
    // The system's Program Files folders (64- and 32-bit).
    std::vector<std::string> programFolders;
    // The user's roaming application data folder (%APPDATA%).
    std::string appData;
    // Whether the user may create files in `appFolder`.
    bool appFolderWritable = true;
};

// Whether `path` is `folder` or lies inside it: letters compared without
// regard to ASCII case, "/" and "\" alike, trailing separators and "."
// parts ignored. False when either is empty.
bool IsWindowsPathInside(std::string_view path, std::string_view folder);

// True for a copy under one of the Program Files folders or in a folder its
// user cannot write.
bool IsInstalledWindowsCopy(const WindowsPlace &place);

// The settings folder: empty for the application folder (a writable copy);
// "<appData>\Vantrel" for an installed copy. Empty too when appData is not
// an absolute path ("C:\..." or "\\server\...").
std::string WindowsSettingsFolderFor(const WindowsPlace &place);

} // namespace vantrel::platform

#ifdef _WIN32
namespace vantrel::platform {

// The Windows side of FolderIsWritable (platform/settingslocation.h): a file
// can be created in `folder` (tried, then removed).
bool WindowsFolderIsWritable(const std::string &folder);

// The Windows side of PrepareSettingsFolder: decides with the system's
// folders and creates "%APPDATA%\Vantrel" when an installed copy needs it.
std::string PrepareWindowsSettingsFolder(const std::string &appFolder);

} // namespace vantrel::platform
#endif
