#include "upload/uploadjob.h"

#include "common/errornumbers.h"
#include "common/messages.h"
#include "common/progresstext.h"
#include "common/qtbridge.h"
#include "platform/systemerror.h"
#include "settings/settingsfile.h"
#include "upload/ftpclient.h"
#include "upload/ftperrors.h"
#include "upload/localfile.h"
#include "upload/workerqueue.h"

#include <QElapsedTimer>

#include <condition_variable>
#include <utility>

namespace vantrel::upload {

namespace {

// An outcome; one with a failure is told in the error form.
UploadOutcome Ended(UploadOutcome::Kind kind, const QString &message = QString(),
                    const std::optional<Failure> &failure = std::nullopt)
{
    UploadOutcome outcome;
    outcome.kind = kind;
    outcome.failure = failure;
    outcome.message = message;
    outcome.isError = failure.has_value();
    return outcome;
}

} // namespace

// An answer the job's thread waits for; abandoned when the job goes away.
struct UploadJob::PendingAnswer
{
    std::mutex mutex;
    std::condition_variable ready;
    std::optional<bool> answer;
    bool abandoned = false;

    void give(bool value)
    {
        {
            std::lock_guard lock(mutex);
            answer = value;
        }
        ready.notify_all();
    }

    void abandon()
    {
        {
            std::lock_guard lock(mutex);
            abandoned = true;
        }
        ready.notify_all();
    }

    // The answer; false when the job was abandoned first.
    bool wait()
    {
        std::unique_lock lock(mutex);
        ready.wait(lock, [this] { return answer.has_value() || abandoned; });
        return answer.value_or(false);
    }
};

// The component's events, on the job's thread: the handlers of the transfer
// and of server identities that passed no check of their own.
class UploadJob::Events final : public FtpEvents
{
public:
    explicit Events(UploadJob &job)
        : m_job(job)
    {}

    // A new transfer: the rate is measured from its first event.
    void reset()
    {
        m_meter.reset();
        m_clock.start();
    }

    bool IdentityUnverified(const ServerIdentity &seen, bool changed) override
    {
        if (seen.kind == IdentityKind::HostKey && changed) {
            m_job.m_refusedIdentity = seen;
            return false;
        }
        const bool trusted = m_job.Ask([&](UploadQuestions &questions) {
            return seen.kind == IdentityKind::Certificate
                       ? questions.TrustCertificate(seen, changed)
                       : questions.AcceptHostKey(seen);
        });
        if (!trusted) {
            m_job.m_refusedIdentity = seen;
            return false;
        }
        const platform::FileStatus saved = m_job.m_trust.Remember(seen);
        if (!saved.ok()) {
            // Trusted for this upload all the same; the next one asks again.
            const QString message =
                WithReason(seen.kind == IdentityKind::Certificate
                               ? QStringLiteral("THE TRUSTED CERTIFICATE COULD NOT BE SAVED!")
                               : QStringLiteral("THE ACCEPTED HOST KEY COULD NOT BE SAVED!"),
                           FromUtf8(platform::ErrnoText(saved.error)));
            m_job.Post([job = &m_job, message] { emit job->warning(message); });
        }
        return true;
    }

    void TransferProgress(const QString &, const QString &, std::int32_t, std::int64_t sent,
                          std::int64_t total, bool &cancel) override
    {
        m_job.blnUploadInProgress = true;
        UploadProgress progress{sent, total, m_meter.report(m_clock.elapsed(), sent, total)};
        m_job.Post([job = &m_job, progress] { emit job->progressed(progress); });
        if (!m_job.blnCancelRequested)
            return;
        const bool stop =
            m_job.Ask([](UploadQuestions &questions) { return questions.AbortUpload(); });
        m_job.blnCancelRequested = false;
        if (!stop)
            return;
        cancel = true;
        m_job.blnUploadInProgress = false;
        aborted = true;
        m_job.FTP->Disconnect();
    }

    void TransferRetrying(int attempt, int attempts, const std::string &reason) override
    {
        m_job.Post([job = &m_job, attempt, attempts, reason = FromUtf8(reason)] {
            emit job->retrying(attempt, attempts, reason);
        });
    }

    void TransferResumed(std::int64_t offset) override
    {
        m_job.Post([job = &m_job, offset] { emit job->resumed(offset); });
    }

    void TransferComplete(const QString &, const QString &, std::int32_t) override
    {
        announce = m_job.blnUploadInProgress;
    }

