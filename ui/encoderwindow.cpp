#include "ui/encoderwindow.h"

#include "common/progresstext.h"
#include "common/qtbridge.h"
#include "ui/controls.h"

#include <QCloseEvent>
#include <QFileInfo>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QTimer>
#include <QVBoxLayout>

namespace vantrel {

namespace {
// How often the elapsed time beside the bar moves on between progress lines.
constexpr int kClockMs = 500;
} // namespace

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

void EncoderWindow::showRunOf(const QString &program, const QStringList &arguments)
{
    m_running = true;
    m_stopping = false;
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
    if (!isVisible() && parentWidget()) {
        QRect centred = frameGeometry();
        centred.moveCenter(parentWidget()->frameGeometry().center());
        move(centred.topLeft());
    }
    show();
    raise();
    activateWindow();
}

void EncoderWindow::appendLine(const QString &line)
{
    m_output->appendPlainText(line);
}

void EncoderWindow::showProgress(const ProgressLine &progress)
{
    if (progress.percent) {
        if (m_progress->maximum() != 100)
            m_progress->setRange(0, 100);
        m_progress->setValue(*progress.percent);
        m_percent = progress.percent;
    }
    m_position = progress.position;
    showProgressText();
}

void EncoderWindow::showEnded()
{
    m_running = false;
    m_clock->stop();
    showProgressText();
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
    if (m_running) {
        if (!m_stopping) {
            m_stopping = true;
            m_output->appendPlainText(QStringLiteral("Stopping..."));
            emit stopRequested();
        }
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

} // namespace vantrel
