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
std::optional<FtpReply> Ask(SessionState &state, const std::string &command,
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

// SFTP servers after OpenSSH's will not rename onto an existing file, and
// libssh2 cannot ask for the rename that overwrites: the old file is moved
// aside first and only deleted once the new one has its name, so a refused
// rename puts the old one back.
void PutInPlaceOverSftp(SessionState &state, const RemoteTarget &target, TransferOutcome &outcome)
{
    const std::string temporary = QuoteSftpPath(target.temporaryPath);
    const std::string final = QuoteSftpPath(target.finalPath);
    TransferOutcome first;
    RunSftpCommands(state, {"rename " + temporary + " " + final}, first);
    if (first.code == CURLE_OK) {
        state.leftover.clear();
        return;
    }
    const std::string asidePath = target.temporaryPath + ".old";
    const std::string aside = QuoteSftpPath(asidePath);
    TransferOutcome moved;
    // One left by a run that was cut off would stand in the way.
    RunSftpCommands(state, {"*rm " + aside, "rename " + final + " " + aside}, moved);
    if (moved.code != CURLE_OK) {
        outcome.placementFailure = "Server refused the file";
        RemoveLeftover(state);
        return;
    }
    TransferOutcome renamed;
    RunSftpCommands(state, {"rename " + temporary + " " + final}, renamed);
    if (renamed.code != CURLE_OK) {
        TransferOutcome restored;
        RunSftpCommands(state, {"rename " + aside + " " + final}, restored);
        if (restored.code != CURLE_OK) {
            // Neither copy is deleted: each is the only one of its kind.
            state.leftover.clear();
            outcome.placementFailure = "The new file could not be renamed; it is on the server as "
                                       + target.temporaryPath + ", the old one as " + asidePath;
            return;
        }
        outcome.placementFailure = "Server refused the file";
        RemoveLeftover(state);
        return;
    }
    state.leftover.clear();
    TransferOutcome ignored;
    RunSftpCommands(state, {"*rm " + aside}, ignored);
}

} // namespace

RemoteTarget MakeRemoteTarget(const std::string &serverUrl, const std::string &remotePath)
{
    RemoteTarget target;
    target.finalPath = remotePath;
    target.temporaryPath = TemporaryRemotePath(remotePath);
    target.sftp = serverUrl.rfind("sftp://", 0) == 0;
    target.temporaryUrl =
        serverUrl
        + (target.sftp ? SftpUrlPath(target.temporaryPath) : FtpUrlPath(target.temporaryPath));
    return target;
}

bool WholeFileSent(const TransferOutcome &outcome)
{
    return outcome.code == CURLE_OK && !outcome.readError && !outcome.shortRead
           && outcome.placementFailure.empty();
}

void SendToTemporary(SessionState &state, const RemoteTarget &target, const SendPart &part,
                     OperationFlags *operation, TransferOutcome &outcome)
{
    state.leftover = target.temporaryPath;
    Send(state, target.temporaryUrl, part, operation, outcome);
}

namespace {

// The reply to "SIZE" of the temporary file; for SFTP one made of its
// attributes. Nothing when the connection broke (outcome.code says so).
std::optional<FtpReply> SizeReply(SessionState &state, const RemoteTarget &target,
                                  TransferOutcome &outcome)
{
    if (!target.sftp) {
        // Servers may refuse SIZE in ASCII mode, the mode of a new login.
        if (!Ask(state, "TYPE I", outcome))
            return std::nullopt;
        return Ask(state, "SIZE " + target.temporaryPath, outcome);
    }
    const std::int64_t stored = RemoteFileSize(state, target.temporaryUrl, outcome);
    if (outcome.code != CURLE_OK)
        return std::nullopt;
    return stored < 0 ? FtpReply{550, "550 No size"}
                      : ParseFtpReply("213 " + std::to_string(stored));
}

} // namespace

std::int64_t TemporarySize(SessionState &state, const RemoteTarget &target,
                           TransferOutcome &outcome)
{
    const std::optional<FtpReply> reply = SizeReply(state, target, outcome);
    return reply ? StoredSize(*reply).value_or(-1) : -1;
}

std::optional<ServerHash> HashOffered(SessionState &state)
{
    if (state.login.security == FtpSecurity::Sftp)
        return std::nullopt;
    if (!state.hashOffered) {
        TransferOutcome feat;
        OperationFlags own;
        RunCommand(state, "FEAT", &own, feat);
        state.hashOffered =
            feat.code == CURLE_OK ? ChooseServerHash(feat.replyLines) : std::nullopt;
    }
    return *state.hashOffered;
}

std::string TemporaryDigest(SessionState &state, const RemoteTarget &target, const ServerHash &hash,
                            TransferOutcome &outcome)
{
    if (!hash.select.empty() && !state.hashChosen) {
        const std::optional<FtpReply> chosen = Ask(state, hash.select, outcome);
        if (!chosen)
            return {};
        state.hashChosen = chosen->code >= 200 && chosen->code < 300;
        if (!state.hashChosen)
            return {};
    }
    const std::optional<FtpReply> reply =
        Ask(state, hash.command + " " + target.temporaryPath, outcome);
    if (!reply)
        return {};
    return DigestInReply(reply->text, hash.algorithm).value_or(std::string());
}

std::string CheckTemporary(SessionState &state, const RemoteTarget &target, std::int64_t size,
                           const std::optional<ServerHash> &hash, const std::string &digest,
                           TransferOutcome &outcome)
{
    std::string checkedBy;
    std::string failure;
    if (hash && !digest.empty()) {
        const std::string stored = TemporaryDigest(state, target, *hash, outcome);
        if (outcome.code != CURLE_OK)
            return {};
        if (!stored.empty()) {
            checkedBy = HashName(hash->algorithm);
            if (stored != digest)
                failure = std::string("The file on the server is not the one sent: its ")
                          + HashName(hash->algorithm) + " differs";
        }
    }
    if (checkedBy.empty()) {
        const std::optional<FtpReply> reply = SizeReply(state, target, outcome);
        if (!reply)
            return {};
        if (StoredSize(*reply))
            checkedBy = "size";
        failure = StoredSizeFailure(*reply, size).value_or(std::string());
    }
    if (!failure.empty()) {
        outcome.placementFailure = failure;
        RemoveLeftover(state);
    }
    return checkedBy;
}

void PutInPlace(SessionState &state, const RemoteTarget &target, TransferOutcome &outcome)
{
    if (target.sftp) {
        PutInPlaceOverSftp(state, target, outcome);
        return;
    }
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

void RemoveLeftover(SessionState &state)
{
    if (state.leftover.empty() || !state.easy) {
        state.leftover.clear();
        return;
    }
    const bool sftp = state.login.security == FtpSecurity::Sftp;
    const std::string command =
        sftp ? "rm " + QuoteSftpPath(state.leftover) : "DELE " + state.leftover;
    state.leftover.clear();
    curl_easy_setopt(state.easy, CURLOPT_TIMEOUT_MS, kCleanupTimeoutMs);
    TransferOutcome ignored;
    if (sftp)
        RunSftpCommands(state, {command}, ignored);
    else
        Ask(state, command, ignored);
    curl_easy_setopt(state.easy, CURLOPT_TIMEOUT_MS, 0L);
}

} // namespace vantrel::upload
