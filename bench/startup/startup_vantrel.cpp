// Start-up of the program up to its main window, without the splash:
// main() of the program step by step, timed, ending at the window's first
// paint. Compare with startup_hello, a bare Qt window, timed the same way.
#include "firstpaint.h"

#include "shell/application.h"
#include "shell/frmmain.h"

#include <QApplication>

#include <cstdio>
#include <cstdlib>

int main(int argc, char *argv[])
{
    startupbench::Milestones milestones("vantrel");
    QApplication app(argc, argv);
    milestones.mark("app");
    vantrel::PrepareApplication();
    milestones.mark("fonts");

    // A lock of its own, so that a running program does not stop the bench.
    vantrel::ProgramContext program(QStringLiteral("vantrel-startup-bench"), [] {
        std::fprintf(stderr, "startup_vantrel: the start-up ended the program\n");
        std::_Exit(1);
    });
    program.context().showSplash = false;

    vantrel::frmMain main(program.context());
    milestones.mark("built");
    milestones.finishAfterFirstPaint(&main);
    if (!main.Form_Load())
        return 1;
    milestones.mark("loaded");
    return app.exec();
}
