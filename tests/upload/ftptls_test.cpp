// FTP over TLS against a real server on 127.0.0.1 with a certificate the
// test makes: the schemes, the server's TLS modes, session reuse on the data
// connection, and the question about a certificate that cannot be verified,
// in the component and on the "FTP Upload" page.

#include "settings/settingsfile.h"
#include "shell/frmmain.h"
#include "tests/support/scripteddialogs.h"
#include "tests/support/testfiles.h"
#include "tests/support/windowjobs.h"
#include "tests/upload/clientevents.h"
#include "tests/upload/ftpserver.h"
#include "ui/appcontext.h"
#include "ui/tabcontrol.h"
#include "upload/certtrust.h"
#include "upload/ftpclient.h"
#include "upload/ftperrors.h"
#include "upload/truststore.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <vector>

namespace vantrel::test {
namespace {

QByteArray SomeBytes(qsizetype size)
{
    QByteArray bytes(size, '\0');
    for (qsizetype i = 0; i < size; ++i)
        bytes[i] = static_cast<char>((i * 7919) % 251);
    return bytes;
}

// The server's event for a file stored whole: uploads go to a temporary
// name beside the final one first.
QString Received(const QString &name)
{
    return QStringLiteral("RECEIVED .") + name + QStringLiteral(".upload");
}

// One certificate pair for the whole program: making keys takes a while.
class TlsTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        folder = new QTemporaryDir;
        certificate = new TestCertificate(MakeTestCertificate(folder->path(), QStringLiteral("a")));
        other = new TestCertificate(MakeTestCertificate(folder->path(), QStringLiteral("b")));
    }
    static void TearDownTestSuite()
    {
        delete other;
        delete certificate;
        delete folder;
    }

    static FtpServerOptions tlsOptions(const QString &mode)
    {
        FtpServerOptions options;
        options.tls = mode;
        options.certificate = *certificate;
        return options;
    }

    static QString serverName(const FtpTestServer &server)
    {
        return QStringLiteral("127.0.0.1:") + QString::number(server.port());
    }

    // Trusts `fingerprint` for the server, as a Yes of an earlier run did.
    void trustEarlier(const FtpTestServer &server, const QString &fingerprint)
    {
        ASSERT_TRUE(store
                        .Remember({upload::IdentityKind::Certificate,
                                   ToUtf8(serverName(server)),
                                   {},
                                   ToUtf8(fingerprint)})
                        .ok());
    }

    static inline QTemporaryDir *folder = nullptr;
    static inline TestCertificate *certificate = nullptr;
    static inline TestCertificate *other = nullptr;
    QTemporaryDir local;
    QTemporaryDir trustFolder;
    const upload::TrustStore store{ToPath(trustFolder.path())};
};

TEST_F(TlsTest, SchemesAndServerModes)
{
    struct Case
    {
        const char *mode;   // of the server
        const char *scheme; // of the address
        bool secure;        // login and data protected
        const char *failure;
    };
    const Case cases[] = {
        {"required", "ftp://", true, nullptr},
        {"offered", "", true, nullptr},
        {"required", "ftpes://", true, nullptr},
        {"implicit", "ftps://", true, nullptr},
        {"none", "", false, nullptr},
        {"none", "ftpes://", false, "The server does not offer TLS"},
    };
    const QByteArray bytes = SomeBytes(qsizetype{300} * 1024 + 5);
    const QString path = WriteFile(local.path(), QStringLiteral("clip.mp4"), bytes);
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.mode) + " " + c.scheme);
        FtpTestServer server(tlsOptions(QString::fromLatin1(c.mode)));
        ASSERT_TRUE(server.isRunning());
        trustEarlier(server, certificate->fingerprint);
        FtpClient client(&store);
        const QString address = QString::fromLatin1(c.scheme) + server.address();
        Result<> result =
            client.Connect(address, FtpTestServer::kUser, FtpTestServer::kPassword, 21, true);
        if (result)
            result = client.UploadFile(path, QString(), QStringLiteral("clip.mp4"));
        if (!result) {
            ASSERT_NE(c.failure, nullptr) << result.failure().description();
            EXPECT_EQ(result.failure().description(), c.failure);
            EXPECT_EQ(server.countEvents(QStringLiteral("LOGIN tester")), 0);
            continue;
        }
        EXPECT_EQ(c.failure, nullptr);
        EXPECT_EQ(ReadFile(server.pathInHome(QStringLiteral("clip.mp4"))), bytes);
        // The server tells how the file came in just before it says it came.
        EXPECT_TRUE(server.waitForEvent(Received(QStringLiteral("clip.mp4"))));
        EXPECT_EQ(server.countEvents(QStringLiteral("SECURE LOGIN tester")), c.secure ? 1 : 0);
        EXPECT_EQ(
            server.countEvents(QStringLiteral("SECURE ") + Received(QStringLiteral("clip.mp4"))),
            c.secure ? 1 : 0);
    }
}

