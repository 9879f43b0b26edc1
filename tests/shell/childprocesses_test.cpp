// The job object that ends the program's children with it (Windows only):
// a stand-in for the program joins it, starts a child and, for a web
// browser, a process outside it, and ends at once. The child must end with
// it; the outside process must live on.

#include "platform/childprocesses.h"

#include <QCoreApplication>
#include <QProcess>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <windows.h>

namespace {

// Whether the process `id` has ended within `ms`; one that is gone already
// has. Ends it when it has not.
bool EndsWithin(unsigned long id, DWORD ms)
{
    const HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, DWORD(id));
    if (!process)
        return true;
    const bool ended = WaitForSingleObject(process, ms) == WAIT_OBJECT_0;
    if (!ended)
        TerminateProcess(process, 1);
    CloseHandle(process);
    return ended;
}

TEST(ChildProcesses, ChildrenEndWithTheProgramAndOutsidersLiveOn)
{
    QProcess probe;
    probe.start(QStringLiteral(JOB_PROBE), {QStringLiteral("parent")});
    ASSERT_TRUE(probe.waitForFinished(30000)) << probe.errorString().toStdString();
    ASSERT_EQ(probe.exitCode(), 0) << "the job could not be set up";
    const QString out = QString::fromLatin1(probe.readAllStandardOutput());
    const QRegularExpressionMatch ids =
        QRegularExpression(QStringLiteral("INSIDE (\\d+)\\s+OUTSIDE (\\d+)")).match(out);
    ASSERT_TRUE(ids.hasMatch()) << out.toStdString();
    const unsigned long inside = ids.captured(1).toULong();
    const unsigned long outside = ids.captured(2).toULong();
    ASSERT_NE(inside, 0u) << "the child was not started";
    ASSERT_NE(outside, 0u) << "the process outside the job was not started";

    EXPECT_FALSE(EndsWithin(outside, 1000)) << "the process outside the job ended with it";
    EXPECT_TRUE(EndsWithin(inside, 10000)) << "the child outlived the program";
}

TEST(ChildProcesses, TheProgramIsInTheJobOnce)
{
    ASSERT_TRUE(vantrel::platform::EndChildProcessesWithUs());
    BOOL inJob = FALSE;
    ASSERT_TRUE(IsProcessInJob(GetCurrentProcess(), nullptr, &inJob));
    EXPECT_TRUE(inJob);
    EXPECT_TRUE(vantrel::platform::EndChildProcessesWithUs());
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
