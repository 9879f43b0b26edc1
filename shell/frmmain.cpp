#include "shell/frmmain.h"

#include "common/browseforfolder.h"
#include "common/failure.h"
#include "common/messages.h"
#include "common/qtbridge.h"
#include "encoding/choices.h"
#include "encoding/encoderoptions.h"
#include "encoding/encodingjob.h"
#include "platform/appfolder.h"
#include "platform/userdialogs.h"
#include "settings/frmsetttings.h"
#include "shell/filedrop.h"
#include "shell/frmabout.h"
#include "shell/frmsplash.h"
#include "shell/referral.h"
#include "ui/controls.h"
#include "ui/encoderwindow.h"
#include "ui/linklabel.h"
#include "ui/pictures.h"
#include "ui/tabcontrol.h"
#include "ui/twips.h"
#include "ui/windowlook.h"
#include "upload/ftpclient.h"
#include "upload/uploadjob.h"
#include "upload/uploadpercent.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QSessionManager>
#include <QTimer>

namespace vantrel {

namespace {

constexpr char kSeparator = platform::kPathSeparator;

// An option row: caption label, drop-down list, unit label.
QComboBox *MakeOptionRow(QWidget *frame, int listTop, const char *captionName,
                         const QString &caption, int captionWidth, const char *listName,
                         const char *unitName, const QString &unit, QLabel **captionLabel,
                         QLabel **unitLabel)
{
    *captionLabel =
        MakeLabel(frame, captionName, caption, TwipsRect(180, listTop + 30, captionWidth, 255));
    auto *list = Place(new QComboBox(frame), listName, TwipsRect(1440, listTop, 1035, 315));
    list->setEditable(false);
    (*captionLabel)->setBuddy(list);
    *unitLabel = MakeLabel(frame, unitName, unit, TwipsRect(2580, listTop + 30, 495, 255));
    return list;
}

template<std::size_t N>
void AppendEntries(QComboBox *list, const std::array<std::string_view, N> &entries)
{
    for (std::string_view entry : entries)
        list->addItem(FromUtf8(entry));
}

} // namespace

frmMain::frmMain(const AppContext &context, QWidget *parent)
    : QWidget(parent)
    , m_context(context)
{
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QStringLiteral("Vantrel (H.264) by Brenmoor Ver 1.00"));
    ExposeAsWindow(this);
    setWindowIcon(AppIcon());
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                   | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint
                   | Qt::WindowCloseButtonHint);
    setFont(WindowFont());
    setFixedSize(Px(6240), Px(3870));
    buildControls();
    connectHandlers();
}

frmMain::~frmMain() = default;

FtpClient *frmMain::ftpComponent() const
{
    return m_upload->ftpComponent();
}

// ---------------------------------------------------------------------------
// The controls, as laid out in twips.

void frmMain::buildControls()
{
    SSTab1 = Place(new TabControl(this), "SSTab1", TwipsRect(120, 60, 6015, 2475));
    SSTab1->setAccessibleName(QStringLiteral("Pages"));
    buildSourcePage(SSTab1->addTab(QStringLiteral("Source Files")));
    buildOptionsPage(SSTab1->addTab(QStringLiteral("Encoding Options")));
    buildUploadPage(SSTab1->addTab(QStringLiteral("FTP Upload")));
    buildBottomRow();
    setKeyboardOrder();
    SSTab1->setCurrentIndex(0);
}

