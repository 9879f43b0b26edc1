// vantrel-cli end to end: the built program in an application folder of its
// own (with the real encoder adapter, fix and FFmpeg), against the FTP test
// server (plain and TLS) and the SFTP test server. What it writes, what
// arrives on the server, its JSON lines, exit statuses and Ctrl-C.

#include "common/qtbridge.h"
#include "settings/settingsfile.h"
#include "tests/support/testfiles.h"
#include "tests/upload/ftpserver.h"
#include "tests/upload/sftpserver.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtEndian>

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <functional>
#include <memory>

#include <unistd.h>

namespace vantrel::test {
namespace {

struct CliRun
{
    int exitCode = -1;
    QByteArray out;
    QByteArray err;

    QList<QJsonObject> events() const
    {
        QList<QJsonObject> parsed;
        for (const QByteArray &line : out.split('\n')) {
            if (line.isEmpty())
                continue;
            QJsonParseError error;
            const QJsonDocument document = QJsonDocument::fromJson(line, &error);
            EXPECT_EQ(error.error, QJsonParseError::NoError) << line.toStdString();
            EXPECT_TRUE(document.isObject()) << line.toStdString();
            parsed << document.object();
        }
        return parsed;
    }
    // "started encode 1", "finished upload 2 done", ... in their order.
    QStringList steps() const
    {
        QStringList seen;
        for (const QJsonObject &event : events()) {
            const QString name = event[QStringLiteral("event")].toString();
            if (name != QStringLiteral("started") && name != QStringLiteral("finished"))
                continue;
            QString step = name + QLatin1Char(' ') + event[QStringLiteral("step")].toString()
                           + QLatin1Char(' ')
                           + QString::number(event[QStringLiteral("file")].toInt());
            if (name == QStringLiteral("finished"))
                step += QLatin1Char(' ') + event[QStringLiteral("outcome")].toString();
            seen << step;
        }
        return seen;
    }
    QJsonObject last() const { return events().constLast(); }
    // Whether an event carries this message.
    bool hasMessage(const char *message) const
    {
        const QList<QJsonObject> all = events();
        return std::any_of(all.begin(), all.end(), [message](const QJsonObject &event) {
            return event[QStringLiteral("message")].toString() == QString::fromUtf8(message);
        });
    }
};

// The box types at the top level of an MP4 file, in their order.
QStringList TopLevelBoxes(const QString &path)
{
    QFile file(path);
    QStringList types;
    if (!file.open(QIODevice::ReadOnly))
        return types;
    while (!file.atEnd()) {
        const QByteArray header = file.read(16);
        if (header.size() < 8)
            break;
        quint64 size = qFromBigEndian<quint32>(header.constData());
        types << QString::fromLatin1(header.mid(4, 4));
        if (size == 1 && header.size() == 16)
            size = qFromBigEndian<quint64>(header.constData() + 8);
        if (size < 8 || !file.seek(file.pos() - header.size() + qint64(size)))
            break;
    }
    return types;
}

class CliTest : public ::testing::Test
{
protected:
    // One application folder for every test: the program itself (a hard
    // link or a copy, so that it finds its folder there), the companions
    // beside it, and the settings file that a copy in a writable folder
    // keeps beside itself.
    static void SetUpTestSuite()
    {
        appDir = new QTemporaryDir(QStringLiteral(VANTREL_APP_DIR "/../tests/cli-app-XXXXXX"));
        ASSERT_TRUE(appDir->isValid());
        const QString built = QStringLiteral(VANTREL_APP_DIR "/vantrel-cli");
        const QString program = appDir->filePath(QStringLiteral("vantrel-cli"));
        if (::link(QFile::encodeName(built).constData(), QFile::encodeName(program).constData())
            != 0) {
            ASSERT_TRUE(QFile::copy(built, program));
        }
        for (const char *tool : {"mencoder", "fix"}) {
            const QString name = QString::fromLatin1(tool);
            ASSERT_TRUE(
                QFile::link(QStringLiteral(VANTREL_APP_DIR "/") + name, appDir->filePath(name)));
        }
    }
    static void TearDownTestSuite()
    {
        delete appDir;
        appDir = nullptr;
    }

