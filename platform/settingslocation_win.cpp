// Windows side of the settings folder: the system's own folders, found by
// their known-folder ids.
#ifdef _WIN32

#include "platform/widetext.h"
#include "platform/windowsplaces.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <knownfolders.h>
#include <shlobj.h>

namespace vantrel::platform {

namespace {

std::string KnownFolder(REFKNOWNFOLDERID id)
{
    PWSTR path = nullptr;
    std::string folder;
    if (SUCCEEDED(SHGetKnownFolderPath(id, KF_FLAG_DEFAULT, nullptr, &path)) && path)
        folder = WideToUtf8(path);
    CoTaskMemFree(path);
    return folder;
}

} // namespace

bool WindowsFolderIsWritable(const std::string &folder)
{
    // Access rights on Windows come from the folder's access list, the
    // user's groups and the elevation of the process: only a try tells.
    std::wstring probe = Utf8ToWide(folder);
    if (!probe.empty() && probe.back() != L'\\' && probe.back() != L'/')
        probe += L'\\';
    probe += L".vantrel-write-test-" + std::to_wstring(GetCurrentProcessId());
    const HANDLE file = CreateFileW(
        probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
        FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    CloseHandle(file);
    return true;
}

std::string PrepareWindowsSettingsFolder(const std::string &appFolder)
{
    WindowsPlace place;
    place.appFolder = appFolder;
    for (const KNOWNFOLDERID *id : {&FOLDERID_ProgramFiles, &FOLDERID_ProgramFilesX86}) {
        std::string folder = KnownFolder(*id);
        if (!folder.empty())
            place.programFolders.push_back(std::move(folder));
    }
    place.appData = KnownFolder(FOLDERID_RoamingAppData);
    place.appFolderWritable = WindowsFolderIsWritable(appFolder);
    const std::string folder = WindowsSettingsFolderFor(place);
    // A failure shows at the first save, as an unwritable application
    // folder does. %APPDATA% is the user's own: no access list to set.
    if (!folder.empty())
        CreateDirectoryW(Utf8ToWide(folder).c_str(), nullptr);
    return folder;
}

} // namespace vantrel::platform

#endif // _WIN32
