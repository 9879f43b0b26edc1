#pragma once

// The upload job: it reads the four FTP settings, connects through the FTP
// component, sends one file to the server folder and ends with one outcome.
// It owns the component, the two flags of the transfer's events
// (blnCancelRequested, blnUploadInProgress) and the four settings values,
// which keep what they held when a line of the file is missing.
//
// The work runs on a thread of the job's own. What it reports arrives as
// signals on the thread the job belongs to, in the order it happened, and
// its questions (upload/uploadquestions) are asked there; the window, or any
// other front end, only starts it and reacts. No window is needed.

#include "common/failure.h"
#include "upload/retrypolicy.h"
#include "upload/truststore.h"
#include "upload/unfinishedupload.h"
#include "upload/uploadquestions.h"

#include <QObject>
#include <QString>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

namespace vantrel {

class FtpClient;

namespace upload {

class WorkerQueue;

struct UploadRequest
{
    QString localPath; // the file to send
    QString fileTitle; // its name on the server, after the server folder
    // Values that stand in for those of the settings file for this upload
    // only; the file is not read when all four are given.
    std::optional<std::string> address;
    std::optional<std::string> userName;
    std::optional<std::string> password;
    std::optional<std::string> serverFolder;
};

struct UploadProgress
{
    std::int64_t sent = 0;
    std::int64_t total = 0;
    // "850.0 KB/s, 1:05 left", at most every TransferMeter::kIntervalMs;
    // nothing when no new text is due.
    std::optional<std::string> rateText;
};

struct UploadOutcome
{
    enum class Kind {
        Uploaded,     // the file is on the server under its name
        Aborted,      // the user answered Yes to the cancel question
        NotConnected, // the login ended without a connection and without a failure
        Refused,      // nothing was sent (a value, the file, the server's identity)
        Failed,       // see failure
    };
    Kind kind = Kind::Failed;
    std::optional<Failure> failure; // Refused and Failed
    // What the user is told, in the program's words; empty when nothing.
    QString message;
    bool isError = false; // the error form, else a notice
    // Uploaded: how the file on the server was checked ("SHA-256", ...,
    // "size"), empty when the server told neither.
    QString checkedBy;
};

class UploadJob : public QObject
{
    Q_OBJECT

public:
    // "rider.brm" and the trust files are in `settingsFolder`; `questions`
    // is asked on this object's thread and must outlive the job.
    UploadJob(const QString &settingsFolder, UploadQuestions &questions, QObject *parent = nullptr);
    // Stops an upload under way and waits for the job's thread.
    ~UploadJob() override;

    // The component, for its start-up flag and its connection state; used
    // by the job's thread only otherwise.
    FtpClient *ftpComponent() const { return FTP.get(); }

    // True from start() until `finished` has been emitted.
    bool isRunning() const { return m_running; }

    // Closes a connection left open by the last upload and sends the file.
    // Returns at once; false, and nothing starts, while an upload runs.
    bool start(UploadRequest request);

    // A click on Cancel: the question comes with the next progress event,
    // of this upload or of the next one.
    void requestCancel() { blnCancelRequested = true; }

    // The component's connect and stall time limits (seconds), and how
    // often a broken upload tries again; between uploads only.
    void setTimeouts(int connectSeconds, int stallSeconds);
    void setRetryPolicy(const RetryPolicy &policy);

signals:
    void serverConnected();
    void progressed(const vantrel::upload::UploadProgress &progress);
    // The connection broke (`reason`); attempt `attempt` of `attempts`
    // follows after a pause. `resumed` tells that it is logged in again and
    // goes on from `offset` (0: the upload starts over).
    void retrying(int attempt, int attempts, const QString &reason);
    void resumed(qint64 offset);
    // Something went wrong that does not stop the upload: the message.
    void warning(const QString &message);
    void finished(const vantrel::upload::UploadOutcome &outcome);

private:
    class Events;
    struct PendingAnswer;

    // On the job's thread.
    UploadOutcome RunUpload(const UploadRequest &request);
    std::optional<Failure> ReadSettings(const UploadRequest &request);
    std::optional<UploadOutcome> Refusal(const UploadRequest &request) const;
    UploadOutcome FailureOutcome(const Failure &failure) const;
    bool Ask(std::function<bool(UploadQuestions &)> question);
    // Runs `report` on the job's own thread, after what was posted before.
    void Post(std::function<void()> report);

    QString m_settingsFolder;
    UploadQuestions &m_questions;
    TrustStore m_trust;
    UnfinishedUploads m_unfinished;
    std::unique_ptr<Events> m_events;
    std::unique_ptr<FtpClient> FTP;

    // The settings the last upload read.
    std::string strFtpAddress;
    std::string strFtpUserName;
    std::string strFtpPassword;
    std::string strFtpServerFolder;

    std::atomic<bool> blnCancelRequested{false};
    bool blnUploadInProgress = false; // the job's thread only
    bool m_running = false;           // this object's thread only
    // What the server showed that the user did not trust in this upload.
    std::optional<ServerIdentity> m_refusedIdentity;

    // The question whose answer the job's thread waits for, if any.
    std::shared_ptr<PendingAnswer> m_pending;
    std::mutex m_pendingMutex;
    // Last: it is stopped first, while everything it uses still exists.
    std::unique_ptr<WorkerQueue> m_worker;
};

} // namespace upload
} // namespace vantrel
