// A companion program's run with real programs: how its output is read, how
// its ends are told apart, that nothing it starts outlives us, and what the
// encoder's window shows of an encoding.

#include "common/qtbridge.h"
#include "encoding/commandlines.h"
#include "encoding/encodingjob.h"
#include "encoding/programrun.h"
#include "ui/encoderwindow.h"

#include <QAccessible>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <functional>

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

using namespace vantrel;
using encoding::ProgramOutcome;
using encoding::ProgramRun;

namespace {

// Makes `path` with FFmpeg from `inputsAndCodecs` (words split at spaces).
::testing::AssertionResult MakeClip(const QString &path, const QString &inputsAndCodecs)
{
    QProcess ffmpeg;
    ffmpeg.start(QStringLiteral("ffmpeg"),
                 QStringList{QStringLiteral("-v"), QStringLiteral("error")}
                     + inputsAndCodecs.split(QLatin1Char(' '))
                     + QStringList{QStringLiteral("-y"), path});
    if (!ffmpeg.waitForFinished(60000) || ffmpeg.exitCode() != 0)
        return ::testing::AssertionFailure() << ffmpeg.readAllStandardError().toStdString();
    return ::testing::AssertionSuccess();
}

// Runs the program to its end; its lines go to `window`, if one is given.
ProgramOutcome RunToEnd(ProgramRun &run, const QString &program, const QStringList &arguments,
                        EncoderWindow *window = nullptr)
{
    ProgramOutcome outcome;
    QEventLoop loop;
    QObject::connect(&run, &ProgramRun::ended, &loop, [&](const ProgramOutcome &ended) {
        outcome = ended;
        loop.quit();
    });
    if (window)
        QObject::connect(&run, &ProgramRun::lineRead, window, &EncoderWindow::appendLine);
    bool ended = false;
    QObject::connect(&run, &ProgramRun::ended, &loop, [&ended] { ended = true; });
    run.start(program, arguments);
    if (!ended)
        loop.exec();
    return outcome;
}

ProgramOutcome runShell(ProgramRun &run, const QString &script, EncoderWindow *window = nullptr)
{
    return RunToEnd(run, QStringLiteral("/bin/sh"), {QStringLiteral("-c"), script}, window);
}

// The command lines of the running processes (zombies aside) that hold `text`.
QStringList processesMentioning(const QString &text)
{
    QStringList found;
    const QDir proc(QStringLiteral("/proc"));
    for (const QString &name : proc.entryList(QDir::Dirs)) {
        bool isPid = false;
        const qint64 pid = name.toLongLong(&isPid);
        if (!isPid || pid == QCoreApplication::applicationPid())
            continue;
        QFile status(proc.filePath(name + QStringLiteral("/stat")));
        if (status.open(QIODevice::ReadOnly) && status.readAll().contains(") Z "))
            continue;
        QFile cmdline(proc.filePath(name + QStringLiteral("/cmdline")));
        if (!cmdline.open(QIODevice::ReadOnly))
            continue;
        const QString line =
            QString::fromLocal8Bit(cmdline.readAll()).replace(QChar(0), QLatin1Char(' '));
        if (line.contains(text))
            found << line;
    }
    return found;
}

bool waitFor(const std::function<bool()> &done, int limitMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > limitMs)
            return false;
        QThread::msleep(50);
    }
    return true;
}

} // namespace

TEST(ProgramRun, ACharacterSplitBetweenReadsArrivesWhole)
{
    ProgramRun run;
    EncoderWindow window(nullptr);
    // "é" is two bytes in UTF-8; the pause lets the first be read alone.
    const ProgramOutcome outcome =
        runShell(run,
                 QStringLiteral("printf 'caf\\303'; sleep 0.5; printf '\\251\\r1 \\342\\202';"
                                " sleep 0.5; printf '\\254\\n\\342'; sleep 0.5; printf "
                                "'\\202\\254'"),
                 &window);
    EXPECT_EQ(outcome.kind, ProgramOutcome::Kind::Finished);
    EXPECT_EQ(window.outputText(), QStringLiteral("caf\u00e9\n1 \u20ac\n\u20ac"));
}

