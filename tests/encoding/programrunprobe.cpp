// Runs a program as the encoding job does, until it ends or this process is
// killed: PROGRAM ARGUMENTS...

#include "encoding/programrun.h"

#include <QCoreApplication>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() < 2)
        return 2;
    vantrel::encoding::ProgramRun run;
    int code = 1;
    QObject::connect(&run, &vantrel::encoding::ProgramRun::ended, &app,
                     [&code](const vantrel::encoding::ProgramOutcome &outcome) {
                         if (outcome.kind == vantrel::encoding::ProgramOutcome::Kind::Finished)
                             code = outcome.exitCode;
                         QCoreApplication::quit();
                     });
    run.start(args.at(1), args.mid(2));
    QCoreApplication::exec();
    return code;
}