    void SetUp() override
    {
        ASSERT_TRUE(work.isValid());
        for (const char *kept : {"rider.brm", "trusted-servers.txt", "accepted-host-keys.txt"})
            QFile::remove(appDir->filePath(QString::fromLatin1(kept)));
        QDir(work.path()).mkpath(QStringLiteral("home"));
        QDir(work.path()).mkpath(QStringLiteral("out"));
    }

    QString path(const QString &name) const { return work.filePath(name); }

    void storeSettings(const QString &address, const QString &password,
                       const QString &serverFolder = QString())
    {
        const settings::FtpSettings values{ToUtf8(address), "tester", ToUtf8(password),
                                           ToUtf8(serverFolder)};
        ASSERT_TRUE(
            settings::WriteSettingsFile(settings::SettingsFilePath(ToPath(appDir->path())), values)
                .ok());
    }

    // A clip with sound, made by FFmpeg.
    QString makeClip(const QString &name, int seconds = 2, const char *size = "160x120")
    {
        const QString duration = QStringLiteral(":duration=") + QString::number(seconds);
        QProcess ffmpeg;
        ffmpeg.start(QStringLiteral("ffmpeg"),
                     {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-f"),
                      QStringLiteral("lavfi"), QStringLiteral("-i"),
                      QStringLiteral("testsrc=rate=25:size=") + QLatin1String(size) + duration,
                      QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                      QStringLiteral("sine=frequency=440") + duration, QStringLiteral("-c:v"),
                      QStringLiteral("mpeg4"), QStringLiteral("-c:a"), QStringLiteral("mp2"),
                      QStringLiteral("-y"), path(name)});
        EXPECT_TRUE(ffmpeg.waitForFinished(120000));
        EXPECT_EQ(ffmpeg.exitCode(), 0) << ffmpeg.readAllStandardError().toStdString();
        return path(name);
    }

    // Runs the program in the work folder, standard input from `input`. A
    // terminal's Ctrl-C goes to its whole process group: `interruptWhen`
    // looks at standard output so far, and once it says so SIGINT goes to
    // the program's group.
    CliRun run(const QStringList &arguments, const QByteArray &input = {},
               const std::function<bool(const QByteArray &)> &interruptWhen = {})
    {
        QProcess process;
        process.setWorkingDirectory(work.path());
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("HOME"), path(QStringLiteral("home")));
        process.setProcessEnvironment(environment);
        process.setChildProcessModifier([] { ::setpgid(0, 0); });
        process.start(appDir->filePath(QStringLiteral("vantrel-cli")), arguments);
        EXPECT_TRUE(process.waitForStarted());
        process.write(input);
        process.closeWriteChannel();
        CliRun result;
        bool interrupted = false;
        QElapsedTimer clock;
        clock.start();
        while (process.state() != QProcess::NotRunning && clock.elapsed() < 240000) {
            process.waitForReadyRead(50);
            result.out += process.readAllStandardOutput();
            if (interruptWhen && !interrupted && interruptWhen(result.out)) {
                interrupted = true;
                ::kill(-static_cast<pid_t>(process.processId()), SIGINT);
            }
        }
        if (process.state() != QProcess::NotRunning)
            ADD_FAILURE() << "the program did not end within 4 minutes";
        process.waitForFinished(10000);
        EXPECT_EQ(!interruptWhen, !interrupted) << "no moment to interrupt came";
        result.out += process.readAllStandardOutput();
        result.err = process.readAllStandardError();
        result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        return result;
    }

    // The output decodes without an error, with the chosen frame size, and
    // its index stands before its media data.
    void expectWebReadyVideo(const QString &file, const char *width)
    {
        QProcess probe;
        probe.start(QStringLiteral("ffprobe"),
                    {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-show_entries"),
                     QStringLiteral("stream=codec_name,width"), QStringLiteral("-of"),
                     QStringLiteral("csv=p=0"), file});
        ASSERT_TRUE(probe.waitForFinished(60000));
        const QString streams = QString::fromUtf8(probe.readAllStandardOutput()).trimmed();
        EXPECT_TRUE(streams.contains(QStringLiteral("h264,") + QLatin1String(width)))
            << streams.toStdString();
        EXPECT_TRUE(streams.contains(QStringLiteral("aac"))) << streams.toStdString();
        QProcess decode;
        decode.start(QStringLiteral("ffmpeg"),
                     {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-i"), file,
                      QStringLiteral("-f"), QStringLiteral("null"), QStringLiteral("-")});
        ASSERT_TRUE(decode.waitForFinished(60000));
        EXPECT_EQ(decode.exitCode(), 0);
        EXPECT_TRUE(decode.readAllStandardError().isEmpty());
        const QStringList boxes = TopLevelBoxes(file);
        EXPECT_TRUE(boxes.contains(QStringLiteral("moov")) && boxes.contains(QStringLiteral("mdat"))
                    && boxes.indexOf(QStringLiteral("moov"))
                           < boxes.indexOf(QStringLiteral("mdat")))
            << boxes.join(QLatin1Char(' ')).toStdString();
    }

