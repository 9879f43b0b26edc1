#include "encoding/encodingjob.h"

#include "common/cmdline.h"
#include "common/companions.h"
#include "common/messages.h"
#include "common/qtbridge.h"
#include "encoding/choices.h"
#include "platform/appfolder.h"

#include <utility>

namespace vantrel::encoding {

namespace {

constexpr char kSeparator = platform::kPathSeparator;

// The reason of an output that the encoder could not write, after its exit
// code; nothing for any other code.
std::optional<QString> OutputFailureReason(int exitCode)
{
    using namespace companions;
    switch (exitCode) {
    case kOutputNoSpace:
        return QStringLiteral("THE DISK IS FULL");
    case kOutputNoPermission:
        return QStringLiteral("PERMISSION DENIED");
    case kOutputSizeLimit:
        return QStringLiteral("THE FILE SIZE LIMIT WAS REACHED");
    case kOutputNotWritten:
        return QString();
    default:
        return std::nullopt;
    }
}

bool Succeeded(const ProgramOutcome &outcome)
{
    return outcome.kind == ProgramOutcome::Kind::Finished && outcome.exitCode == 0;
}

} // namespace

OutcomeReport ReportFor(const EncodeOutcome &outcome)
{
    using Kind = EncodeOutcome::Kind;
    switch (outcome.kind) {
    case Kind::EncoderNotStarted:
        return {true,
                WithReason(QStringLiteral("THE ENCODER COULD NOT BE STARTED!"), outcome.reason)};
    case Kind::EncodingFailed:
        if (const auto reason = OutputFailureReason(outcome.exitCode))
            return {true, OutputNotWrittenMessage(*reason)};
        if (outcome.exitCode == companions::kSourceIsStillPicture)
            return {true, QStringLiteral("THE SOURCE FILE IS A STILL PICTURE, NOT A VIDEO!")};
        return {true, QStringLiteral("THE ENCODING FAILED DUE TO A DAMAGED VIDEO FILE!")};
    case Kind::EncodingStopped:
    case Kind::EncoderCrashed:
        return {true, QStringLiteral("THE ENCODING FAILED DUE TO A DAMAGED VIDEO FILE!")};
    case Kind::RepairNotStarted:
        return {true, WithReason(QStringLiteral("THE REPAIR PROGRAM COULD NOT BE STARTED!"),
                                 outcome.reason)};
    case Kind::RepairFailed:
        return {true, QStringLiteral("THE ENCODED FILE COULD NOT BE FINISHED!")};
    case Kind::Encoded:
        return {false, QStringLiteral("FLV ENCODED!")};
    }
    return {true, QString()};
}

EncodingJob::EncodingJob(QString appFolder, QObject *parent)
    : QObject(parent)
    , m_appFolder(std::move(appFolder))
{
    connect(&m_program, &ProgramRun::lineRead, this, [this](const QString &line) {
        emit outputLine(line);
        if (const std::optional<ProgressLine> progress = ParseProgressLine(ToUtf8(line)))
            emit progressed(*progress);
    });
    connect(&m_program, &ProgramRun::ended, this, [this](const ProgramOutcome &ended) {
        if (m_repairing)
            repairEnded(ended);
        else
            encoderEnded(ended);
    });
}

bool EncodingJob::start(const QString &encoderLine, const EncodeJob &job)
{
    if (m_running)
        return false;
    m_running = true;
    m_repairing = false;
    m_job = job;
    if (!runLine(companions::kEncoderName, ToUtf8(encoderLine)))
        finish({EncodeOutcome::Kind::EncoderNotStarted, QString(), 0});
    return true;
}

void EncodingJob::stop()
{
    m_program.stop();
}

bool EncodingJob::runLine(const char *name, const std::string &line)
{
    const std::string programInLine = ProgramPath(ToUtf8(m_appFolder), name, kSeparator);
    const std::optional<ProgramStart> start = ProgramStartFromLine(line, programInLine);
    if (!start)
        return false;
#ifdef _WIN32
    const QString program = FromUtf8(programInLine) + QStringLiteral(".exe");
#else
    const QString program = FromUtf8(programInLine);
#endif
    const QStringList arguments = FromUtf8(start->arguments);
    emit programStarted(program, arguments);
    m_program.start(program, arguments);
    return true;
}

void EncodingJob::encoderEnded(const ProgramOutcome &ended)
{
    using Kind = EncodeOutcome::Kind;
    switch (ended.kind) {
    case ProgramOutcome::Kind::FailedToStart:
        return finish({Kind::EncoderNotStarted, ended.startError, 0});
    case ProgramOutcome::Kind::Stopped:
        return finish({Kind::EncodingStopped, QString(), 0});
    case ProgramOutcome::Kind::Crashed:
        return finish({Kind::EncoderCrashed, QString(), 0});
    case ProgramOutcome::Kind::Finished:
        break;
    }
    if (!Succeeded(ended))
        return finish({Kind::EncodingFailed, QString(), ended.exitCode});
    m_repairing = true;
    if (!runLine(companions::kRepairName, ComposeRepairLine(m_job, kSeparator)))
        finish({Kind::RepairNotStarted, QString(), 0});
}

void EncodingJob::repairEnded(const ProgramOutcome &ended)
{
    using Kind = EncodeOutcome::Kind;
    if (ended.kind == ProgramOutcome::Kind::FailedToStart)
        return finish({Kind::RepairNotStarted, ended.startError, 0});
    if (!Succeeded(ended) || !FinalOutputExists(m_job))
        return finish({Kind::RepairFailed, QString(), 0});
    finish({Kind::Encoded, QString(), 0});
}

void EncodingJob::finish(const EncodeOutcome &outcome)
{
    m_running = false;
    m_repairing = false;
    emit finished(outcome);
}

} // namespace vantrel::encoding