    // What the last transfer's events said: the user abandoned it, and the
    // success message is due (the flag of the transfer's events said so
    // when it completed).
    bool aborted = false;
    bool announce = false;

private:
    UploadJob &m_job;
    TransferMeter m_meter;
    QElapsedTimer m_clock;
};

UploadJob::UploadJob(const QString &settingsFolder, UploadQuestions &questions, QObject *parent)
    : QObject(parent)
    , m_settingsFolder(settingsFolder)
    , m_questions(questions)
    , m_trust(ToPath(settingsFolder))
    , m_unfinished(ToPath(settingsFolder))
    , m_events(std::make_unique<Events>(*this))
    , FTP(std::make_unique<FtpClient>(&m_trust, m_events.get()))
    , m_worker(std::make_unique<WorkerQueue>())
{
    FTP->setUnfinishedUploads(&m_unfinished);
}

UploadJob::~UploadJob()
{
    FTP->Abort();
    {
        std::lock_guard lock(m_pendingMutex);
        if (m_pending)
            m_pending->abandon();
    }
    m_worker.reset();
}

void UploadJob::setTimeouts(int connectSeconds, int stallSeconds)
{
    FTP->setTimeouts(connectSeconds, stallSeconds);
}

void UploadJob::setRetryPolicy(const RetryPolicy &policy)
{
    FTP->setRetryPolicy(policy);
}

bool UploadJob::start(UploadRequest request)
{
    if (m_running)
        return false;
    m_running = true;
    m_worker->Post([this, request = std::move(request)] {
        if (FTP->IsConnected())
            FTP->Disconnect();
        UploadOutcome outcome = RunUpload(request);
        Post([this, outcome = std::move(outcome)] {
            m_running = false;
            emit finished(outcome);
        });
    });
    return true;
}

void UploadJob::Post(std::function<void()> report)
{
    QMetaObject::invokeMethod(this, std::move(report), Qt::QueuedConnection);
}

bool UploadJob::Ask(std::function<bool(UploadQuestions &)> question)
{
    auto pending = std::make_shared<PendingAnswer>();
    {
        std::lock_guard lock(m_pendingMutex);
        m_pending = pending;
    }
    Post([this, pending, question = std::move(question)] { pending->give(question(m_questions)); });
    const bool answer = pending->wait();
    std::lock_guard lock(m_pendingMutex);
    m_pending.reset();
    return answer;
}

UploadOutcome UploadJob::RunUpload(const UploadRequest &request)
{
    if (std::optional<Failure> failure = ReadSettings(request))
        return FailureOutcome(*failure);
    if (std::optional<UploadOutcome> refused = Refusal(request))
        return *refused;
    m_refusedIdentity.reset();
    m_events->aborted = false;
    m_events->announce = false;
    if (Result<> connected = FTP->Connect(FromUtf8(strFtpAddress), FromUtf8(strFtpUserName),
                                          FromUtf8(strFtpPassword), 21, true);
        !connected)
        return FailureOutcome(connected.failure());
    if (!FTP->IsConnected())
        return Ended(UploadOutcome::Kind::NotConnected);
    Post([this] { emit serverConnected(); });
    m_events->reset();
    const QString remotePath = FromUtf8(strFtpServerFolder) + request.fileTitle;
    if (Result<> sent = FTP->UploadFile(request.localPath, QString(), remotePath); !sent)
        return FailureOutcome(sent.failure());
    if (m_events->aborted)
        return Ended(UploadOutcome::Kind::Aborted, QStringLiteral("UPLOADING ABORTED BY USER!"));
    UploadOutcome uploaded =
        Ended(UploadOutcome::Kind::Uploaded,
              m_events->announce ? QStringLiteral("YOUR FILE HAS BEEN UPLOADED SUCCESSFULLY!")
                                 : QString());
    uploaded.checkedBy = FromUtf8(FTP->checkedBy());
    return uploaded;
}

std::optional<Failure> UploadJob::ReadSettings(const UploadRequest &request)
{
    settings::FtpSettings values{strFtpAddress, strFtpUserName, strFtpPassword, strFtpServerFolder};
    const bool allGiven =
        request.address && request.userName && request.password && request.serverFolder;
    if (!allGiven) {
        const settings::SettingsResult read = settings::ReadSettingsFile(
            settings::SettingsFilePath(ToPath(m_settingsFolder)), values);
        if (!read.ok())
            return read.failure();
    }
    values.address = request.address.value_or(values.address);
    values.userName = request.userName.value_or(values.userName);
    values.password = request.password.value_or(values.password);
    values.serverFolder = request.serverFolder.value_or(values.serverFolder);
    strFtpAddress = values.address;
    strFtpUserName = values.userName;
    strFtpPassword = values.password;
    strFtpServerFolder = values.serverFolder;
    return std::nullopt;
}

// What refuses the upload before anything connects: a setting with a line
// break or a NUL (the server would read the rest as a command of its own),
// or a local file that is not a regular file (opening a pipe would wait).
std::optional<UploadOutcome> UploadJob::Refusal(const UploadRequest &request) const
{
    const settings::FtpSettings values{strFtpAddress, strFtpUserName, strFtpPassword,
                                       strFtpServerFolder};
    if (const std::optional<settings::SettingsField> field = settings::FindLineBreak(values)) {
        return Ended(UploadOutcome::Kind::Refused,
                     FromUtf8(settings::RefusalMessage(*field, settings::ValueRefusal::LineBreak)),
                     Failure(errors::kInvalidCall, "A value contains a line break"));
    }
    const Result<LocalFile> file = OpenLocalFile(ToPath(request.localPath));
    if (!file && file.failure().number() == kErrNotRegularFile)
        return FailureOutcome(file.failure());
    return std::nullopt;
}

UploadOutcome UploadJob::FailureOutcome(const Failure &failure) const
{
    const auto refused = [&failure](const QString &message) {
        return Ended(UploadOutcome::Kind::Refused, message, failure);
    };
    switch (failure.number()) {
    case kErrNotRegularFile:
        return refused(QStringLiteral("THE SELECTED FILE IS NOT A REGULAR FILE!"));
    case kErrCertificateNotTrusted:
        if (m_refusedIdentity)
            return refused(CertificateRefusedMessage(FromUtf8(m_refusedIdentity->server)));
        break;
    case kErrHostKeyNotTrusted:
        if (m_refusedIdentity)
            return refused(HostKeyRefusedMessage(FromUtf8(m_refusedIdentity->server)));
        break;
    case kErrHostKeyChanged:
        if (m_refusedIdentity)
            return refused(HostKeyChangedMessage(FromUtf8(m_refusedIdentity->server),
                                                 FromUtf8(m_refusedIdentity->type),
                                                 FromUtf8(m_refusedIdentity->fingerprint)));
        break;
    default:
        break;
    }
    return Ended(UploadOutcome::Kind::Failed, UploadErrorMessage(FromUtf8(failure.description())),
                 failure);
}

} // namespace vantrel::upload
