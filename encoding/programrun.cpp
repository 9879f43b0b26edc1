#include "encoding/programrun.h"

#include "common/qtbridge.h"
#include "platform/systemerror.h"

#include <QFileInfo>
#include <QPointer>
#include <QTimer>

#include <cerrno>

#ifdef Q_OS_LINUX
#include <algorithm>
#include <csignal>

#include <fcntl.h>
#include <linux/close_range.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif

namespace vantrel::encoding {

namespace {

// A stopped program that has not ended after this long is killed.
constexpr int kStopGraceMs = 5000;

#ifdef Q_OS_LINUX
// In the child, before it runs the program: none of our files reaches it.
// A copy of an upload's data connection, say, would keep the server from
// seeing the end of the file until the program ended. Descriptors are marked
// to close on exec rather than closed, so that QProcess still hears of a
// program that fails to start.
void CloseOurFilesOnExec()
{
    if (::syscall(SYS_close_range, 3U, ~0U, CLOSE_RANGE_CLOEXEC) == 0)
        return;
    // A kernel before 5.11: one descriptor after the other.
    const long highest = std::min(::sysconf(_SC_OPEN_MAX), 65536L);
    for (int fd = 3; fd < highest; ++fd) {
        const int flags = ::fcntl(fd, F_GETFD);
        if (flags >= 0)
            ::fcntl(fd, F_SETFD, flags | FD_CLOEXEC);
    }
}
#endif

// The program started gets none of our files, and is sent SIGTERM when we
// die, however we die, so that no encoder runs on for nobody.
void KeepTiedToUs([[maybe_unused]] QProcess &process)
{
#ifdef Q_OS_LINUX
    const pid_t parent = getpid();
    process.setChildProcessModifier([parent] {
        CloseOurFilesOnExec();
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

ProgramRun::ProgramRun(QObject *parent)
    : QObject(parent)
{
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    m_process.setInputChannelMode(QProcess::ForwardedInputChannel);
    KeepTiedToUs(m_process);
    connect(&m_process, &QProcess::readyReadStandardOutput, this, &ProgramRun::readOutput);
    connect(&m_process, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error != QProcess::FailedToStart)
            return;
        ProgramOutcome outcome;
        outcome.startError = StartFailureReason(m_process.program(), m_process);
        finish(outcome);
    });
    connect(&m_process, &QProcess::finished, this,
            [this](int exitCode, QProcess::ExitStatus status) {
                readOutput();
                if (std::optional<std::string> last = m_lines.finish())
                    emitLines({std::move(*last)});
                ProgramOutcome outcome;
                if (m_stopRequested)
                    outcome.kind = ProgramOutcome::Kind::Stopped;
                else if (status == QProcess::CrashExit)
                    outcome.kind = ProgramOutcome::Kind::Crashed;
                else
                    outcome.kind = ProgramOutcome::Kind::Finished;
                outcome.exitCode = exitCode;
                finish(outcome);
            });
}

ProgramRun::~ProgramRun()
{
    if (isRunning()) {
        m_process.kill();
        m_process.waitForFinished(kStopGraceMs);
    }
}

void ProgramRun::start(const QString &program, const QStringList &arguments)
{
    m_stopRequested = false;
    m_ended = false;
    m_lines = LineSplitter();
    m_process.setProgram(program);
    m_process.setArguments(arguments);
    m_process.start();
}

void ProgramRun::stop()
{
    if (!isRunning())
        return;
    m_stopRequested = true;
    m_process.terminate();
    QPointer<ProgramRun> self(this);
    QTimer::singleShot(kStopGraceMs, this, [self] {
        if (self && self->isRunning())
            self->m_process.kill();
    });
}

void ProgramRun::readOutput()
{
    emitLines(m_lines.feed(m_process.readAllStandardOutput().toStdString()));
}

void ProgramRun::emitLines(const std::vector<std::string> &lines)
{
    for (const std::string &line : lines) {
        if (!line.empty())
            emit lineRead(QString::fromLocal8Bit(line.data(), static_cast<qsizetype>(line.size())));
    }
}

void ProgramRun::finish(const ProgramOutcome &outcome)
{
    // A start that fails is reported once, whichever signal comes first.
    if (m_ended)
        return;
    m_ended = true;
    emit ended(outcome);
}

} // namespace vantrel::encoding
