// The "FTP Upload" page of the main window against a real server: choosing,
// confirming, uploading, progress, cancel and the reports.

#include "common/qtbridge.h"
#include "encoding/encodingjob.h"
#include "settings/settingsfile.h"
#include "shell/frmmain.h"
#include "tests/support/scripteddialogs.h"
#include "tests/support/testfiles.h"
#include "tests/support/windowjobs.h"
#include "tests/upload/ftpserver.h"
#include "ui/appcontext.h"
#include "ui/tabcontrol.h"
#include "upload/ftpclient.h"
#include "upload/uploadjob.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <functional>
#include <iostream>
#include <memory>

namespace vantrel::test {
namespace {

const QString kUploadQuestion = QStringLiteral("DO YOU WANT TO UPLOAD THIS FILE?");
const QString kCancelQuestion =
    QStringLiteral("YOUR FILE IS UPLOADING TO THE SERVER. DO YOU WANT TO CANCEL?");
const QString kAborted = QStringLiteral("UPLOADING ABORTED BY USER!");
const QString kSuccess = QStringLiteral("YOUR FILE HAS BEEN UPLOADED SUCCESSFULLY!");
const QString kAlreadyUploading = QStringLiteral("A FILE IS ALREADY BEING UPLOADED!");

// Throttled servers take 8 MiB/s; the client's socket buffer swallows the
// first few MiB at once, so a transfer that is to run for a while needs a
// file well beyond that.
constexpr int kSlowRate = 8 << 20;
constexpr qsizetype kSlowFileSize = 14 << 20;

class UploadPageTest : public ::testing::Test
{
protected:
    UploadPageTest()
    {
        context = test::TestContext(dialogs, appFolder.path(), ended);
        window = std::make_unique<frmMain>(context);
        window->findChild<TabControl *>(QStringLiteral("SSTab1"))->setCurrentIndex(2);
        window->show();
        window->uploadJob()->setRetryPolicy(
            {5, std::chrono::milliseconds(20), std::chrono::milliseconds(100)});
        cmdUpload = child<QPushButton>("cmdUpload");
        cmdCancelUpload = child<QPushButton>("cmdCancelUpload");
        prgUpload = child<QProgressBar>("prgUpload");
        lblPercent = child<QLabel>("lblPercent");
        lblServerStatus = child<QLabel>("lblServerStatus");
        lblSelectedFile = child<QLabel>("lblSelectedFile");
        lblSelectedFileTitle = child<QLabel>("lblSelectedFileTitle");
    }

    ~UploadPageTest() override
    {
        EXPECT_TRUE(dialogs.allAnswersUsed());
        EXPECT_EQ(ended, 0);
    }

