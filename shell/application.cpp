#include "shell/application.h"

#include "platform/fonts.h"
#include "ui/pictures.h"

#include <QApplication>

namespace vantrel {

void PrepareApplication()
{
    QApplication::setApplicationName(QStringLiteral("Vantrel"));
    QApplication::setOrganizationName(QStringLiteral("Brenmoor"));
    QApplication::setWindowIcon(AppIcon());
    platform::RegisterTahoma();
}

ProgramContext::ProgramContext(const QString &lockName, std::function<void()> end)
    : m_guard(lockName)
{
    m_context.dialogs = &m_dialogs;
    m_context.appFolder = QCoreApplication::applicationDirPath();
    m_context.anotherInstanceRunning = [this] {
        return m_guard.anotherInstanceRunning();
    };
    m_context.endApplication = std::move(end);
}

} // namespace vantrel
