#include "tests/upload/sftpserver.h"

#include <QDir>
#include <QElapsedTimer>

#include <gtest/gtest.h>

namespace vantrel::test {

SftpTestServer::SftpTestServer(const QString &keyFile, const QStringList &quirks)
{
    QStringList arguments{QStringLiteral(VANTREL_SOURCE_DIR "/tests/upload/sftpserver.py"),
                          QStringLiteral("--home"), m_home.path(), QStringLiteral("--key"),
                          keyFile};
    for (const QString &quirk : quirks)
        arguments << QStringLiteral("--quirk") << quirk;
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start(QStringLiteral("/usr/bin/python3"), arguments);
    if (!m_process.waitForStarted(10000)) {
        ADD_FAILURE() << "the SFTP test server did not start";
        return;
    }
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 30000 && m_process.state() == QProcess::Running) {
        collect(100);
        if (m_events.size() >= 3 && m_events[0].startsWith(QStringLiteral("PORT "))
            && m_events[1].startsWith(QStringLiteral("FINGERPRINT "))
            && m_events[2].startsWith(QStringLiteral("PUBLIC "))) {
            m_port = m_events[0].mid(5).toInt();
            m_fingerprint = m_events[1].mid(12);
            m_publicKey = m_events[2].mid(7);
            m_events.remove(0, 3);
            return;
        }
    }
    ADD_FAILURE() << "the SFTP test server did not tell its port";
}

SftpTestServer::~SftpTestServer()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}

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

void SftpTestServer::collect(int waitMs)
{
    if (m_process.state() == QProcess::Running)
        m_process.waitForReadyRead(waitMs);
    m_pending += m_process.readAllStandardOutput();
    qsizetype end;
    while ((end = m_pending.indexOf('\n')) >= 0) {
        m_events << QString::fromUtf8(m_pending.left(end));
        m_pending.remove(0, end + 1);
    }
}

QStringList SftpTestServer::events()
{
    collect(0);
    return m_events;
}

int SftpTestServer::countEvents(const QString &line)
{
    return static_cast<int>(events().count(line));
}

bool SftpTestServer::waitForEvent(const QString &line, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        collect(0);
        if (m_events.contains(line))
            return true;
        if (clock.elapsed() > timeoutMs || m_process.state() != QProcess::Running)
            return false;
        collect(50);
    }
}

} // namespace vantrel::test