    // Nothing of the program's temporary files is left in `folder`.
    static void expectNoTemporaryFiles(const QString &folder)
    {
        const QStringList left = QDir(folder).entryList(QDir::Files | QDir::Hidden);
        for (const QString &name : left) {
            EXPECT_FALSE(name.endsWith(QStringLiteral(".temp"))
                         || name.endsWith(QStringLiteral(".upload"))
                         || name.endsWith(QStringLiteral(".upload.old"))
                         || name.startsWith(QLatin1Char('.')))
                << name.toStdString() << " left in " << folder.toStdString();
        }
    }

    static inline QTemporaryDir *appDir = nullptr;
    QTemporaryDir work;
};

bool HasEvent(const QByteArray &out, const char *event, const char *step)
{
    return out.contains(QByteArray("{\"event\":\"") + event + "\"")
           && out.contains(QByteArray("\"step\":\"") + step + "\"");
}

TEST_F(CliTest, EncodesEachSourceIntoTheFolderAsAWebReadyVideo)
{
    makeClip(QStringLiteral("first.avi"));
    makeClip(QStringLiteral("Second clip.MPEG"));
    const CliRun result = run(
        {QStringLiteral("encode"), QStringLiteral("first.avi"), QStringLiteral("Second clip.MPEG"),
         QStringLiteral("--output-folder"), QStringLiteral("out"), QStringLiteral("--size"),
         QStringLiteral("240:180"), QStringLiteral("--json")});
    EXPECT_EQ(result.exitCode, 0) << result.err.toStdString();
    EXPECT_TRUE(result.err.isEmpty()) << result.err.toStdString();
    expectWebReadyVideo(path(QStringLiteral("out/first.mp4")), "240");
    expectWebReadyVideo(path(QStringLiteral("out/Second clip.mp4")), "240");
    expectNoTemporaryFiles(path(QStringLiteral("out")));

    const QList<QJsonObject> events = result.events();
    ASSERT_GE(events.size(), 6);
    EXPECT_EQ(events.first()[QStringLiteral("event")].toString(), QStringLiteral("run"));
    EXPECT_EQ(events.first()[QStringLiteral("files")].toInt(), 2);
    EXPECT_EQ(result.steps(),
              QStringList(
                  {QStringLiteral("started encode 1"), QStringLiteral("finished encode 1 done"),
                   QStringLiteral("started encode 2"), QStringLiteral("finished encode 2 done")}));
    // Progress comes between a file's start and its end, and reaches 100.
    bool sawDone = false;
    for (const QJsonObject &event : events) {
        if (event[QStringLiteral("event")].toString() == QStringLiteral("progress"))
            sawDone = sawDone || event[QStringLiteral("percent")].toInt() == 100;
    }
    EXPECT_TRUE(sawDone);
    const QJsonObject summary = result.last();
    EXPECT_EQ(summary[QStringLiteral("event")].toString(), QStringLiteral("summary"));
    EXPECT_EQ(summary[QStringLiteral("exit")].toInt(), 0);
    EXPECT_FALSE(summary[QStringLiteral("interrupted")].toBool());
    EXPECT_EQ(summary[QStringLiteral("files")].toArray().size(), 2);
}

// What is refused or fails, file by file, and the status it ends with.
TEST_F(CliTest, RefusesAndFailsFileByFileWithDistinctStatuses)
{
    makeClip(QStringLiteral("good.avi"));
    WriteFile(path(QStringLiteral("damaged.avi")), RandomBytes(20000, 7));
    WriteFile(path(QStringLiteral("out/taken.mp4")), "already here");
    WriteFile(path(QStringLiteral("taken.avi")), "a source whose output exists");
    WriteFile(path(QStringLiteral("out/itself.mp4")), "a source that is its own output");
    const QString out = QStringLiteral("out");
    struct Case
    {
        QStringList arguments;
        int exitCode;
        const char *message; // in the JSON lines, or on standard error
        QStringList steps;
    };
    const Case cases[] = {
        {{QStringLiteral("--size"), QStringLiteral("300:200"), QStringLiteral("good.avi")},
         2,
         "THE VIDEO SIZE \"300:200\" IS NOT ONE OF 160:120, 240:180, 320:240, 400:300, "
         "512:384, 640:480, 768:576, 1024:768!",
         {}},
        {{QStringLiteral("--audio-hz"), QStringLiteral("8000"), QStringLiteral("good.avi")},
         2,
         "THE AUDIO SAMPLING RATE \"8000\" IS NOT ONE OF 11025, 16000, 22050, 44100, 48000!",
         {}},
        {{QStringLiteral("missing.avi"), QStringLiteral("good.avi")},
         4,
         "THE SOURCE FILE DOES NOT EXIST!",
         {QStringLiteral("finished encode 1 refused"), QStringLiteral("started encode 2"),
          QStringLiteral("finished encode 2 done")}},
        {{QStringLiteral("taken.avi")},
         4,
         "THE OUTPUT FILE ALREADY EXISTS!",
         {QStringLiteral("finished encode 1 refused")}},
        {{QStringLiteral("out/itself.mp4")},
         4,
         "THE OUTPUT FILE CANNOT REPLACE THE SOURCE FILE!",
         {QStringLiteral("finished encode 1 refused")}},
        {{QStringLiteral("good.avi"), QStringLiteral("good.avi")},
         4,
         "ANOTHER SOURCE OF THIS RUN BECOMES THE SAME OUTPUT FILE!",
         {QStringLiteral("started encode 1"), QStringLiteral("finished encode 1 done"),
          QStringLiteral("finished encode 2 refused")}},
        {{QStringLiteral("damaged.avi"), QStringLiteral("good.avi"),
          QStringLiteral("--stop-on-error")},
         1,
         "THE ENCODING FAILED DUE TO A DAMAGED VIDEO FILE!",
         {QStringLiteral("started encode 1"), QStringLiteral("finished encode 1 failed")}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.arguments.join(QLatin1Char(' ')).toStdString());
        QFile::remove(path(QStringLiteral("out/good.mp4")));
        const CliRun result = run(QStringList{QStringLiteral("encode"), QStringLiteral("--json"),
                                              QStringLiteral("--output-folder"), out}
                                  + c.arguments);
        EXPECT_EQ(result.exitCode, c.exitCode) << result.err.toStdString();
        EXPECT_TRUE(result.hasMessage(c.message)) << result.out.toStdString();
        EXPECT_EQ(result.steps(), c.steps);
        if (c.exitCode != 2) {
            EXPECT_EQ(result.last()[QStringLiteral("exit")].toInt(), c.exitCode);
        }
        expectNoTemporaryFiles(path(out));
    }
    // Refused outputs were left alone; the stopped batch did not reach good.avi.
    EXPECT_EQ(ReadFile(path(QStringLiteral("out/taken.mp4"))), "already here");
    EXPECT_EQ(ReadFile(path(QStringLiteral("out/itself.mp4"))), "a source that is its own output");
    EXPECT_FALSE(QFile::exists(path(QStringLiteral("out/good.mp4"))));

    // With --overwrite the existing output is replaced; the text report
    // names the file.
    makeClip(QStringLiteral("taken.avi"));
    const CliRun replaced =
        run({QStringLiteral("encode"), QStringLiteral("taken.avi"),
             QStringLiteral("--output-folder"), out, QStringLiteral("--overwrite")});
    EXPECT_EQ(replaced.exitCode, 0) << replaced.err.toStdString();
    EXPECT_TRUE(replaced.out.contains("[1/1] taken.avi: encoded as "))
        << replaced.out.toStdString();
    expectWebReadyVideo(path(QStringLiteral("out/taken.mp4")), "320");
}

TEST_F(CliTest, UploadsEachFileIntoTheServerFolderAndRefusesAWrongPassword)
{
    FtpTestServer server;
    ASSERT_TRUE(server.isRunning());
    storeSettings(server.address(), QStringLiteral("not the password"), QStringLiteral("stored/"));
    QDir(server.home()).mkpath(QStringLiteral("site"));
    WriteFile(path(QStringLiteral("a.mp4")), RandomBytes(300000, 1));
    WriteFile(path(QStringLiteral("b.mp4")), RandomBytes(5000, 2));

    // The stored password is wrong: every file fails, nothing arrives.
    const CliRun refused =
        run({QStringLiteral("upload"), QStringLiteral("a.mp4"), QStringLiteral("--json")});
    EXPECT_EQ(refused.exitCode, 3) << refused.out.toStdString();
    EXPECT_EQ(refused.steps(), QStringList({QStringLiteral("started upload 1"),
                                            QStringLiteral("finished upload 1 failed")}));
    EXPECT_TRUE(refused.out.contains("CONTACT SUPPORT.")) << refused.out.toStdString();

    // The password from standard input, the folder from the option.
    const CliRun sent = run({QStringLiteral("upload"), QStringLiteral("a.mp4"),
                             QStringLiteral("b.mp4"), QStringLiteral("--password-stdin"),
                             QStringLiteral("--server-folder"), QStringLiteral("site")},
                            FtpTestServer::kPassword.toUtf8() + "\n");
    EXPECT_EQ(sent.exitCode, 0) << sent.out.toStdString() << sent.err.toStdString();
    EXPECT_EQ(ReadFile(server.pathInHome(QStringLiteral("site/a.mp4"))), RandomBytes(300000, 1));
    EXPECT_EQ(ReadFile(server.pathInHome(QStringLiteral("site/b.mp4"))), RandomBytes(5000, 2));
    EXPECT_FALSE(QFile::exists(server.pathInHome(QStringLiteral("stored"))));
    expectNoTemporaryFiles(server.pathInHome(QStringLiteral("site")));
    EXPECT_TRUE(sent.out.contains("Summary: 2 of 2 files done")) << sent.out.toStdString();
}

// A broken connection is announced and taken up; the server's digest check
// reaches the file's lines.
TEST_F(CliTest, ABrokenUploadIsRetriedAndTheCheckIsTold)
{
    FtpServerOptions options;
    options.quirks = QStringList{QStringLiteral("drop-after=100000"), QStringLiteral("drops=1"),
                                 QStringLiteral("hash")};
    FtpTestServer server(options);
    storeSettings(server.address(), FtpTestServer::kPassword, QString());
    WriteFile(path(QStringLiteral("a.mp4")), RandomBytes(400000, 3));
    const CliRun sent =
        run({QStringLiteral("upload"), QStringLiteral("a.mp4"), QStringLiteral("--json")});
    ASSERT_EQ(sent.exitCode, 0) << sent.out.toStdString();
    EXPECT_EQ(ReadFile(server.pathInHome(QStringLiteral("a.mp4"))), RandomBytes(400000, 3));
    QStringList told;
    for (const QJsonObject &event : sent.events()) {
        const QString name = event[QStringLiteral("event")].toString();
        if (name == QStringLiteral("retrying"))
            told << name + QLatin1Char(' ')
                        + QString::number(event[QStringLiteral("attempt")].toInt())
                        + QLatin1Char('/')
                        + QString::number(event[QStringLiteral("attempts")].toInt());
        else if (name == QStringLiteral("finished"))
            told << name + QLatin1Char(' ') + event[QStringLiteral("checked")].toString();
        else if (name == QStringLiteral("summary"))
            told << name + QLatin1Char(' ')
                        + event[QStringLiteral("files")][0][QStringLiteral("checked")].toString();
    }
    EXPECT_EQ(told, QStringList({QStringLiteral("retrying 1/5"), QStringLiteral("finished SHA-256"),
                                 QStringLiteral("summary SHA-256")}));
}

TEST_F(CliTest, AnUnverifiedCertificateIsRefusedWithoutATerminalUnlessTrusted)
{
    QTemporaryDir certificates;
    const TestCertificate certificate =
        MakeTestCertificate(certificates.path(), QStringLiteral("cli"));
    FtpServerOptions options;
    options.tls = QStringLiteral("required");
    options.certificate = certificate;
    FtpTestServer server(options);
    ASSERT_TRUE(server.isRunning());
    storeSettings(server.address(), FtpTestServer::kPassword);
    WriteFile(path(QStringLiteral("clip.mp4")), RandomBytes(70000, 3));

    const CliRun refused =
        run({QStringLiteral("upload"), QStringLiteral("clip.mp4"), QStringLiteral("--json")});
    EXPECT_EQ(refused.exitCode, 4);
    const QJsonObject finished = refused.events().at(2);
    EXPECT_EQ(finished[QStringLiteral("outcome")].toString(), QStringLiteral("refused"));
    EXPECT_EQ(finished[QStringLiteral("message")].toString(),
              QStringLiteral("THE CERTIFICATE OF THE SERVER ") + server.address()
                  + QStringLiteral(" IS NOT TRUSTED. NOTHING WAS SENT!"));
    EXPECT_EQ(finished[QStringLiteral("fingerprint")].toString(), certificate.fingerprint);
    EXPECT_EQ(server.countEvents(QStringLiteral("LOGIN tester")), 0);

    const CliRun trusted = run({QStringLiteral("upload"), QStringLiteral("clip.mp4"),
                                QStringLiteral("--trust"), certificate.fingerprint});
    EXPECT_EQ(trusted.exitCode, 0) << trusted.err.toStdString();
    EXPECT_TRUE(server.waitForEvent(QStringLiteral("SECURE RECEIVED .clip.mp4.upload")));
    EXPECT_EQ(ReadFile(server.pathInHome(QStringLiteral("clip.mp4"))), RandomBytes(70000, 3));
    // Kept as a Yes in the window is.
    EXPECT_TRUE(ReadFile(appDir->filePath(QStringLiteral("trusted-servers.txt")))
                    .contains(certificate.fingerprint.toUtf8()));
}

TEST_F(CliTest, UploadsOverSftpWithTheHostKeyNamed)
{
    QTemporaryDir keys;
    SftpTestServer server(keys.filePath(QStringLiteral("host_key")));
    ASSERT_NE(server.port(), 0);
    storeSettings(server.address(), SftpTestServer::kPassword, QStringLiteral("in/"));
    QDir(server.home()).mkpath(QStringLiteral("in"));
    WriteFile(path(QStringLiteral("clip.mp4")), RandomBytes(90000, 4));

    const CliRun refused = run({QStringLiteral("upload"), QStringLiteral("clip.mp4")});
    EXPECT_EQ(refused.exitCode, 4);
    EXPECT_TRUE(refused.err.contains("--trust " + server.fingerprint().toUtf8()))
        << refused.err.toStdString();

    const CliRun sent = run({QStringLiteral("upload"), QStringLiteral("clip.mp4"),
                             QStringLiteral("--trust"), server.fingerprint()});
    EXPECT_EQ(sent.exitCode, 0) << sent.err.toStdString();
    EXPECT_EQ(ReadFile(server.pathInHome(QStringLiteral("in/clip.mp4"))), RandomBytes(90000, 4));
    expectNoTemporaryFiles(server.pathInHome(QStringLiteral("in")));
}

TEST_F(CliTest, PublishUploadsEachFileWhileTheNextOneEncodes)
{
    FtpTestServer server;
    ASSERT_TRUE(server.isRunning());
    storeSettings(server.address(), FtpTestServer::kPassword);
    for (const char *name : {"one.avi", "two.avi", "three.avi"})
        makeClip(QString::fromLatin1(name));
    const CliRun result =
        run({QStringLiteral("publish"), QStringLiteral("one.avi"), QStringLiteral("two.avi"),
             QStringLiteral("three.avi"), QStringLiteral("--output-folder"), QStringLiteral("out"),
             QStringLiteral("--size"), QStringLiteral("160:120"), QStringLiteral("--json")});
    EXPECT_EQ(result.exitCode, 0) << result.err.toStdString();
    // A file's upload starts as soon as it is encoded, before the next
    // encoding; the uploads' ends fall wherever they do.
    QStringList steps = result.steps();
    QStringList uploadEnds;
    for (const QString &step : steps) {
        if (step.startsWith(QStringLiteral("finished upload")))
            uploadEnds << step;
    }
    steps.removeIf(
        [](const QString &step) { return step.startsWith(QStringLiteral("finished upload")); });
    EXPECT_EQ(
        steps,
        QStringList({QStringLiteral("started encode 1"), QStringLiteral("finished encode 1 done"),
                     QStringLiteral("started upload 1"), QStringLiteral("started encode 2"),
                     QStringLiteral("finished encode 2 done"), QStringLiteral("started upload 2"),
                     QStringLiteral("started encode 3"), QStringLiteral("finished encode 3 done"),
                     QStringLiteral("started upload 3")}));
    EXPECT_EQ(uploadEnds, QStringList({QStringLiteral("finished upload 1 done"),
                                       QStringLiteral("finished upload 2 done"),
                                       QStringLiteral("finished upload 3 done")}));
    for (const char *name : {"one.mp4", "two.mp4", "three.mp4"}) {
        const QString local = path(QStringLiteral("out/") + QLatin1String(name));
        EXPECT_EQ(ReadFile(server.pathInHome(QLatin1String(name))), ReadFile(local)) << name;
        expectWebReadyVideo(server.pathInHome(QLatin1String(name)), "160");
    }
    expectNoTemporaryFiles(server.home());
}

TEST_F(CliTest, CtrlCDuringAnEncodingLeavesNothingBehind)
{
    FtpTestServer server;
    storeSettings(server.address(), FtpTestServer::kPassword);
    makeClip(QStringLiteral("long.avi"), 30, "640x480");
    makeClip(QStringLiteral("next.avi"));
    WriteFile(path(QStringLiteral("out/long.mp4")), "the earlier output");
    const CliRun result = run(
        {QStringLiteral("publish"), QStringLiteral("long.avi"), QStringLiteral("next.avi"),
         QStringLiteral("--output-folder"), QStringLiteral("out"), QStringLiteral("--overwrite"),
         QStringLiteral("--size"), QStringLiteral("1024:768"), QStringLiteral("--json")},
        {}, [](const QByteArray &out) { return HasEvent(out, "progress", "encode"); });
    EXPECT_EQ(result.exitCode, 130) << result.err.toStdString();
    EXPECT_EQ(result.steps(), QStringList({QStringLiteral("started encode 1"),
                                           QStringLiteral("finished encode 1 stopped")}));
    const QJsonObject summary = result.last();
    EXPECT_TRUE(summary[QStringLiteral("interrupted")].toBool());
    const QJsonArray files = summary[QStringLiteral("files")].toArray();
    EXPECT_EQ(files.at(1).toObject()[QStringLiteral("encode")].toString(),
              QStringLiteral("not started"));
    expectNoTemporaryFiles(path(QStringLiteral("out")));
    EXPECT_EQ(ReadFile(path(QStringLiteral("out/long.mp4"))), "the earlier output");
    EXPECT_FALSE(QFile::exists(path(QStringLiteral("out/next.mp4"))));
    EXPECT_EQ(server.countEvents(QStringLiteral("LOGIN tester")), 0);
}

TEST_F(CliTest, CtrlCDuringAnUploadLeavesTheSitesFileAsItWas)
{
    FtpServerOptions options;
    options.readLimit = 512 * 1024;
    FtpTestServer server(options);
    storeSettings(server.address(), FtpTestServer::kPassword);
    WriteFile(server.pathInHome(QStringLiteral("movie.mp4")), "the site's movie");
    WriteFile(path(QStringLiteral("movie.mp4")), RandomBytes(24 << 20, 5));
    const CliRun result =
        run({QStringLiteral("upload"), QStringLiteral("movie.mp4"), QStringLiteral("--json")}, {},
            [](const QByteArray &out) {
                // Once data is on its way, the server holds the temporary file.
                static const QRegularExpression sending(
                    QStringLiteral(R"("step":"upload","sent":[1-9])"));
                return sending.match(QString::fromUtf8(out)).hasMatch();
            });
    EXPECT_EQ(result.exitCode, 130) << result.err.toStdString();
    EXPECT_EQ(result.steps(), QStringList({QStringLiteral("started upload 1"),
                                           QStringLiteral("finished upload 1 stopped")}));
    EXPECT_TRUE(server.waitForEvent(QStringLiteral("DELETED .movie.mp4.upload")));
    EXPECT_EQ(ReadFile(server.pathInHome(QStringLiteral("movie.mp4"))), "the site's movie");
    expectNoTemporaryFiles(server.home());
}

} // namespace
} // namespace vantrel::test
