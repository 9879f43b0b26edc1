#include "platform/windowsplaces.h"

namespace vantrel::platform {

namespace {

// Windows compares names without regard to case; ASCII is what matters for
// the folders compared here, whatever the user's locale.
char Lower(char c)
{
    return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

bool IsSeparator(char c)
{
    return c == '\\' || c == '/';
}

// The parts of a path between its separators, "." parts left out. A leading
// "\\" (a server path) gives two empty parts, which keeps it apart from a
// drive path.
std::vector<std::string_view> Parts(std::string_view path)
{
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= path.size(); ++i) {
        if (i < path.size() && !IsSeparator(path[i]))
            continue;
        const std::string_view part = path.substr(start, i - start);
        if (part != ".")
            parts.push_back(part);
        start = i + 1;
    }
    while (!parts.empty() && parts.back().empty())
        parts.pop_back();
    return parts;
}

bool SameNoCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (Lower(a[i]) != Lower(b[i]))
            return false;
    }
    return true;
}

bool IsAbsolute(std::string_view path)
{
    const bool drive = path.size() >= 3 && Lower(path[0]) >= 'a' && Lower(path[0]) <= 'z'
                       && path[1] == ':' && IsSeparator(path[2]);
    const bool server =
        path.size() >= 3 && IsSeparator(path[0]) && IsSeparator(path[1]) && !IsSeparator(path[2]);
    return drive || server;
}

} // namespace

bool IsWindowsPathInside(std::string_view path, std::string_view folder)
{
    const std::vector<std::string_view> inner = Parts(path);
    const std::vector<std::string_view> outer = Parts(folder);
    if (inner.empty() || outer.empty() || inner.size() < outer.size())
        return false;
    for (std::size_t i = 0; i < outer.size(); ++i) {
        if (!SameNoCase(inner[i], outer[i]))
            return false;
    }
    return true;
}

bool IsInstalledWindowsCopy(const WindowsPlace &place)
{
    if (!place.appFolderWritable)
        return true;
    for (const std::string &programs : place.programFolders) {
        if (IsWindowsPathInside(place.appFolder, programs))
            return true;
    }
    return false;
}

std::string WindowsSettingsFolderFor(const WindowsPlace &place)
{
    if (!IsInstalledWindowsCopy(place) || !IsAbsolute(place.appData))
        return {};
    std::string folder = place.appData;
    while (folder.size() > 3 && IsSeparator(folder.back()))
        folder.pop_back();
    if (!IsSeparator(folder.back()))
        folder += '\\';
    return folder + "Vantrel";
}

} // namespace vantrel::platform
