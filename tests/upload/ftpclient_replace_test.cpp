// The FTP client against a real server on 127.0.0.1 that behaves like some
// real ones do: the file on the site is replaced only by a whole new one, and
// each failure says what happened.

#include "tests/support/testfiles.h"
#include "tests/upload/clientevents.h"
#include "tests/upload/ftpserver.h"
#include "upload/ftpclient.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace vantrel::test {
namespace {

const QString kOld = QStringLiteral("movie.mp4");
const QString kTemporary = QStringLiteral(".movie.mp4.upload");
const QByteArray kOldBytes = "the good copy already on the site";

class FtpReplaceTest : public ::testing::Test
{
protected:
    // A server with the quirks, holding the old file.
    std::unique_ptr<FtpTestServer> start(const QStringList &quirks, int readLimit = 0)
    {
        FtpServerOptions options;
        options.quirks = quirks;
        options.readLimit = readLimit;
        auto server = std::make_unique<FtpTestServer>(options);
        WriteFile(server->pathInHome(kOld), kOldBytes);
        return server;
    }

    FtpReplaceTest() { client.setRetryPolicy(kQuickRetries); }

    std::string upload(FtpTestServer &server, const QByteArray &bytes)
    {
        WriteFile(localPath, bytes);
        const Result<> connected = client.Connect(server.address(), FtpTestServer::kUser,
                                                  FtpTestServer::kPassword, 21, true);
        return FailureOf(connected ? client.UploadFile(localPath, QString(), kOld) : connected);
    }

    QTemporaryDir local;
    QString localPath = QDir(local.path()).filePath(QStringLiteral("new.mp4"));
    FtpClient client;
    ClientEvents events{client};
    int &completions = events.completions;
};

TEST_F(FtpReplaceTest, WholeUploadReplacesTheFileAndLeavesNothingBeside)
{
    const struct
    {
        const char *quirk; // none, or a server that renames only onto a free name
        const char *deleted;
    } cases[] = {{"", nullptr}, {"no-overwrite", "DELETED movie.mp4"}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.quirk);
        auto server = start(QString::fromLatin1(c.quirk).split(u' ', Qt::SkipEmptyParts));
        // What a killed run left: overwritten, never piled up.
        WriteFile(server->pathInHome(kTemporary), "a killed run's part");
        const QByteArray bytes = RandomBytes(700 * 1024 + 3, 1);
        EXPECT_EQ(upload(*server, bytes), "<no failure>");
        EXPECT_EQ(ReadFile(server->pathInHome(kOld)), bytes);
        EXPECT_FALSE(QFile::exists(server->pathInHome(kTemporary)));
        EXPECT_TRUE(server->waitForEvent(QStringLiteral("RENAMED .movie.mp4.upload movie.mp4")));
        EXPECT_EQ(server->countEvents(QStringLiteral("DELETED movie.mp4")), c.deleted ? 1 : 0);
        EXPECT_EQ(server->countEvents(QStringLiteral("RECEIVED movie.mp4")), 0);
        client.Disconnect();
    }
    EXPECT_EQ(completions, 2);
}

TEST_F(FtpReplaceTest, FailedUploadsLeaveTheOldFileAndSayWhy)
{
    const QByteArray bytes = RandomBytes(3 << 20, 2);
    const struct
    {
        const char *quirk;
        std::string failure;
        bool temporaryRemoved; // false: the connection broke, the next upload overwrites it
    } cases[] = {
        // Cut more often than the attempts allow.
        {"drop-after=65536", "Connection to server lost", false},
        {"size-wrong",
         "The upload is incomplete: the server holds " + std::to_string(bytes.size() - 1) + " of "
             + std::to_string(bytes.size()) + " bytes",
         true},
        {"no-rename", "The server cannot rename files, so the file on the server was not replaced",
         true},
        {"451-after-data", "451 Local error: the file could not be written", true},
        {"bad-pasv",
         "Unreadable passive-mode reply from server: 227 Entering Passive Mode (127,0,0,1)", false},
        {"421-login", "421 Please reconnect using TLS security mechanisms", false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.quirk);
        auto server = start({QString::fromLatin1(c.quirk)});
        EXPECT_EQ(upload(*server, bytes), c.failure);
        EXPECT_EQ(ReadFile(server->pathInHome(kOld)), kOldBytes);
        if (c.temporaryRemoved) {
            EXPECT_TRUE(server->waitForEvent(QStringLiteral("DELETED .movie.mp4.upload")));
            EXPECT_FALSE(QFile::exists(server->pathInHome(kTemporary)));
        }
        EXPECT_EQ(server->countEvents(QStringLiteral("DELETED movie.mp4")), 0);
        client.Disconnect();
    }
    EXPECT_EQ(completions, 0);
}