TEST_F(TlsTest, DataConnectionsResumeTheControlSession)
{
    const QByteArray bytes = SomeBytes(qsizetype{200} * 1024);
    const QString path = WriteFile(local.path(), QStringLiteral("clip.mp4"), bytes);
    for (const char *version : {"1.2", "1.3"}) {
        SCOPED_TRACE(version);
        FtpServerOptions options = tlsOptions(QStringLiteral("required"));
        options.tlsMax = QString::fromLatin1(version);
        options.sslReuse = true;
        FtpTestServer server(options);
        trustEarlier(server, certificate->fingerprint);
        FtpClient client(&store);
        EXPECT_TRUE(Succeeded(client.Connect(server.address(), FtpTestServer::kUser,
                                             FtpTestServer::kPassword, 21, true)));
        // Two data connections over one login.
        EXPECT_TRUE(Succeeded(client.UploadFile(path, QString(), QStringLiteral("one.mp4"))));
        EXPECT_TRUE(Succeeded(client.UploadFile(path, QString(), QStringLiteral("two.mp4"))));
        // Both whole: the server here confirms a truncated file too.
        EXPECT_TRUE(server.waitForEvent(Received(QStringLiteral("two.mp4"))));
        EXPECT_EQ(ReadFile(server.pathInHome(QStringLiteral("one.mp4"))), bytes);
        EXPECT_EQ(ReadFile(server.pathInHome(QStringLiteral("two.mp4"))), bytes);
        EXPECT_EQ(
            server.countEvents(QStringLiteral("SECURE ") + Received(QStringLiteral("one.mp4"))), 1);
        EXPECT_EQ(
            server.countEvents(QStringLiteral("SECURE ") + Received(QStringLiteral("two.mp4"))), 1);
        EXPECT_EQ(server.countEvents(QStringLiteral("REFUSED DATA session not reused")), 0);
    }
}

TEST_F(TlsTest, ACutConnectionIsTakenUpOverTlsToo)
{
    FtpServerOptions options = tlsOptions(QStringLiteral("required"));
    options.quirks = QStringList{QStringLiteral("drop-after=1048576"), QStringLiteral("drops=1")};
    FtpTestServer server(options);
    trustEarlier(server, certificate->fingerprint);
    const QByteArray bytes = SomeBytes(qsizetype{3} << 20);
    const QString path = WriteFile(local.path(), QStringLiteral("clip.mp4"), bytes);
    FtpClient client(&store);
    client.setRetryPolicy(kQuickRetries);
    ClientEvents events(client);
    ASSERT_TRUE(Succeeded(client.Connect(server.address(), FtpTestServer::kUser,
                                         FtpTestServer::kPassword, 21, true)));
    EXPECT_TRUE(Succeeded(client.UploadFile(path, QString(), QStringLiteral("clip.mp4"))));
    EXPECT_EQ(events.retries, 1);
    ASSERT_EQ(events.resumedAt.size(), 1U);
    EXPECT_GE(events.resumedAt.front(), 1 << 20);
    EXPECT_EQ(ReadFile(server.pathInHome(QStringLiteral("clip.mp4"))), bytes);
    // Logged in again over TLS, with the certificate trusted before.
    EXPECT_EQ(server.countEvents(QStringLiteral("SECURE LOGIN tester")), 2);
}

TEST_F(TlsTest, UnverifiedCertificateIsAskedAboutBeforeTheLogin)
{
    FtpTestServer server(tlsOptions(QStringLiteral("offered")));
    FtpClient client(&store);
    ClientEvents events(client);
    events.keep = &store;
    const std::vector<ClientEvents::Question> &questions = events.questions;

    const Result<> refused =
        client.Connect(server.address(), FtpTestServer::kUser, FtpTestServer::kPassword, 21, true);
    ASSERT_FALSE(refused) << "an untrusted certificate was accepted";
    EXPECT_EQ(refused.failure().number(), upload::kErrCertificateNotTrusted);
    EXPECT_NE(refused.failure().description().find(certificate->fingerprint.toStdString()),
              std::string::npos);
    EXPECT_FALSE(client.IsConnected());
    ASSERT_EQ(questions.size(), 1U);
    EXPECT_EQ(questions[0].server, serverName(server));
    EXPECT_EQ(questions[0].fingerprint, certificate->fingerprint);
    EXPECT_FALSE(questions[0].changed);
    EXPECT_EQ(server.countEvents(QStringLiteral("LOGIN tester")), 0);

    events.trustAnswer = true;
    EXPECT_TRUE(Succeeded(client.Connect(server.address(), FtpTestServer::kUser,
                                         FtpTestServer::kPassword, 21, true)));
    EXPECT_TRUE(client.IsConnected());
    EXPECT_EQ(questions.size(), 2U);
    EXPECT_TRUE(server.waitForEvent(QStringLiteral("SECURE LOGIN tester")));
    // Trusted from then on: no question.
    EXPECT_TRUE(Succeeded(client.Connect(server.address(), FtpTestServer::kUser,
                                         FtpTestServer::kPassword, 21, true)));
    EXPECT_EQ(questions.size(), 2U);
}

