#include "tests/upload/ftpserver.h"

#include <QDir>

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
    if (!m_server.start(arguments, "the FTP test server"))
        return;
    const QStringList first = m_server.takeFirstLines(1, 15000, [](const QStringList &lines) {
        return lines[0].startsWith(QStringLiteral("PORT "));
    });
    if (first.isEmpty()) {
        ADD_FAILURE() << "the FTP test server did not tell its port";
        return;
    }
    m_port = first[0].mid(5).toInt();
}

FtpTestServer::~FtpTestServer() = default;

QString FtpTestServer::address() const
{
    return QStringLiteral("127.0.0.1:") + QString::number(m_port);
}

QString FtpTestServer::pathInHome(const QString &relative) const
{
    return QDir(m_home.path()).filePath(relative);
}

QStringList FtpTestServer::events()
{
    return m_server.events();
}

qint64 FtpTestServer::bytesReceived()
{
    qint64 total = 0;
    for (const QString &event : events()) {
        if (event.startsWith(QStringLiteral("BYTES ")))
            total += event.mid(6).toLongLong();
    }
    return total;
}

int FtpTestServer::countEvents(const QString &line)
{
    return m_server.countEvents(line);
}

bool FtpTestServer::waitForEvent(const QString &line, int occurrences, int timeoutMs)
{
    return m_server.waitForEvent(line, occurrences, timeoutMs);
}

void FtpTestServer::kill()
{
    m_server.kill();
}

void FtpTestServer::pause()
{
    ::kill(static_cast<pid_t>(m_server.processId()), SIGSTOP);
}

void FtpTestServer::resume()
{
    ::kill(static_cast<pid_t>(m_server.processId()), SIGCONT);
}

} // namespace vantrel::test
