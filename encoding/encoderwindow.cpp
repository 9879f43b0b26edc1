#include "encoding/encoderwindow.h"

#include "common/qtbridge.h"
#include "encoding/progressline.h"
#include "platform/systemerror.h"
#include "ui/controls.h"

#include <QCloseEvent>
#include <QEventLoop>
#include <QFileInfo>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPointer>
#include <QProgressBar>
#include <QTimer>
#include <QVBoxLayout>

#include <cerrno>

#ifdef Q_OS_LINUX
#include <csignal>

#include <sys/prctl.h>
#include <unistd.h>
#endif

namespace vantrel {

namespace {
// How often the elapsed time beside the bar moves on between progress lines.
constexpr int kClockMs = 500;

// A stopped program that has not ended after this long is killed.
constexpr int kStopGraceMs = 5000;

// The program started is sent SIGTERM when we die, however we die, so that
// no encoder runs on for nobody.
void KeepTiedToUs([[maybe_unused]] QProcess &process)
{
#ifdef Q_OS_LINUX
    const pid_t parent = getpid();
    process.setChildProcessModifier([parent] {
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        // We may have died before the line above.
        if (getppid() != parent)
            _exit(127);
    });
#endif
}
} // namespace

QString StartFailureReason(const QString &program, const QProcess &process)
{
    const QFileInfo file(program);
    int code = 0;
    if (!file.exists())
        code = ENOENT;
    else if (file.isDir() || !file.isExecutable())
        code = EACCES;
    if (code != 0)
        return FromUtf8(platform::GetSystemErrorText(code));
    // Qt reports "execve: <reason>"; the reason is what the user needs.
    QString reason = process.errorString();
    const qsizetype colon = reason.indexOf(QStringLiteral(": "));
    if (colon >= 0)
        reason = reason.mid(colon + 2);
    return reason;
}

EncoderWindow::EncoderWindow(QWidget *mainWindow)
    : QDialog(mainWindow)
    , m_caption(new QLabel(this))
    , m_output(new QPlainTextEdit(this))
    , m_progress(new QProgressBar(this))
    , m_timing(new QLabel(this))
    , m_clock(new QTimer(this))
{
    setObjectName(QStringLiteral("EncoderWindow"));
    setWindowModality(Qt::ApplicationModal);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                   | Qt::WindowCloseButtonHint);
    m_caption->setTextFormat(Qt::PlainText);
    m_caption->setWordWrap(true);
    m_output->setObjectName(QStringLiteral("txtEncoderOutput"));
    m_output->setReadOnly(true);
    m_output->setMaximumBlockCount(2000);
    m_output->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_output->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    m_output->setAccessibleName(QStringLiteral("Encoder output"));
    m_progress->setObjectName(QStringLiteral("prgEncoding"));
    m_progress->setAccessibleName(QStringLiteral("Encoding progress"));
    m_timing->setObjectName(QStringLiteral("lblEncodingTime"));
    m_timing->setTextFormat(Qt::PlainText);
    m_timing->setAccessibleName(QStringLiteral("Encoding time"));
    ExposeValue(m_timing);
    m_clock->setInterval(kClockMs);
    connect(m_clock, &QTimer::timeout, this, &EncoderWindow::showProgressText);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_caption);
    layout->addWidget(m_output, 1);
    auto *progressRow = new QHBoxLayout;
    progressRow->addWidget(m_progress, 1);
    progressRow->addWidget(m_timing);
    layout->addLayout(progressRow);
    resize(560, 300);
}

EncoderWindow::~EncoderWindow()
{
    if (m_process && m_process->state() != QProcess::NotRunning) {
        m_process->kill();
        m_process->waitForFinished(kStopGraceMs);
    }
}

ProcessOutcome EncoderWindow::run(const QString &program, const QStringList &arguments)
{
    showRunOf(program, arguments);
    ProcessOutcome outcome;
    QProcess process;
    process.setProgram(program);
    process.setArguments(arguments);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.setInputChannelMode(QProcess::ForwardedInputChannel);
    KeepTiedToUs(process);
    QEventLoop loop;
    m_process = &process;
    bool ended = false;
    watch(process, loop, outcome, ended);
    process.start();
    // A start that fails at once is reported from inside start(), before
    // the loop runs: its quit() would be lost.
    if (!ended)
        loop.exec();
    m_clock->stop();
    showProgressText();
    m_process = nullptr;
    return outcome;
}

