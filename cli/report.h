#pragma once

// What vantrel-cli prints about a batch: JSON lines for scripts, or lines
// for a person (rewritten in place on a terminal), or errors only.

#include "cli/batch.h"
#include "cli/terminal.h"

#include <QElapsedTimer>

#include <cstdio>
#include <string>
#include <vector>

namespace vantrel::cli {

// The words of the JSON events and of the summary.
const char *StepName(Step step);
const char *ResultName(StepResult result);

// One JSON object per line on standard output, nothing else there (see the
// manual page for the events and their order).
class JsonReport final : public BatchObserver
{
public:
    JsonReport(Command command, int files, std::FILE *out = stdout);

    // An error that belongs to no file (before the batch, or outside it).
    static void PrintError(const std::string &message, std::FILE *out = stdout);

    void stepStarted(int index, Step step, const FileState &file, const QString &detail) override;
    void encodeProgressed(int index, const ProgressLine &progress, std::int64_t elapsedMs) override;
    void uploadProgressed(int index, const upload::UploadProgress &progress) override;
    void stepFinished(int index, Step step, const FileState &file) override;
    void warning(int index, Step step, const QString &message) override;
    void uploadRetrying(int index, int attempt, int attempts, const QString &reason) override;
    void stopping() override;
    void batchEnded(const std::vector<FileState> &files, bool interrupted, int exitStatus) override;

    // Where a refused server's fingerprint comes from.
    void setQuestions(const TerminalQuestions *questions) { m_questions = questions; }

private:
    void print(const std::string &line);
    bool progressDue(Step step);

    std::FILE *m_out;
    int m_count;
    // Of the encoding and of the upload, which run side by side.
    QElapsedTimer m_lastProgress[2];
    const TerminalQuestions *m_questions = nullptr;
};

// Lines for a person: one per file, on a terminal rewritten in place as the
// file goes on, and a summary at the end; errors on standard error when
// standard output is not a terminal. Quiet: errors only.
class TextReport final : public BatchObserver
{
public:
    enum class Mode { Live, Plain, Quiet };
    TextReport(Mode mode, int files);

    // Before a question on the terminal: the lines drawn so far stay as
    // they are, later ones are drawn below the question.
    void settle();
    void setQuestions(const TerminalQuestions *questions) { m_questions = questions; }

    void stepStarted(int index, Step step, const FileState &file, const QString &detail) override;
    void encodeProgressed(int index, const ProgressLine &progress, std::int64_t elapsedMs) override;
    void uploadProgressed(int index, const upload::UploadProgress &progress) override;
    void stepFinished(int index, Step step, const FileState &file) override;
    void warning(int index, Step step, const QString &message) override;
    void uploadRetrying(int index, int attempt, int attempts, const QString &reason) override;
    void stopping() override;
    void batchEnded(const std::vector<FileState> &files, bool interrupted, int exitStatus) override;

private:
    void setLine(int index, std::string state, bool final);
    void redraw();
    void printError(int index, const QString &message);

    Mode m_mode;
    int m_count;
    std::vector<std::string> m_names;
    std::vector<std::string> m_states;
    std::vector<bool> m_final;
    // The files whose lines are on the screen and may still change: from
    // m_firstLive up to the last one started; m_drawn lines are drawn.
    int m_firstLive = 0;
    int m_lastStarted = -1;
    int m_drawn = 0;
    QElapsedTimer m_lastDraw;
    std::string m_uploadRate;
    const TerminalQuestions *m_questions = nullptr;
};

} // namespace vantrel::cli
