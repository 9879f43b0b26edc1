#pragma once

#include <QString>

#include <functional>

namespace vantrel {

class UserDialogs;

// What the windows need from outside: the seam for dialogs, the application
// folder, and how the program ends. The program fills it in main(); tests
// give a scripted seam, a temporary folder and a recorder for the end.
struct AppContext
{
    UserDialogs *dialogs = nullptr;
    // Folder of the program, mencoder and fix; no
    // trailing separator.
    QString appFolder;
    // Folder of the settings file and of what else the program keeps for its
    // user between runs; empty means the application folder.
    QString settingsFolder;
    QString settingsFolderOrApp() const
    {
        return settingsFolder.isEmpty() ? appFolder : settingsFolder;
    }
    // True when another instance of the program runs for this user.
    std::function<bool()> anotherInstanceRunning;
    // Ends the program at once: no window runs another handler, nothing is
    // saved, an open FTP connection is left as it is.
    std::function<void()> endApplication;
    // Whether start-up shows the two-second splash window.
    bool showSplash = true;
};

} // namespace vantrel