TEST_F(FtpReplaceTest, CancelLandsBeforeTheFileIsReplaced)
{
    // Cancelled while data moves, and after the last byte while the server
    // has not confirmed it yet (its reply comes 2 s late).
    const struct
    {
        const char *quirk;
        bool afterLastByte;
    } cases[] = {{"", false}, {"slow-226", true}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.quirk);
        auto server = start(QString::fromLatin1(c.quirk).split(u' ', Qt::SkipEmptyParts), 8 << 20);
        bool cancelled = false;
        events.onProgress = [&](const ClientEvents::Progress &progress, bool &cancel) {
            if (!cancelled && progress.sent > 0
                && (progress.sent == progress.total) == c.afterLastByte) {
                cancel = true;
                cancelled = true;
            }
        };
        completions = 0;
        const QByteArray bytes = RandomBytes(c.afterLastByte ? 256 * 1024 : 16 << 20, 3);
        EXPECT_EQ(upload(*server, bytes), "<no failure>");
        EXPECT_TRUE(cancelled);
        EXPECT_EQ(completions, 1);
        EXPECT_TRUE(server->waitForEvent(QStringLiteral("DELETED .movie.mp4.upload"), 1, 15000));
        EXPECT_EQ(ReadFile(server->pathInHome(kOld)), kOldBytes);
        EXPECT_FALSE(QFile::exists(server->pathInHome(kTemporary)));
        EXPECT_EQ(server->countEvents(QStringLiteral("RENAMED .movie.mp4.upload movie.mp4")), 0);
        client.Disconnect();
    }
}

TEST_F(FtpReplaceTest, BrokenUploadsGoOnWhereTheyBrokeAndTheFileIsChecked)
{
    const QByteArray bytes = RandomBytes(3 << 20, 4);
    const std::string wrongHash = "The file on the server is not the one sent: its SHA-256 differs";
    const struct
    {
        const char *quirks;
        std::string failure;
        int retries;
        bool resumed; // false: sent again from the start
        const char *checkedBy;
    } cases[] = {
        {"drop-after=1048576 drops=1", "<no failure>", 1, true, "size"},
        {"drop-after=1048576 drops=2", "<no failure>", 2, true, "size"},
        {"drop-after=262144 drops=6", "Connection to server lost", 5, true, ""},
        {"421-after=1048576", "<no failure>", 1, true, "size"},
        {"drop-after=1048576 drops=1 no-rest", "<no failure>", 1, true, "size"},
        {"drop-after=1048576 drops=1 no-append", "<no failure>", 1, false, "size"},
        {"hash drop-after=1048576 drops=1", "<no failure>", 1, true, "SHA-256"},
        {"hash-wrong", wrongHash, 0, true, ""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.quirks);
        auto server = start(QString::fromLatin1(c.quirks).split(u' '));
        events.retries = 0;
        EXPECT_EQ(upload(*server, bytes), c.failure);
        EXPECT_EQ(events.retries, c.retries);
        EXPECT_EQ(client.checkedBy(), c.checkedBy);
        const bool whole = c.failure == "<no failure>";
        EXPECT_EQ(ReadFile(server->pathInHome(kOld)), whole ? bytes : kOldBytes);
        // What the server took in: the file once, and what was in flight
        // when it broke; or, started over, the part before the break again.
        const qint64 received = server->bytesReceived();
        if (whole && c.resumed) {
            EXPECT_LT(received, bytes.size() + (512 << 10));
        } else if (whole) {
            EXPECT_GE(received, bytes.size() + (1 << 20));
        }
        // A file that differs goes; one whose connection broke is overwritten
        // by the next upload.
        if (c.failure == wrongHash) {
            EXPECT_TRUE(server->waitForEvent(QStringLiteral("DELETED .movie.mp4.upload")));
        }
        client.Disconnect();
    }
}

} // namespace
} // namespace vantrel::test
