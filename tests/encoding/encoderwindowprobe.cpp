// Runs a program in the encoder's window, as the main program does, until it
// ends or this process is killed: PROGRAM ARGUMENTS...

#include "encoding/encoderwindow.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = QApplication::arguments();
    if (args.size() < 2)
        return 2;
    vantrel::EncoderWindow window(nullptr);
    const vantrel::ProcessOutcome outcome = window.run(args.at(1), args.mid(2));
    return outcome.kind == vantrel::ProcessOutcome::Kind::Finished ? outcome.exitCode : 1;
}
