#include "upload/remotetransfer.h"

#include "upload/ftpaddress.h"
#include "upload/remotereplace.h"

#include <optional>

namespace vantrel::upload {

namespace {

// A clean-up after a failure may meet a server that went silent.
constexpr long kCleanupTimeoutMs = 5000;

// One command and its reply; nothing when the connection broke, with the
// reason in `broken`. The steps after the data have their own flags: a cancel
// that comes too late for the transfer does not cut them off half-way.
std::optional<FtpReply> Ask(WorkerThreadState &state, const std::string &command,
                            TransferOutcome &broken)
{
    OperationFlags own;
    TransferOutcome outcome;
    RunCommand(state, command, &own, outcome);
    if (outcome.code != CURLE_OK) {
        broken = outcome;
        return std::nullopt;
    }
    return ParseFtpReply(outcome.lastReply);
}

} // namespace

RemoteTarget MakeRemoteTarget(const std::string &serverUrl, const std::string &remotePath)
{
    RemoteTarget target;
    target.finalPath = remotePath;
    target.temporaryPath = TemporaryRemotePath(remotePath);
    target.temporaryUrl = serverUrl + FtpUrlPath(target.temporaryPath);
    return target;
}

bool WholeFileSent(const TransferOutcome &outcome)
{
    return outcome.code == CURLE_OK && !outcome.readError && !outcome.shortRead
           && outcome.placementFailure.empty();
}

void SendToTemporary(WorkerThreadState &state, const RemoteTarget &target, std::FILE *file,
                     std::int64_t size, OperationFlags *operation, TransferOutcome &outcome)
{
    state.leftover = target.temporaryPath;
    Send(state, target.temporaryUrl, file, size, operation, outcome);
    if (WholeFileSent(outcome)) {
        TransferOutcome broken;
        const std::optional<FtpReply> reply = Ask(state, "SIZE " + target.temporaryPath, broken);
        if (!reply) {
            outcome = broken;
            state.leftover.clear();
        } else if (std::optional<std::string> failure = StoredSizeFailure(*reply, size)) {
            outcome.placementFailure = *failure;
            RemoveLeftover(state);
        }
        return;
    }
    if (outcome.code == CURLE_ABORTED_BY_CALLBACK && !outcome.readError)
        return;
    if (ServerStillAnswers(outcome) || outcome.code == CURLE_OK || outcome.readError
        || outcome.shortRead)
        RemoveLeftover(state);
    state.leftover.clear();
}

void PutInPlace(WorkerThreadState &state, const RemoteTarget &target, TransferOutcome &outcome)
{
    RemoteReplace replace(target.temporaryPath, target.finalPath);
    RemoteReplace::Step step = replace.Start();
    while (!step.done) {
        const std::optional<FtpReply> reply = Ask(state, step.command, outcome);
        if (!reply) {
            state.leftover.clear();
            return;
        }
        step = replace.Next(*reply);
    }
    if (step.removeTemporary)
        RemoveLeftover(state);
    state.leftover.clear();
    if (!step.succeeded)
        outcome.placementFailure = step.failure;
}

void RemoveLeftover(WorkerThreadState &state)
{
    if (state.leftover.empty() || !state.easy) {
        state.leftover.clear();
        return;
    }
    const std::string command = "DELE " + state.leftover;
    state.leftover.clear();
    curl_easy_setopt(state.easy, CURLOPT_TIMEOUT_MS, kCleanupTimeoutMs);
    TransferOutcome ignored;
    Ask(state, command, ignored);
    curl_easy_setopt(state.easy, CURLOPT_TIMEOUT_MS, 0L);
}

} // namespace vantrel::upload
