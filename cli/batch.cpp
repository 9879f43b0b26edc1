#include "cli/batch.h"

#include "common/qtbridge.h"
#include "encoding/choices.h"
#include "encoding/encoderoptions.h"
#include "encoding/encodingjob.h"
#include "platform/appfolder.h"
#include "platform/settingslocation.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTimer>

#include <algorithm>

#include <utility>

namespace vantrel::cli {

namespace {

constexpr char kSeparator = platform::kPathSeparator;

bool Unsuccessful(StepResult result)
{
    return result == StepResult::Failed || result == StepResult::Refused;
}

} // namespace

BatchSetup SetupFromOptions(const Options &options, const QString &appFolder, QString *error)
{
    BatchSetup setup;
    setup.command = options.command;
    setup.appFolder = appFolder;
    // The window's settings file and trust stores.
    setup.settingsFolder = FromUtf8(platform::PrepareProgramSettingsFolder(ToUtf8(appFolder)));
    if (setup.settingsFolder.isEmpty())
        setup.settingsFolder = appFolder;
    setup.overwrite = options.overwrite;
    setup.stopOnError = options.stopOnError;
    if (options.command != Command::Upload) {
        const QFileInfo folder(FromUtf8(options.outputFolder));
        if (!folder.isDir())
            *error = QStringLiteral("THE OUTPUT FOLDER DOES NOT EXIST!");
        setup.outputFolder = encoding::WithTrailingSeparator(
            ToUtf8(QDir::toNativeSeparators(folder.absoluteFilePath())), kSeparator);
        setup.encoderOptions =
            encoding::BuildEncoderOptions(options.values.audioBitrate, options.values.audioSampling,
                                          options.values.videoBitrate, options.values.videoWindow);
    }
    if (options.serverFolderGiven)
        setup.serverFolder = ServerFolderOption(options.serverFolder);
    return setup;
}

int ExitStatusFor(const std::vector<FileState> &files, bool interrupted)
{
    if (interrupted)
        return kExitInterrupted;
    const auto any = [&files](auto test) {
        return std::any_of(files.begin(), files.end(), test);
    };
    if (any([](const FileState &f) { return f.encode == StepResult::Failed; }))
        return kExitEncodingFailed;
    if (any([](const FileState &f) { return f.upload == StepResult::Failed; }))
        return kExitUploadFailed;
    if (any([](const FileState &f) {
            return f.encode == StepResult::Refused || f.upload == StepResult::Refused;
        }))
        return kExitRefused;
    return kExitSuccess;
}

Batch::Batch(BatchSetup setup, const std::vector<std::string> &files,
             upload::UploadQuestions &questions, BatchObserver &observer, QObject *parent)
    : QObject(parent)
    , m_setup(std::move(setup))
    , m_observer(observer)
{
    const bool encodes = m_setup.command != Command::Upload;
    for (const std::string &given : files) {
        FileState file;
        file.given = FromUtf8(given);
        file.source = QDir::toNativeSeparators(QFileInfo(file.given).absoluteFilePath());
        if (encodes) {
            const std::optional<std::string> name =
                encoding::ProposeOutputName(ToUtf8(QFileInfo(file.source).fileName()));
            file.job = {ToUtf8(m_setup.appFolder), ToUtf8(file.source), m_setup.encoderOptions,
                        m_setup.outputFolder, name.value_or(std::string())};
            file.uploadPath = FromUtf8(encoding::FinalOutputPath(file.job));
        } else {
            file.uploadPath = file.source;
            file.encode = StepResult::Skipped;
        }
        if (m_setup.command == Command::Encode)
            file.upload = StepResult::Skipped;
        file.remoteName = QFileInfo(file.uploadPath).fileName();
        m_files.push_back(std::move(file));
    }
    if (encodes) {
        m_encoding = std::make_unique<encoding::EncodingJob>(m_setup.appFolder);
        connect(m_encoding.get(), &encoding::EncodingJob::progressed, this,
                [this](const ProgressLine &progress) {
                    m_observer.encodeProgressed(m_encodingIndex, progress,
                                                m_encodingClock.elapsed());
                });
        connect(m_encoding.get(), &encoding::EncodingJob::finished, this, &Batch::encodingFinished);
    } else {
        m_nextEncoding = m_files.size();
    }
    if (m_setup.command != Command::Encode) {
        m_upload = std::make_unique<upload::UploadJob>(m_setup.settingsFolder, questions);
        connect(m_upload.get(), &upload::UploadJob::progressed, this,
                [this](const upload::UploadProgress &progress) {
                    m_observer.uploadProgressed(m_uploadingIndex, progress);
                });
        connect(m_upload.get(), &upload::UploadJob::warning, this, [this](const QString &message) {
            m_observer.warning(m_uploadingIndex, Step::Upload, message);
        });
        connect(m_upload.get(), &upload::UploadJob::retrying, this,
                [this](int attempt, int attempts, const QString &reason) {
                    m_observer.uploadRetrying(m_uploadingIndex, attempt, attempts, reason);
                });
        connect(m_upload.get(), &upload::UploadJob::finished, this, &Batch::uploadFinished);
    }
}

Batch::~Batch() = default;

void Batch::start()
{
    if (m_setup.command == Command::Upload) {
        for (int i = 0; i < static_cast<int>(m_files.size()); ++i)
            m_uploadQueue.push_back(i);
        startUploads();
    } else {
        startEncodings();
    }
    endIfDone();
}

void Batch::stop()
{
    if (m_stopping || m_ended)
        return;
    m_stopping = true;
    m_observer.stopping();
    if (m_encodingIndex >= 0)
        m_encoding->stop();
    if (m_uploadingIndex >= 0)
        m_upload->stop();
    // Nothing under way: the end comes from the event loop, as it does after
    // a job's last report.
    QTimer::singleShot(0, this, &Batch::endIfDone);
}

QString Batch::encodingTemporary() const
{
    if (m_encodingIndex < 0)
        return {};
    return FromUtf8(encoding::TemporaryOutputPath(m_files[m_encodingIndex].job));
}

void Batch::startEncodings()
{
    while (m_encodingIndex < 0 && !m_halted && !m_stopping && m_nextEncoding < m_files.size()) {
        if (startEncoding(static_cast<int>(m_nextEncoding++)))
            return;
    }
}

// The window's checks, in its order, then those of a run over many files.
bool Batch::startEncoding(int index)
{
    FileState &file = m_files[index];
    if (!QFileInfo(file.source).isFile()) {
        refuse(index, Step::Encode, QStringLiteral("THE SOURCE FILE DOES NOT EXIST!"));
        return false;
    }
    std::optional<encoding::Refusal> refusal = encoding::CheckChoices(file.job);
    if (!refusal)
        refusal = encoding::CheckOutputIsNotSource(file.job);
    if (refusal) {
        refuse(index, Step::Encode, FromUtf8(refusal->message));
        return false;
    }
    if (m_outputs.contains(file.uploadPath)) {
        refuse(index, Step::Encode,
               QStringLiteral("ANOTHER SOURCE OF THIS RUN BECOMES THE SAME OUTPUT FILE!"));
        return false;
    }
    if (encoding::FinalOutputExists(file.job) && !m_setup.overwrite) {
        refuse(index, Step::Encode, QStringLiteral("THE OUTPUT FILE ALREADY EXISTS!"));
        return false;
    }
    m_outputs.insert(file.uploadPath);
    const QString line = FromUtf8(encoding::ComposeEncoderLine(file.job, kSeparator));
    m_encodingIndex = index;
    file.encode = StepResult::Running;
    m_encodingClock.start();
    m_observer.stepStarted(index, Step::Encode, file, line);
    m_encoding->start(line, file.job);
    return true;
}

void Batch::encodingFinished(const encoding::EncodeOutcome &outcome)
{
    const int index = m_encodingIndex;
    m_encodingIndex = -1;
    FileState &file = m_files[index];
    const bool encoded = outcome.kind == encoding::EncodeOutcome::Kind::Encoded;
    if (!encoded && m_stopPending && m_stopPending())
        stop();
    if (encoded) {
        file.encode = StepResult::Done;
        if (m_setup.command == Command::Publish)
            m_uploadQueue.push_back(index);
    } else if (m_stopping) {
        // Stopped in the repair program, the encoder's output is still there.
        QFile::remove(FromUtf8(encoding::TemporaryOutputPath(file.job)));
        file.encode = StepResult::Stopped;
        file.upload = StepResult::Skipped;
    } else {
        file.encode = StepResult::Failed;
        file.upload = StepResult::Skipped;
        file.message = encoding::ReportFor(outcome).text;
        noteFailure();
    }
    m_observer.stepFinished(index, Step::Encode, file);
    startUploads();
    startEncodings();
    endIfDone();
}

void Batch::startUploads()
{
    while (m_uploadingIndex < 0 && !m_halted && !m_stopping && !m_uploadQueue.empty()) {
        const int index = m_uploadQueue.front();
        m_uploadQueue.pop_front();
        if (startUpload(index))
            return;
    }
}

bool Batch::startUpload(int index)
{
    FileState &file = m_files[index];
    if (!QFileInfo(file.uploadPath).isFile()) {
        refuse(index, Step::Upload, QStringLiteral("THE FILE TO UPLOAD DOES NOT EXIST!"));
        return false;
    }
    if (m_remoteNames.contains(file.remoteName)) {
        refuse(index, Step::Upload,
               QStringLiteral("ANOTHER FILE OF THIS RUN HAS THE SAME NAME ON THE SERVER!"));
        return false;
    }
    m_remoteNames.insert(file.remoteName);
    upload::UploadRequest request{file.uploadPath, file.remoteName,  std::nullopt,
                                  std::nullopt,    m_setup.password, m_setup.serverFolder};
    if (!m_upload->start(std::move(request))) {
        // Only a stopped job turns a start down.
        file.upload = StepResult::NotStarted;
        return false;
    }
    m_uploadingIndex = index;
    file.upload = StepResult::Running;
    m_observer.stepStarted(index, Step::Upload, file, file.remoteName);
    return true;
}

void Batch::uploadFinished(const upload::UploadOutcome &outcome)
{
    using Kind = upload::UploadOutcome::Kind;
    const int index = m_uploadingIndex;
    m_uploadingIndex = -1;
    FileState &file = m_files[index];
    if (outcome.kind != Kind::Uploaded && m_stopPending && m_stopPending())
        stop();
    switch (outcome.kind) {
    case Kind::Uploaded:
        file.upload = StepResult::Done;
        file.checkedBy = outcome.checkedBy;
        break;
    case Kind::Aborted:
        file.upload = StepResult::Stopped;
        break;
    case Kind::NotConnected:
        file.upload = StepResult::Failed;
        file.message = QStringLiteral("THERE IS NO CONNECTION TO THE SERVER!");
        break;
    case Kind::Refused:
    case Kind::Failed:
        // A stop breaks a login off; the failure it causes is the stop's.
        file.upload = m_stopping                      ? StepResult::Stopped
                      : outcome.kind == Kind::Refused ? StepResult::Refused
                                                      : StepResult::Failed;
        if (!m_stopping)
            file.message = outcome.message;
        break;
    }
    if (Unsuccessful(file.upload))
        noteFailure();
    m_observer.stepFinished(index, Step::Upload, file);
    startUploads();
    startEncodings();
    endIfDone();
}

void Batch::refuse(int index, Step step, const QString &message)
{
    FileState &file = m_files[index];
    if (step == Step::Encode) {
        file.encode = StepResult::Refused;
        if (file.upload == StepResult::Pending)
            file.upload = StepResult::Skipped;
    } else {
        file.upload = StepResult::Refused;
    }
    file.message = message;
    noteFailure();
    m_observer.stepFinished(index, step, file);
}

void Batch::noteFailure()
{
    if (m_setup.stopOnError)
        m_halted = true;
}

void Batch::endIfDone()
{
    if (m_ended || m_encodingIndex >= 0 || m_uploadingIndex >= 0)
        return;
    const bool moreToDo = m_nextEncoding < m_files.size() || !m_uploadQueue.empty();
    if (moreToDo && !m_halted && !m_stopping)
        return;
    m_ended = true;
    for (FileState &file : m_files) {
        for (StepResult *result : {&file.encode, &file.upload}) {
            if (*result == StepResult::Pending)
                *result = StepResult::NotStarted;
        }
    }
    const int status = ExitStatusFor(m_files, m_stopping);
    m_observer.batchEnded(m_files, m_stopping, status);
    emit ended(status);
}

} // namespace vantrel::cli