void frmMain::buildSourcePage(QWidget *page)
{
    Frame1 = MakeFrame(page, "Frame1", TwipsRect(120, 360, 5775, 1935));
    cmdInput = MakeButton(Frame1, "cmdInput", QStringLiteral("&Input File"),
                          TwipsRect(120, 300, 1530, 435));
    lblInput = MakeValueLabel(Frame1, "lblInput", QStringLiteral("Source file"),
                              TwipsRect(1800, 360, 3855, 315));
    cmdOutput = MakeButton(Frame1, "cmdOutput", QStringLiteral("&Output Folder"),
                           TwipsRect(120, 840, 1530, 435));
    lblOutput = MakeValueLabel(Frame1, "lblOutput", QStringLiteral("Output folder"),
                               TwipsRect(1800, 900, 3855, 315));
    lblOFN = MakeLabel(Frame1, "lblOFN", QStringLiteral("Output File Name:"),
                       TwipsRect(180, 1470, 1335, 255));
    txtFileTitle = MakeTextField(Frame1, "txtFileTitle", TwipsRect(1800, 1440, 3855, 315));
    lblOFN->setBuddy(txtFileTitle);
    // A file dropped anywhere on the page, the name field included, is the
    // source.
    txtFileTitle->setAcceptDrops(false);
    new FileDropTarget(page, m_context.dialogs,
                       [this](const QString &path) { TakeSourceFile(path); });
}

void frmMain::buildOptionsPage(QWidget *page)
{
    Frame2 = MakeFrame(page, "Frame2", TwipsRect(120, 360, 5775, 1935));
    cmbVideoWindow = MakeOptionRow(Frame2, 240, "lblVideoWindow", QStringLiteral("Video Window:"),
                                   1095, "cmbVideoWindow", "lblPixels", QStringLiteral("Pixels"),
                                   &lblVideoWindow, &lblPixels);
    cmbVideoBitrate = MakeOptionRow(
        Frame2, 660, "lblVideoBitrate", QStringLiteral("Video Bitrate:"), 1095, "cmbVideoBitrate",
        "lblVkbps", QStringLiteral("Kbps"), &lblVideoBitrate, &lblVkbps);
    cmbAudioBitrate = MakeOptionRow(
        Frame2, 1110, "lblAudioBitrate", QStringLiteral("Audio Bitrate:"), 1095, "cmbAudioBitrate",
        "lblAkbps", QStringLiteral("Kbps"), &lblAudioBitrate, &lblAkbps);
    cmbAudioSampling = MakeOptionRow(Frame2, 1530, "lblSamplingFrequency",
                                     QStringLiteral("Audio Samples:"), 1155, "cmbAudioSampling",
                                     "lblHz", QStringLiteral("Hz"), &lblSamplingFrequency, &lblHz);
}

void frmMain::buildUploadPage(QWidget *page)
{
    Frame4 = MakeFrame(page, "Frame4", TwipsRect(120, 360, 5775, 1995));
    lblSelectedFLVFile =
        MakeLabel(Frame4, "lblSelectedFLVFile", QStringLiteral("Selected FLV File:"),
                  TwipsRect(180, 270, 1335, 255));
    // The full path lies underneath; the name without its folder covers it.
    lblSelectedFile =
        MakeValueLabel(Frame4, "lblSelectedFile", QStringLiteral("Selected file path"),
                       TwipsRect(1560, 240, 4095, 315));
    lblSelectedFileTitle =
        MakeValueLabel(Frame4, "lblSelectedFileTitle", QStringLiteral("Selected file"),
                       TwipsRect(1560, 240, 4095, 315));
    lblSelectedFileTitle->raise();
    lblPercent = MakeLabel(Frame4, "lblPercent", QStringLiteral("Upload Status:"),
                           TwipsRect(180, 660, 1155, 255));
    prgUpload = Place(new QProgressBar(Frame4), "prgUpload", TwipsRect(1560, 660, 4095, 255));
    prgUpload->setRange(0, 100);
    prgUpload->setValue(0);
    prgUpload->setTextVisible(false);
    prgUpload->setAlignment(Qt::AlignCenter);
    prgUpload->setAccessibleName(QStringLiteral("Upload progress"));
    cmdUpload = MakeButton(Frame4, "cmdUpload", QStringLiteral("&Upload File"),
                           TwipsRect(1560, 1020, 1290, 435));
    cmdCancelUpload = MakeButton(Frame4, "cmdCancelUpload", QStringLiteral("&Cancel"),
                                 TwipsRect(2970, 1020, 1290, 435));
    cmdSettings = MakeButton(Frame4, "cmdSettings", QStringLiteral("&FTP Settings"),
                             TwipsRect(4380, 1020, 1290, 435));
    lblServerStatus =
        MakeLabel(Frame4, "lblServerStatus", QString(), TwipsRect(1560, 1620, 2715, 255));
    lblServerStatus->setAccessibleName(QStringLiteral("Server status"));
    ExposeValue(lblServerStatus);
    m_upload = new upload::UploadJob(m_context.settingsFolderOrApp(), *this, this);
    new FileDropTarget(page, m_context.dialogs,
                       [this](const QString &path) { UploadDroppedFile(path); });
}

