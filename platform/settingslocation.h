#pragma once

// Where the settings file lives. A copy of the program in a folder its user
// can write (the build's app folder, an unpacked archive) keeps it beside
// the program. An installed copy cannot: its folder belongs to the system
// and is shared by every user, so each user's file goes into that user's
// configuration folder.

#include <string>

namespace vantrel::platform {

struct SettingsPlace
{
    // Folder of the running program.
    std::string appFolder;
    // The folder the build installs the program into; empty when unknown.
    std::string installedAppFolder;
    // $XDG_CONFIG_HOME and $HOME as the environment gives them.
    std::string configHome;
    std::string home;
    // Whether the user may create files in `appFolder`.
    bool appFolderWritable = true;
};

// True when `appFolder` is the installed program's folder: the same folder
// as the one compiled in (links and dots resolved), or a folder its user
// cannot write.
bool IsInstalledCopy(const SettingsPlace &place);

// The folder of the settings file: empty for the application folder (a
// writable copy); for an installed copy "<configHome>/vantrel", or
// "<home>/.config/vantrel" when configHome is empty or relative. Empty too
// when neither is usable. Pure but for resolving links in the two folders.
std::string SettingsFolderFor(const SettingsPlace &place);

// Whether the current user may create files in `folder`.
bool FolderIsWritable(const std::string &folder);

// Decides the settings folder of the program running from `appFolder` with
// the environment of this process, and creates a per-user folder owner-only
// (0700) if it is missing. Empty means the application folder. On Windows
// an installed copy uses "%APPDATA%\Vantrel" (platform/windowsplaces.h).
std::string PrepareSettingsFolder(const std::string &appFolder,
                                  const std::string &installedAppFolder);

// The same for a program of this build (the window, vantrel-cli): the folder
// the build installs into is compiled in, so that every program of one
// installation shares one settings file and one trust store.
std::string PrepareProgramSettingsFolder(const std::string &appFolder);

} // namespace vantrel::platform
