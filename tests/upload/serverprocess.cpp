#include "tests/upload/serverprocess.h"

#include <QElapsedTimer>

#include <gtest/gtest.h>

namespace vantrel::test {

ServerProcess::~ServerProcess()
{
    if (m_process.state() != QProcess::NotRunning)
        kill();
}

bool ServerProcess::start(const QStringList &scriptAndArguments, const char *what)
{
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start(QStringLiteral("/usr/bin/python3"), scriptAndArguments);
    if (m_process.waitForStarted(10000))
        return true;
    ADD_FAILURE() << what << " did not start: " << m_process.errorString().toStdString();
    return false;
}

QStringList ServerProcess::takeFirstLines(int count, int timeoutMs,
                                          bool (*accept)(const QStringList &))
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < timeoutMs && m_process.state() == QProcess::Running) {
        collect(100);
        if (m_events.size() >= count && accept(m_events.first(count))) {
            QStringList lines = m_events.first(count);
            m_events.remove(0, count);
            return lines;
        }
    }
    return {};
}

void ServerProcess::collect(int waitMs)
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

QStringList ServerProcess::events()
{
    collect(0);
    return m_events;
}

int ServerProcess::countEvents(const QString &line)
{
    return static_cast<int>(events().count(line));
}

bool ServerProcess::waitForEvent(const QString &line, int occurrences, int timeoutMs)
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

void ServerProcess::kill()
{
    m_process.kill();
    m_process.waitForFinished(5000);
}

} // namespace vantrel::test
