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
    if (!Succeeded(*encoded))
        return {Kind::EncodingFailed, QString()};

    const auto repaired =
        RunLine(window, m_appFolder, kRepairName, ComposeRepairLine(job, kSeparator));
    if (!repaired || repaired->kind == ProcessOutcome::Kind::FailedToStart)
        return {Kind::RepairNotStarted, repaired ? repaired->startError : QString()};
    if (!Succeeded(*repaired) || !FinalOutputExists(job))
        return {Kind::RepairFailed, QString()};
    return {Kind::Encoded, QString()};
}

} // namespace vantrel::encoding
