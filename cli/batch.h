#pragma once

// A batch of files, each encoded, uploaded, or both, with the program's jobs.
// In a publish the two run side by side: the upload of one file goes on
// while the next one encodes (one encoding job, one upload job on its
// thread). One failing file does not stop the others unless asked to; a
// stop (Ctrl-C) ends the work under way the clean way and starts nothing
// more. What happens is told to a BatchObserver; nothing is printed here.

#include "cli/options.h"
#include "common/progressline.h"
#include "encoding/commandlines.h"
#include "upload/uploadjob.h"

#include <QElapsedTimer>
#include <QObject>
#include <QSet>
#include <QString>

#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vantrel::encoding {
class EncodingJob;
struct EncodeOutcome;
} // namespace vantrel::encoding

namespace vantrel::cli {

enum class Step { Encode, Upload };

enum class StepResult {
    Pending, // not reached (yet)
    Running,
    Done,
    Failed,
    Refused,    // checked and turned down before anything ran
    Stopped,    // stopped under way
    NotStarted, // the batch ended before it (a stop, --stop-on-error)
    Skipped,    // not due: the step before it did not succeed
};

struct FileState
{
    QString given;  // as on the command line
    QString source; // absolute
    encoding::EncodeJob job;
    QString uploadPath; // the file sent: the source, or the encoding's output
    QString remoteName; // its name on the server
    StepResult encode = StepResult::Pending;
    StepResult upload = StepResult::Pending;
    QString message; // why a step did not succeed, in the program's words
    // Uploaded: how the server's copy was checked ("SHA-256", ..., "size"),
    // empty when the server told neither.
    QString checkedBy;
};

class BatchObserver
{
public:
    virtual ~BatchObserver() = default;
    // `detail`: the encoder's command line, or the file's name on the server.
    virtual void stepStarted(int index, Step step, const FileState &file,
                             const QString &detail) = 0;
    virtual void encodeProgressed(int index, const ProgressLine &progress,
                                  std::int64_t elapsedMs) = 0;
    virtual void uploadProgressed(int index, const upload::UploadProgress &progress) = 0;
    // The step ended, or was refused before it started.
    virtual void stepFinished(int index, Step step, const FileState &file) = 0;
    // Something the job reports that does not end the step.
    virtual void warning(int index, Step step, const QString &message) = 0;
    // The upload's connection broke (`reason`); attempt `attempt` of
    // `attempts` follows after a pause.
    virtual void uploadRetrying(int index, int attempt, int attempts, const QString &reason) = 0;
    // A stop came (Ctrl-C): the work under way is being stopped.
    virtual void stopping() {}
    virtual void batchEnded(const std::vector<FileState> &files, bool interrupted,
                            int exitStatus) = 0;
};

struct BatchSetup
{
    Command command = Command::Encode;
    QString appFolder;      // the programs' folder
    QString settingsFolder; // the settings file's and trust files' folder
    std::string encoderOptions;
    std::string outputFolder; // absolute, ends with the separator
    bool overwrite = false;
    bool stopOnError = false;
    std::optional<std::string> password;     // in place of the stored one
    std::optional<std::string> serverFolder; // likewise
};

// The setup for the options, with the programs in `appFolder`: the
// window's option string and output folder (absolute, with a separator at
// its end), the stored settings' folder. An error in the program's words
// when the options cannot be used.
BatchSetup SetupFromOptions(const Options &options, const QString &appFolder, QString *error);

// The exit status for the files' results (see cli/options.h).
int ExitStatusFor(const std::vector<FileState> &files, bool interrupted);

class Batch : public QObject
{
    Q_OBJECT

public:
    // `questions` and `observer` must outlive the batch.
    Batch(BatchSetup setup, const std::vector<std::string> &files,
          upload::UploadQuestions &questions, BatchObserver &observer, QObject *parent = nullptr);
    ~Batch() override;

    const std::vector<FileState> &files() const { return m_files; }

    // Starts the first steps; `ended` follows, once.
    void start();
    // Stops the work under way (its temporary files go) and starts no more.
    void stop();
    // Asked when a step fails: whether a stop is on its way (a signal that
    // reached the programs first); the failure is then the stop's.
    void setStopPending(std::function<bool()> pending) { m_stopPending = std::move(pending); }
    bool isStopping() const { return m_stopping; }

    // The temporary output of the encoding under way, if any: what a hard
    // end still removes.
    QString encodingTemporary() const;

signals:
    void ended(int exitStatus);

private:
    void startEncodings();
    bool startEncoding(int index);
    void encodingFinished(const encoding::EncodeOutcome &outcome);
    void startUploads();
    bool startUpload(int index);
    void uploadFinished(const upload::UploadOutcome &outcome);
    void refuse(int index, Step step, const QString &message);
    void noteFailure();
    void endIfDone();

    BatchSetup m_setup;
    BatchObserver &m_observer;
    std::vector<FileState> m_files;
    std::unique_ptr<encoding::EncodingJob> m_encoding;
    std::unique_ptr<upload::UploadJob> m_upload;
    std::size_t m_nextEncoding = 0;
    std::deque<int> m_uploadQueue;
    int m_encodingIndex = -1;
    int m_uploadingIndex = -1;
    QElapsedTimer m_encodingClock;
    QSet<QString> m_outputs;     // final paths this run writes
    QSet<QString> m_remoteNames; // names this run sends
    std::function<bool()> m_stopPending;
    bool m_halted = false; // --stop-on-error after a failure
    bool m_stopping = false;
    bool m_ended = false;
};

} // namespace vantrel::cli
