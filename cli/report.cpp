#include "cli/report.h"

#include "cli/jsonline.h"
#include "cli/textline.h"
#include "common/qtbridge.h"
#include "upload/uploadpercent.h"

#include <QFileInfo>

namespace vantrel::cli {

namespace {

// Progress is shown at most this often; beginnings and ends always.
constexpr qint64 kProgressIntervalMs = 250;
constexpr qint64 kRedrawIntervalMs = 100;

// The fingerprint --trust would have to name, after an upload refused
// without a question.
std::string UnaskedFingerprint(const TerminalQuestions *questions, const FileState &file)
{
    if (!questions || file.upload != StepResult::Refused)
        return {};
    return questions->unaskedFingerprint();
}

// "encoded as /out/a.mp4, uploaded", "encoding failed: ...", ...
// How the server's copy was checked, as the window's bar says it.
std::string CheckedText(const FileState &file)
{
    return file.checkedBy.isEmpty() ? std::string() : ", checked by " + ToUtf8(file.checkedBy);
}

std::string SummaryText(const FileState &file)
{
    const auto failure = [&file](const char *what) {
        return std::string(what) + ": " + OneLine(ToUtf8(file.message));
    };
    switch (file.encode) {
    case StepResult::Failed:
        return failure("encoding failed");
    case StepResult::Refused:
        return failure("refused");
    case StepResult::Stopped:
        return "stopped while encoding; nothing written";
    case StepResult::NotStarted:
        return "not started";
    default:
        break;
    }
    std::string text =
        file.encode == StepResult::Done ? "encoded as " + ToUtf8(file.uploadPath) : std::string();
    const auto then = [&text](const std::string &more) {
        return text.empty() ? more : text + ", " + more;
    };
    switch (file.upload) {
    case StepResult::Done:
        return then("uploaded as " + ToUtf8(file.remoteName) + CheckedText(file));
    case StepResult::Failed:
        return then(failure("upload failed"));
    case StepResult::Refused:
        return then(failure("upload refused"));
    case StepResult::Stopped:
        return then("upload stopped; the server's file is as it was");
    case StepResult::NotStarted:
        return then("not uploaded");
    default:
        return text;
    }
}

} // namespace

const char *StepName(Step step)
{
    return step == Step::Encode ? "encode" : "upload";
}

const char *ResultName(StepResult result)
{
    switch (result) {
    case StepResult::Pending:
        return "pending";
    case StepResult::Running:
        return "running";
    case StepResult::Done:
        return "done";
    case StepResult::Failed:
        return "failed";
    case StepResult::Refused:
        return "refused";
    case StepResult::Stopped:
        return "stopped";
    case StepResult::NotStarted:
        return "not started";
    case StepResult::Skipped:
        return "skipped";
    }
    return "";
}

// ---------------------------------------------------------------------------

JsonReport::JsonReport(Command command, int files, std::FILE *out)
    : m_out(out)
    , m_count(files)
{
    print(JsonLine("run")
              .text("command", CommandName(command))
              .number("files", std::int64_t{files})
              .str());
}

void JsonReport::PrintError(const std::string &message, std::FILE *out)
{
    std::fprintf(out, "%s\n", JsonLine("error").text("message", message).str().c_str());
    std::fflush(out);
}

void JsonReport::print(const std::string &line)
{
    std::fprintf(m_out, "%s\n", line.c_str());
    std::fflush(m_out);
}

bool JsonReport::progressDue(Step step)
{
    QElapsedTimer &last = m_lastProgress[step == Step::Encode ? 0 : 1];
    if (last.isValid() && last.elapsed() < kProgressIntervalMs)
        return false;
    last.start();
    return true;
}

void JsonReport::stepStarted(int index, Step step, const FileState &file, const QString &detail)
{
    JsonLine line("started");
    line.number("file", std::int64_t{index + 1})
        .number("files", std::int64_t{m_count})
        .text("step", StepName(step))
        .text("source", ToUtf8(file.source));
    if (step == Step::Encode)
        line.text("output", ToUtf8(file.uploadPath)).text("line", ToUtf8(detail));
    else
        line.text("local", ToUtf8(file.uploadPath)).text("remote", ToUtf8(detail));
    m_lastProgress[step == Step::Encode ? 0 : 1].invalidate();
    print(line.str());
}

void JsonReport::encodeProgressed(int index, const ProgressLine &progress, std::int64_t elapsedMs)
{
    if (!progressDue(Step::Encode) && progress.percent != 100)
        return;
    JsonLine line("progress");
    line.number("file", std::int64_t{index + 1}).text("step", "encode");
    if (progress.percent)
        line.number("percent", std::int64_t{*progress.percent});
    line.number("position", progress.position.seconds)
        .number("elapsed", static_cast<double>(elapsedMs) / 1000.0);
    print(line.str());
}

void JsonReport::uploadProgressed(int index, const upload::UploadProgress &progress)
{
    if (!progressDue(Step::Upload) && progress.sent != progress.total)
        return;
    JsonLine line("progress");
    line.number("file", std::int64_t{index + 1})
        .text("step", "upload")
        .number("sent", progress.sent)
        .number("total", progress.total)
        .number("percent", std::int64_t{upload::UploadPercent(progress.sent, progress.total)});
    if (progress.rateText && !progress.rateText->empty())
        line.text("rate", *progress.rateText);
    print(line.str());
}

void JsonReport::stepFinished(int index, Step step, const FileState &file)
{
    const StepResult result = step == Step::Encode ? file.encode : file.upload;
    JsonLine line("finished");
    line.number("file", std::int64_t{index + 1})
        .text("step", StepName(step))
        .text("outcome", ResultName(result));
    if (result == StepResult::Done && step == Step::Encode)
        line.text("output", ToUtf8(file.uploadPath));
    if (result == StepResult::Done && step == Step::Upload) {
        line.text("remote", ToUtf8(file.remoteName));
        if (!file.checkedBy.isEmpty())
            line.text("checked", ToUtf8(file.checkedBy));
    }
    if (result == StepResult::Failed || result == StepResult::Refused)
        line.text("message", ToUtf8(file.message));
    if (const std::string unasked = UnaskedFingerprint(m_questions, file); !unasked.empty())
        line.text("fingerprint", unasked);
    print(line.str());
}

void JsonReport::warning(int index, Step step, const QString &message)
{
    print(JsonLine("warning")
              .number("file", std::int64_t{index + 1})
              .text("step", StepName(step))
              .text("message", ToUtf8(message))
              .str());
}

void JsonReport::uploadRetrying(int index, int attempt, int attempts, const QString &reason)
{
    print(JsonLine("retrying")
              .number("file", std::int64_t{index + 1})
              .number("attempt", std::int64_t{attempt})
              .number("attempts", std::int64_t{attempts})
              .text("reason", ToUtf8(reason))
              .str());
}

void JsonReport::stopping()
{
    print(JsonLine("stopping").str());
}

void JsonReport::batchEnded(const std::vector<FileState> &files, bool interrupted, int exitStatus)
{
    std::string list = "[";
    for (std::size_t i = 0; i < files.size(); ++i) {
        const FileState &file = files[i];
        JsonLine entry("file");
        entry.number("file", static_cast<std::int64_t>(i + 1))
            .text("source", ToUtf8(file.source))
            .text("encode", ResultName(file.encode))
            .text("upload", ResultName(file.upload));
        if (!file.checkedBy.isEmpty())
            entry.text("checked", ToUtf8(file.checkedBy));
        if (!file.message.isEmpty())
            entry.text("message", ToUtf8(file.message));
        // The entries are objects without the "event" member.
        std::string text = entry.str();
        text.replace(0, std::string(R"({"event":"file",)").size(), "{");
        list += (i ? "," : "") + text;
    }
    list += "]";
    print(JsonLine("summary")
              .flag("interrupted", interrupted)
              .number("exit", std::int64_t{exitStatus})
              .raw("files", list)
              .str());
}

// ---------------------------------------------------------------------------

TextReport::TextReport(Mode mode, int files)
    : m_mode(mode)
    , m_count(files)
    , m_names(files)
    , m_states(files)
    , m_final(files, false)
{}

void TextReport::settle()
{
    if (m_mode != Mode::Live)
        return;
    redraw();
    // What is drawn stays; lines still changing are drawn again below.
    m_drawn = 0;
}

void TextReport::setLine(int index, std::string state, bool final)
{
    m_states[index] = std::move(state);
    m_final[index] = final;
    if (m_mode == Mode::Plain && final)
        std::printf("%s: %s\n", FileLabel(index + 1, m_count, m_names[index]).c_str(),
                    m_states[index].c_str());
    if (m_mode != Mode::Live)
        return;
    m_lastStarted = std::max(m_lastStarted, index);
    if (final || !m_lastDraw.isValid() || m_lastDraw.elapsed() >= kRedrawIntervalMs)
        redraw();
}

void TextReport::redraw()
{
    if (m_mode != Mode::Live || m_lastStarted < m_firstLive)
        return;
    m_lastDraw.start();
    std::string out;
    // Back to the first line drawn that may still change.
    if (m_drawn > 0)
        out += "\x1b[" + std::to_string(m_drawn) + "F";
    const std::size_t columns = TerminalColumns();
    for (int i = m_firstLive; i <= m_lastStarted; ++i) {
        const std::string line = FileLabel(i + 1, m_count, m_names[i]) + ": " + m_states[i];
        out += "\x1b[2K" + FitToWidth(line, columns > 1 ? columns - 1 : 0) + "\n";
    }
    m_drawn = m_lastStarted - m_firstLive + 1;
    // Lines that will not change again leave the live area.
    while (m_firstLive <= m_lastStarted && m_final[m_firstLive]) {
        ++m_firstLive;
        --m_drawn;
    }
    std::fputs(out.c_str(), stdout);
    std::fflush(stdout);
}

void TextReport::printError(int index, const QString &message)
{
    if (m_mode == Mode::Live)
        return; // the file's line and the summary carry it
    std::fprintf(stderr, "vantrel-cli: %s: %s\n",
                 FileLabel(index + 1, m_count, m_names[index]).c_str(),
                 OneLine(ToUtf8(message)).c_str());
}

void TextReport::stepStarted(int index, Step step, const FileState &file, const QString &)
{
    m_names[index] = ToUtf8(QFileInfo(file.given).fileName());
    m_uploadRate.clear();
    setLine(index, step == Step::Encode ? "encoding" : "uploading", false);
}

void TextReport::encodeProgressed(int index, const ProgressLine &progress, std::int64_t elapsedMs)
{
    setLine(index, EncodingStateText(elapsedMs, progress), false);
}

void TextReport::uploadProgressed(int index, const upload::UploadProgress &progress)
{
    if (progress.rateText)
        m_uploadRate = *progress.rateText;
    setLine(index, UploadStateText(progress.sent, progress.total, m_uploadRate), false);
}

void TextReport::stepFinished(int index, Step step, const FileState &file)
{
    if (m_names[index].empty())
        m_names[index] = ToUtf8(QFileInfo(file.given).fileName());
    const StepResult result = step == Step::Encode ? file.encode : file.upload;
    const bool failed = result == StepResult::Failed || result == StepResult::Refused;
    if (failed) {
        printError(index, file.message);
        if (const std::string unasked = UnaskedFingerprint(m_questions, file); !unasked.empty()) {
            settle();
            std::fprintf(stderr,
                         "vantrel-cli: there is no terminal to ask on; --trust %s trusts it\n",
                         unasked.c_str());
        }
    }
    // A publish's file goes on to its upload: its line stays live.
    const bool uploadFollows =
        step == Step::Encode && result == StepResult::Done && file.upload == StepResult::Pending;
    std::string state;
    if (failed)
        state = std::string(step == Step::Encode ? "" : "upload ") + ResultName(result) + ": "
                + OneLine(ToUtf8(file.message));
    else if (uploadFollows)
        state = "encoded, waiting to upload";
    else
        state = SummaryText(file);
    setLine(index, state, !uploadFollows);
}

void TextReport::warning(int index, Step, const QString &message)
{
    if (m_mode == Mode::Live) {
        settle();
        std::printf("%s: %s\n", FileLabel(index + 1, m_count, m_names[index]).c_str(),
                    OneLine(ToUtf8(message)).c_str());
        std::fflush(stdout);
        return;
    }
    printError(index, message);
}

void TextReport::uploadRetrying(int index, int attempt, int attempts, const QString &reason)
{
    // The window's status words, and why; not an error.
    if (m_mode == Mode::Quiet)
        return;
    warning(index, Step::Upload,
            QStringLiteral("Reconnecting, attempt %1 of %2 (%3)")
                .arg(attempt)
                .arg(attempts)
                .arg(reason));
}

void TextReport::stopping()
{
    if (m_mode == Mode::Quiet)
        return;
    settle();
    std::fprintf(stderr, "vantrel-cli: stopping; Ctrl-C again ends at once\n");
}

void TextReport::batchEnded(const std::vector<FileState> &files, bool interrupted, int)
{
    if (m_mode == Mode::Quiet)
        return;
    redraw();
    int done = 0;
    for (const FileState &file : files) {
        const bool encodeOk = file.encode == StepResult::Done || file.encode == StepResult::Skipped;
        const bool uploadOk = file.upload == StepResult::Done || file.upload == StepResult::Skipped;
        done += encodeOk && uploadOk ? 1 : 0;
    }
    std::printf("\n%s: %d of %d %s done%s\n", interrupted ? "Stopped" : "Summary", done,
                static_cast<int>(files.size()), files.size() == 1 ? "file" : "files",
                interrupted ? " (Ctrl-C)" : "");
    for (std::size_t i = 0; i < files.size(); ++i) {
        const std::string name = ToUtf8(QFileInfo(files[i].given).fileName());
        std::printf("  %s: %s\n", FileLabel(static_cast<int>(i + 1), m_count, name).c_str(),
                    SummaryText(files[i]).c_str());
    }
    std::fflush(stdout);
}

} // namespace vantrel::cli
