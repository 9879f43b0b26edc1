#include "upload/resumableupload.h"

#include "common/utf8.h"
#include "upload/ftperrors.h"

#include <algorithm>
#include <thread>
#include <utility>

namespace vantrel::upload {

namespace {

using Clock = std::chrono::steady_clock;

// How often the part sent is written down while the data moves, and how
// often progress is raised while a pause lasts.
constexpr auto kRememberInterval = std::chrono::seconds(1);
constexpr auto kPauseStep = std::chrono::milliseconds(50);

// The server would not add to a file: the command is not there at all.
bool AppendRefused(const TransferOutcome &outcome)
{
    const std::string &reply = outcome.negativeReply;
    return reply.rfind("500", 0) == 0 || reply.rfind("502", 0) == 0 || reply.rfind("504", 0) == 0;
}

bool SeekTo(std::FILE *file, std::int64_t offset)
{
#ifdef _WIN32
    return _fseeki64(file, offset, SEEK_SET) == 0;
#else
    return fseeko(file, static_cast<off_t>(offset), SEEK_SET) == 0;
#endif
}

} // namespace

ResumableUpload::ResumableUpload(SessionState &session, const RemoteTarget &target,
                                 const LocalFile &file, std::string localPath, std::string server,
                                 const UnfinishedUploads *unfinished, RetryPolicy policy,
                                 std::chrono::seconds stallTime, Hooks hooks)
    : m_session(session)
    , m_target(target)
    , m_file(file)
    , m_localPath(std::move(localPath))
    , m_server(std::move(server))
    , m_unfinished(unfinished)
    , m_policy(policy)
    , m_stallTime(stallTime)
    , m_hooks(std::move(hooks))
{}

Result<> ResumableUpload::Run()
{
    m_serverHash = HashOffered(m_session);
    if (m_serverHash) {
        m_hasher.emplace(m_serverHash->algorithm);
        std::int64_t size = 0;
        StatLocalFile(utf8::PathOf(m_localPath), size, m_modified);
        m_offset = TakeUpKilledRun();
    }
    std::optional<Failure> firstFailure;
    std::optional<Clock::time_point> brokeAt;
    auto pause = m_policy.firstPause;
    std::int64_t sentSoFar = m_offset;
    for (int attempt = 0;; ++attempt) {
        TransferOutcome outcome;
        if (attempt > 0) {
            const auto left = std::chrono::duration_cast<std::chrono::seconds>(
                m_stallTime - (Clock::now() - *brokeAt));
            const Result<> again = m_hooks.reconnect(std::max(left, std::chrono::seconds(1)));
            if (again) {
                m_offset = ResumePoint(sentSoFar);
                m_hooks.resumed(m_offset);
            } else {
                outcome.code = CURLE_COULDNT_CONNECT;
            }
        }
        if (outcome.code == CURLE_OK) {
            if (!PositionAt(m_offset)) {
                outcome.readError = true;
                return DescribeOutcome(outcome);
            }
            outcome = SendFromOffset();
            sentSoFar = std::max(sentSoFar, m_reported);
        }
        if (m_stopped)
            return {};
        if (WholeFileSent(outcome)) {
            TransferOutcome checked;
            m_checkedBy = CheckTemporary(m_session, m_target, m_file.size, m_serverHash,
                                         m_hasher ? m_hasher->hex() : std::string(), checked);
            if (!checked.placementFailure.empty()) {
                forget();
                return DescribeOutcome(checked);
            }
            if (checked.code == CURLE_OK)
                return {};
            outcome = checked;
        }
        if (outcome.code == CURLE_UPLOAD_FAILED && m_offset > 0 && AppendRefused(outcome)) {
            // Starts over at once: nothing was wrong with the connection.
            m_cannotResume = true;
            m_offset = 0;
            --attempt;
            continue;
        }
        if (!firstFailure) {
            firstFailure = DescribeOutcome(outcome);
            brokeAt = Clock::now();
        }
        const bool withinTime = Clock::now() - *brokeAt + pause <= m_stallTime;
        if (!MayRecover(outcome) || attempt >= m_policy.attempts || !withinTime) {
            GiveUp(outcome);
            return *firstFailure;
        }
        // After a local error of the server, what it holds is not to be
        // built on.
        m_startOver = outcome.negativeReply.rfind("451", 0) == 0;
        m_hooks.retrying(attempt + 1, m_policy.attempts, DescribeOutcome(outcome));
        if (!Pause(pause))
            return {};
        pause = std::min(pause * 2, m_policy.longestPause);
    }
}

TransferOutcome ResumableUpload::SendFromOffset()
{
    std::optional<Clock::time_point> remembered;
    OperationFlags flags;
    flags.progress = [this, &remembered](std::int64_t uploaded) {
        const std::int64_t sent = std::clamp<std::int64_t>(m_offset + uploaded, 0, m_file.size);
        m_reported = std::max(m_reported, sent);
        const auto now = Clock::now();
        if (m_hasher && (!remembered || now - *remembered >= kRememberInterval)) {
            remembered = now;
            Remember(m_hasher->length());
        }
        if (!m_hooks.progress(m_reported))
            m_stopped = true;
        return !m_stopped;
    };
    TransferOutcome outcome;
    SendToTemporary(m_session, m_target,
                    {m_file.handle.get(), m_file.size, m_offset, m_hasher ? &*m_hasher : nullptr},
                    &flags, outcome);
    return outcome;
}

std::int64_t ResumableUpload::ResumePoint(std::int64_t sentSoFar)
{
    if (m_cannotResume || m_startOver)
        return 0;
    TransferOutcome asked;
    const std::int64_t stored = TemporarySize(m_session, m_target, asked);
    // More than was sent is not ours.
    return stored > 0 && stored <= sentSoFar && stored <= m_file.size ? stored : 0;
}

std::int64_t ResumableUpload::TakeUpKilledRun()
{
    if (!m_unfinished)
        return 0;
    const std::optional<UnfinishedUpload> killed =
        m_unfinished->Find(m_server, m_target.temporaryPath, m_localPath);
    if (!killed || killed->size != m_file.size || killed->modified != m_modified
        || killed->algorithm != HashName(m_serverHash->algorithm))
        return 0;
    TransferOutcome asked;
    const std::int64_t stored = TemporarySize(m_session, m_target, asked);
    if (stored <= 0 || stored > m_file.size)
        return 0;
    // The local file's start, with the digest of the part the killed run
    // had sent checked on the way: the file must not have changed since.
    std::FILE *file = m_file.handle.get();
    if (killed->sent <= stored) {
        if (!m_hasher->restartFrom(file, killed->sent) || m_hasher->hex() != killed->digest)
            return 0;
        if (!m_hasher->continueTo(file, stored))
            return 0;
    } else if (!m_hasher->restartFrom(file, stored)) {
        return 0;
    }
    // And the server's part must be that start, byte for byte.
    const std::string digest = TemporaryDigest(m_session, m_target, *m_serverHash, asked);
    return !digest.empty() && digest == m_hasher->hex() ? stored : 0;
}

bool ResumableUpload::PositionAt(std::int64_t offset)
{
    m_reported = std::max(m_reported, offset);
    if (!m_hasher)
        return SeekTo(m_file.handle.get(), offset);
    if (m_hasher->length() == offset && offset > 0)
        return true;
    return m_hasher->restartFrom(m_file.handle.get(), offset);
}

bool ResumableUpload::Pause(std::chrono::milliseconds pause)
{
    const auto until = Clock::now() + pause;
    while (Clock::now() < until) {
        if (m_session.stopped || !m_hooks.progress(m_reported)) {
            m_stopped = true;
            return false;
        }
        std::this_thread::sleep_for(std::min<Clock::duration>(kPauseStep, until - Clock::now()));
    }
    return true;
}

void ResumableUpload::Remember(std::int64_t sent) const
{
    if (!m_unfinished)
        return;
    // A record that cannot be written only means a killed run starts over.
    m_unfinished->Save({m_server, m_target.temporaryPath, m_localPath, m_file.size, m_modified,
                        HashName(m_serverHash->algorithm), sent, m_hasher->hex()});
}

void ResumableUpload::forget() const
{
    if (m_unfinished && m_serverHash)
        m_unfinished->Forget(m_server, m_target.temporaryPath, m_localPath);
}

void ResumableUpload::GiveUp(const TransferOutcome &outcome)
{
    forget();
    if (ServerStillAnswers(outcome) || outcome.code == CURLE_OK || outcome.readError
        || outcome.shortRead)
        RemoveLeftover(m_session);
    m_session.leftover.clear();
}

} // namespace vantrel::upload