TEST_F(TlsTest, ChangedCertificateIsAskedAboutAgain)
{
    FtpTestServer server(tlsOptions(QStringLiteral("required")));
    trustEarlier(server, other->fingerprint);
    FtpClient client(&store);
    ClientEvents events(client);
    const std::vector<ClientEvents::Question> &questions = events.questions;

    EXPECT_FALSE(
        client.Connect(server.address(), FtpTestServer::kUser, FtpTestServer::kPassword, 21, true));
    ASSERT_EQ(questions.size(), 1U);
    EXPECT_TRUE(questions[0].changed);
    EXPECT_EQ(questions[0].fingerprint, certificate->fingerprint);
    EXPECT_EQ(server.countEvents(QStringLiteral("LOGIN tester")), 0);
}

TEST_F(TlsTest, FtpuploadRefusesAnUntrustedCertificateUnlessTrustIsGiven)
{
    FtpTestServer server(tlsOptions(QStringLiteral("required")));
    const QString path = WriteFile(local.path(), QStringLiteral("clip.mp4"), SomeBytes(5000));
    const QStringList upload{server.address(), FtpTestServer::kUser, FtpTestServer::kPassword, path,
                             QStringLiteral("clip.mp4")};
    struct Case
    {
        QStringList trust;
        int exitCode;
    };
    const QString plain = certificate->fingerprint.toLower().remove(QLatin1Char(':'));
    const Case cases[] = {
        {{}, 1},
        {{QStringLiteral("--trust"), other->fingerprint}, 1},
        {{QStringLiteral("--trust"), certificate->fingerprint}, 0},
        {{QStringLiteral("--trust"), plain}, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.trust.join(QLatin1Char(' ')).toStdString());
        QProcess tool;
        tool.start(QStringLiteral(VANTREL_FTPUPLOAD), c.trust + upload);
        ASSERT_TRUE(tool.waitForFinished(60000));
        EXPECT_EQ(tool.exitCode(), c.exitCode);
        if (c.exitCode != 0) {
            EXPECT_TRUE(
                QString::fromUtf8(tool.readAllStandardError()).contains(certificate->fingerprint));
        }
    }
    EXPECT_EQ(server.countEvents(QStringLiteral("LOGIN tester")), 2);
}

// The page: the question in the system's form, the trust kept in the
// settings folder beside the settings file, and No ending the upload.
class TlsPageTest : public TlsTest
{
protected:
    TlsPageTest()
    {
        context = TestContext(dialogs, appFolder.path(), ended);
        context.settingsFolder = settingsFolder.path();
        window = std::make_unique<frmMain>(context);
        window->findChild<TabControl *>(QStringLiteral("SSTab1"))->setCurrentIndex(2);
        cmdUpload = window->findChild<QPushButton *>(QStringLiteral("cmdUpload"));
    }

    void writeSettings(const FtpTestServer &server)
    {
        const settings::FtpSettings values{server.address().toStdString(),
                                           FtpTestServer::kUser.toStdString(),
                                           FtpTestServer::kPassword.toStdString(), ""};
        ASSERT_TRUE(settings::WriteSettingsFile(
                        settings::SettingsFilePath(ToPathOf(settingsFolder.path())), values)
                        .ok());
    }

    static std::filesystem::path ToPathOf(const QString &folder)
    {
        return std::filesystem::path(folder.toStdString());
    }

    QString question(const FtpTestServer &server, bool changed) const
    {
        const QString head = QStringLiteral("THE CERTIFICATE OF THE SERVER ") + serverName(server)
                             + (changed ? QStringLiteral(" HAS CHANGED AND COULD NOT BE VERIFIED.")
                                        : QStringLiteral(" COULD NOT BE VERIFIED."));
        return head + QStringLiteral("\n\nSHA-256 FINGERPRINT:\n") + certificate->fingerprint
               + (changed ? QStringLiteral("\n\nDO YOU WANT TO TRUST THE NEW CERTIFICATE?")
                          : QStringLiteral("\n\nDO YOU WANT TO TRUST THIS CERTIFICATE?"));
    }