void frmMain::buildBottomRow()
{
    cmdEncode = MakeBoldButton(this, "cmdEncode", QStringLiteral("&Encode Video"),
                               TwipsRect(120, 2640, 3615, 495));
    cmdAbout = MakeBoldButton(this, "cmdAbout", QStringLiteral("&About"),
                              TwipsRect(3840, 2640, 1095, 495));
    cmdExit =
        MakeBoldButton(this, "cmdExit", QStringLiteral("E&xit"), TwipsRect(5040, 2640, 1095, 495));
    lblBrenmoor = Place(new LinkLabel(QStringLiteral("Visit ") + MakerSiteWithoutScheme()
                                          + QStringLiteral(" for Flash Streaming Video and add "
                                                           "video to your websites"),
                                      this),
                        "lblBrenmoor", TwipsRect(60, 3540, 6135, 255));
    lblBrenmoor->setAlignment(Qt::AlignCenter);
    lblBrenmoor->setAccessibleDescription(QStringLiteral("Link to ") + MakerSite());

    // Holds the composed encoder line; never shown.
    txtApp = MakeTextField(this, "txtApp", TwipsRect(240, 360, 5235, 1215));
    txtApp->setAccessibleName(QStringLiteral("Encoder command line"));
    txtApp->hide();
}

// The tab control, then the controls that take focus in ascending tab index.
void frmMain::setKeyboardOrder()
{
    const QList<QWidget *> order = {
        SSTab1->tabBar(), cmdInput,    cmdOutput,       txtFileTitle, cmbVideoWindow,
        cmbVideoBitrate,  cmdEncode,   cmdAbout,        cmdExit,      cmbAudioBitrate,
        cmbAudioSampling, cmdSettings, cmdCancelUpload, cmdUpload};
    for (qsizetype i = 0; i + 1 < order.size(); ++i)
        QWidget::setTabOrder(order[i], order[i + 1]);
}

void frmMain::connectHandlers()
{
    connect(cmdExit, &QPushButton::clicked, this, &frmMain::cmdExit_Click);
    connect(cmdAbout, &QPushButton::clicked, this, &frmMain::cmdAbout_Click);
    connect(cmdSettings, &QPushButton::clicked, this, &frmMain::cmdSettings_Click);
    connect(lblBrenmoor, &LinkLabel::clicked, this, &frmMain::lblBrenmoor_Click);

    connect(cmbVideoWindow, &QComboBox::currentIndexChanged, this, &frmMain::cmbVideoWindow_Click);
    connect(cmbVideoBitrate, &QComboBox::currentIndexChanged, this,
            &frmMain::cmbVideoBitrate_Click);
    connect(cmbAudioSampling, &QComboBox::currentIndexChanged, this,
            &frmMain::cmbAudioSampling_Click);
    connect(cmbAudioBitrate, &QComboBox::currentIndexChanged, this,
            &frmMain::cmbAudioBitrate_Change);
    connect(cmdInput, &QPushButton::clicked, this, &frmMain::cmdInput_Click);
    connect(cmdOutput, &QPushButton::clicked, this, &frmMain::cmdOutput_Click);
    connect(cmdEncode, &QPushButton::clicked, this, &frmMain::cmdEncode_Click);
    m_encoding = new encoding::EncodingJob(m_context.appFolder, this);
    connect(m_encoding, &encoding::EncodingJob::finished, this, &frmMain::EncoderFinished);

    connect(cmdUpload, &QPushButton::clicked, this, &frmMain::cmdUpload_Click);
    connect(cmdCancelUpload, &QPushButton::clicked, this, &frmMain::cmdCancelUpload_Click);
    connectUploadDisplay();

    if (auto *app = qobject_cast<QGuiApplication *>(QCoreApplication::instance()))
        connect(app, &QGuiApplication::commitDataRequest, this, &frmMain::sessionEnding);
}

