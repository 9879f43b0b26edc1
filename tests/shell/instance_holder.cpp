// Test helper: takes the single-instance lock of the given name, says so,
// and waits to be killed.

#include "platform/instanceguard.h"

#include <QCoreApplication>

#include <cstdio>
#include <thread>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc < 2)
        return 2;
    vantrel::platform::InstanceGuard guard(QString::fromLocal8Bit(argv[1]));
    std::puts(guard.anotherInstanceRunning() ? "refused" : "locked");
    std::fflush(stdout);
    std::this_thread::sleep_for(std::chrono::seconds(60));
    return 0;
}
