// Start-up of the program up to its main window, without the splash:
// main() of the program step by step, timed, ending at the window's first
// paint. Compare with startup_hello, a bare Qt window, timed the same way.
#include "firstpaint.h"

#include "platform/fonts.h"
#include "platform/instanceguard.h"
#include "platform/userdialogs.h"
#include "shell/frmmain.h"
#include "shell/pictures.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    startupbench::Milestones milestones("vantrel");
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Vantrel"));
    QApplication::setOrganizationName(QStringLiteral("Brenmoor"));
    QApplication::setWindowIcon(vantrel::AppIcon());
    milestones.mark("app");
    vantrel::platform::RegisterTahoma();
    milestones.mark("fonts");

    vantrel::QtUserDialogs dialogs;
    // A lock of its own, so that a running program does not stop the bench.
    vantrel::platform::InstanceGuard guard(QStringLiteral("vantrel-startup-bench"));

    vantrel::AppContext context;
    context.dialogs = &dialogs;
    context.appFolder = QCoreApplication::applicationDirPath();
    context.anotherInstanceRunning = [&guard] {
        return guard.anotherInstanceRunning();
    };
    context.endApplication = [] {
        std::fprintf(stderr, "startup_vantrel: the start-up ended the program\n");
        std::_Exit(1);
    };
    context.showSplash = false;

    vantrel::frmMain main(context);
    milestones.mark("built");
    milestones.finishAfterFirstPaint(&main);
    if (!main.Form_Load())
        return 1;
    milestones.mark("loaded");
    return app.exec();
}
