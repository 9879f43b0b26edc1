#pragma once

// The encoder's own window: shows a companion program's output live, with a
// progress bar fed by its progress lines and the elapsed time, speed and time
// left beside it, over the main window, which takes no input meanwhile but
// keeps repainting. It only shows what it is told; a close request while a
// program runs asks for the program to be stopped, and the window goes once
// the run has ended.

#include "common/progressline.h"

#include <QDialog>
#include <QElapsedTimer>

#include <optional>

class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QTimer;

namespace vantrel {

class EncoderWindow : public QDialog
{
    Q_OBJECT

public:
    explicit EncoderWindow(QWidget *mainWindow);

    // A program starts: its name and arguments in the caption, the bar busy
    // until it reports a percentage, the clock from zero. Shows the window.
    void showRunOf(const QString &program, const QStringList &arguments);
    void appendLine(const QString &line);
    void showProgress(const ProgressLine &progress);
    // The program has ended: the clock stops; the window may close.
    void showEnded();

    // Text shown so far.
    QString outputText() const;
    // The text beside the bar: elapsed time, speed and time left.
    QString progressText() const;

signals:
    // The user closed the window while a program ran.
    void stopRequested();

protected:
    void closeEvent(QCloseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void showProgressText();

    QLabel *m_caption;
    QPlainTextEdit *m_output;
    QProgressBar *m_progress;
    QLabel *m_timing;
    QTimer *m_clock;
    QElapsedTimer m_elapsed;
    // The last position and percentage reported in this run.
    std::optional<EncoderPosition> m_position;
    std::optional<int> m_percent;
    bool m_running = false;
    bool m_stopping = false;
};

} // namespace vantrel
