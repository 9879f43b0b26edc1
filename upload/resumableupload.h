#pragma once

// One file sent to its temporary name on the server, as many times over as
// it takes: when the connection breaks for a reason a new attempt may cure
// (upload::MayRecover), it logs in again after a growing pause and sends only
// what the server does not hold yet (FTP APPE, an SFTP write at the offset),
// or, where the server cannot add to a file, all of it again. At most a few
// attempts, all within the stall time. A temporary file that a killed run
// left is taken up too, when the server's digest of it shows it is the start
// of this file (upload/unfinishedupload keeps what that needs). The whole
// file is then checked by the server's digest where it offers one, else by
// its size. The site's file is not touched here.

#include "common/failure.h"
#include "common/result.h"
#include "upload/curlsession.h"
#include "upload/filehash.h"
#include "upload/localfile.h"
#include "upload/remotetransfer.h"
#include "upload/retrypolicy.h"
#include "upload/unfinishedupload.h"

#include <chrono>
#include <functional>
#include <optional>
#include <string>

namespace vantrel::upload {

class ResumableUpload
{
public:
    struct Hooks
    {
        // The amount sent (it never goes back unless the upload starts
        // over); false stops the upload at once. Also called while a pause
        // lasts, so that a cancel is heard.
        std::function<bool(std::int64_t sent)> progress;
        // The transfer broke; attempt `attempt` of `attempts` follows.
        std::function<void(int attempt, int attempts, const Failure &reason)> retrying;
        // Logs in again with the connection's last login.
        std::function<Result<>(std::chrono::seconds timeLeft)> reconnect;
        // A new attempt goes on from `offset` (0: the upload starts over).
        std::function<void(std::int64_t offset)> resumed;
    };

    ResumableUpload(SessionState &session, const RemoteTarget &target, const LocalFile &file,
                    std::string localPath, std::string server, const UnfinishedUploads *unfinished,
                    RetryPolicy policy, std::chrono::seconds stallTime, Hooks hooks);

    // Sends the whole file and checks it. Fails with the failure that ended
    // the first attempt, when no attempt after it succeeded; succeeds too
    // when the progress hook stopped it (stopped()).
    Result<> Run();

    bool stopped() const { return m_stopped; }
    // How the file on the server was checked: "SHA-256", ..., "size", or ""
    // when the server told neither.
    const std::string &checkedBy() const { return m_checkedBy; }
    // Where the last attempt began; above 0 when the file was taken up.
    std::int64_t resumedFrom() const { return m_offset; }

    // Takes this upload's line out of the unfinished uploads.
    void forget() const;

private:
    // One transfer from m_offset on; its outcome.
    TransferOutcome SendFromOffset();
    // Where a new attempt starts, after asking the server what it holds.
    std::int64_t ResumePoint(std::int64_t sentSoFar);
    // Where the temporary file of a killed run can be taken up; 0 when not.
    std::int64_t TakeUpKilledRun();
    // Puts the file (and the digest) at `offset`; false when it cannot.
    bool PositionAt(std::int64_t offset);
    // Waits before an attempt, raising progress; false when stopped meanwhile.
    bool Pause(std::chrono::milliseconds pause);
    void Remember(std::int64_t sent) const;
    // The temporary file goes, where the server still answers.
    void GiveUp(const TransferOutcome &outcome);

    SessionState &m_session;
    const RemoteTarget &m_target;
    const LocalFile &m_file;
    std::string m_localPath;
    std::string m_server;
    const UnfinishedUploads *m_unfinished;
    RetryPolicy m_policy;
    std::chrono::seconds m_stallTime;
    Hooks m_hooks;

    std::optional<ServerHash> m_serverHash;
    std::optional<Hasher> m_hasher;
    std::int64_t m_modified = 0;
    std::int64_t m_offset = 0;
    std::int64_t m_reported = 0;
    // The server would not add to a file (APPE refused): every attempt
    // starts over.
    bool m_cannotResume = false;
    // The last attempt ended with the server's own error: the next starts
    // over.
    bool m_startOver = false;
    bool m_stopped = false;
    std::string m_checkedBy;
};

} // namespace vantrel::upload
