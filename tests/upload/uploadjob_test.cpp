// The upload job without a window, against a real server: what it reports
// and in what order, the questions it asks through its interface and on which
// thread, the settings it reads, and that its own thread does the work and
// ends with it.

#include "common/qtbridge.h"
#include "settings/settingsfile.h"
#include "tests/support/testfiles.h"
#include "tests/upload/ftpserver.h"
#include "upload/ftpclient.h"
#include "upload/truststore.h"
#include "upload/uploadjob.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>

#include <csignal>
#include <iostream>
#include <memory>
#include <string>

namespace vantrel::test {
namespace {

using upload::UploadOutcome;

constexpr int kSlowRate = 8 << 20;

// Answers given in advance; records what was asked, and on which thread.
class FakeQuestions final : public upload::UploadQuestions
{
public:
    bool trust = false;
    bool abort = false;
    QStringList asked;
    bool allOnMainThread = true;

    bool TrustCertificate(const upload::ServerIdentity &certificate, bool changed) override
    {
        return note(QStringLiteral("certificate ") + FromUtf8(certificate.fingerprint)
                        + (changed ? QStringLiteral(" changed") : QString()),
                    trust);
    }
    bool AcceptHostKey(const upload::ServerIdentity &hostKey) override
    {
        return note(QStringLiteral("host key ") + FromUtf8(hostKey.fingerprint), trust);
    }
    bool AbortUpload() override { return note(QStringLiteral("abort"), abort); }

private:
    bool note(const QString &question, bool answer)
    {
        asked << question;
        allOnMainThread =
            allOnMainThread && QThread::currentThread() == QCoreApplication::instance()->thread();
        return answer;
    }
};

class UploadJobTest : public ::testing::Test
{
protected:
    UploadJobTest()
        : job(std::make_unique<upload::UploadJob>(settingsFolder.path(), questions))
    {
        QObject::connect(job.get(), &upload::UploadJob::serverConnected, job.get(),
                         [this] { reports << QStringLiteral("connected"); });
        QObject::connect(job.get(), &upload::UploadJob::progressed, job.get(),
                         [this](const upload::UploadProgress &progress) {
                             const QString report = progress.sent == progress.total
                                                        ? QStringLiteral("all sent")
                                                        : QStringLiteral("progress");
                             if (reports.isEmpty() || reports.last() != report)
                                 reports << report;
                             if (onProgress)
                                 onProgress(progress);
                         });
        QObject::connect(job.get(), &upload::UploadJob::warning, job.get(),
                         [this](const QString &message) { reports << message; });
    }

    // The settings of `server`, given for this upload rather than read.
    upload::UploadRequest request(const FtpTestServer &server, const QString &localPath,
                                  const QString &address = QString())
    {
        return {localPath,
                QFileInfo(localPath).fileName(),
                ToUtf8(address.isEmpty() ? server.address() : address),
                ToUtf8(FtpTestServer::kUser),
                ToUtf8(FtpTestServer::kPassword),
                ""};
    }

    // Starts the upload and waits for its end.
    UploadOutcome run(upload::UploadRequest request)
    {
        UploadOutcome outcome;
        QEventLoop loop;
        QObject::connect(job.get(), &upload::UploadJob::finished, &loop,
                         [&](const UploadOutcome &ended) {
                             outcome = ended;
                             loop.quit();
                         });
        EXPECT_TRUE(job->start(std::move(request)));
        EXPECT_FALSE(job->start({}));
        loop.exec();
        EXPECT_FALSE(job->isRunning());
        return outcome;
    }

