#include "shell/application.h"

#include "common/qtbridge.h"
#include "platform/fonts.h"
#include "platform/settingslocation.h"
#include "ui/pictures.h"

#include <QApplication>

namespace vantrel {

void PrepareApplication()
{
    QApplication::setApplicationName(QStringLiteral("Vantrel"));
    QApplication::setOrganizationName(QStringLiteral("Brenmoor"));
    QApplication::setWindowIcon(AppIcon());
    // The menu entry's name: the desktop shows the theme's icon for the window.
    QGuiApplication::setDesktopFileName(QStringLiteral("example.brenmoor.Vantrel"));
    platform::RegisterTahoma();
}

ProgramContext::ProgramContext(const QString &lockName, std::function<void()> end)
    : m_guard(lockName)
{
    m_context.dialogs = &m_dialogs;
    m_context.appFolder = QCoreApplication::applicationDirPath();
    // An installed copy keeps each user's settings in that user's
    // configuration folder; a copy in a writable folder keeps them beside it.
    m_context.settingsFolder =
        FromUtf8(platform::PrepareProgramSettingsFolder(ToUtf8(m_context.appFolder)));
    m_context.anotherInstanceRunning = [this] {
        return m_guard.anotherInstanceRunning();
    };
    m_context.endApplication = std::move(end);
}

} // namespace vantrel
