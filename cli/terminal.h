#pragma once

// What vantrel-cli needs from its terminal: Ctrl-C (and SIGTERM, or on
// Windows Ctrl-Break and the closing of the console) turned into an event of
// the event loop, the upload's questions asked on the terminal or answered
// from --trust, and a password read from standard input. The questions'
// y/N logic is terminal.cpp; the rest is one source per system,
// terminal_posix.cpp and terminal_win.cpp.

#include "upload/uploadquestions.h"

#include <QObject>

#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace vantrel::cli {

// SIGINT and SIGTERM: the handler only writes to a pipe, whose reading end
// the event loop watches. On Windows the console's Ctrl-C, Ctrl-Break and
// close events: the handler, which runs on a thread of its own, sets an
// event that the event loop watches. From the second signal on the handler
// ends the process itself, at once, after removing the file named with
// setLastMomentFile (the encoder's temporary output), so that a program
// that hangs cannot keep it from ending.
class StopSignals : public QObject
{
    Q_OBJECT

public:
    explicit StopSignals(QObject *parent = nullptr);
    ~StopSignals() override;

    // Whether a signal came (the event loop may not have seen it yet): the
    // terminal sends Ctrl-C to the encoder too, which may end before.
    static bool stopPending();
    // What the handler removes before a hard end; empty for nothing.
    static void setLastMomentFile(const std::string &path);

signals:
    void stopRequested();

private:
    // The event loop's watch on the pipe or the event.
    std::unique_ptr<QObject> m_notifier;
};

// The terminal made ready for the tool while this lives: on Windows the
// console takes UTF-8 and the escape sequences that rewrite lines in place,
// and gets its own settings back at the end. A POSIX terminal needs nothing.
class TerminalSetup
{
public:
    TerminalSetup();
    // Gives the console its settings back on Windows; nothing elsewhere.
    ~TerminalSetup(); // NOLINT(performance-trivially-destructible)
    TerminalSetup(const TerminalSetup &) = delete;
    TerminalSetup &operator=(const TerminalSetup &) = delete;
};

// Whether standard input and standard error both are a terminal: only then
// is anyone there to answer.
bool CanAskOnTerminal();

// Whether standard output is a terminal (lines are then rewritten in place),
// and its width in columns (0 when unknown).
bool StdoutIsTerminal();
std::size_t TerminalColumns();

// The first line of standard input, without its line end; false when there
// is none. On a terminal it is asked for and not echoed.
bool ReadPasswordLine(std::string &password);

// The answer typed to a question, up to its line end, waiting for it or for
// a stop, whichever comes first. False when the stop came first or standard
// input ended: the answer is no.
bool ReadAnswerLine(std::string &answer);

// The upload's questions: a certificate or host key named with --trust is
// trusted; any other is asked about on the terminal (y/N), or refused when
// there is no terminal or a stop came. A refusal holds for the rest of the
// run. The upload never asks to abort (the tool stops it instead).
class TerminalQuestions final : public upload::UploadQuestions
{
public:
    // `beforeAsking` runs before a question is printed.
    TerminalQuestions(std::vector<std::string> certificates, std::vector<std::string> hostKeys,
                      bool interactive, std::function<void()> beforeAsking);

    bool TrustCertificate(const upload::ServerIdentity &certificate, bool changed) override;
    bool AcceptHostKey(const upload::ServerIdentity &hostKey) override;
    bool AbortUpload() override { return true; }

    // The identity last refused without a question (no terminal), if any:
    // what --trust would have to name.
    const std::string &unaskedFingerprint() const { return m_unasked; }

private:
    bool Decide(const upload::ServerIdentity &seen, const std::vector<std::string> &trusted,
                const std::string &question);
    bool AskYesNo(const std::string &question);

    std::vector<std::string> m_certificates;
    std::vector<std::string> m_hostKeys;
    bool m_interactive;
    std::function<void()> m_beforeAsking;
    std::set<std::string> m_refused;
    std::string m_unasked;
};

} // namespace vantrel::cli