    QTemporaryDir appFolder;
    QTemporaryDir settingsFolder;
    ScriptedDialogs dialogs;
    AppContext context;
    int ended = 0;
    std::unique_ptr<frmMain> window;
    QPushButton *cmdUpload = nullptr;
};

TEST_F(TlsPageTest, YesTrustsTheCertificateForLaterRunsAndNoSendsNothing)
{
    FtpTestServer server(tlsOptions(QStringLiteral("required")));
    writeSettings(server);
    const QByteArray bytes = SomeBytes(qsizetype{100} * 1024);
    const QString path = WriteFile(local.path(), QStringLiteral("clip.flv"), bytes);
    const QString trustFile =
        QDir(settingsFolder.path()).filePath(QString::fromLatin1(upload::kTrustFileName));
    const QString success = QStringLiteral("YOUR FILE HAS BEEN UPLOADED SUCCESSFULLY!");

    // No: a clear message, nothing sent, nothing kept.
    dialogs.chooseFile(path);
    dialogs.answer(vbYes); // upload this file
    dialogs.answer(vbNo);  // the certificate
    dialogs.answer(vbOK);
    ClickAndWait(cmdUpload, *window);
    ASSERT_EQ(dialogs.boxes().size(), 3);
    EXPECT_EQ(dialogs.boxes()[1].text, question(server, false));
    EXPECT_EQ(dialogs.boxes()[1].title, QStringLiteral("Confirm"));
    EXPECT_EQ(dialogs.boxes()[1].style, 36);
    EXPECT_EQ(dialogs.boxes()[2].text, QStringLiteral("THE CERTIFICATE OF THE SERVER ")
                                           + serverName(server)
                                           + QStringLiteral(" IS NOT TRUSTED. NOTHING WAS SENT!"));
    EXPECT_EQ(dialogs.boxes()[2].title, QStringLiteral("Error"));
    EXPECT_EQ(server.countEvents(QStringLiteral("LOGIN tester")), 0);
    EXPECT_FALSE(QFile::exists(trustFile));

    // Yes: uploaded, and the trust is kept in its own file.
    dialogs.clear();
    dialogs.answer(vbYes);
    dialogs.answer(vbOK);
    ClickAndWait(cmdUpload, *window);
    EXPECT_EQ(dialogs.boxTexts(), (QStringList{question(server, false), success}));
    EXPECT_EQ(ReadFile(server.pathInHome(QStringLiteral("clip.flv"))), bytes);
    EXPECT_TRUE(ReadFile(trustFile).contains(certificate->fingerprint.toLatin1()));

    // A new window (a later run) after the settings were saved again: no
    // question.
    writeSettings(server);
    window = std::make_unique<frmMain>(context);
    cmdUpload = window->findChild<QPushButton *>(QStringLiteral("cmdUpload"));
    dialogs.clear();
    dialogs.chooseFile(path);
    dialogs.answer(vbYes);
    dialogs.answer(vbOK);
    ClickAndWait(cmdUpload, *window);
    EXPECT_EQ(dialogs.boxTexts(),
              (QStringList{QStringLiteral("DO YOU WANT TO UPLOAD THIS FILE?"), success}));
    EXPECT_TRUE(
        server.waitForEvent(QStringLiteral("SECURE ") + Received(QStringLiteral("clip.flv")), 2));
}

TEST_F(TlsPageTest, AnotherCertificateForTheServerIsAskedAboutAsChanged)
{
    FtpTestServer server(tlsOptions(QStringLiteral("offered")));
    writeSettings(server);
    ASSERT_TRUE(upload::TrustStore(ToPathOf(settingsFolder.path()))
                    .Remember({upload::IdentityKind::Certificate,
                               ToUtf8(serverName(server)),
                               {},
                               ToUtf8(other->fingerprint)})
                    .ok());
    const QString path = WriteFile(local.path(), QStringLiteral("clip.flv"), SomeBytes(1000));
    dialogs.chooseFile(path);
    dialogs.answer(vbYes);
    dialogs.answer(vbNo);
    dialogs.answer(vbOK);
    ClickAndWait(cmdUpload, *window);
    ASSERT_EQ(dialogs.boxes().size(), 3);
    EXPECT_EQ(dialogs.boxes()[1].text, question(server, true));
    EXPECT_EQ(server.countEvents(QStringLiteral("LOGIN tester")), 0);
}

} // namespace
} // namespace vantrel::test
