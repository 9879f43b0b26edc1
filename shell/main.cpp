#include "platform/fonts.h"
#include "platform/instanceguard.h"
#include "platform/userdialogs.h"
#include "shell/frmmain.h"
#include "shell/pictures.h"

#include <QApplication>

#include <cstdlib>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Vantrel"));
    QApplication::setOrganizationName(QStringLiteral("Brenmoor"));
    QApplication::setWindowIcon(vantrel::AppIcon());
    vantrel::platform::RegisterTahoma();

    vantrel::QtUserDialogs dialogs;
    vantrel::platform::InstanceGuard guard(QStringLiteral("vantrel"));

    vantrel::AppContext context;
    context.dialogs = &dialogs;
    context.appFolder = QCoreApplication::applicationDirPath();
    context.anotherInstanceRunning = [&guard] {
        return guard.anotherInstanceRunning();
    };
    // Ending is immediate: no window runs another handler and nothing waits.
    context.endApplication = [] {
        std::_Exit(0);
    };

    vantrel::frmMain main(context);
    if (!main.Form_Load())
        return 0;
    return app.exec();
}
