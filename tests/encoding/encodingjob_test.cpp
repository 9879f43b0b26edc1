// The encoding job without a window, with stand-in programs: how each end of
// the two programs becomes the outcome and its report, what it reports while
// it runs, and how it is stopped.

#include "common/qtbridge.h"
#include "encoding/commandlines.h"
#include "encoding/encodingjob.h"

#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <optional>

namespace vantrel::encoding {
namespace {

using Kind = EncodeOutcome::Kind;

class EncodingJobTest : public ::testing::Test
{
protected:
    // A stand-in program in the application folder; none when `body` is
    // empty.
    void install(const char *name, const QByteArray &body)
    {
        const QString path = app.filePath(QString::fromLatin1(name));
        QFile::remove(path);
        if (body.isEmpty())
            return;
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("#!/bin/sh\n" + body);
        file.close();
        file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    // Runs the job to its end; `whileRunning` is called once it has started.
    EncodeOutcome run(const std::function<void()> &whileRunning = {})
    {
        EncodeOutcome outcome;
        QEventLoop loop;
        QObject::connect(&job, &EncodingJob::finished, &loop, [&](const EncodeOutcome &ended) {
            outcome = ended;
            loop.quit();
        });
        EXPECT_TRUE(job.start(FromUtf8(ComposeEncoderLine(choices, '/')), choices));
        if (job.isRunning()) {
            EXPECT_FALSE(job.start(QString(), choices));
            if (whileRunning)
                whileRunning();
            loop.exec();
        }
        EXPECT_FALSE(job.isRunning());
        return outcome;
    }

    QTemporaryDir app;
    QTemporaryDir work;
    EncodeJob choices{ToUtf8(app.path()), ToUtf8(work.filePath(QStringLiteral("clip.avi"))),
                      " -ofps 25 ", ToUtf8(work.path()) + "/", "clip.mp4"};
    EncodingJob job{app.path()};
};

TEST_F(EncodingJobTest, EachEndOfTheProgramsHasItsOutcome)
{
    const QByteArray writeFinal = "echo done > \"$2\"\n";
    const struct
    {
        const char *what;
        QByteArray encoder; // empty: not there
        QByteArray repair;
        Kind kind;
        const char *report;
    } rows[] = {
        {"encoded", "exit 0\n", writeFinal, Kind::Encoded, "FLV ENCODED!"},
        {"damaged source", "exit 1\n", writeFinal, Kind::EncodingFailed,
         "THE ENCODING FAILED DUE TO A DAMAGED VIDEO FILE!"},
        {"disk full", "exit 4\n", writeFinal, Kind::EncodingFailed,
         "THE OUTPUT FILE COULD NOT BE WRITTEN: THE DISK IS FULL!"},
        {"a still picture", "exit 9\n", writeFinal, Kind::EncodingFailed,
         "THE SOURCE FILE IS A STILL PICTURE, NOT A VIDEO!"},
        {"encoder crashed", "kill -KILL $$\n", writeFinal, Kind::EncoderCrashed,
         "THE ENCODING FAILED DUE TO A DAMAGED VIDEO FILE!"},
        {"no encoder", "", writeFinal, Kind::EncoderNotStarted,
         "THE ENCODER COULD NOT BE STARTED!\nNO SUCH FILE OR DIRECTORY"},
        {"no repair program", "exit 0\n", "", Kind::RepairNotStarted,
         "THE REPAIR PROGRAM COULD NOT BE STARTED!\nNO SUCH FILE OR DIRECTORY"},
        {"no final file", "exit 0\n", "exit 0\n", Kind::RepairFailed,
         "THE ENCODED FILE COULD NOT BE FINISHED!"},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.what);
        QFile::remove(work.filePath(QStringLiteral("clip.mp4")));
        install("mencoder", row.encoder);
        install("fix", row.repair);
        const EncodeOutcome outcome = run();
        EXPECT_EQ(outcome.kind, row.kind);
        EXPECT_EQ(ReportFor(outcome).text, QString::fromUtf8(row.report));
        EXPECT_EQ(ReportFor(outcome).isError, row.kind != Kind::Encoded);
    }
}

TEST_F(EncodingJobTest, ReportsEachProgramItsLinesAndWhereItStands)
{
    install("mencoder", "echo 'Pos: 1.0s 25f (50%)'\necho 'not a progress line'\n"
                        "echo 'Pos: 2.0s 50f (100%)'\n");
    install("fix", "echo done > \"$2\"\n");
    QStringList programs;
    QStringList lines;
    QList<int> percents;
    QObject::connect(&job, &EncodingJob::programStarted, &job,
                     [&](const QString &program) { programs << QFileInfo(program).fileName(); });
    QObject::connect(&job, &EncodingJob::outputLine, &job,
                     [&](const QString &line) { lines << line; });
    QObject::connect(&job, &EncodingJob::progressed, &job,
                     [&](const ProgressLine &line) { percents << line.percent.value_or(-1); });
    EXPECT_EQ(run().kind, Kind::Encoded);
    EXPECT_EQ(programs, (QStringList{QStringLiteral("mencoder"), QStringLiteral("fix")}));
    EXPECT_EQ(lines, (QStringList{QStringLiteral("Pos: 1.0s 25f (50%)"),
                                  QStringLiteral("not a progress line"),
                                  QStringLiteral("Pos: 2.0s 50f (100%)")}));
    EXPECT_EQ(percents, (QList<int>{50, 100}));
}

TEST_F(EncodingJobTest, StopEndsTheProgramUnderWay)
{
    install("mencoder", "sleep 30 & wait\n");
    install("fix", "echo done > \"$2\"\n");
    QElapsedTimer clock;
    clock.start();
    const EncodeOutcome outcome =
        run([this] { QTimer::singleShot(200, &job, &EncodingJob::stop); });
    EXPECT_EQ(outcome.kind, Kind::EncodingStopped);
    EXPECT_LT(clock.elapsed(), 20000); // the program would sleep for 30 s
    EXPECT_FALSE(QFile::exists(work.filePath(QStringLiteral("clip.mp4"))));
}

} // namespace
} // namespace vantrel::encoding
