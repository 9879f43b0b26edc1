#include "encoding/encoderwindow.h"

#include "common/qtbridge.h"
#include "encoding/progressline.h"
#include "platform/systemerror.h"

#include <QCloseEvent>
#include <QEventLoop>
#include <QFileInfo>
#include <QFontDatabase>
#include <QKeyEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPointer>
#include <QProgressBar>
#include <QRegularExpression>
#include <QTimer>
#include <QVBoxLayout>

#include <cerrno>

namespace vantrel {

namespace {
// A stopped program that has not ended after this long is killed.
constexpr int kStopGraceMs = 5000;
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
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_caption);
    layout->addWidget(m_output, 1);
    layout->addWidget(m_progress);
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
    QEventLoop loop;
    m_process = &process;
    watch(process, loop, outcome);
    process.start();
    loop.exec();
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
void EncoderWindow::watch(QProcess &process, QEventLoop &loop, ProcessOutcome &outcome)
{
    connect(&process, &QProcess::readyReadStandardOutput, this, &EncoderWindow::readOutput);
    connect(&process, &QProcess::errorOccurred, &loop, [&](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart) {
            outcome.kind = ProcessOutcome::Kind::FailedToStart;
            outcome.startError = StartFailureReason(process.program(), process);
            loop.quit();
        }
    });
    connect(&process, &QProcess::finished, &loop, [&](int exitCode, QProcess::ExitStatus status) {
        readOutput();
        if (!m_partialLine.isEmpty())
            takeLine(m_partialLine);
        m_partialLine.clear();
        const bool normal = status == QProcess::NormalExit && !m_stopRequested;
        outcome.kind = normal ? ProcessOutcome::Kind::Finished : ProcessOutcome::Kind::Stopped;
        outcome.exitCode = exitCode;
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
    m_partialLine += QString::fromLocal8Bit(m_process->readAllStandardOutput());
    qsizetype end;
    while ((end = m_partialLine.indexOf(QRegularExpression(QStringLiteral("[\r\n]")))) >= 0) {
        const QString line = m_partialLine.left(end);
        m_partialLine.remove(0, end + 1);
        if (!line.isEmpty())
            takeLine(line);
    }
}

void EncoderWindow::takeLine(const QString &line)
{
    m_output->appendPlainText(line);
    if (const auto percent = encoding::ProgressPercent(ToUtf8(line))) {
        if (m_progress->maximum() != 100)
            m_progress->setRange(0, 100);
        m_progress->setValue(*percent);
    }
}

} // namespace vantrel
