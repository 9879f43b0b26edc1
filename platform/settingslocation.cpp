#include "platform/settingslocation.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

#ifndef VANTREL_INSTALLED_APP_DIR
#define VANTREL_INSTALLED_APP_DIR ""
#endif

#ifdef _WIN32
#include "platform/windowsplaces.h"
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace vantrel::platform {

namespace {

std::filesystem::path Resolved(const std::string &folder)
{
    std::error_code ec;
    std::filesystem::path path = std::filesystem::weakly_canonical(folder, ec);
    if (ec)
        path = std::filesystem::path(folder).lexically_normal();
    // "/a/b/" and "/a/b" are one folder.
    if (!path.has_filename() && path.has_parent_path() && path != path.root_path())
        path = path.parent_path();
    return path;
}

#ifndef _WIN32
std::string Environment(const char *name)
{
    const char *value = std::getenv(name); // NOLINT(concurrency-mt-unsafe): read at start-up only
    return value ? std::string(value) : std::string();
}
#endif

} // namespace

bool IsInstalledCopy(const SettingsPlace &place)
{
    if (!place.appFolderWritable)
        return true;
    if (place.installedAppFolder.empty() || place.appFolder.empty())
        return false;
    return Resolved(place.appFolder) == Resolved(place.installedAppFolder);
}

std::string SettingsFolderFor(const SettingsPlace &place)
{
    if (!IsInstalledCopy(place))
        return {};
    std::filesystem::path base;
    if (!place.configHome.empty() && std::filesystem::path(place.configHome).is_absolute())
        base = place.configHome;
    else if (!place.home.empty() && std::filesystem::path(place.home).is_absolute())
        base = std::filesystem::path(place.home) / ".config";
    else
        return {};
    return (base.lexically_normal() / "vantrel").string();
}

bool FolderIsWritable(const std::string &folder)
{
#ifdef _WIN32
    return WindowsFolderIsWritable(folder);
#else
    return ::access(folder.c_str(), W_OK | X_OK) == 0;
#endif
}

std::string PrepareSettingsFolder(const std::string &appFolder,
                                  const std::string &installedAppFolder)
{
#ifdef _WIN32
    // Installed copies are told by where they lie (platform/windowsplaces.h).
    (void)installedAppFolder;
    return PrepareWindowsSettingsFolder(appFolder);
#else
    SettingsPlace place{appFolder, installedAppFolder, Environment("XDG_CONFIG_HOME"),
                        Environment("HOME"), FolderIsWritable(appFolder)};
    std::string folder = SettingsFolderFor(place);
    if (folder.empty())
        return {};
    // The parent (~/.config) is made owner-only as well when it is new; an
    // existing folder keeps its permissions. A failure shows at the first
    // save, as an unwritable application folder does.
    const std::filesystem::path path(folder);
    ::mkdir(path.parent_path().c_str(), 0700);
    ::mkdir(path.c_str(), 0700);
    return folder;
#endif
}

std::string PrepareProgramSettingsFolder(const std::string &appFolder)
{
    return PrepareSettingsFolder(appFolder, VANTREL_INSTALLED_APP_DIR);
}

} // namespace vantrel::platform
