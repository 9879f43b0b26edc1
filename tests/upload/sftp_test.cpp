// SFTP against a real server on 127.0.0.1 (asyncssh, a password check of its
// own): names arrive exactly, the site's file is replaced only by a whole new
// one, the host key is checked before anything is sent, and the tool and the
// page behave as for FTP.

#include "settings/settingsfile.h"
#include "shell/frmmain.h"
#include "tests/support/scripteddialogs.h"
#include "tests/support/testfiles.h"
#include "tests/support/windowjobs.h"
#include "tests/upload/clientevents.h"
#include "tests/upload/sftpserver.h"
#include "ui/appcontext.h"
#include "ui/tabcontrol.h"
#include "upload/ftpclient.h"
#include "upload/ftperrors.h"
#include "upload/sftphostkey.h"
#include "upload/truststore.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMessageAuthenticationCode>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

namespace vantrel::test {
namespace {

const QByteArray kOldBytes = "the good copy already on the site";

// The failure a call ended with; "<no failure>" when it ended well.
Failure FailureIn(const Result<> &result)
{
    return result ? Failure(0, "<no failure>") : result.failure();
}

class SftpTest : public ::testing::Test
{
protected:
    // known_hosts is read from HOME: a folder of the test's own.
    SftpTest()
        : savedHome(qgetenv("HOME"))
    {
        qputenv("HOME", home.path().toUtf8());
        keyFile = QDir(keys.path()).filePath(QStringLiteral("host_key"));
        otherKeyFile = QDir(keys.path()).filePath(QStringLiteral("other_key"));
    }
    ~SftpTest() override { qputenv("HOME", savedHome); }

    QString local(const QString &name, const QByteArray &bytes)
    {
        QString path = QDir(files.path()).filePath(name);
        WriteFile(path, bytes);
        return path;
    }

    // Accepts `fingerprint` for the server, as a Yes of an earlier run did.
    void acceptEarlier(const SftpTestServer &server, const QString &fingerprint)
    {
        ASSERT_TRUE(store
                        .Remember({upload::IdentityKind::HostKey, ToUtf8(server.serverName()),
                                   "ED25519", ToUtf8(fingerprint)})
                        .ok());
    }

    // Connects with the server's key accepted, unless `accept` is false.
    Result<> logIn(FtpClient &client, const SftpTestServer &server, bool accept = true)
    {
        if (accept)
            acceptEarlier(server, server.fingerprint());
        return client.Connect(server.address(), SftpTestServer::kUser, SftpTestServer::kPassword,
                              21, true);
    }

    // Logs in, then uploads: the failure of the first that fails.
    Result<> logInAndUpload(FtpClient &client, const SftpTestServer &server, const QString &path,
                            bool accept)
    {
        const Result<> connected = logIn(client, server, accept);
        return connected ? client.UploadFile(path, QString(), QStringLiteral("clip.mp4"))
                         : connected;
    }

    void writeKnownHosts(const QString &line)
    {
        WriteFile(QDir(home.path()).filePath(QStringLiteral(".ssh/known_hosts")),
                  (QStringLiteral(
                       "# a comment\nexample.org ssh-ed25519 "
                       "AAAAC3NzaC1lZDI1NTE5AAAAIOMqqnkVzrm0SdG6UOoqKLsabgH5C9okWi0dh2l9GKJl\n")
                   + line + QLatin1Char('\n'))
                      .toUtf8());
    }