TEST(ProgramRun, AProgramGetsNoneOfOurFiles)
{
    // Opened as some library might: without close-on-exec.
    const int ours = ::open("/dev/null", O_RDONLY);
    ASSERT_GE(ours, 3);
    ProgramRun run;
    QStringList descriptors;
    QObject::connect(&run, &ProgramRun::lineRead, &run,
                     [&](const QString &line) { descriptors << line; });
    EXPECT_EQ(runShell(run, QStringLiteral("ls /proc/$$/fd")).exitCode, 0);
    ::close(ours);
    EXPECT_TRUE(descriptors.contains(QStringLiteral("2"))) << descriptors.join(u' ').toStdString();
    EXPECT_FALSE(descriptors.contains(QString::number(ours)))
        << descriptors.join(u' ').toStdString();
}

TEST(ProgramRun, TheEndOfAProgramIsToldApart)
{
    using Kind = ProgramOutcome::Kind;
    struct Row
    {
        const char *name;
        QString script;
        bool stopAfterAWhile;
        Kind kind;
        int exitCode;
    };
    const Row rows[] = {
        {"ends by itself", QStringLiteral("exit 3"), false, Kind::Finished, 3},
        {"crashes", QStringLiteral("kill -KILL $$"), false, Kind::Crashed, -1},
        {"killed by someone else", QStringLiteral("kill -TERM $$"), false, Kind::Crashed, -1},
        {"stopped by the user, dies of it", QStringLiteral("sleep 30 & wait"), true, Kind::Stopped,
         -1},
        {"stopped by the user, ends with a code",
         QStringLiteral("trap 'exit 3' TERM; sleep 30 & wait"), true, Kind::Stopped, -1},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        ProgramRun run;
        if (row.stopAfterAWhile)
            QTimer::singleShot(300, &run, &ProgramRun::stop);
        const ProgramOutcome outcome = runShell(run, row.script);
        EXPECT_EQ(outcome.kind, row.kind);
        if (row.kind == Kind::Finished) {
            EXPECT_EQ(outcome.exitCode, row.exitCode);
        }
    }
}

TEST(ProgramRun, AStartThatFailsAtOnceEndsTheRun)
{
    // No descriptor left: QProcess fails within start(), before any loop runs.
    struct rlimit saved;
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &saved), 0);
    ProgramRun run;
    // Today's figure is a few milliseconds; a hang would never end at all.
    QTimer::singleShot(30000, [] {
        std::fputs("The run did not end after a failed start.\n", stderr);
        std::_Exit(1);
    });
    const int lowestFree = dup(0);
    ASSERT_GE(lowestFree, 0);
    close(lowestFree);
    struct rlimit tight = saved;
    tight.rlim_cur = static_cast<rlim_t>(lowestFree);
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &tight), 0);
    QElapsedTimer clock;
    clock.start();
    const ProgramOutcome outcome = RunToEnd(run, QStringLiteral("/bin/true"), {});
    const qint64 elapsed = clock.elapsed();
    setrlimit(RLIMIT_NOFILE, &saved);
    EXPECT_EQ(outcome.kind, ProgramOutcome::Kind::FailedToStart);
    EXPECT_FALSE(outcome.startError.isEmpty());
    EXPECT_LT(elapsed, 5000);
}

TEST(ProgramRun, NoEncoderOutlivesAKilledProgram)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString source = dir.filePath(QStringLiteral("long.mp4"));
    ASSERT_TRUE(
        MakeClip(source, QStringLiteral("-f lavfi -i testsrc=size=160x120:rate=25:duration=30 "
                                        "-c:v libx264 -preset ultrafast -pix_fmt yuv420p")));

    // The program's own encoder line, at the largest frame size, so that it runs a while.
    const QString output = dir.filePath(QStringLiteral("long.mp4.temp"));
    QStringList args = {QStringLiteral(VANTREL_APP_DIR "/mencoder"), source};
    args << QStringLiteral("-sws 9 -vf harddup -oac faac -faacopts br=48:mpeg=4:object=2:raw "
                           "-channels 2 -srate 16000 -ovc x264 -x264encopts "
                           "bitrate=468:vbv_maxrate=768:vbv_bufsize=2000:nocabac:level_idc=13:"
                           "global_header -ofps 25 -vf-add scale=1024:768 -of lavf -lavfopts "
                           "format=mp4 -o")
                .split(QLatin1Char(' '))
         << output;
    QProcess program;
    program.start(QStringLiteral(PROGRAM_RUN_PROBE), args);
    ASSERT_TRUE(program.waitForStarted(10000));
    const QString written = QStringLiteral("file:") + output;
    const bool encoding = waitFor(
        [&] { return !processesMentioning(written).isEmpty() && QFile::exists(output); }, 60000);
    ASSERT_TRUE(encoding) << "FFmpeg did not start";
    kill(static_cast<pid_t>(program.processId()), SIGKILL);
    ASSERT_TRUE(program.waitForFinished(10000));

    // Well under a second on a quiet machine.
    EXPECT_TRUE(waitFor([&] { return processesMentioning(output).isEmpty(); }, 10000))
        << processesMentioning(output).join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(waitFor([&] { return !QFile::exists(output); }, 10000));
}