    QTemporaryDir settingsFolder;
    QTemporaryDir local;
    FakeQuestions questions;
    std::unique_ptr<upload::UploadJob> job;
    QStringList reports;
    std::function<void(const upload::UploadProgress &)> onProgress;
};

TEST_F(UploadJobTest, ReportsInOrderAndAsksOnItsOwnThread)
{
    QTemporaryDir keys;
    const TestCertificate certificate = MakeTestCertificate(keys.path(), QStringLiteral("a"));
    FtpServerOptions options;
    options.tls = QStringLiteral("required");
    options.certificate = certificate;
    FtpTestServer server(options);
    const QByteArray bytes = RandomBytes(3 << 20, 1);
    const QString path = WriteFile(local.path(), QStringLiteral("clip.mp4"), bytes);
    questions.trust = true;

    UploadOutcome outcome = run(request(server, path));
    EXPECT_EQ(outcome.kind, UploadOutcome::Kind::Uploaded);
    EXPECT_EQ(outcome.message, QStringLiteral("YOUR FILE HAS BEEN UPLOADED SUCCESSFULLY!"));
    EXPECT_FALSE(outcome.isError);
    EXPECT_EQ(reports.first(), QStringLiteral("connected"));
    EXPECT_EQ(reports.last(), QStringLiteral("all sent"));
    EXPECT_EQ(questions.asked,
              QStringList{QStringLiteral("certificate ") + certificate.fingerprint});
    EXPECT_TRUE(questions.allOnMainThread);
    EXPECT_EQ(ReadFile(server.pathInHome(QStringLiteral("clip.mp4"))), bytes);
    // The four values came with the request: no settings file was needed.
    EXPECT_FALSE(QFile::exists(settingsFolder.filePath(QStringLiteral("rider.brm"))));
    // The Yes is kept where every upload reads it: no question the next time.
    EXPECT_EQ(
        upload::TrustStore(ToPath(settingsFolder.path()))
            .Known(upload::IdentityKind::Certificate, "127.0.0.1:" + std::to_string(server.port())),
        ToUtf8(certificate.fingerprint));
    outcome = run(request(server, path));
    EXPECT_EQ(outcome.kind, UploadOutcome::Kind::Uploaded);
    EXPECT_EQ(questions.asked.size(), 1);
}

TEST_F(UploadJobTest, AValueWhoseLineIsMissingKeepsWhatTheLastUploadRead)
{
    FtpTestServer server;
    ASSERT_TRUE(QDir(server.home()).mkdir(QStringLiteral("site")));
    const QString path = WriteFile(local.path(), QStringLiteral("a.flv"), RandomBytes(1000, 2));
    const std::filesystem::path file = settings::SettingsFilePath(ToPath(settingsFolder.path()));
    ASSERT_TRUE(
        settings::WriteSettingsFile(file, {ToUtf8(server.address()), "tester", "secret", "site/"})
            .ok());
    EXPECT_EQ(run({path, QStringLiteral("a.flv"), {}, {}, {}, {}}).kind,
              UploadOutcome::Kind::Uploaded);

    // A file of one line: the address. The other three are those read before.
    QFile shorter(QString::fromStdU16String(file.u16string()));
    ASSERT_TRUE(shorter.open(QIODevice::ReadOnly));
    const QByteArray firstLine = shorter.readLine();
    shorter.close();
    WriteFile(shorter.fileName(), firstLine);
    EXPECT_EQ(run({path, QStringLiteral("b.flv"), {}, {}, {}, {}}).kind,
              UploadOutcome::Kind::Uploaded);
    EXPECT_TRUE(QFile::exists(server.pathInHome(QStringLiteral("site/b.flv"))));

    // Values given for one upload stand in for the file's.
    EXPECT_EQ(run({path, QStringLiteral("c.flv"), {}, {}, {}, std::string()}).kind,
              UploadOutcome::Kind::Uploaded);
    EXPECT_TRUE(QFile::exists(server.pathInHome(QStringLiteral("c.flv"))));
}

TEST_F(UploadJobTest, CancelAsksAtTheNextProgressAndYesAbandonsTheUpload)
{
    FtpServerOptions slow;
    slow.readLimit = kSlowRate;
    FtpTestServer server(slow);
    const QString path =
        WriteFile(local.path(), QStringLiteral("big.mp4"), RandomBytes(14 << 20, 3));
    onProgress = [&](const upload::UploadProgress &progress) {
        if (progress.sent > 0 && questions.asked.isEmpty())
            job->requestCancel();
    };
    questions.abort = true;
    const UploadOutcome outcome = run(request(server, path));
    EXPECT_EQ(outcome.kind, UploadOutcome::Kind::Aborted);
    EXPECT_EQ(outcome.message, QStringLiteral("UPLOADING ABORTED BY USER!"));
    EXPECT_EQ(questions.asked, QStringList{QStringLiteral("abort")});
    EXPECT_FALSE(job->ftpComponent()->IsConnected());
    EXPECT_FALSE(QFile::exists(server.pathInHome(QStringLiteral("big.mp4"))));
}

TEST_F(UploadJobTest, ItsOwnThreadDoesTheWork)
{
    FtpServerOptions slow;
    slow.readLimit = kSlowRate;
    FtpTestServer server(slow);
    const QString path =
        WriteFile(local.path(), QStringLiteral("big.mp4"), RandomBytes(12 << 20, 7));
    // A timer that should fire every 10 ms: how late does it get?
    QTimer probe;
    probe.setTimerType(Qt::PreciseTimer);
    probe.setInterval(10);
    QElapsedTimer sinceTick;
    qint64 worstGap = 0;
    int ticks = 0;
    QObject::connect(&probe, &QTimer::timeout, [&] {
        if (sinceTick.isValid())
            worstGap = std::max(worstGap, sinceTick.elapsed());
        sinceTick.start();
        ++ticks;
    });
    probe.start();
    EXPECT_EQ(run(request(server, path)).kind, UploadOutcome::Kind::Uploaded);
    probe.stop();
    std::cout << "[ measured ] " << ticks << " timer ticks during the upload, longest gap "
              << worstGap << " ms\n";
    // A blocked thread would miss the whole transfer (about 1.5 s); the bound
    // leaves room for a loaded machine's scheduling.
    EXPECT_GT(ticks, 20);
    EXPECT_LT(worstGap, 1000);
}

TEST_F(UploadJobTest, DestroyedMidTransferOrMidQuestionItStopsAtOnce)
{
    FtpServerOptions slow;
    slow.readLimit = kSlowRate;
    const QString path =
        WriteFile(local.path(), QStringLiteral("big.mp4"), RandomBytes(32 << 20, 8));
    for (const bool withQuestion : {false, true}) {
        SCOPED_TRACE(withQuestion ? "a question waits for its answer" : "data moves");
        FtpTestServer server(slow);
        job = std::make_unique<upload::UploadJob>(settingsFolder.path(), questions);
        bool moving = false;
        QObject::connect(
            job.get(), &upload::UploadJob::progressed, job.get(),
            [&](const upload::UploadProgress &progress) { moving = moving || progress.sent > 0; });
        ASSERT_TRUE(job->start(request(server, path)));
        QElapsedTimer clock;
        clock.start();
        while (!moving && clock.elapsed() < 30000)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        ASSERT_TRUE(moving);
        if (withQuestion) {
            // The next event asks; this thread does not answer before it goes.
            job->requestCancel();
            QThread::msleep(300);
        }
        clock.restart();
        job.reset();
        EXPECT_LT(clock.elapsed(), 10000);
        EXPECT_FALSE(QFile::exists(server.pathInHome(QStringLiteral("big.mp4"))));
    }
}

TEST_F(UploadJobTest, AKilledRunIsTakenUpOnlyWhenItsFileIsUnchanged)
{
    FtpServerOptions options;
    options.readLimit = kSlowRate;
    options.quirks = QStringList{QStringLiteral("hash")};
    FtpTestServer server(options);
    const qint64 size = qint64{24} << 20;
    const QString temporary = server.pathInHome(QStringLiteral(".big.mp4.upload"));
    for (const bool changed : {false, true}) {
        SCOPED_TRACE(changed ? "the file changed since" : "the same file");
        const QString path =
            WriteFile(local.path(), QStringLiteral("big.mp4"), RandomBytes(size, 9));
        QProcess probe;
        probe.start(QStringLiteral(UPLOAD_PROBE), {settingsFolder.path(), path, server.address(),
                                                   FtpTestServer::kUser, FtpTestServer::kPassword});
        ASSERT_TRUE(probe.waitForStarted(10000));
        QElapsedTimer clock;
        clock.start();
        while (QFileInfo(temporary).size() < (qint64{6} << 20) && clock.elapsed() < 60000)
            QThread::msleep(20);
        ::kill(static_cast<pid_t>(probe.processId()), SIGKILL);
        ASSERT_TRUE(probe.waitForFinished(10000));
        ASSERT_TRUE(
            server.waitForEvent(QStringLiteral("INCOMPLETE .big.mp4.upload"), changed ? 2 : 1));
        const qint64 before = server.bytesReceived();
        QByteArray bytes = ReadFile(path);
        if (changed) {
            // The same size, another content.
            bytes = RandomBytes(size, 10);
            QThread::msleep(20);
            WriteFile(path, bytes);
        }
        ASSERT_EQ(
            run({path, QStringLiteral("big.mp4"), ToUtf8(server.address()), "tester", "secret", ""})
                .kind,
            UploadOutcome::Kind::Uploaded);
        EXPECT_EQ(ReadFile(server.pathInHome(QStringLiteral("big.mp4"))), bytes);
        const qint64 sentAgain = server.bytesReceived() - before;
        std::cout << "[ measured ] " << sentAgain << " of " << size << " bytes sent after "
                  << (changed ? "a change" : "the kill") << "\n";
        if (changed) {
            EXPECT_EQ(sentAgain, size);
        } else {
            EXPECT_LE(sentAgain, size - (qint64{6} << 20));
        }
    }
}

} // namespace
} // namespace vantrel::test
