// vantrel-cli: encodes, makes web-ready and uploads videos from a terminal or
// a script, with the program's jobs, settings file and trust stores. See
// vantrel-cli(1).

#include "cli/batch.h"
#include "cli/options.h"
#include "cli/report.h"
#include "cli/terminal.h"
#include "common/qtbridge.h"
#include "encoding/commandlines.h"
#include "platform/childprocesses.h"
#ifdef _WIN32
#include "platform/widetext.h"
#endif

#include <QCoreApplication>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

using namespace vantrel;
using namespace vantrel::cli;

namespace {

// Tells the reporter, and keeps the signal handler's last-moment file to
// the temporary output of the encoding under way.
class Observers final : public BatchObserver
{
public:
    explicit Observers(BatchObserver &report)
        : m_report(report)
    {}

    void stepStarted(int index, Step step, const FileState &file, const QString &detail) override
    {
        if (step == Step::Encode)
            StopSignals::setLastMomentFile(encoding::TemporaryOutputPath(file.job));
        m_report.stepStarted(index, step, file, detail);
    }
    void encodeProgressed(int index, const ProgressLine &progress, std::int64_t elapsedMs) override
    {
        m_report.encodeProgressed(index, progress, elapsedMs);
    }
    void uploadProgressed(int index, const upload::UploadProgress &progress) override
    {
        m_report.uploadProgressed(index, progress);
    }
    void stepFinished(int index, Step step, const FileState &file) override
    {
        if (step == Step::Encode)
            StopSignals::setLastMomentFile({});
        m_report.stepFinished(index, step, file);
    }
    void warning(int index, Step step, const QString &message) override
    {
        m_report.warning(index, step, message);
    }
    void uploadRetrying(int index, int attempt, int attempts, const QString &reason) override
    {
        m_report.uploadRetrying(index, attempt, attempts, reason);
    }
    void stopping() override { m_report.stopping(); }
    void batchEnded(const std::vector<FileState> &files, bool interrupted, int status) override
    {
        m_report.batchEnded(files, interrupted, status);
    }

private:
    BatchObserver &m_report;
};

int UsageError(const std::string &message, bool json)
{
    if (json) {
        JsonReport::PrintError(message);
    } else {
        std::fprintf(stderr, "vantrel-cli: %s\nTry 'vantrel-cli --help'.\n", message.c_str());
    }
    return kExitUsage;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    // Before anything is started: the encoder must not outlive us (on Linux
    // each child is told so as it starts).
    platform::EndChildProcessesWithUs();
#ifdef _WIN32
    // From the wide command line: argv holds the ANSI code page's text, in
    // which a file name may not be written at all.
    const std::vector<std::string> arguments = platform::CommandLineArguments();
#else
    const std::vector<std::string> arguments(argv + 1, argv + argc);
#endif
    const TerminalSetup terminal;
    const ParsedArguments parsed = ParseArguments(arguments);
    const bool json = std::find(arguments.begin(), arguments.end(), "--json") != arguments.end();
    switch (parsed.kind) {
    case ParsedArguments::Kind::Help:
        std::fputs(HelpText().c_str(), stdout);
        return kExitSuccess;
    case ParsedArguments::Kind::Version:
        std::fputs(VersionText().c_str(), stdout);
        return kExitSuccess;
    case ParsedArguments::Kind::Usage:
        return UsageError(parsed.error, json);
    case ParsedArguments::Kind::Run:
        break;
    }
    const Options &options = parsed.options;

    QString error;
    BatchSetup setup = SetupFromOptions(options, QCoreApplication::applicationDirPath(), &error);
    if (!error.isEmpty())
        return UsageError(ToUtf8(error), json);
    if (options.passwordFromStdin) {
        std::string password;
        if (!ReadPasswordLine(password))
            return UsageError("NO PASSWORD ON STANDARD INPUT!", json);
        setup.password = password;
    }

    StopSignals stopSignals;
    const int count = static_cast<int>(options.files.size());
    std::unique_ptr<JsonReport> jsonReport;
    std::unique_ptr<TextReport> textReport;
    BatchObserver *report = nullptr;
    if (json) {
        jsonReport = std::make_unique<JsonReport>(options.command, count);
        report = jsonReport.get();
    } else {
        const TextReport::Mode mode = options.quiet        ? TextReport::Mode::Quiet
                                      : StdoutIsTerminal() ? TextReport::Mode::Live
                                                           : TextReport::Mode::Plain;
        textReport = std::make_unique<TextReport>(mode, count);
        report = textReport.get();
    }
    TextReport *text = textReport.get();
    TerminalQuestions questions(options.trustedCertificates, options.trustedHostKeys,
                                CanAskOnTerminal(), [text] {
                                    if (text)
                                        text->settle();
                                });
    if (jsonReport)
        jsonReport->setQuestions(&questions);
    if (textReport)
        textReport->setQuestions(&questions);
    Observers observers(*report);

    Batch batch(setup, options.files, questions, observers);
    batch.setStopPending(&StopSignals::stopPending);
    QObject::connect(&stopSignals, &StopSignals::stopRequested, &batch, &Batch::stop);
    // Queued: a batch whose every file is refused ends before the loop runs.
    QObject::connect(
        &batch, &Batch::ended, &app, [](int status) { QCoreApplication::exit(status); },
        Qt::QueuedConnection);
    batch.start();
    return QCoreApplication::exec();
}