void EncoderWindow::showRunOf(const QString &program, const QStringList &arguments)
{
    m_stopRequested = false;
    m_partialLine.clear();
    setWindowTitle(program);
    m_caption->setText(QFileInfo(program).fileName() + QLatin1Char(' ')
                       + arguments.join(QLatin1Char(' ')));
    // Busy until the program reports a percentage.
    m_progress->setRange(0, 0);
    m_position.reset();
    m_percent.reset();
    m_elapsed.start();
    m_clock->start();
    showProgressText();
    if (parentWidget()) {
        QRect centred = frameGeometry();
        centred.moveCenter(parentWidget()->frameGeometry().center());
        move(centred.topLeft());
    }
    show();
    raise();
    activateWindow();
}

// The loop ends when the program could not be started or has ended; the
// outcome says which.
void EncoderWindow::watch(QProcess &process, QEventLoop &loop, ProcessOutcome &outcome, bool &ended)
{
    connect(&process, &QProcess::readyReadStandardOutput, this, &EncoderWindow::readOutput);
    connect(&process, &QProcess::errorOccurred, &loop, [&](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart) {
            outcome.kind = ProcessOutcome::Kind::FailedToStart;
            outcome.startError = StartFailureReason(process.program(), process);
            ended = true;
            loop.quit();
        }
    });
    connect(&process, &QProcess::finished, &loop, [&](int exitCode, QProcess::ExitStatus status) {
        readOutput();
        if (!m_partialLine.isEmpty())
            takeLine(QString::fromLocal8Bit(m_partialLine));
        m_partialLine.clear();
        if (m_stopRequested)
            outcome.kind = ProcessOutcome::Kind::Stopped;
        else if (status == QProcess::CrashExit)
            outcome.kind = ProcessOutcome::Kind::Crashed;
        else
            outcome.kind = ProcessOutcome::Kind::Finished;
        outcome.exitCode = exitCode;
        ended = true;
        loop.quit();
    });
}

void EncoderWindow::stop()
{
    if (!m_process || m_process->state() == QProcess::NotRunning)
        return;
    m_stopRequested = true;
    m_output->appendPlainText(QStringLiteral("Stopping..."));
    m_process->terminate();
    QPointer<QProcess> process(m_process);
    QTimer::singleShot(kStopGraceMs, this, [process] {
        if (process && process->state() != QProcess::NotRunning)
            process->kill();
    });
}

QString EncoderWindow::outputText() const
{
    return m_output->toPlainText();
}

QString EncoderWindow::progressText() const
{
    return m_timing->text();
}

void EncoderWindow::showProgressText()
{
    SetValue(m_timing, FromUtf8(EncodingProgressText(m_elapsed.isValid() ? m_elapsed.elapsed() : 0,
                                                     m_position, m_percent)));
}

void EncoderWindow::closeEvent(QCloseEvent *event)
{
    // Like closing a console window: the program is stopped, the window
    // goes when it has ended.
    if (m_process && m_process->state() != QProcess::NotRunning) {
        stop();
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

void EncoderWindow::keyPressEvent(QKeyEvent *event)
{
    // Esc does not end an encoding by accident; the close button does.
    if (event->key() == Qt::Key_Escape) {
        event->ignore();
        return;
    }
    QDialog::keyPressEvent(event);
}

void EncoderWindow::readOutput()
{
    if (!m_process)
        return;
    m_partialLine += m_process->readAllStandardOutput();
    qsizetype start = 0;
    for (qsizetype i = 0; i < m_partialLine.size(); ++i) {
        if (m_partialLine[i] != '\n' && m_partialLine[i] != '\r')
            continue;
        if (i > start)
            takeLine(QString::fromLocal8Bit(m_partialLine.constData() + start, i - start));
        start = i + 1;
    }
    m_partialLine.remove(0, start);
}

void EncoderWindow::takeLine(const QString &line)
{
    m_output->appendPlainText(line);
    const std::string text = ToUtf8(line);
    if (const auto percent = encoding::ProgressPercent(text)) {
        if (m_progress->maximum() != 100)
            m_progress->setRange(0, 100);
        m_progress->setValue(*percent);
        m_percent = percent;
    }
    if (const auto position = ParseEncoderPosition(text)) {
        m_position = position;
        showProgressText();
    }
}

} // namespace vantrel