// What the upload job reports goes into the page's controls.
void frmMain::connectUploadDisplay()
{
    connect(m_upload, &upload::UploadJob::serverConnected, lblServerStatus,
            [this] { SetValue(lblServerStatus, QStringLiteral("Server Connected")); });
    connect(m_upload, &upload::UploadJob::progressed, this, &frmMain::ShowUploadProgress);
    connect(
        m_upload, &upload::UploadJob::retrying, lblServerStatus, [this](int attempt, int attempts) {
            SetValue(lblServerStatus,
                     QStringLiteral("Reconnecting, attempt %1 of %2").arg(attempt).arg(attempts));
        });
    connect(m_upload, &upload::UploadJob::resumed, lblServerStatus,
            [this] { SetValue(lblServerStatus, QStringLiteral("Server Connected")); });
    connect(m_upload, &upload::UploadJob::warning, this,
            [this](const QString &message) { ShowError(*m_context.dialogs, this, message); });
    connect(m_upload, &upload::UploadJob::finished, this, &frmMain::UploadFinished);
}

void frmMain::ShowUploadProgress(const upload::UploadProgress &progress)
{
    // The bar takes an int range: amounts beyond it are scaled down alike.
    const upload::ProgressBarRange bar = upload::ScaleProgressBar(progress.sent, progress.total);
    prgUpload->setMaximum(bar.maximum);
    prgUpload->setValue(bar.value);
    lblPercent->setText(QStringLiteral("Status: ")
                        + QString::number(upload::UploadPercent(progress.sent, progress.total))
                        + QLatin1Char('%'));
    if (progress.rateText)
        ShowBarText(FromUtf8(*progress.rateText));
}

void frmMain::ShowBarText(const QString &text)
{
    prgUpload->setFormat(text);
    prgUpload->setTextVisible(!text.isEmpty());
    // A screen reader gets the value from the bar, the rest from here.
    prgUpload->setAccessibleDescription(text);
}

void frmMain::UploadFinished(const upload::UploadOutcome &outcome)
{
    // How the file on the server was checked stands in the bar until the
    // display is reset.
    if (!outcome.checkedBy.isEmpty()) {
        ShowBarText(outcome.checkedBy == QLatin1String("size")
                        ? QStringLiteral("Checked by size")
                        : QStringLiteral("Checked by ") + outcome.checkedBy);
    }
    if (!outcome.message.isEmpty()) {
        if (outcome.isError) {
            ShowError(*m_context.dialogs, this, outcome.message);
        } else {
            ShowNotice(*m_context.dialogs, this, outcome.message);
            setFormPointerBusy(false);
        }
    }
    ResetUploadDisplay();
}

void frmMain::ResetUploadDisplay()
{
    ShowBarText(QString());
    prgUpload->setValue(0);
    lblPercent->setText(QStringLiteral("Status: "));
    SetValue(lblServerStatus, QStringLiteral(" "));
    setFormPointerBusy(false);
}

bool frmMain::TrustCertificate(const upload::ServerIdentity &certificate, bool changed)
{
    return AskQuestion(*m_context.dialogs, this,
                       UntrustedCertificateQuestion(FromUtf8(certificate.server),
                                                    FromUtf8(certificate.fingerprint), changed))
           == vbYes;
}

bool frmMain::AcceptHostKey(const upload::ServerIdentity &hostKey)
{
    return AskQuestion(*m_context.dialogs, this,
                       UnknownHostKeyQuestion(FromUtf8(hostKey.server), FromUtf8(hostKey.type),
                                              FromUtf8(hostKey.fingerprint)))
           == vbYes;
}

bool frmMain::AbortUpload()
{
    return AskQuestion(
               *m_context.dialogs, this,
               QStringLiteral("YOUR FILE IS UPLOADING TO THE SERVER. DO YOU WANT TO CANCEL?"))
           == vbYes;
}

