#pragma once

// The main window: three tab pages ("Source Files", "Encoding Options",
// "FTP Upload"), the bottom row of buttons and the web link. Its handlers
// read the controls, call the subsystem that does the work (encoding/,
// upload/, settings/) and show the result in the controls.

#include "ui/appcontext.h"
#include "upload/uploadquestions.h"

#include <QWidget>

#include <memory>

class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QSessionManager;

namespace vantrel {

class EncoderWindow;
class FtpClient;
class LinkLabel;
class TabControl;

namespace encoding {
struct EncodeJob;
struct EncodeOutcome;
class EncodingJob;
struct Refusal;
} // namespace encoding

namespace upload {
struct UploadOutcome;
struct UploadProgress;
class UploadJob;
} // namespace upload

// The window answers the upload's questions with message boxes.
class frmMain : public QWidget, private upload::UploadQuestions
{
    Q_OBJECT

public:
    explicit frmMain(const AppContext &context, QWidget *parent = nullptr);
    ~frmMain() override;

    // The start-up sequence. Returns false when the program has been ended
    // (another instance, or a failure during start-up).
    bool Form_Load();

    // The option string of the four current selections.
    const QString &encoderOptions() const { return strEncoderOptions; }
    FtpClient *ftpComponent() const;
    // The jobs the window starts: tests follow them.
    upload::UploadJob *uploadJob() const { return m_upload; }
    encoding::EncodingJob *encodingJob() const { return m_encoding; }
    const AppContext &context() const { return m_context; }

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void buildControls();
    void buildSourcePage(QWidget *page);
    void buildOptionsPage(QWidget *page);
    void buildUploadPage(QWidget *page);
    void buildBottomRow();
    void setKeyboardOrder();
    void connectHandlers();
    void connectUploadDisplay();
    void setFormPointerBusy(bool busy);

    // Start-up and exit.
    void StartUp();
    void ShowSplash();
    void Form_QueryUnload(bool &cancel);
    void sessionEnding(QSessionManager &manager);
    void cmdExit_Click();
    void cmdAbout_Click();
    void cmdSettings_Click();
    void lblBrenmoor_Click();

    // Encoding.
    void FillEncodingOptionLists();
    void BuildEncoderOptions();
    void cmbVideoWindow_Click();
    void cmbVideoBitrate_Click();
    void cmbAudioSampling_Click();
    void cmbAudioBitrate_Change();
    void cmdInput_Click();
    void TakeSourceFile(const QString &path);
    void cmdOutput_Click();
    void cmdEncode_Click();
    void RunEncoder();
    void EncoderFinished(const encoding::EncodeOutcome &outcome);
    encoding::EncodeJob currentJob() const;
    void Refuse(const encoding::Refusal &refusal);
    void AnswerHeldCloseRequest();

    // Upload.
    void cmdUpload_Click();
    bool ChooseUploadFile();
    bool TakeUploadFile(const QString &path);
    void UploadDroppedFile(const QString &path);
    void ShowUploadProgress(const upload::UploadProgress &progress);
    // The text in the upload bar, also its description for a screen reader.
    void ShowBarText(const QString &text);
    void UploadFinished(const upload::UploadOutcome &outcome);
    void ResetUploadDisplay();
    void RunUpload();
    void cmdCancelUpload_Click();

    // The upload's questions.
    bool TrustCertificate(const upload::ServerIdentity &certificate, bool changed) override;
    bool AcceptHostKey(const upload::ServerIdentity &hostKey) override;
    bool AbortUpload() override;

    AppContext m_context;

    // Tab control and pages.
    TabControl *SSTab1 = nullptr;
    QFrame *Frame1 = nullptr;
    QFrame *Frame2 = nullptr;
    QFrame *Frame4 = nullptr;

    // "Source Files".
    QPushButton *cmdInput = nullptr;
    QLabel *lblInput = nullptr;
    QPushButton *cmdOutput = nullptr;
    QLabel *lblOutput = nullptr;
    QLabel *lblOFN = nullptr;
    QLineEdit *txtFileTitle = nullptr;

    // "Encoding Options".
    QLabel *lblVideoWindow = nullptr;
    QComboBox *cmbVideoWindow = nullptr;
    QLabel *lblPixels = nullptr;
    QLabel *lblVideoBitrate = nullptr;
    QComboBox *cmbVideoBitrate = nullptr;
    QLabel *lblVkbps = nullptr;
    QLabel *lblAudioBitrate = nullptr;
    QComboBox *cmbAudioBitrate = nullptr;
    QLabel *lblAkbps = nullptr;
    QLabel *lblSamplingFrequency = nullptr;
    QComboBox *cmbAudioSampling = nullptr;
    QLabel *lblHz = nullptr;

    // "FTP Upload".
    QLabel *lblSelectedFLVFile = nullptr;
    QLabel *lblSelectedFile = nullptr;
    QLabel *lblSelectedFileTitle = nullptr;
    QLabel *lblPercent = nullptr;
    QProgressBar *prgUpload = nullptr;
    QPushButton *cmdUpload = nullptr;
    QPushButton *cmdCancelUpload = nullptr;
    QPushButton *cmdSettings = nullptr;
    QLabel *lblServerStatus = nullptr;

    // Outside the tab pages.
    QPushButton *cmdEncode = nullptr;
    QPushButton *cmdAbout = nullptr;
    QPushButton *cmdExit = nullptr;
    LinkLabel *lblBrenmoor = nullptr;
    QLineEdit *txtApp = nullptr;

    // The file name the open-file dialog returned last, from either picker.
    QString m_commonDialogFileName;

    // Encoding state.
    QString strEncoderOptions;
    encoding::EncodingJob *m_encoding = nullptr;
    // Open while an encoding runs.
    EncoderWindow *m_encoderWindow = nullptr;
    bool m_closeRequestedDuringRun = false;
    // The final file of the last encoding that succeeded; the upload's file
    // dialog starts there.
    QString m_lastEncodedFile;

    // The upload job with the FTP component, its flags and settings.
    upload::UploadJob *m_upload = nullptr;
};

} // namespace vantrel
