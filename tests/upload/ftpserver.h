#pragma once

// A real FTP server for the upload tests: pyftpdlib (tests/upload/ftpserver.py)
// on 127.0.0.1 and a free port, with a temporary home folder. It is stopped
// when the object goes, and ends by itself when the test program dies.

#include "tests/upload/serverprocess.h"

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <optional>

namespace vantrel::test {

// A self-signed certificate the test makes with openssl, in PEM files.
struct TestCertificate
{
    QString certFile;
    QString keyFile;
    // As `openssl x509 -noout -fingerprint -sha256` prints it, after the "=".
    QString fingerprint;
};

// Makes a new key and a self-signed certificate for `commonName` in `folder`
// (files named after `name`). Fails the test and returns empty fields when
// openssl fails.
TestCertificate MakeTestCertificate(const QString &folder, const QString &name,
                                    const QString &commonName = QStringLiteral("localhost"));

struct FtpServerOptions
{
    // Bytes per second the server takes in, at an even pace; 0 for no
    // limit. (The client's socket buffer takes the first few MiB at once.)
    int readLimit = 0;
    // The folder below home where users start; empty for home itself.
    QString loginFolder;
    // "none", "offered", "required" or "implicit"; all but the first need
    // `certificate`.
    QString tls = QStringLiteral("none");
    TestCertificate certificate{};
    // The newest TLS version the server speaks: "1.2" or "1.3".
    QString tlsMax = QStringLiteral("1.3");
    // Data connections must resume the control connection's TLS session.
    bool sslReuse = false;
    // Behaviours of real servers, each a --quirk of tests/upload/ftpserver.py
    // ("no-rename", "drop-after=65536", ...).
    QStringList quirks{};
};

class FtpTestServer
{
public:
    static inline const QString kUser = QStringLiteral("tester");
    static inline const QString kPassword = QStringLiteral("secret");
    // May log in and read, not store.
    static inline const QString kReadOnlyUser = QStringLiteral("reader");

    explicit FtpTestServer(const FtpServerOptions &options = {});
    ~FtpTestServer();
    FtpTestServer(const FtpTestServer &) = delete;
    FtpTestServer &operator=(const FtpTestServer &) = delete;

    bool isRunning() const { return m_port != 0; }
    int port() const { return m_port; }
    // "127.0.0.1:<port>".
    QString address() const;
    // The users' root folder on disk.
    QString home() const { return m_home.path(); }
    QString pathInHome(const QString &relative) const;

    // Event lines seen so far ("LOGIN tester", "RECEIVED a/b.mp4", ...).
    QStringList events();
    int countEvents(const QString &line);
    // The bytes all data connections have brought in so far ("BYTES" lines).
    qint64 bytesReceived();
    // Waits for `line` to appear (again: counting those seen) up to timeoutMs.
    bool waitForEvent(const QString &line, int occurrences = 1, int timeoutMs = 20000);

    // Ends the server at once (SIGKILL), breaking every connection.
    void kill();
    // Stops and resumes the server process (SIGSTOP, SIGCONT): a server that
    // stops answering.
    void pause();
    void resume();

private:
    QTemporaryDir m_home;
    ServerProcess m_server;
    int m_port = 0;
};

} // namespace vantrel::test
