#pragma once

// The encoder's own window: shows what a companion program prints, live, with
// a progress bar fed by its percent lines, over the main window, which takes
// no input meanwhile but keeps repainting. Closing it stops the program.

#include "common/progresstext.h"

#include <QDialog>
#include <QElapsedTimer>
#include <QProcess>

#include <optional>

class QEventLoop;
class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QTimer;

namespace vantrel {

struct ProcessOutcome
{
    enum class Kind {
        FailedToStart, // the program could not be started; see startError
        Finished,      // it ended by itself with exitCode
        Stopped,       // the user closed the window
        Crashed,       // it died of a signal nobody here sent
    };
    Kind kind = Kind::FailedToStart;
    int exitCode = -1;
    QString startError; // the operating system's reason
};

class EncoderWindow : public QDialog
{
    Q_OBJECT

public:
    explicit EncoderWindow(QWidget *mainWindow);
    ~EncoderWindow() override;

    // Starts the program with its arguments and returns when it has ended.
    // The window is shown while it runs and stays open for a following run.
    // On Linux the program is sent SIGTERM should this process go away.
    ProcessOutcome run(const QString &program, const QStringList &arguments);

    // Asks a running program to stop, as closing its window does.
    void stop();

    // Text shown so far.
    QString outputText() const;
    // The text beside the bar: elapsed time, speed and time left.
    QString progressText() const;

protected:
    void closeEvent(QCloseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void showRunOf(const QString &program, const QStringList &arguments);
    void watch(QProcess &process, QEventLoop &loop, ProcessOutcome &outcome, bool &ended);
    void readOutput();
    void takeLine(const QString &line);
    void showProgressText();

    QLabel *m_caption;
    QPlainTextEdit *m_output;
    QProgressBar *m_progress;
    QLabel *m_timing;
    QTimer *m_clock;
    QElapsedTimer m_elapsed;
    // The last position and percentage the program reported in this run.
    std::optional<EncoderPosition> m_position;
    std::optional<int> m_percent;
    QProcess *m_process = nullptr;
    // Bytes of the line not yet ended: a line is decoded whole, so that a
    // character split between two reads arrives whole.
    QByteArray m_partialLine;
    bool m_stopRequested = false;
};

// Why a program could not be started, in the operating system's words.
QString StartFailureReason(const QString &program, const QProcess &process);

} // namespace vantrel
