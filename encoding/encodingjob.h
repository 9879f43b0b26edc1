#pragma once

// The encoding job: the composed encoder line run as a child process, then,
// after a success, the repair program for the same output, and one outcome
// at the end. It reports each program as it starts, every line it prints and
// where the encoding stands, and can be stopped. It returns at once and needs
// no window: the encoder's window (ui/encoderwindow) only shows what it
// reports.

#include "common/progressline.h"
#include "encoding/commandlines.h"
#include "encoding/programrun.h"

#include <QObject>
#include <QString>

#include <optional>

namespace vantrel::encoding {

struct EncodeOutcome
{
    enum class Kind {
        EncoderNotStarted, // see reason
        EncodingFailed,    // the encoder ended with exitCode, not 0
        EncodingStopped,   // the job was stopped
        EncoderCrashed,    // the encoder died of a signal
        RepairNotStarted,  // see reason
        RepairFailed,      // the repair program failed, or left no final file
        Encoded,
    };
    Kind kind = Kind::EncodingFailed;
    QString reason; // the operating system's reason why a program did not start
    int exitCode = 0;
};

// The report of an outcome: an error or a notice, and its text. Pure.
struct OutcomeReport
{
    bool isError = true;
    QString text;
};
OutcomeReport ReportFor(const EncodeOutcome &outcome);

class EncodingJob : public QObject
{
    Q_OBJECT

public:
    // `appFolder` holds the two programs.
    explicit EncodingJob(QString appFolder, QObject *parent = nullptr);

    // Starts the encoder line (as composed into the hidden command box), and
    // after a success the repair program for `job`. Returns at once; false,
    // and nothing starts, while the job runs. `finished` always follows.
    bool start(const QString &encoderLine, const EncodeJob &job);

    // Stops the program under way; the outcome says the encoding was
    // stopped.
    void stop();

    bool isRunning() const { return m_running; }
    // The choices of the last run.
    const EncodeJob &job() const { return m_job; }

signals:
    // A program starts: its path and its arguments.
    void programStarted(const QString &program, const QStringList &arguments);
    // A line the program printed.
    void outputLine(const QString &line);
    // Where the encoding stands, from the encoder's progress lines.
    void progressed(const vantrel::ProgressLine &progress);
    void finished(const vantrel::encoding::EncodeOutcome &outcome);

private:
    // Runs one composed line; false when it does not start with the
    // program's known path.
    bool runLine(const char *name, const std::string &line);
    void encoderEnded(const ProgramOutcome &ended);
    void repairEnded(const ProgramOutcome &ended);
    void finish(const EncodeOutcome &outcome);

    QString m_appFolder;
    ProgramRun m_program;
    EncodeJob m_job;
    bool m_running = false;
    bool m_repairing = false;
};

} // namespace vantrel::encoding
