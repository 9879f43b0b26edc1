#pragma once

// One run of a companion program as a child process: its output read as it
// comes and handed on in whole lines, its end told apart (it ended by itself,
// was stopped, crashed, or could not start). Returns at once; the caller
// reacts to the signals. On Linux the program is sent SIGTERM should this
// process go away, however it goes.

#include <QByteArray>
#include <QObject>
#include <QProcess>
#include <QString>
#include <QStringList>

#include "common/lines.h"

namespace vantrel::encoding {

struct ProgramOutcome
{
    enum class Kind {
        FailedToStart, // the program could not be started; see startError
        Finished,      // it ended by itself with exitCode
        Stopped,       // stop() ended it
        Crashed,       // it died of a signal nobody here sent
    };
    Kind kind = Kind::FailedToStart;
    int exitCode = -1;
    QString startError; // the operating system's reason
};

class ProgramRun : public QObject
{
    Q_OBJECT

public:
    explicit ProgramRun(QObject *parent = nullptr);
    // A program still running is killed.
    ~ProgramRun() override;

    // Starts `program` with `arguments`; standard output and standard error
    // are read as one. `ended` follows, also when the start fails.
    void start(const QString &program, const QStringList &arguments);

    // Asks a running program to end; it is killed if it has not after a
    // grace of a few seconds.
    void stop();

    bool isRunning() const { return m_process.state() != QProcess::NotRunning; }

signals:
    // A line of output, decoded whole: a character split between two reads
    // arrives whole. Empty lines are left out.
    void lineRead(const QString &line);
    void ended(const vantrel::encoding::ProgramOutcome &outcome);

private:
    void readOutput();
    void emitLines(const std::vector<std::string> &lines);
    void finish(const ProgramOutcome &outcome);

    QProcess m_process;
    LineSplitter m_lines;
    bool m_stopRequested = false;
    bool m_ended = true;
};

// Why a program could not be started, in the operating system's words.
QString StartFailureReason(const QString &program, const QProcess &process);

} // namespace vantrel::encoding
