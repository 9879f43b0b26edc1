#include "tests/upload/ftpserver.h"

#include <QDir>
#include <QElapsedTimer>

#include <gtest/gtest.h>

#include <csignal>
#include <sys/types.h>

namespace vantrel::test {

TestCertificate MakeTestCertificate(const QString &folder, const QString &name,
                                    const QString &commonName)
{
    const QString cert = QDir(folder).filePath(name + QStringLiteral(".crt"));
    const QString key = QDir(folder).filePath(name + QStringLiteral(".key"));
    QProcess make;
    make.start(QStringLiteral("openssl"),
               {QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"),
                QStringLiteral("rsa:2048"), QStringLiteral("-nodes"), QStringLiteral("-keyout"),
                key, QStringLiteral("-out"), cert, QStringLiteral("-days"), QStringLiteral("2"),
                QStringLiteral("-subj"), QStringLiteral("/CN=") + commonName});
    if (!make.waitForFinished(60000) || make.exitCode() != 0) {
        ADD_FAILURE() << "openssl could not make a certificate";
        return {};
    }
    QProcess print;
    print.start(QStringLiteral("openssl"),
                {QStringLiteral("x509"), QStringLiteral("-noout"), QStringLiteral("-fingerprint"),
                 QStringLiteral("-sha256"), QStringLiteral("-in"), cert});
    if (!print.waitForFinished(30000) || print.exitCode() != 0) {
        ADD_FAILURE() << "openssl could not print the fingerprint";
        return {};
    }
    const QString line = QString::fromLatin1(print.readAllStandardOutput()).trimmed();
    return {cert, key, line.mid(line.indexOf(QLatin1Char('=')) + 1)};
}

FtpTestServer::FtpTestServer(const FtpServerOptions &options)
{
    QStringList arguments{QStringLiteral(VANTREL_SOURCE_DIR "/tests/upload/ftpserver.py"),
                          QStringLiteral("--home"),
                          m_home.path(),
                          QStringLiteral("--user"),
                          kUser,
                          QStringLiteral("--password"),
                          kPassword,
                          QStringLiteral("--readonly-user"),
                          kReadOnlyUser,
                          QStringLiteral("--time-limit"),
                          QStringLiteral("300")};
    if (options.readLimit > 0)
        arguments << QStringLiteral("--read-limit") << QString::number(options.readLimit);
    if (!options.loginFolder.isEmpty())
        arguments << QStringLiteral("--login-folder") << options.loginFolder;
    if (options.tls != QStringLiteral("none"))
        arguments << QStringLiteral("--tls") << options.tls << QStringLiteral("--cert")
                  << options.certificate.certFile << QStringLiteral("--key")
                  << options.certificate.keyFile << QStringLiteral("--tls-max") << options.tlsMax;
    if (options.sslReuse)
        arguments << QStringLiteral("--ssl-reuse");
    for (const QString &quirk : options.quirks)
        arguments << QStringLiteral("--quirk") << quirk;
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start(QStringLiteral("/usr/bin/python3"), arguments);
    if (!m_process.waitForStarted(10000)) {
        ADD_FAILURE() << "the FTP test server did not start: "
                      << m_process.errorString().toStdString();
        return;
    }
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 15000 && m_process.state() == QProcess::Running) {
        collect(100);
        if (!m_events.isEmpty() && m_events.first().startsWith(QStringLiteral("PORT "))) {
            m_port = m_events.takeFirst().mid(5).toInt();
            return;
        }
    }
    ADD_FAILURE() << "the FTP test server did not tell its port";
}

FtpTestServer::~FtpTestServer()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}

QString FtpTestServer::address() const
{
    return QStringLiteral("127.0.0.1:") + QString::number(m_port);
}

QString FtpTestServer::pathInHome(const QString &relative) const
{
    return QDir(m_home.path()).filePath(relative);
}

void FtpTestServer::collect(int waitMs)
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

QStringList FtpTestServer::events()
{
    collect(0);
    return m_events;
}

int FtpTestServer::countEvents(const QString &line)
{
    return static_cast<int>(events().count(line));
}

bool FtpTestServer::waitForEvent(const QString &line, int occurrences, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        collect(0);
        if (m_events.count(line) >= occurrences)
            return true;
        if (clock.elapsed() > timeoutMs || m_process.state() != QProcess::Running)
            return false;
        collect(50);
    }
}

void FtpTestServer::kill()
{
    m_process.kill();
    m_process.waitForFinished(5000);
}

void FtpTestServer::pause()
{
    ::kill(static_cast<pid_t>(m_process.processId()), SIGSTOP);
}

void FtpTestServer::resume()
{
    ::kill(static_cast<pid_t>(m_process.processId()), SIGCONT);
}

} // namespace vantrel::test