void frmMain::setFormPointerBusy(bool busy)
{
    if (busy)
        setCursor(Qt::WaitCursor);
    else
        unsetCursor();
}

// ---------------------------------------------------------------------------
// Start-up and exit.

bool frmMain::Form_Load()
{
    try {
        if (m_context.anotherInstanceRunning && m_context.anotherInstanceRunning()) {
            ShowError(*m_context.dialogs, nullptr,
                      QStringLiteral("THIS SOFTWARE IS ALREADY OPEN!"));
            m_context.endApplication();
            return false;
        }
        StartUp();
        return true;
    } catch (const std::exception &error) {
        const Failure failure = FailureOf(error);
        ShowError(*m_context.dialogs, this,
                  StartupErrorMessage(failure.number(), FromUtf8(failure.description())));
    }
    m_context.endApplication();
    return false;
}

// The steps after the single-instance guard, in their order.
void frmMain::StartUp()
{
    if (const QScreen *screen = QGuiApplication::primaryScreen()) {
        QRect centred = rect();
        centred.moveCenter(screen->availableGeometry().center());
        move(centred.topLeft());
    }
    show();
    strEncoderOptions.clear();
    FillEncodingOptionLists();
    ftpComponent()->setStartupFlag(true);
    setFormPointerBusy(true);
    ShowSplash();
    setFormPointerBusy(false);
}

void frmMain::ShowSplash()
{
    if (!m_context.showSplash)
        return;
    // The splash deletes itself when its timer has ticked; the guarded
    // pointer is then empty again.
    QPointer<frmSplash> splash = new frmSplash(this);
    splash->setCursor(Qt::WaitCursor);
    splash->exec();
}

void frmMain::closeEvent(QCloseEvent *event)
{
    // During an encoding the window answers a close request once the run
    // has ended.
    if (m_encoding->isRunning()) {
        m_closeRequestedDuringRun = true;
        event->ignore();
        return;
    }
    bool cancel = false;
    Form_QueryUnload(cancel);
    if (cancel)
        event->ignore();
    else
        event->accept();
}

void frmMain::Form_QueryUnload(bool &cancel)
{
    if (AskQuestion(*m_context.dialogs, this, QStringLiteral("ARE YOU SURE?")) == vbYes) {
        m_context.endApplication();
        return;
    }
    cancel = true;
}

void frmMain::sessionEnding(QSessionManager &manager)
{
    if (!manager.allowsInteraction())
        return;
    bool cancel = false;
    Form_QueryUnload(cancel);
    if (cancel)
        manager.cancel();
    manager.release();
}

void frmMain::cmdExit_Click()
{
    close();
}

void frmMain::cmdAbout_Click()
{
    frmAbout about(m_context, this);
    about.exec();
}

void frmMain::cmdSettings_Click()
{
    frmSetttings settings(m_context, this);
    settings.exec();
}

void frmMain::lblBrenmoor_Click()
{
    m_context.dialogs->openUrl(QUrl(ReferralPage()));
}

// ---------------------------------------------------------------------------
// Encoding.

void frmMain::FillEncodingOptionLists()
{
    // Selecting the defaults may already rebuild the string; the build at the
    // end, with all four in place, decides it.
    AppendEntries(cmbVideoWindow, encoding::kVideoWindows);
    cmbVideoWindow->setCurrentIndex(encoding::kDefaultVideoWindow);
    AppendEntries(cmbVideoBitrate, encoding::kVideoBitrates);
    cmbVideoBitrate->setCurrentIndex(encoding::kDefaultVideoBitrate);
    AppendEntries(cmbAudioSampling, encoding::kAudioSamplings);
    cmbAudioSampling->setCurrentIndex(encoding::kDefaultAudioSampling);
    AppendEntries(cmbAudioBitrate, encoding::kAudioBitrates);
    cmbAudioBitrate->setCurrentIndex(encoding::kDefaultAudioBitrate);
    BuildEncoderOptions();
}

