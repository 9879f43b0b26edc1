#include "tests/upload/sftpserver.h"

#include <QDir>

#include <gtest/gtest.h>

namespace vantrel::test {

SftpTestServer::SftpTestServer(const QString &keyFile, const QStringList &quirks)
{
    QStringList arguments{QStringLiteral(VANTREL_SOURCE_DIR "/tests/upload/sftpserver.py"),
                          QStringLiteral("--home"), m_home.path(), QStringLiteral("--key"),
                          keyFile};
    for (const QString &quirk : quirks)
        arguments << QStringLiteral("--quirk") << quirk;
    if (!m_server.start(arguments, "the SFTP test server"))
        return;
    const QStringList first = m_server.takeFirstLines(3, 30000, [](const QStringList &lines) {
        return lines[0].startsWith(QStringLiteral("PORT "))
               && lines[1].startsWith(QStringLiteral("FINGERPRINT "))
               && lines[2].startsWith(QStringLiteral("PUBLIC "));
    });
    if (first.isEmpty()) {
        ADD_FAILURE() << "the SFTP test server did not tell its port";
        return;
    }
    m_port = first[0].mid(5).toInt();
    m_fingerprint = first[1].mid(12);
    m_publicKey = first[2].mid(7);
}

SftpTestServer::~SftpTestServer() = default;

QString SftpTestServer::address() const
{
    return QStringLiteral("sftp://") + serverName();
}

QString SftpTestServer::serverName() const
{
    return QStringLiteral("127.0.0.1:") + QString::number(m_port);
}

QString SftpTestServer::pathInHome(const QString &relative) const
{
    return QDir(m_home.path()).filePath(relative);
}

QStringList SftpTestServer::events()
{
    return m_server.events();
}

int SftpTestServer::countEvents(const QString &line)
{
    return m_server.countEvents(line);
}

bool SftpTestServer::waitForEvent(const QString &line, int timeoutMs)
{
    return m_server.waitForEvent(line, 1, timeoutMs);
}

} // namespace vantrel::test