    QTemporaryDir home;
    QTemporaryDir trustFolder;
    const upload::TrustStore store{ToPath(trustFolder.path())};
    QTemporaryDir keys;
    QTemporaryDir files;
    QByteArray savedHome;
    QString keyFile;
    QString otherKeyFile;
};

TEST_F(SftpTest, NamesArriveExactlyAndTheOldFileIsReplaced)
{
    SftpTestServer server(keyFile);
    struct Case
    {
        const char *remote; // as given
        const char *stored; // where it lands in the server's root
        bool existedBefore;
        // The old file's place aside, left by a run that was cut off.
        bool staleAside;
    };
    const Case cases[] = {
        {"clip one.mp4", "clip one.mp4", false, false},
        {"my folder/été #1 %20.mp4", "my folder/été #1 %20.mp4", true, false},
        {"/abs dir/x\"q\\.mp4", "abs dir/x\"q\\.mp4", true, true},
    };
    FtpClient client(&store);
    ClientEvents events(client);
    ASSERT_TRUE(Succeeded(logIn(client, server)));
    for (const Case &c : cases) {
        SCOPED_TRACE(c.remote);
        const QString stored = server.pathInHome(QString::fromUtf8(c.stored));
        if (c.existedBefore)
            WriteFile(stored, kOldBytes);
        if (c.staleAside)
            WriteFile(QFileInfo(stored).path() + QStringLiteral("/.") + QFileInfo(stored).fileName()
                          + QStringLiteral(".upload.old"),
                      "stale");
        else
            QDir().mkpath(QFileInfo(stored).path());
        const QByteArray bytes = RandomBytes(qsizetype{300} * 1024 + 7, 1);
        const int completed = events.completions;
        EXPECT_TRUE(Succeeded(client.UploadFile(local(QStringLiteral("clip.mp4"), bytes), QString(),
                                                QString::fromUtf8(c.remote))));
        EXPECT_EQ(events.completions, completed + 1);
        EXPECT_EQ(ReadFile(stored), bytes);
        EXPECT_EQ(QDir(QFileInfo(stored).path()).entryList(QDir::Files | QDir::Hidden).size(), 1);
    }
}

TEST_F(SftpTest, MissingFolderIsNamed)
{
    SftpTestServer server(keyFile);
    FtpClient client(&store);
    ASSERT_TRUE(Succeeded(logIn(client, server)));
    const QString path = local(QStringLiteral("clip.mp4"), RandomBytes(5000, 7));
    EXPECT_EQ(FailureOf(client.UploadFile(path, QString(), QStringLiteral("missing/clip.mp4"))),
              "No such folder on the server");
    EXPECT_TRUE(client.IsConnected());
}

TEST_F(SftpTest, WrongPasswordAndLineBreaksAreRefused)
{
    SftpTestServer server(keyFile);
    struct Case
    {
        QString address;
        QString user;
        QString password;
        const char *failure;
    };
    const Case cases[] = {
        {server.address(), SftpTestServer::kUser, QStringLiteral("wrong"), "Login denied"},
        {server.address() + QStringLiteral("\r\n"), SftpTestServer::kUser,
         SftpTestServer::kPassword, "The server address contains a line break"},
        {server.address(), SftpTestServer::kUser + QStringLiteral("\nrm x"),
         SftpTestServer::kPassword, "The user name contains a line break"},
        {server.address(), SftpTestServer::kUser, QString::fromLatin1("secret\0x", 8),
         "The password contains a line break"},
    };
    acceptEarlier(server, server.fingerprint());
    for (const Case &c : cases) {
        SCOPED_TRACE(c.failure);
        FtpClient client(&store);
        EXPECT_EQ(FailureOf(client.Connect(c.address, c.user, c.password, 21, true)), c.failure);
        EXPECT_FALSE(client.IsConnected());
    }
    EXPECT_EQ(server.countEvents(QStringLiteral("LOGIN tester")), 0);
}

TEST_F(SftpTest, UnknownKeyIsAskedAboutBeforeTheLogin)
{
    SftpTestServer server(keyFile);
    const QString path = local(QStringLiteral("clip.mp4"), RandomBytes(5000, 2));
    for (const bool answer : {false, true}) {
        SCOPED_TRACE(answer);
        FtpClient client(&store);
        ClientEvents events(client);
        events.trustAnswer = answer;
        const Failure failure = FailureIn(logInAndUpload(client, server, path, false));
        QStringList questions;
        for (const ClientEvents::Question &question : events.questions)
            questions << question.server + QLatin1Char(' ') + question.type + QLatin1Char(' ')
                             + question.fingerprint;
        EXPECT_EQ(questions, QStringList{server.serverName() + QStringLiteral(" ED25519 ")
                                         + server.fingerprint()});
        if (answer) {
            EXPECT_EQ(failure.description(), "<no failure>");
            EXPECT_EQ(server.countEvents(QStringLiteral("LOGIN tester")), 1);
            EXPECT_EQ(ReadFile(server.pathInHome(QStringLiteral("clip.mp4"))).size(), 5000);
        } else {
            EXPECT_EQ(failure.number(), upload::kErrHostKeyNotTrusted);
            EXPECT_NE(failure.description().find(server.fingerprint().toStdString()),
                      std::string::npos);
            EXPECT_EQ(server.countEvents(QStringLiteral("LOGIN tester")), 0);
        }
    }
}

// A host as OpenSSH writes it with HashKnownHosts: "|1|salt|HMAC-SHA1".
QString HashedHost(const QString &host)
{
    const QByteArray salt = RandomBytes(20, 8);
    const QByteArray mac =
        QMessageAuthenticationCode::hash(host.toUtf8(), salt, QCryptographicHash::Sha1);
    return QStringLiteral("|1|") + QString::fromLatin1(salt.toBase64()) + QLatin1Char('|')
           + QString::fromLatin1(mac.toBase64());
}

TEST_F(SftpTest, KnownHostsAndChangedKeys)
{
    SftpTestServer server(keyFile);
    SftpTestServer other(otherKeyFile);
    const QString path = local(QStringLiteral("clip.mp4"), RandomBytes(5000, 3));
    const QString listed = QStringLiteral("[127.0.0.1]:") + QString::number(server.port())
                           + QLatin1Char(' ') + server.publicKey();
    const QString listedForOther = QStringLiteral("[127.0.0.1]:") + QString::number(other.port())
                                   + QLatin1Char(' ') + server.publicKey();
    const QString hashed =
        HashedHost(QStringLiteral("[127.0.0.1]:") + QString::number(server.port()))
        + QLatin1Char(' ') + server.publicKey();
    struct Case
    {
        const char *what;
        QString knownHosts; // the line for the server
        QString accepted;   // the key accepted for it in an earlier run
        bool sends;
    };
    const Case cases[] = {
        {"listed in known_hosts", listed, {}, true},
        {"listed under a hashed name", hashed, {}, true},
        {"another key in known_hosts", listedForOther, {}, false},
        {"another key accepted before", {}, server.fingerprint(), false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        SftpTestServer &target = c.sends ? server : other;
        writeKnownHosts(c.knownHosts);
        if (!c.accepted.isEmpty())
            acceptEarlier(target, c.accepted);
        FtpClient client(&store);
        ClientEvents events(client);
        events.trustAnswer = true;
        const Failure failure = FailureIn(logInAndUpload(client, target, path, false));
        int questions = 0;
        QStringList changed;
        for (const ClientEvents::Question &question : events.questions) {
            if (question.changed)
                changed << question.fingerprint;
            else
                ++questions;
        }
        EXPECT_EQ(questions, 0);
        if (c.sends) {
            EXPECT_EQ(failure.description(), "<no failure>");
            EXPECT_TRUE(changed.isEmpty());
        } else {
            EXPECT_EQ(failure.description(), "The host key of server "
                                                 + target.serverName().toStdString()
                                                 + " has changed (ED25519 key "
                                                 + target.fingerprint().toStdString() + ")");
            EXPECT_EQ(changed, QStringList{target.fingerprint()});
        }
    }
    EXPECT_EQ(server.countEvents(QStringLiteral("LOGIN tester")), 2);
    EXPECT_EQ(other.countEvents(QStringLiteral("LOGIN tester")), 0);
}

// A connection cut, a server gone silent and a cancel part-way: the file on
// the site stays as it was.
TEST_F(SftpTest, BrokenStalledOrCancelledUploadLeavesTheOldFile)
{
    struct Case
    {
        const char *quirk;
        bool cancel;
        int failureNumber; // 0: ends without a failure (cancelled)
    };
    const Case cases[] = {
        {"drop-after=262144", false, upload::kErrConnectionLost},
        {"stall-after=262144", false, upload::kErrTimeout},
        {nullptr, true, 0},
    };
    const QByteArray bytes = RandomBytes(qsizetype{4} * 1024 * 1024, 4);
    const QString path = local(QStringLiteral("big.mp4"), bytes);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.quirk ? c.quirk : "cancel");
        SftpTestServer server(keyFile,
                              c.quirk ? QStringList{QString::fromLatin1(c.quirk)} : QStringList{});
        WriteFile(server.pathInHome(QStringLiteral("movie.mp4")), kOldBytes);
        FtpClient client(&store);
        client.setTimeouts(10, 2);
        client.setRetryPolicy(kQuickRetries);
        ClientEvents events(client);
        events.onProgress = [&](const ClientEvents::Progress &progress, bool &cancel) {
            if (c.cancel && progress.sent > 0)
                cancel = true;
        };
        ASSERT_TRUE(Succeeded(logIn(client, server)));
        QElapsedTimer clock;
        clock.start();
        const Failure failure =
            FailureIn(client.UploadFile(path, QString(), QStringLiteral("movie.mp4")));
        const bool completed = events.completions > 0;
        // Wide: the stall time is 2 s.
        EXPECT_LT(clock.elapsed(), 60000);
        if (c.failureNumber != 0) {
            EXPECT_EQ(failure.number(), c.failureNumber) << failure.description();
        } else {
            EXPECT_EQ(failure.description(), "<no failure>");
            EXPECT_TRUE(completed);
            // Its temporary file goes too, on the connection that is still there.
            EXPECT_TRUE(server.waitForEvent(QStringLiteral("DELETED .movie.mp4.upload")));
        }
        EXPECT_EQ(ReadFile(server.pathInHome(QStringLiteral("movie.mp4"))), kOldBytes);
    }
}

TEST_F(SftpTest, ACutConnectionIsTakenUpWhereItBroke)
{
    const QByteArray bytes = RandomBytes(qsizetype{4} * 1024 * 1024, 11);
    const QString path = local(QStringLiteral("big.mp4"), bytes);
    for (const int drops : {1, 2}) {
        SCOPED_TRACE(drops);
        SftpTestServer server(keyFile, {QStringLiteral("drop-after=1048576"),
                                        QStringLiteral("drops=") + QString::number(drops)});
        WriteFile(server.pathInHome(QStringLiteral("movie.mp4")), kOldBytes);
        FtpClient client(&store);
        client.setRetryPolicy(kQuickRetries);
        ClientEvents events(client);
        ASSERT_TRUE(Succeeded(logIn(client, server)));
        EXPECT_TRUE(Succeeded(client.UploadFile(path, QString(), QStringLiteral("movie.mp4"))));
        EXPECT_EQ(events.retries, drops);
        ASSERT_EQ(events.resumedAt.size(), static_cast<std::size_t>(drops));
        // Each attempt went on from what the server held, not from the start.
        for (const std::int64_t offset : events.resumedAt)
            EXPECT_GE(offset, 512 << 10);
        EXPECT_EQ(client.checkedBy(), "size");
        EXPECT_EQ(ReadFile(server.pathInHome(QStringLiteral("movie.mp4"))), bytes);
    }
}

TEST_F(SftpTest, FtpuploadRefusesAnUnknownKeyUnlessItIsTrustedOrKnown)
{
    SftpTestServer server(keyFile);
    const QString path = local(QStringLiteral("clip.mp4"), RandomBytes(5000, 5));
    const QStringList upload{server.address(), SftpTestServer::kUser, SftpTestServer::kPassword,
                             path, QStringLiteral("clip.mp4")};
    struct Case
    {
        QStringList trust;
        bool knownHosts;
        int exitCode;
    };
    const Case cases[] = {
        {{}, false, 1},
        {{QStringLiteral("--trust"), QStringLiteral("SHA256:") + QString(43, QLatin1Char('A'))},
         false,
         1},
        {{QStringLiteral("--trust"), server.fingerprint()}, false, 0},
        {{}, true, 0},
    };
    const QString listed = QStringLiteral("[127.0.0.1]:") + QString::number(server.port())
                           + QLatin1Char(' ') + server.publicKey();
    for (const Case &c : cases) {
        SCOPED_TRACE(c.trust.join(QLatin1Char(' ')).toStdString());
        writeKnownHosts(c.knownHosts ? listed : QString());
        QProcess tool;
        tool.start(QStringLiteral(VANTREL_FTPUPLOAD), c.trust + upload);
        ASSERT_TRUE(tool.waitForFinished(60000));
        EXPECT_EQ(tool.exitCode(), c.exitCode);
        if (c.exitCode != 0) {
            EXPECT_TRUE(
                QString::fromUtf8(tool.readAllStandardError()).contains(server.fingerprint()));
        }
    }
    EXPECT_EQ(server.countEvents(QStringLiteral("LOGIN tester")), 2);
}

// The page: the question in the system's form, a Yes kept beside the
// settings file, a No sending nothing.
TEST_F(SftpTest, PageAsksAboutAnUnknownKeyAndKeepsAYes)
{
    SftpTestServer server(keyFile);
    QTemporaryDir appFolder;
    QTemporaryDir settingsFolder;
    ScriptedDialogs dialogs;
    int ended = 0;
    AppContext context = TestContext(dialogs, appFolder.path(), ended);
    context.settingsFolder = settingsFolder.path();
    const settings::FtpSettings values{server.address().toStdString(),
                                       SftpTestServer::kUser.toStdString(),
                                       SftpTestServer::kPassword.toStdString(), "site/"};
    ASSERT_TRUE(settings::WriteSettingsFile(
                    settings::SettingsFilePath(settingsFolder.path().toStdString()), values)
                    .ok());
    QDir().mkpath(server.pathInHome(QStringLiteral("site")));
    auto window = std::make_unique<frmMain>(context);
    window->findChild<TabControl *>(QStringLiteral("SSTab1"))->setCurrentIndex(2);
    auto *cmdUpload = window->findChild<QPushButton *>(QStringLiteral("cmdUpload"));
    const QByteArray bytes = RandomBytes(qsizetype{100} * 1024, 6);
    const QString path = local(QStringLiteral("clip.flv"), bytes);
    const QString question = QStringLiteral("THE HOST KEY OF THE SERVER ") + server.serverName()
                             + QStringLiteral(" IS NOT KNOWN.\n\nED25519 KEY FINGERPRINT:\n")
                             + server.fingerprint()
                             + QStringLiteral("\n\nDO YOU WANT TO TRUST THIS KEY?");
    const QString keysFile =
        QDir(settingsFolder.path()).filePath(QString::fromLatin1(upload::kAcceptedKeysFileName));
    // A new window, as in a later run of the program, sends the file again.
    const auto uploadFromALaterRun = [&] {
        window = std::make_unique<frmMain>(context);
        window->findChild<TabControl *>(QStringLiteral("SSTab1"))->setCurrentIndex(2);
        cmdUpload = window->findChild<QPushButton *>(QStringLiteral("cmdUpload"));
        dialogs.clear();
        dialogs.chooseFile(path);
        dialogs.answer(vbYes);
        dialogs.answer(vbOK);
        ClickAndWait(cmdUpload, *window);
    };

    dialogs.chooseFile(path);
    dialogs.answer(vbYes); // upload this file
    dialogs.answer(vbNo);  // the key
    dialogs.answer(vbOK);
    ClickAndWait(cmdUpload, *window);
    ASSERT_EQ(dialogs.boxes().size(), 3);
    EXPECT_EQ(dialogs.boxes()[1].text, question);
    EXPECT_EQ(dialogs.boxes()[1].title, QStringLiteral("Confirm"));
    EXPECT_EQ(dialogs.boxes()[2].text, QStringLiteral("THE HOST KEY OF THE SERVER ")
                                           + server.serverName()
                                           + QStringLiteral(" IS NOT TRUSTED. NOTHING WAS SENT!"));
    EXPECT_EQ(server.countEvents(QStringLiteral("LOGIN tester")), 0);
    EXPECT_FALSE(QFile::exists(keysFile));

    dialogs.clear();
    dialogs.answer(vbYes);
    dialogs.answer(vbOK);
    ClickAndWait(cmdUpload, *window);
    EXPECT_EQ(dialogs.boxTexts(),
              (QStringList{question, QStringLiteral("YOUR FILE HAS BEEN UPLOADED SUCCESSFULLY!")}));
    EXPECT_EQ(ReadFile(server.pathInHome(QStringLiteral("site/clip.flv"))), bytes);
    EXPECT_TRUE(ReadFile(keysFile).contains(server.fingerprint().toLatin1()));

    // A later run: no question. Another key for the server: refused, and
    // the message says it changed.
    uploadFromALaterRun();
    EXPECT_EQ(dialogs.boxTexts(),
              (QStringList{QStringLiteral("DO YOU WANT TO UPLOAD THIS FILE?"),
                           QStringLiteral("YOUR FILE HAS BEEN UPLOADED SUCCESSFULLY!")}));

    const QString other = QStringLiteral("SHA256:") + QString(43, QLatin1Char('A'));
    ASSERT_TRUE(upload::TrustStore(ToPath(settingsFolder.path()))
                    .Remember({upload::IdentityKind::HostKey, ToUtf8(server.serverName()),
                               "ED25519", ToUtf8(other)})
                    .ok());
    uploadFromALaterRun();
    EXPECT_EQ(dialogs.boxTexts(),
              (QStringList{QStringLiteral("DO YOU WANT TO UPLOAD THIS FILE?"),
                           QStringLiteral("THE HOST KEY OF THE SERVER ") + server.serverName()
                               + QStringLiteral(" HAS CHANGED. IT IS NOT THE KEY KNOWN FOR THIS "
                                                "SERVER.\n\nED25519 KEY FINGERPRINT:\n")
                               + server.fingerprint() + QStringLiteral("\n\nNOTHING WAS SENT!")}));
    EXPECT_EQ(server.countEvents(QStringLiteral("LOGIN tester")), 2);
}

} // namespace
} // namespace vantrel::test