void frmMain::BuildEncoderOptions()
{
    strEncoderOptions = FromUtf8(encoding::BuildEncoderOptions(
        ToUtf8(cmbAudioBitrate->currentText()), ToUtf8(cmbAudioSampling->currentText()),
        ToUtf8(cmbVideoBitrate->currentText()), ToUtf8(cmbVideoWindow->currentText())));
}

void frmMain::cmbVideoWindow_Click()
{
    BuildEncoderOptions();
}

void frmMain::cmbVideoBitrate_Click()
{
    BuildEncoderOptions();
}

void frmMain::cmbAudioSampling_Click()
{
    BuildEncoderOptions();
}

void frmMain::cmbAudioBitrate_Change()
{
    BuildEncoderOptions();
}

void frmMain::cmdInput_Click()
{
    OpenFileRequest request;
    request.title = QStringLiteral("Open Video File to Encode");
    request.filter = QStringLiteral("Video Files |*.mpg;*.mpeg;*.mpv;*.mps;*.m2v;*.m1v;*.3gp;"
                                    "*.avi;*.wmv;*.flv;*.mov;*.mp4");
    request.flags = cdlOFNFileMustExist | cdlOFNHideReadOnly;
    request.fileName = m_commonDialogFileName;
    const std::optional<QString> chosen = m_context.dialogs->openFile(this, request);
    if (!chosen)
        return;
    TakeSourceFile(*chosen);
}

// The source file chosen in the dialog or dropped on the page, with the
// output name proposed for it.
void frmMain::TakeSourceFile(const QString &path)
{
    m_commonDialogFileName = path;
    SetValue(lblInput, QDir::toNativeSeparators(path));
    const QString title = QFileInfo(path).fileName();
    txtFileTitle->setText(title);
    if (const auto proposal = encoding::ProposeOutputName(ToUtf8(title)))
        txtFileTitle->setText(FromUtf8(*proposal));
}

void frmMain::cmdOutput_Click()
{
    const QString folder = mdlMain::BrowseForFolder(*m_context.dialogs, this,
                                                    QStringLiteral("Select Your Output Folder"));
    SetValue(lblOutput, FromUtf8(encoding::WithTrailingSeparator(ToUtf8(folder), kSeparator)));
}

encoding::EncodeJob frmMain::currentJob() const
{
    return {ToUtf8(m_context.appFolder), ToUtf8(lblInput->text()), ToUtf8(strEncoderOptions),
            ToUtf8(lblOutput->text()), ToUtf8(txtFileTitle->text())};
}

void frmMain::Refuse(const encoding::Refusal &refusal)
{
    ShowError(*m_context.dialogs, this, FromUtf8(refusal.message));
    switch (refusal.focus) {
    case encoding::ChoiceControl::InputButton:
        return cmdInput->setFocus();
    case encoding::ChoiceControl::OutputButton:
        return cmdOutput->setFocus();
    case encoding::ChoiceControl::FileTitle:
        return txtFileTitle->setFocus();
    }
}

void frmMain::cmdEncode_Click()
{
    const encoding::EncodeJob job = currentJob();
    if (const auto refusal = encoding::CheckChoices(job))
        return Refuse(*refusal);
    if (const auto refusal = encoding::CheckOutputIsNotSource(job))
        return Refuse(*refusal);
    if (encoding::FinalOutputExists(job)
        && AskQuestion(*m_context.dialogs, this,
                       QStringLiteral("THE OUTPUT FILE ALREADY EXISTS. DO YOU WANT TO REPLACE IT?"))
               != vbYes)
        return;

    cmdEncode->setEnabled(false);
    txtApp->setText(FromUtf8(encoding::ComposeEncoderLine(job, kSeparator)));
    RunEncoder();
}

