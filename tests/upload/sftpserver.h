#pragma once

// A real SFTP server for the upload tests: asyncssh (tests/upload/sftpserver.py)
// on 127.0.0.1 and a free port, with a temporary home folder that the client
// sees as its root and starting folder. It is stopped when the object goes,
// and ends by itself when the test program dies.

#include "tests/upload/serverprocess.h"

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

namespace vantrel::test {

class SftpTestServer
{
public:
    static inline const QString kUser = QStringLiteral("tester");
    static inline const QString kPassword = QStringLiteral("secret");

    // `keyFile`: the host key (made when missing), so that a test can start
    // a server with the same key again or with another one. `quirks`: each a
    // --quirk of tests/upload/sftpserver.py ("drop-after=65536", ...).
    explicit SftpTestServer(const QString &keyFile, const QStringList &quirks = {});
    ~SftpTestServer();
    SftpTestServer(const SftpTestServer &) = delete;
    SftpTestServer &operator=(const SftpTestServer &) = delete;

    int port() const { return m_port; }
    // "sftp://127.0.0.1:<port>".
    QString address() const;
    // "127.0.0.1:<port>", as keys are accepted for it.
    QString serverName() const;
    // The host key as OpenSSH prints it ("SHA256:...").
    QString fingerprint() const { return m_fingerprint; }
    // The key as a known_hosts line has it ("ssh-ed25519 AAAA...").
    QString publicKey() const { return m_publicKey; }
    QString home() const { return m_home.path(); }
    QString pathInHome(const QString &relative) const;

    // Event lines seen so far ("LOGIN tester", "RENAMED a b", ...).
    QStringList events();
    int countEvents(const QString &line);
    bool waitForEvent(const QString &line, int timeoutMs = 20000);

private:
    QTemporaryDir m_home;
    ServerProcess m_server;
    QString m_fingerprint;
    QString m_publicKey;
    int m_port = 0;
};

} // namespace vantrel::test
