#include "encoding/encoderrun.h"

#include "common/cmdline.h"
#include "common/messages.h"
#include "common/qtbridge.h"
#include "encoding/choices.h"
#include "encoding/encoderwindow.h"
#include "platform/appfolder.h"

namespace vantrel::encoding {

namespace {

constexpr char kSeparator = platform::kPathSeparator;

// The program's path as it stands at the start of a composed line.
QString ProgramInLine(const QString &appFolder, const char *name)
{
    return FromUtf8(ProgramPath(ToUtf8(appFolder), name, kSeparator));
}

QString ExecutableFor(const QString &programInLine)
{
#ifdef _WIN32
    return programInLine + QStringLiteral(".exe");
#else
    return programInLine;
#endif
}

// Runs one composed line in the window; nothing when the line does not
// start with the program's known path.
std::optional<ProcessOutcome> RunLine(EncoderWindow &window, const QString &appFolder,
                                      const char *name, const std::string &line)
{
    const QString program = ProgramInLine(appFolder, name);
    const auto start = ProgramStartFromLine(line, ToUtf8(program));
    if (!start)
        return std::nullopt;
    return window.run(ExecutableFor(program), FromUtf8(start->arguments));
}

// The reason of an output that the encoder could not write, after its exit
// code; nothing for any other code.
std::optional<QString> OutputFailureReason(int exitCode)
{
    switch (exitCode) {
    case 4:
        return QStringLiteral("THE DISK IS FULL");
    case 5:
        return QStringLiteral("PERMISSION DENIED");
    case 6:
        return QStringLiteral("THE FILE SIZE LIMIT WAS REACHED");
    case 7:
        return QString();
    default:
        return std::nullopt;
    }
}

bool Succeeded(const ProcessOutcome &outcome)
{
    return outcome.kind == ProcessOutcome::Kind::Finished && outcome.exitCode == 0;
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

EncoderRun::EncoderRun(QWidget *mainWindow, QString appFolder)
    : m_mainWindow(mainWindow)
    , m_appFolder(std::move(appFolder))
{}

EncodeOutcome EncoderRun::run(const QString &encoderLine, const EncodeJob &job)
{
    using Kind = EncodeOutcome::Kind;
    EncoderWindow window(m_mainWindow);
    const auto encoded = RunLine(window, m_appFolder, kEncoderName, ToUtf8(encoderLine));
    if (!encoded || encoded->kind == ProcessOutcome::Kind::FailedToStart)
        return {Kind::EncoderNotStarted, encoded ? encoded->startError : QString()};
    switch (encoded->kind) {
    case ProcessOutcome::Kind::Stopped:
        return {Kind::EncodingStopped, QString()};
    case ProcessOutcome::Kind::Crashed:
        return {Kind::EncoderCrashed, QString()};
    default:
        break;
    }
    if (!Succeeded(*encoded))
        return {Kind::EncodingFailed, QString(), encoded->exitCode};

    const auto repaired =
        RunLine(window, m_appFolder, kRepairName, ComposeRepairLine(job, kSeparator));
    if (!repaired || repaired->kind == ProcessOutcome::Kind::FailedToStart)
        return {Kind::RepairNotStarted, repaired ? repaired->startError : QString()};
    if (!Succeeded(*repaired) || !FinalOutputExists(job))
        return {Kind::RepairFailed, QString()};
    return {Kind::Encoded, QString()};
}

} // namespace vantrel::encoding