// Starts the line in the hidden command box in the encoder's window, which
// keeps the main window from input until the run has ended
// (EncoderFinished).
void frmMain::RunEncoder()
{
    if (txtApp->text().trimmed().isEmpty()) {
        cmdEncode->setEnabled(true);
        return;
    }
    m_encoderWindow = new EncoderWindow(this);
    m_encoderWindow->setAttribute(Qt::WA_DeleteOnClose);
    connect(m_encoding, &encoding::EncodingJob::programStarted, m_encoderWindow,
            &EncoderWindow::showRunOf);
    connect(m_encoding, &encoding::EncodingJob::outputLine, m_encoderWindow,
            &EncoderWindow::appendLine);
    connect(m_encoding, &encoding::EncodingJob::progressed, m_encoderWindow,
            &EncoderWindow::showProgress);
    connect(m_encoderWindow, &EncoderWindow::stopRequested, m_encoding,
            &encoding::EncodingJob::stop);
    m_encoding->start(txtApp->text(), currentJob());
}

void frmMain::EncoderFinished(const encoding::EncodeOutcome &outcome)
{
    if (m_encoderWindow) {
        m_encoderWindow->showEnded();
        m_encoderWindow->close();
        m_encoderWindow = nullptr;
    }
    if (outcome.kind == encoding::EncodeOutcome::Kind::Encoded)
        m_lastEncodedFile = FromUtf8(encoding::FinalOutputPath(m_encoding->job()));
    const encoding::OutcomeReport report = encoding::ReportFor(outcome);
    if (report.isError)
        ShowError(*m_context.dialogs, this, report.text);
    else
        ShowNotice(*m_context.dialogs, this, report.text);
    cmdEncode->setEnabled(true);
    AnswerHeldCloseRequest();
}

// A close request held during the run is answered now.
void frmMain::AnswerHeldCloseRequest()
{
    if (!m_closeRequestedDuringRun)
        return;
    m_closeRequestedDuringRun = false;
    QTimer::singleShot(0, this, &QWidget::close);
}

// ---------------------------------------------------------------------------
// Upload.

void frmMain::cmdUpload_Click()
{
    // The transfer under way goes on; a second one would tear down its
    // connection.
    if (m_upload->isRunning()) {
        ShowError(*m_context.dialogs, this, QStringLiteral("A FILE IS ALREADY BEING UPLOADED!"));
        return;
    }
    if (lblSelectedFileTitle->text().isEmpty() && !ChooseUploadFile())
        return;
    setFormPointerBusy(true);
    RunUpload();
}

// The first upload's choice of a file and its question; false when the
// user cancelled the dialog or answered No.
bool frmMain::ChooseUploadFile()
{
    m_commonDialogFileName.clear();
    OpenFileRequest request;
    // The new MP4 of the last encoding is one click away.
    request.fileName = m_lastEncodedFile;
    request.title = QStringLiteral("Select a FLV File to upload");
    // The MP4 entry lets the program's own output be uploaded.
    request.filter =
        QStringLiteral("Flash Live Video file (*.flv)|*.flv|MP4 Video file (*.mp4)|*.mp4");
    request.flags = cdlOFNFileMustExist | cdlOFNHideReadOnly;
    const std::optional<QString> chosen = m_context.dialogs->openFile(this, request);
    if (!chosen)
        return false;
    return TakeUploadFile(*chosen);
}

// The file to upload, chosen in the dialog or dropped on the page, and its
// question; false when the user answered No.
bool frmMain::TakeUploadFile(const QString &path)
{
    m_commonDialogFileName = path;
    SetValue(lblSelectedFile, path);
    SetValue(lblSelectedFileTitle, QFileInfo(path).fileName());
    return AskQuestion(*m_context.dialogs, this, QStringLiteral("DO YOU WANT TO UPLOAD THIS FILE?"))
           == vbYes;
}

// A file dropped on the page replaces the selected one; its question and
// upload follow as after the first click's dialog.
void frmMain::UploadDroppedFile(const QString &path)
{
    if (m_upload->isRunning()) {
        ShowError(*m_context.dialogs, this, QStringLiteral("A FILE IS ALREADY BEING UPLOADED!"));
        return;
    }
    if (!TakeUploadFile(path))
        return;
    setFormPointerBusy(true);
    RunUpload();
}

void frmMain::RunUpload()
{
    m_upload->start({lblSelectedFile->text(), lblSelectedFileTitle->text(), {}, {}, {}, {}});
}

void frmMain::cmdCancelUpload_Click()
{
    m_upload->requestCancel();
}

} // namespace vantrel
