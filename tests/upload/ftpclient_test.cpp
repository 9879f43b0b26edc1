// The FTP client against a real server on 127.0.0.1.

#include "tests/support/testfiles.h"
#include "tests/upload/clientevents.h"
#include "tests/upload/ftpserver.h"
#include "upload/ftpclient.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <functional>
#include <vector>

namespace vantrel::test {
namespace {

class FtpClientTest : public ::testing::Test
{
protected:
    void connectTo(FtpTestServer &server)
    {
        ASSERT_TRUE(Succeeded(client.Connect(server.address(), FtpTestServer::kUser,
                                             FtpTestServer::kPassword, 21, true)));
        ASSERT_TRUE(client.IsConnected());
    }

    FtpClientTest() { client.setRetryPolicy(kQuickRetries); }

    QTemporaryDir local;
    FtpClient client;
};

TEST_F(FtpClientTest, UploadsWholeFilesOverOneLogin)
{
    FtpTestServer server;
    ASSERT_TRUE(QDir(server.home()).mkdir(QStringLiteral("videos")));
    const QByteArray bytes = RandomBytes(3 * 1024 * 1024 + 17, 1);
    const QString path = WriteFile(local.path(), QStringLiteral("clip.mp4"), bytes);
    ClientEvents recorder(client);

    connectTo(server);
    EXPECT_TRUE(Succeeded(client.UploadFile(path, QString(), QStringLiteral("videos/clip.mp4"))));
    EXPECT_TRUE(Succeeded(client.UploadFile(path, QString(), QStringLiteral("clip.mp4"))));

    EXPECT_EQ(ReadFile(server.pathInHome(QStringLiteral("videos/clip.mp4"))), bytes);
    EXPECT_EQ(ReadFile(server.pathInHome(QStringLiteral("clip.mp4"))), bytes);
    EXPECT_EQ(recorder.completions, 2);
    EXPECT_TRUE(client.IsConnected());
    // Both uploads went over the connection Connect opened.
    EXPECT_EQ(server.countEvents(QStringLiteral("LOGIN tester")), 1);

    ASSERT_FALSE(recorder.progress.empty());
    std::int64_t previous = 0;
    int finals = 0;
    for (const ClientEvents::Progress &event : recorder.progress) {
        EXPECT_EQ(event.total, bytes.size());
        EXPECT_LE(event.sent, event.total);
        if (event.sent == event.total) {
            ++finals;
            previous = 0; // the second upload starts again
        } else {
            EXPECT_GE(event.sent, previous);
            previous = event.sent;
        }
    }
    EXPECT_GE(finals, 2);
    EXPECT_EQ(recorder.progress.back().sent, bytes.size());
}

TEST_F(FtpClientTest, RemotePathIsCarriedAsGiven)
{
    FtpServerOptions options;
    options.loginFolder = QStringLiteral("inbox");
    FtpTestServer server(options);
    ASSERT_TRUE(QDir(server.home()).mkpath(QStringLiteral("inbox/sub dir")));
    ASSERT_TRUE(QDir(server.home()).mkpath(QStringLiteral("top dir")));
    const QByteArray bytes = RandomBytes(1000, 2);
    const QString path = WriteFile(local.path(), QStringLiteral("source.bin"), bytes);
    connectTo(server);

    struct Case
    {
        QString remote;
        QString stored; // below home
    };
    const Case cases[] = {
        {QStringLiteral("relative.bin"), QStringLiteral("inbox/relative.bin")},
        {QStringLiteral("/absolute.bin"), QStringLiteral("absolute.bin")},
        {QStringLiteral("/top dir/a b.bin"), QStringLiteral("top dir/a b.bin")},
        {QStringLiteral("sub dir/#1 ?x=%41&y %25 +.bin"),
         QStringLiteral("inbox/sub dir/#1 ?x=%41&y %25 +.bin")},
        {QStringLiteral("Grüße ñ 日本.flv"), QStringLiteral("inbox/Grüße ñ 日本.flv")},
        // Not tidied on the way: the server resolves "..", from the login folder.
        {QStringLiteral("../up.bin"), QStringLiteral("up.bin")},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.remote.toStdString());
        EXPECT_TRUE(Succeeded(client.UploadFile(path, QString(), c.remote)));
        EXPECT_EQ(ReadFile(server.pathInHome(c.stored)), bytes);
    }
}

TEST_F(FtpClientTest, AddressMayCarrySchemeAndPort)
{
    FtpTestServer server;
    const QString port = QString::number(server.port());
    for (const QString &address : {QStringLiteral("ftp://127.0.0.1:") + port + QStringLiteral("/"),
                                   QStringLiteral(" 127.0.0.1:") + port + QStringLiteral(" ")}) {
        SCOPED_TRACE(address.toStdString());
        EXPECT_TRUE(Succeeded(
            client.Connect(address, FtpTestServer::kUser, FtpTestServer::kPassword, 21, true)));
        EXPECT_TRUE(client.IsConnected());
        client.Disconnect();
    }
    EXPECT_TRUE(Succeeded(client.Connect(QStringLiteral("127.0.0.1"), FtpTestServer::kUser,
                                         FtpTestServer::kPassword, server.port(), true)));
    EXPECT_TRUE(client.IsConnected());
}

TEST_F(FtpClientTest, LoginAndConnectionFailuresSayWhatWentWrong)
{
    FtpTestServer server;
    EXPECT_EQ(FailureOf(client.Connect(server.address(), FtpTestServer::kUser,
                                       QStringLiteral("wrong"), 21, true)),
              "Login denied");
    EXPECT_FALSE(client.IsConnected());

    EXPECT_EQ(FailureOf(client.Connect(QStringLiteral("ftp://host/folder"), FtpTestServer::kUser,
                                       FtpTestServer::kPassword, 21, true)),
              "Invalid server address");

    const QString address = server.address();
    server.kill();
    EXPECT_EQ(FailureOf(client.Connect(address, FtpTestServer::kUser, FtpTestServer::kPassword, 21,
                                       true)),
              "Could not connect to server");
    EXPECT_FALSE(client.IsConnected());

    EXPECT_EQ(FailureOf(client.UploadFile(QStringLiteral("/nonexistent"), QString(),
                                          QStringLiteral("x"))),
              "Not connected to server");
}

TEST_F(FtpClientTest, ServerRefusalsCarryTheServersReply)
{
    FtpTestServer server;
    const QByteArray bytes = RandomBytes(5000, 3);
    const QString path = WriteFile(local.path(), QStringLiteral("clip.flv"), bytes);
    ClientEvents recorder(client);
    connectTo(server);

    EXPECT_EQ(
        FailureOf(client.UploadFile(path, QString(), QStringLiteral("no such folder/clip.flv"))),
        "550 No such file or directory");
    // The control connection is still good for the next upload.
    EXPECT_TRUE(client.IsConnected());
    EXPECT_TRUE(Succeeded(client.UploadFile(path, QString(), QStringLiteral("clip.flv"))));
    EXPECT_EQ(ReadFile(server.pathInHome(QStringLiteral("clip.flv"))), bytes);
    EXPECT_EQ(recorder.completions, 1);

    EXPECT_EQ(FailureOf(client.UploadFile(QDir(local.path()).filePath(QStringLiteral("gone.flv")),
                                          QString(), QStringLiteral("gone.flv"))),
              "File not found");
    EXPECT_EQ(FailureOf(client.UploadFile(path, QString(), QStringLiteral("a\r\nDELE b"))),
              "Invalid file name on the server");

    FtpClient reader;
    EXPECT_TRUE(Succeeded(reader.Connect(server.address(), FtpTestServer::kReadOnlyUser,
                                         FtpTestServer::kPassword, 21, true)));
    EXPECT_EQ(FailureOf(reader.UploadFile(path, QString(), QStringLiteral("ro.flv"))),
              "550 Not enough privileges");
    EXPECT_FALSE(QFile::exists(server.pathInHome(QStringLiteral("ro.flv"))));
    EXPECT_EQ(recorder.completions, 1);
}

TEST_F(FtpClientTest, LineBreaksInLoginValuesAreRefusedBeforeAnythingIsSent)
{
    FtpTestServer server;
    const QByteArray victim = "keep me";
    {
        QFile file(server.pathInHome(QStringLiteral("victim.txt")));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(victim);
    }
    const QString dele = QStringLiteral("\r\nDELE victim.txt");
    const struct
    {
        QString address, user, password;
        std::string failure;
    } cases[] = {
        {server.address() + dele, FtpTestServer::kUser, FtpTestServer::kPassword,
         "The server address contains a line break"},
        {server.address(), FtpTestServer::kUser + dele, FtpTestServer::kPassword,
         "The user name contains a line break"},
        {server.address(), FtpTestServer::kUser, FtpTestServer::kPassword + dele,
         "The password contains a line break"},
        {server.address(), FtpTestServer::kUser + QChar(0), FtpTestServer::kPassword,
         "The user name contains a line break"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.failure);
        EXPECT_EQ(FailureOf(client.Connect(c.address, c.user, c.password, 21, true)), c.failure);
        EXPECT_FALSE(client.IsConnected());
    }
    EXPECT_EQ(server.countEvents(QStringLiteral("LOGIN tester")), 0);
    EXPECT_EQ(ReadFile(server.pathInHome(QStringLiteral("victim.txt"))), victim);
}

TEST_F(FtpClientTest, PipeAsLocalFileIsRefusedAtOnce)
{
    FtpTestServer server;
    const QString fifo = QDir(local.path()).filePath(QStringLiteral("pipe.mp4"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    connectTo(server);
    // A blocking open would wait here for a writer that never comes.
    EXPECT_EQ(FailureOf(client.UploadFile(fifo, QString(), QStringLiteral("pipe.mp4"))),
              "Not a regular file");
    EXPECT_FALSE(QFile::exists(server.pathInHome(QStringLiteral("pipe.mp4"))));
}

TEST_F(FtpClientTest, EmptyFileGivesOneCompleteEvent)
{
    FtpTestServer server;
    const QString path = WriteFile(local.path(), QStringLiteral("empty.mp4"), QByteArray());
    ClientEvents recorder(client);
    connectTo(server);
    EXPECT_TRUE(Succeeded(client.UploadFile(path, QString(), QStringLiteral("empty.mp4"))));
    ASSERT_FALSE(recorder.progress.empty());
    EXPECT_EQ(recorder.progress.back().sent, 0);
    EXPECT_EQ(recorder.progress.back().total, 0);
    EXPECT_EQ(recorder.completions, 1);
    QFileInfo stored(server.pathInHome(QStringLiteral("empty.mp4")));
    EXPECT_TRUE(stored.exists());
    EXPECT_EQ(stored.size(), 0);
}

TEST_F(FtpClientTest, DroppedConnectionFailsAndNextConnectWorks)
{
    FtpServerOptions slow;
    slow.readLimit = 8 << 20;
    auto server = std::make_unique<FtpTestServer>(slow);
    const QByteArray bytes = RandomBytes(16 << 20, 4);
    const QString path = WriteFile(local.path(), QStringLiteral("big.mp4"), bytes);
    ClientEvents recorder(client);
    recorder.onProgress = [&](const ClientEvents::Progress &event, bool &) {
        if (event.sent > 0 && server->isRunning() && event.sent < event.total)
            server->kill();
    };
    connectTo(*server);
    EXPECT_EQ(FailureOf(client.UploadFile(path, QString(), QStringLiteral("big.mp4"))),
              "Connection to server lost");
    EXPECT_FALSE(client.IsConnected());
    EXPECT_EQ(recorder.completions, 0);

    recorder.onProgress = nullptr;
    FtpTestServer fresh;
    connectTo(fresh);
    EXPECT_TRUE(Succeeded(client.UploadFile(path, QString(), QStringLiteral("big.mp4"))));
    EXPECT_EQ(ReadFile(fresh.pathInHome(QStringLiteral("big.mp4"))), bytes);
    EXPECT_EQ(recorder.completions, 1);
}

TEST_F(FtpClientTest, StalledServerEndsWithErrorAndEventsGoOn)
{
    FtpServerOptions slow;
    slow.readLimit = 8 << 20;
    FtpTestServer server(slow);
    const QString path =
        WriteFile(local.path(), QStringLiteral("big.mp4"), RandomBytes(32 << 20, 5));
    client.setTimeouts(5, 2);
    ClientEvents recorder(client);
    std::size_t eventsAtPause = 0;
    QElapsedTimer sincePause;
    recorder.onProgress = [&](const ClientEvents::Progress &event, bool &) {
        if (event.sent > 0 && !sincePause.isValid()) {
            server.pause();
            sincePause.start();
            eventsAtPause = recorder.progress.size();
        }
    };
    connectTo(server);
    EXPECT_EQ(FailureOf(client.UploadFile(path, QString(), QStringLiteral("big.mp4"))),
              "Server not responding");
    ASSERT_TRUE(sincePause.isValid());
    // The stall limit is 2 s (about 4 s in all on a quiet machine); without
    // it the default of 60 s would apply.
    EXPECT_LT(sincePause.elapsed(), 30000);
    // While nothing moved, events still came (a waiting Cancel gets asked).
    EXPECT_GE(recorder.progress.size() - eventsAtPause, 3u);
    EXPECT_EQ(recorder.completions, 0);
    server.resume();
}

TEST_F(FtpClientTest, CancelFromEventStopsTransferQuickly)
{
    FtpServerOptions slow;
    slow.readLimit = 8 << 20;
    FtpTestServer server(slow);
    const QString path =
        WriteFile(local.path(), QStringLiteral("big.mp4"), RandomBytes(16 << 20, 6));
    ClientEvents recorder(client);
    QElapsedTimer sinceCancel;
    recorder.onProgress = [&](const ClientEvents::Progress &event, bool &cancel) {
        if (event.sent > 0 && !sinceCancel.isValid()) {
            cancel = true;
            sinceCancel.start();
        }
    };
    connectTo(server);
    EXPECT_TRUE(Succeeded(client.UploadFile(path, QString(), QStringLiteral("big.mp4"))));
    ASSERT_TRUE(sinceCancel.isValid());
    EXPECT_LT(sinceCancel.elapsed(), 10000); // the whole transfer would take far longer
    EXPECT_EQ(recorder.completions, 1);
    EXPECT_LT(recorder.progress.back().sent, recorder.progress.back().total);
    EXPECT_FALSE(server.waitForEvent(QStringLiteral("RENAMED .big.mp4.upload big.mp4"), 1, 300));
    EXPECT_FALSE(QFile::exists(server.pathInHome(QStringLiteral("big.mp4"))));
}

TEST_F(FtpClientTest, ProgressTotalsAbove2GiB)
{
    FtpServerOptions slow;
    slow.readLimit = 8 << 20;
    FtpTestServer server(slow);
    const QString path = QDir(local.path()).filePath(QStringLiteral("huge.mp4"));
    {
        QFile huge(path);
        ASSERT_TRUE(huge.open(QIODevice::WriteOnly));
        ASSERT_TRUE(huge.resize(std::int64_t{5} << 30)); // sparse
    }
    ClientEvents recorder(client);
    recorder.onProgress = [](const ClientEvents::Progress &event, bool &cancel) {
        if (event.sent > 0)
            cancel = true;
    };
    connectTo(server);
    EXPECT_TRUE(Succeeded(client.UploadFile(path, QString(), QStringLiteral("huge.mp4"))));
    ASSERT_FALSE(recorder.progress.empty());
    EXPECT_EQ(recorder.progress.back().total, std::int64_t{5} << 30);
    EXPECT_GT(recorder.progress.back().sent, 0);
}

TEST_F(FtpClientTest, DisconnectClosesAndConnectStartsAfresh)
{
    FtpTestServer server;
    const QByteArray bytes = RandomBytes(10000, 8);
    const QString path = WriteFile(local.path(), QStringLiteral("a.mp4"), bytes);
    connectTo(server);
    EXPECT_TRUE(Succeeded(client.UploadFile(path, QString(), QStringLiteral("a.mp4"))));
    client.Disconnect();
    EXPECT_FALSE(client.IsConnected());
    EXPECT_TRUE(server.waitForEvent(QStringLiteral("QUIT")));
    connectTo(server);
    EXPECT_TRUE(Succeeded(client.UploadFile(path, QString(), QStringLiteral("b.mp4"))));
    EXPECT_EQ(ReadFile(server.pathInHome(QStringLiteral("b.mp4"))), bytes);
    EXPECT_EQ(server.countEvents(QStringLiteral("LOGIN tester")), 2);
}

} // namespace
} // namespace vantrel::test
