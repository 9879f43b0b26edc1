#pragma once

// The process of a test server written in Python (tests/upload/*.py): started
// with /usr/bin/python3, its standard output read as event lines, killed when
// the object goes. The servers end by themselves when the test program dies.

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>

namespace vantrel::test {

class ServerProcess
{
public:
    ServerProcess() = default;
    ~ServerProcess();
    ServerProcess(const ServerProcess &) = delete;
    ServerProcess &operator=(const ServerProcess &) = delete;

    // Starts the script with its arguments; false (and a test failure naming
    // `what`) when it cannot be started.
    bool start(const QStringList &scriptAndArguments, const char *what);
    // Takes the first `count` lines, with which a server tells about itself,
    // once they have come and `accept` takes them; empty when they do not
    // come within `timeoutMs` or the server ends first.
    QStringList takeFirstLines(int count, int timeoutMs, bool (*accept)(const QStringList &));

    // Event lines seen so far.
    QStringList events();
    int countEvents(const QString &line);
    // Waits for `line` to appear `occurrences` times, up to timeoutMs.
    bool waitForEvent(const QString &line, int occurrences, int timeoutMs);

    // Ends the server at once (SIGKILL).
    void kill();
    qint64 processId() const { return m_process.processId(); }

private:
    void collect(int waitMs);

    QProcess m_process;
    QByteArray m_pending;
    QStringList m_events;
};

} // namespace vantrel::test
