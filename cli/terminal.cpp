#include "cli/terminal.h"

#include "common/ascii.h"
#include "common/messages.h"
#include "common/qtbridge.h"

#include <algorithm>
#include <cstdio>

namespace vantrel::cli {

namespace {

bool IsYes(const std::string &answer)
{
    std::string word;
    for (const char c : answer) {
        if (c != ' ' && c != '\t')
            word += ascii::ToLower(c);
    }
    return word == "y" || word == "yes";
}

} // namespace

TerminalQuestions::TerminalQuestions(std::vector<std::string> certificates,
                                     std::vector<std::string> hostKeys, bool interactive,
                                     std::function<void()> beforeAsking)
    : m_certificates(std::move(certificates))
    , m_hostKeys(std::move(hostKeys))
    , m_interactive(interactive)
    , m_beforeAsking(std::move(beforeAsking))
{}

bool TerminalQuestions::TrustCertificate(const upload::ServerIdentity &certificate, bool changed)
{
    return Decide(certificate, m_certificates,
                  ToUtf8(UntrustedCertificateQuestion(FromUtf8(certificate.server),
                                                      FromUtf8(certificate.fingerprint), changed)));
}

bool TerminalQuestions::AcceptHostKey(const upload::ServerIdentity &hostKey)
{
    return Decide(hostKey, m_hostKeys,
                  ToUtf8(UnknownHostKeyQuestion(FromUtf8(hostKey.server), FromUtf8(hostKey.type),
                                                FromUtf8(hostKey.fingerprint))));
}

bool TerminalQuestions::Decide(const upload::ServerIdentity &seen,
                               const std::vector<std::string> &trusted, const std::string &question)
{
    if (std::find(trusted.begin(), trusted.end(), seen.fingerprint) != trusted.end())
        return true;
    if (m_refused.count(seen.fingerprint) || StopSignals::stopPending())
        return false;
    if (!m_interactive) {
        m_unasked = seen.fingerprint;
        m_refused.insert(seen.fingerprint);
        return false;
    }
    const bool yes = AskYesNo(question);
    if (!yes)
        m_refused.insert(seen.fingerprint);
    return yes;
}

bool TerminalQuestions::AskYesNo(const std::string &question)
{
    if (m_beforeAsking)
        m_beforeAsking();
    std::fprintf(stderr, "%s [y/N] ", question.c_str());
    std::fflush(stderr);
    std::string answer;
    // Ctrl-C or the end of input: no, and a stop follows from the event loop.
    if (!ReadAnswerLine(answer)) {
        std::fputc('\n', stderr);
        return false;
    }
    return IsYes(answer);
}

} // namespace vantrel::cli