    template<typename T>
    T *child(const char *name)
    {
        T *found = window->findChild<T *>(QString::fromLatin1(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }

    void writeSettings(const FtpTestServer &server, const QString &serverFolder,
                       const QString &password = FtpTestServer::kPassword)
    {
        const settings::FtpSettings values{server.address().toStdString(),
                                           FtpTestServer::kUser.toStdString(),
                                           password.toStdString(), serverFolder.toStdString()};
        settings::WriteSettingsFile(
            settings::SettingsFilePath(std::filesystem::path(appFolder.path().toStdString())),
            values);
    }

    QString makeFile(const QString &name, const QByteArray &bytes)
    {
        QString path = QDir(localFolder.path()).filePath(name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        return path;
    }

    // The first click: the dialog returns `path`, the question gets Yes.
    void chooseAndConfirm(const QString &path)
    {
        dialogs.chooseFile(path);
        dialogs.answer(vbYes);
    }

    // Runs `action` at every progress report, after the window has shown it.
    void onProgress(const std::function<void(std::int64_t sent, std::int64_t total)> &action)
    {
        QObject::connect(window->uploadJob(), &upload::UploadJob::progressed, window.get(),
                         [action](const upload::UploadProgress &progress) {
                             action(progress.sent, progress.total);
                         });
    }

    void upload() { ClickAndWait(cmdUpload, *window); }

    bool busyPointer() const
    {
        return window->testAttribute(Qt::WA_SetCursor)
               && window->cursor().shape() == Qt::WaitCursor;
    }

    void expectDisplayReset()
    {
        EXPECT_EQ(prgUpload->value(), 0);
        EXPECT_EQ(lblPercent->text(), QStringLiteral("Status: "));
        EXPECT_EQ(lblServerStatus->text(), QStringLiteral(" "));
        EXPECT_FALSE(busyPointer());
    }

    QTemporaryDir appFolder;
    QTemporaryDir localFolder;
    ScriptedDialogs dialogs;
    AppContext context;
    int ended = 0;
    std::unique_ptr<frmMain> window;
    QPushButton *cmdUpload = nullptr;
    QPushButton *cmdCancelUpload = nullptr;
    QProgressBar *prgUpload = nullptr;
    QLabel *lblPercent = nullptr;
    QLabel *lblServerStatus = nullptr;
    QLabel *lblSelectedFile = nullptr;
    QLabel *lblSelectedFileTitle = nullptr;
};

TEST_F(UploadPageTest, CancelledDialogChangesNothing)
{
    dialogs.chooseFile(std::nullopt);
    upload();

    ASSERT_EQ(dialogs.fileRequests().size(), 1);
    const OpenFileRequest &request = dialogs.fileRequests().first();
    EXPECT_EQ(request.title, QStringLiteral("Select a FLV File to upload"));
    EXPECT_EQ(request.filter,
              QStringLiteral("Flash Live Video file (*.flv)|*.flv|MP4 Video file (*.mp4)|*.mp4"));
    EXPECT_EQ(request.flags, 4100);
    EXPECT_EQ(request.fileName, QString());
    EXPECT_TRUE(dialogs.boxes().isEmpty());
    EXPECT_EQ(lblSelectedFile->text(), QString());
    EXPECT_EQ(lblSelectedFileTitle->text(), QString());
    EXPECT_FALSE(busyPointer());
}

TEST_F(UploadPageTest, UploadsChosenFileAndLaterClicksSendItAgain)
{
    FtpTestServer server;
    ASSERT_TRUE(QDir(server.home()).mkdir(QStringLiteral("videos")));
    writeSettings(server, QStringLiteral("videos/"));
    const QByteArray bytes = RandomBytes(2 << 20, 11);
    const QString name = QStringLiteral("clip one é ü.flv");
    const QString path = makeFile(name, bytes);

    chooseAndConfirm(path);
    dialogs.answer(vbOK, [&] {
        // While the success message is open: the transfer's last state.
        EXPECT_EQ(lblPercent->text(), QStringLiteral("Status: 100%"));
        EXPECT_EQ(prgUpload->value(), prgUpload->maximum());
        EXPECT_EQ(lblServerStatus->text(), QStringLiteral("Server Connected"));
        EXPECT_TRUE(busyPointer());
    });
    upload();

    ASSERT_EQ(dialogs.boxes().size(), 2);
    EXPECT_EQ(dialogs.boxes()[0].text, kUploadQuestion);
    EXPECT_EQ(dialogs.boxes()[0].title, QStringLiteral("Confirm"));
    EXPECT_EQ(dialogs.boxes()[0].style, 36);
    EXPECT_EQ(dialogs.boxes()[1].text, kSuccess);
    EXPECT_EQ(dialogs.boxes()[1].title, QStringLiteral("Message"));
    EXPECT_EQ(dialogs.boxes()[1].style, 64);
    EXPECT_EQ(lblSelectedFile->text(), path);
    EXPECT_EQ(lblSelectedFileTitle->text(), name);
    EXPECT_EQ(ReadFile(server.pathInHome(QStringLiteral("videos/") + name)), bytes);
    expectDisplayReset();
    EXPECT_TRUE(window->ftpComponent()->IsConnected()); // left open

    // Later clicks: the same file, no dialog, no question; the open
    // connection is closed and a fresh one made.
    dialogs.clear();
    dialogs.answer(vbOK);
    upload();
    EXPECT_EQ(dialogs.boxTexts(), QStringList{kSuccess});
    EXPECT_TRUE(dialogs.fileRequests().isEmpty());
    EXPECT_TRUE(server.waitForEvent(QStringLiteral("QUIT")));
    EXPECT_EQ(server.countEvents(QStringLiteral("LOGIN tester")), 2);
    // Stored beside the final name, then renamed over it.
    EXPECT_TRUE(
        server.waitForEvent(QStringLiteral("RENAMED videos/.%1.upload videos/%1").arg(name), 2));
    expectDisplayReset();
}

TEST_F(UploadPageTest, AnswerNoKeepsTheChoiceForTheNextClick)
{
    FtpTestServer server;
    writeSettings(server, QString());
    const QString path = makeFile(QStringLiteral("a.mp4"), RandomBytes(1000, 12));

    dialogs.chooseFile(path);
    dialogs.answer(vbNo);
    upload();
    EXPECT_EQ(lblSelectedFileTitle->text(), QStringLiteral("a.mp4"));
    EXPECT_EQ(server.countEvents(QStringLiteral("LOGIN tester")), 0);
    EXPECT_FALSE(busyPointer());

    dialogs.answer(vbOK);
    upload();
    EXPECT_EQ(dialogs.boxTexts(), (QStringList{kUploadQuestion, kSuccess}));
    EXPECT_EQ(dialogs.fileRequests().size(), 1);
    EXPECT_TRUE(server.waitForEvent(QStringLiteral("RENAMED .a.mp4.upload a.mp4")));
}

TEST_F(UploadPageTest, UnsafeInputIsRefusedBeforeAnythingConnects)
{
    FtpTestServer server;
    const QString path = makeFile(QStringLiteral("a.mp4"), RandomBytes(1000, 16));
    const QString fifo = QDir(localFolder.path()).filePath(QStringLiteral("pipe.mp4"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const std::string address = server.address().toStdString();
    const std::string dele = "\r\nDELE a.mp4";
    const struct
    {
        settings::FtpSettings values;
        QString file;
        QString message;
    } cases[] = {
        {{address + dele, "tester", "secret", ""},
         path,
         QStringLiteral("FTP ADDRESS CONTAINS A LINE BREAK OR NUL CHARACTER!")},
        {{address, "tester" + dele, "secret", ""},
         path,
         QStringLiteral("FTP USERNAME CONTAINS A LINE BREAK OR NUL CHARACTER!")},
        {{address, "tester", "secret\n", ""},
         path,
         QStringLiteral("FTP PASSWORD CONTAINS A LINE BREAK OR NUL CHARACTER!")},
        {{address, "tester", "secret", "in\rbox/"},
         path,
         QStringLiteral("SERVER FOLDER CONTAINS A LINE BREAK OR NUL CHARACTER!")},
        // Opening the pipe would freeze the window.
        {{address, "tester", "secret", ""},
         fifo,
         QStringLiteral("THE SELECTED FILE IS NOT A REGULAR FILE!")},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.message.toStdString());
        ASSERT_TRUE(settings::WriteSettingsFile(
                        settings::SettingsFilePath(ToPath(appFolder.path())), c.values)
                        .ok());
        dialogs.clear();
        lblSelectedFileTitle->clear();
        chooseAndConfirm(c.file);
        dialogs.answer(vbOK);
        upload();
        EXPECT_EQ(dialogs.boxTexts(), (QStringList{kUploadQuestion, c.message}));
        EXPECT_EQ(dialogs.boxes().last().style, vbCritical);
        expectDisplayReset();
    }
    EXPECT_EQ(server.countEvents(QStringLiteral("LOGIN tester")), 0);
}

TEST_F(UploadPageTest, FailuresAreReportedAndTheDisplayReset)
{
    FtpTestServer server;
    const QString path = makeFile(QStringLiteral("a.mp4"), RandomBytes(1000, 13));
    struct Case
    {
        std::function<void()> prepare;
        QString message;
    };
    const Case cases[] = {
        {[] {}, QStringLiteral("FILE NOT FOUND. CONTACT SUPPORT.")},
        {[&] { writeSettings(server, QString(), QStringLiteral("wrong")); },
         QStringLiteral("LOGIN DENIED. CONTACT SUPPORT.")},
        {[&] { writeSettings(server, QStringLiteral("missing/")); },
         QStringLiteral("550 NO SUCH FILE OR DIRECTORY. CONTACT SUPPORT.")},
    };
    // The first click chooses the file (no settings file yet); the others
    // send it again.
    chooseAndConfirm(path);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.message.toStdString());
        c.prepare();
        dialogs.answer(vbOK, [&] { EXPECT_TRUE(busyPointer()); });
        upload();
        ASSERT_FALSE(dialogs.boxes().isEmpty());
        EXPECT_EQ(dialogs.boxes().last().text, c.message);
        EXPECT_EQ(dialogs.boxes().last().title, QStringLiteral("Error"));
        EXPECT_EQ(dialogs.boxes().last().style, 16);
        expectDisplayReset();
    }
}

TEST_F(UploadPageTest, CancelThenNoGoesOnWithOneQuestion)
{
    FtpServerOptions slow;
    slow.readLimit = kSlowRate;
    FtpTestServer server(slow);
    writeSettings(server, QString());
    const QByteArray bytes = RandomBytes(kSlowFileSize, 14);
    const QString path = makeFile(QStringLiteral("big.mp4"), bytes);
    bool clicked = false;
    onProgress([&](std::int64_t sent, std::int64_t total) {
        if (!clicked && sent > 0 && sent < total) {
            clicked = true;
            // Twice before the next event: still one question.
            cmdCancelUpload->click();
            cmdCancelUpload->click();
        }
    });
    chooseAndConfirm(path);
    dialogs.answer(vbNo, [&] { EXPECT_TRUE(busyPointer()); });
    dialogs.answer(vbOK);
    upload();

    EXPECT_TRUE(clicked);
    EXPECT_EQ(dialogs.boxTexts(), (QStringList{kUploadQuestion, kCancelQuestion, kSuccess}));
    EXPECT_EQ(dialogs.boxes()[1].style, 36);
    EXPECT_EQ(ReadFile(server.pathInHome(QStringLiteral("big.mp4"))), bytes);
    expectDisplayReset();
}

TEST_F(UploadPageTest, CancelThenYesAbortsWithoutSuccessMessage)
{
    FtpServerOptions slow;
    slow.readLimit = kSlowRate;
    FtpTestServer server(slow);
    writeSettings(server, QString());
    const QString path = makeFile(QStringLiteral("big.mp4"), RandomBytes(kSlowFileSize, 15));
    bool clicked = false;
    onProgress([&](std::int64_t sent, std::int64_t total) {
        if (!clicked && sent > 0 && sent < total) {
            clicked = true;
            cmdCancelUpload->click();
        }
    });
    QString percentAtQuestion;
    chooseAndConfirm(path);
    dialogs.answer(vbYes, [&] { percentAtQuestion = lblPercent->text(); });
    dialogs.answer(vbOK, [&] { EXPECT_TRUE(busyPointer()); });
    upload();

    EXPECT_EQ(dialogs.boxTexts(), (QStringList{kUploadQuestion, kCancelQuestion, kAborted}));
    EXPECT_EQ(dialogs.boxes()[2].title, QStringLiteral("Message"));
    EXPECT_EQ(dialogs.boxes()[2].style, 64);
    EXPECT_TRUE(percentAtQuestion.startsWith(QStringLiteral("Status: ")));
    EXPECT_NE(percentAtQuestion, QStringLiteral("Status: 100%"));
    EXPECT_FALSE(window->ftpComponent()->IsConnected());
    EXPECT_FALSE(server.waitForEvent(QStringLiteral("RENAMED .big.mp4.upload big.mp4"), 1, 300));
    EXPECT_FALSE(QFile::exists(server.pathInHome(QStringLiteral("big.mp4"))));
    expectDisplayReset();
}

TEST_F(UploadPageTest, PendingCancelIsAskedAtTheNextUpload)
{
    FtpTestServer server;
    writeSettings(server, QString());
    const QString path = makeFile(QStringLiteral("a.mp4"), RandomBytes(100000, 16));
    cmdCancelUpload->click(); // nothing running: nothing happens now
    EXPECT_TRUE(dialogs.boxes().isEmpty());

    chooseAndConfirm(path);
    dialogs.answer(vbNo);
    dialogs.answer(vbOK);
    upload();
    EXPECT_EQ(dialogs.boxTexts(), (QStringList{kUploadQuestion, kCancelQuestion, kSuccess}));
}

TEST_F(UploadPageTest, SecondClickDuringTransferIsRefused)
{
    FtpServerOptions slow;
    slow.readLimit = kSlowRate;
    FtpTestServer server(slow);
    writeSettings(server, QString());
    const QByteArray bytes = RandomBytes(kSlowFileSize, 17);
    const QString path = makeFile(QStringLiteral("big.mp4"), bytes);
    bool clicked = false;
    onProgress([&](std::int64_t sent, std::int64_t total) {
        if (!clicked && sent > 0 && sent < total) {
            clicked = true;
            cmdUpload->click();
        }
    });
    chooseAndConfirm(path);
    dialogs.answer(vbOK, [&] { EXPECT_TRUE(busyPointer()); });
    dialogs.answer(vbOK);
    upload();

    EXPECT_EQ(dialogs.boxTexts(), (QStringList{kUploadQuestion, kAlreadyUploading, kSuccess}));
    EXPECT_EQ(dialogs.boxes()[1].style, 16);
    EXPECT_EQ(ReadFile(server.pathInHome(QStringLiteral("big.mp4"))), bytes);
    EXPECT_EQ(server.countEvents(QStringLiteral("LOGIN tester")), 1);
    expectDisplayReset();
}

TEST_F(UploadPageTest, EmptyFileShowsCompleteProgress)
{
    FtpTestServer server;
    writeSettings(server, QString());
    const QString path = makeFile(QStringLiteral("empty.flv"), QByteArray());
    chooseAndConfirm(path);
    dialogs.answer(vbOK, [&] {
        EXPECT_EQ(lblPercent->text(), QStringLiteral("Status: 100%"));
        EXPECT_GT(prgUpload->maximum(), 0);
        EXPECT_EQ(prgUpload->value(), prgUpload->maximum());
    });
    upload();
    EXPECT_EQ(dialogs.boxTexts(), (QStringList{kUploadQuestion, kSuccess}));
    EXPECT_TRUE(QFile::exists(server.pathInHome(QStringLiteral("empty.flv"))));
    expectDisplayReset();
}

TEST_F(UploadPageTest, BrokenTransferIsReportedAndNextUploadWorks)
{
    FtpServerOptions slow;
    slow.readLimit = kSlowRate;
    auto server = std::make_unique<FtpTestServer>(slow);
    writeSettings(*server, QString());
    const QByteArray bytes = RandomBytes(kSlowFileSize, 18);
    const QString path = makeFile(QStringLiteral("big.mp4"), bytes);
    bool killed = false;
    onProgress([&](std::int64_t sent, std::int64_t total) {
        if (!killed && sent > 0 && sent < total) {
            killed = true;
            server->kill();
        }
    });
    chooseAndConfirm(path);
    dialogs.answer(vbOK);
    upload();
    EXPECT_EQ(dialogs.boxTexts(),
              (QStringList{kUploadQuestion,
                           QStringLiteral("CONNECTION TO SERVER LOST. CONTACT SUPPORT.")}));
    expectDisplayReset();

    server = std::make_unique<FtpTestServer>();
    writeSettings(*server, QString());
    dialogs.clear();
    dialogs.answer(vbOK);
    upload();
    EXPECT_EQ(dialogs.boxTexts(), QStringList{kSuccess});
    EXPECT_EQ(ReadFile(server->pathInHome(QStringLiteral("big.mp4"))), bytes);
}

TEST_F(UploadPageTest, CancelClickIsHandledPromptlyDuringTransfer)
{
    FtpServerOptions slow;
    slow.readLimit = kSlowRate;
    FtpTestServer server(slow);
    writeSettings(server, QString());
    const QString path = makeFile(QStringLiteral("big.mp4"), RandomBytes(kSlowFileSize, 19));
    // A real click goes through the event queue: posted, then handled when
    // the window's thread gets to it.
    QElapsedTimer sincePosted;
    qint64 latency = -1;
    QObject::connect(cmdCancelUpload, &QPushButton::clicked, [&] {
        if (sincePosted.isValid() && latency < 0)
            latency = sincePosted.nsecsElapsed() / 1000;
    });
    onProgress([&](std::int64_t sent, std::int64_t total) {
        if (!sincePosted.isValid() && sent > 0 && sent < total) {
            const QPointF centre = QRectF(cmdCancelUpload->rect()).center();
            const QPointF global = cmdCancelUpload->mapToGlobal(centre);
            sincePosted.start();
            QApplication::postEvent(
                cmdCancelUpload, new QMouseEvent(QEvent::MouseButtonPress, centre, global,
                                                 Qt::LeftButton, Qt::LeftButton, Qt::NoModifier));
            QApplication::postEvent(cmdCancelUpload,
                                    new QMouseEvent(QEvent::MouseButtonRelease, centre, global,
                                                    Qt::LeftButton, Qt::NoButton, Qt::NoModifier));
        }
    });
    chooseAndConfirm(path);
    dialogs.answer(vbNo);
    dialogs.answer(vbOK);
    upload();

    std::cout << "[ measured ] Cancel click handled " << latency / 1000.0
              << " ms after it was posted, during a transfer\n";
    ASSERT_GE(latency, 0);
    // A window blocked by the transfer would see the click only at its end,
    // well over a second later; the bound leaves room for a loaded machine.
    EXPECT_LT(latency, 1000 * 1000);
    EXPECT_EQ(dialogs.boxTexts(), (QStringList{kUploadQuestion, kCancelQuestion, kSuccess}));
}

TEST_F(UploadPageTest, YesAfterTheLastByteStillAbortsBeforeTheFileIsReplaced)
{
    // The server confirms a stored file 2 s late: the question comes while
    // every byte is out and the reply is awaited.
    FtpServerOptions options;
    options.quirks = QStringList{QStringLiteral("slow-226")};
    FtpTestServer server(options);
    writeSettings(server, QString());
    const QByteArray old = "the good copy";
    {
        QFile file(server.pathInHome(QStringLiteral("late.mp4")));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(old);
    }
    const QString path =
        makeFile(QStringLiteral("late.mp4"), RandomBytes(qsizetype{200} * 1024, 21));
    bool clicked = false;
    onProgress([&](std::int64_t sent, std::int64_t total) {
        if (!clicked && sent == total) {
            clicked = true;
            cmdCancelUpload->click();
        }
    });
    QString percentAtQuestion;
    chooseAndConfirm(path);
    dialogs.answer(vbYes, [&] { percentAtQuestion = lblPercent->text(); });
    dialogs.answer(vbOK);
    upload();

    EXPECT_EQ(dialogs.boxTexts(), (QStringList{kUploadQuestion, kCancelQuestion, kAborted}));
    EXPECT_EQ(percentAtQuestion, QStringLiteral("Status: 100%"));
    // The abort is the truth: the old file stands and nothing is left beside it.
    EXPECT_TRUE(server.waitForEvent(QStringLiteral("DELETED .late.mp4.upload"), 1, 15000));
    EXPECT_EQ(ReadFile(server.pathInHome(QStringLiteral("late.mp4"))), old);
    EXPECT_FALSE(QFile::exists(server.pathInHome(QStringLiteral(".late.mp4.upload"))));
    EXPECT_EQ(server.countEvents(QStringLiteral("RENAMED .late.mp4.upload late.mp4")), 0);
    expectDisplayReset();
}

TEST_F(UploadPageTest, ABrokenUploadSaysItReconnectsAndHowTheFileWasChecked)
{
    FtpServerOptions options;
    options.quirks = QStringList{QStringLiteral("hash"), QStringLiteral("drop-after=1048576"),
                                 QStringLiteral("drops=1")};
    FtpTestServer server(options);
    writeSettings(server, QString());
    const QByteArray bytes = RandomBytes(3 << 20, 23);
    const QString path = makeFile(QStringLiteral("clip.mp4"), bytes);
    QStringList statuses;
    QObject::connect(window->uploadJob(), &upload::UploadJob::retrying, window.get(),
                     [&] { statuses << lblServerStatus->text(); });
    QObject::connect(window->uploadJob(), &upload::UploadJob::resumed, window.get(),
                     [&] { statuses << lblServerStatus->text(); });
    chooseAndConfirm(path);
    dialogs.answer(vbOK, [&] {
        EXPECT_TRUE(prgUpload->isTextVisible());
        EXPECT_EQ(prgUpload->text(), QStringLiteral("Checked by SHA-256"));
        EXPECT_EQ(prgUpload->accessibleDescription(), prgUpload->text());
    });
    upload();
    EXPECT_EQ(dialogs.boxTexts(), (QStringList{kUploadQuestion, kSuccess}));
    EXPECT_EQ(statuses, (QStringList{QStringLiteral("Reconnecting, attempt 1 of 5"),
                                     QStringLiteral("Server Connected")}));
    EXPECT_EQ(ReadFile(server.pathInHome(QStringLiteral("clip.mp4"))), bytes);
    expectDisplayReset();
    EXPECT_FALSE(prgUpload->isTextVisible());
}

TEST_F(UploadPageTest, AnEncodingBesideAnUploadLetsItKeepItsPaceAndEndOnItsOwn)
{
    FtpServerOptions slow;
    slow.readLimit = kSlowRate;
    FtpTestServer server(slow);
    writeSettings(server, QString());
    const QByteArray bytes = RandomBytes(kSlowFileSize, 22);
    const QString path = makeFile(QStringLiteral("big.mp4"), bytes);
    // An encoder that takes far longer than the upload, and a repair program.
    for (const auto &[name, body] : {std::pair{"mencoder", QByteArray("sleep 8\n")},
                                     std::pair{"fix", QByteArray("echo done > \"$2\"\n")}}) {
        const QString program = QDir(appFolder.path()).filePath(QString::fromLatin1(name));
        WriteFile(program, "#!/bin/sh\n" + body);
        QFile::setPermissions(program, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    child<QLabel>("lblInput")->setText(makeFile(QStringLiteral("source.avi"), "video"));
    child<QLabel>("lblOutput")->setText(localFolder.path() + QLatin1Char('/'));
    window->findChild<QLineEdit *>(QStringLiteral("txtFileTitle"))
        ->setText(QStringLiteral("encoded.mp4"));

    QElapsedTimer sinceEncode;
    qint64 uploadEnded = -1;
    onProgress([&](std::int64_t sent, std::int64_t total) {
        if (!sinceEncode.isValid() && sent > 0 && sent < total) {
            sinceEncode.start();
            child<QPushButton>("cmdEncode")->click();
        }
    });
    chooseAndConfirm(path);
    dialogs.answer(vbOK, [&] {
        uploadEnded = sinceEncode.elapsed();
        EXPECT_TRUE(window->encodingJob()->isRunning());
    });
    // The upload's display was reset when it ended, not when the encoding did.
    dialogs.answer(vbOK, [&] { expectDisplayReset(); });
    upload();

    EXPECT_EQ(dialogs.boxTexts(),
              (QStringList{kUploadQuestion, kSuccess, QStringLiteral("FLV ENCODED!")}));
    ASSERT_TRUE(sinceEncode.isValid());
    std::cout << "[ measured ] the upload ended " << uploadEnded
              << " ms after the encoding began beside it\n";
    // 14 MiB at 8 MiB/s takes about two seconds, the encoding eight.
    EXPECT_LT(uploadEnded, 6000);
    EXPECT_EQ(ReadFile(server.pathInHome(QStringLiteral("big.mp4"))), bytes);
}

} // namespace
} // namespace vantrel::test