TEST(EncoderWindow, BesideTheBarStandElapsedTimeSpeedAndTimeLeft)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString source = dir.filePath(QStringLiteral("clip.avi"));
    ASSERT_TRUE(
        MakeClip(source, QStringLiteral("-f lavfi -i testsrc=size=320x240:rate=25:duration=4 "
                                        "-f lavfi -i sine=frequency=440:duration=4 "
                                        "-c:v mpeg4 -c:a mp2")));

    // The encoding job, its lines and progress shown in the window as the
    // main window shows them.
    EncoderWindow window(nullptr);
    encoding::EncodingJob job(QStringLiteral(VANTREL_APP_DIR));
    // The text as the encoder left it, when the repair program starts.
    QString encoderText;
    QObject::connect(&job, &encoding::EncodingJob::programStarted, &window,
                     [&] { encoderText = window.progressText(); });
    QObject::connect(&job, &encoding::EncodingJob::programStarted, &window,
                     &EncoderWindow::showRunOf);
    QObject::connect(&job, &encoding::EncodingJob::outputLine, &window, &EncoderWindow::appendLine);
    QObject::connect(&job, &encoding::EncodingJob::progressed, &window,
                     &EncoderWindow::showProgress);
    QStringList seen;
    QTimer sample;
    QObject::connect(&sample, &QTimer::timeout, &window, [&] {
        if (seen.isEmpty() || seen.last() != window.progressText())
            seen << window.progressText();
    });
    sample.start(20);
    const encoding::EncodeJob choices{
        VANTREL_APP_DIR, ToUtf8(source),
        " -sws 9 -vf harddup -oac faac -faacopts br=48:mpeg=4:object=2:raw -channels 2 -srate "
        "16000 -ovc x264 -x264encopts "
        "bitrate=468:vbv_maxrate=768:vbv_bufsize=2000:nocabac:level_idc=13:global_header -ofps "
        "25 -vf-add scale=320:240 ",
        ToUtf8(dir.path()) + "/", "clip.mp4"};
    encoding::EncodeOutcome outcome;
    QEventLoop loop;
    QObject::connect(&job, &encoding::EncodingJob::finished, &loop,
                     [&](const encoding::EncodeOutcome &ended) {
                         outcome = ended;
                         loop.quit();
                     });
    ASSERT_TRUE(job.start(FromUtf8(encoding::ComposeEncoderLine(choices, '/')), choices));
    loop.exec();
    ASSERT_EQ(outcome.kind, encoding::EncodeOutcome::Kind::Encoded)
        << window.outputText().toStdString();

    ASSERT_FALSE(seen.isEmpty());
    EXPECT_TRUE(
        QRegularExpression(QStringLiteral("^Elapsed \\d+:\\d\\d")).match(seen.first()).hasMatch())
        << seen.first().toStdString();
    const QRegularExpression whole(
        QStringLiteral("^Elapsed \\d+:\\d\\d \\| \\d+\\.\\d fps, \\d+\\.\\dx real time \\| "
                       "\\d+:\\d\\d left$"));
    EXPECT_TRUE(whole.match(encoderText).hasMatch()) << encoderText.toStdString();
    // A screen reader hears what the line says, beside what it is.
    QAccessibleInterface *face = QAccessible::queryAccessibleInterface(
        window.findChild<QLabel *>(QStringLiteral("lblEncodingTime")));
    ASSERT_NE(face, nullptr);
    EXPECT_EQ(face->text(QAccessible::Name), QStringLiteral("Encoding time"));
    EXPECT_EQ(face->text(QAccessible::Description), window.progressText());
}
