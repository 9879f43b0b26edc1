#include "platform/childprocesses.h"
#include "platform/weblinks.h"
#include "shell/application.h"
#include "shell/frmmain.h"

#include <QApplication>

#include <cstdlib>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    // Before anything is started: the encoder must not outlive us.
    vantrel::platform::EndChildProcessesWithUs();
    vantrel::platform::OpenWebLinksOutsideOurJob();
    vantrel::PrepareApplication();
    // Ending is immediate: no window runs another handler and nothing waits.
    vantrel::ProgramContext program(QStringLiteral("vantrel"), [] { std::_Exit(0); });

    vantrel::frmMain main(program.context());
    if (!main.Form_Load())
        return 0;
    return app.exec();
}
