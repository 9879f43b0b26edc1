#include "shell/frmmain.h"

#include "common/failure.h"
#include "common/messages.h"
#include "platform/userdialogs.h"
#include "settings/frmsetttings.h"
#include "shell/frmabout.h"
#include "shell/frmsplash.h"
#include "shell/linklabel.h"
#include "shell/pictures.h"
#include "shell/referral.h"
#include "shell/tabcontrol.h"
#include "shell/twips.h"
#include "shell/windowlook.h"
#include "upload/ftpclient.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QSessionManager>

#include <new>

namespace vantrel {

namespace {

QLabel *MakeLabel(QWidget *parent, const char *name, const QString &caption, QRect place)
{
    return Place(new QLabel(caption, parent), name, place);
}

// A label with a single-line border that shows a value; screen readers get
// its purpose as its name.
QLabel *MakeValueLabel(QWidget *parent, const char *name, const QString &accessibleName,
                       QRect place)
{
    auto *label = Place(new QLabel(parent), name, place);
    label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    label->setLineWidth(1);
    label->setAutoFillBackground(true);
    label->setAccessibleName(accessibleName);
    label->setTextFormat(Qt::PlainText);
    return label;
}

QPushButton *MakeButton(QWidget *parent, const char *name, const QString &caption, QRect place)
{
    auto *button = Place(new QPushButton(caption, parent), name, place);
    button->setAutoDefault(false);
    return button;
}

QFrame *MakeFrame(QWidget *page, const char *name, int height)
{
    auto *frame = Place(new QFrame(page), name, TwipsRect(120, 360, 5775, height));
    frame->setFrameStyle(QFrame::Box | QFrame::Sunken);
    return frame;
}

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

} // namespace

frmMain::frmMain(const AppContext &context, QWidget *parent)
    : QWidget(parent)
    , m_context(context)
{
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QStringLiteral("Vantrel (H.264) by Brenmoor Ver 1.00"));
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

void frmMain::buildControls()
{
    SSTab1 = Place(new TabControl(this), "SSTab1", TwipsRect(120, 60, 6015, 2475));
    SSTab1->setAccessibleName(QStringLiteral("Pages"));
    QWidget *sourcePage = SSTab1->addTab(QStringLiteral("Source Files"));
    QWidget *optionsPage = SSTab1->addTab(QStringLiteral("Encoding Options"));
    QWidget *uploadPage = SSTab1->addTab(QStringLiteral("FTP Upload"));

    // "Source Files".
    Frame1 = MakeFrame(sourcePage, "Frame1", 1935);
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
    txtFileTitle = Place(new QLineEdit(Frame1), "txtFileTitle", TwipsRect(1800, 1440, 3855, 315));
    lblOFN->setBuddy(txtFileTitle);

    // "Encoding Options".
    Frame2 = MakeFrame(optionsPage, "Frame2", 1935);
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

    // "FTP Upload".
    Frame4 = MakeFrame(uploadPage, "Frame4", 1995);
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
    FTP = new FtpClient(this);
    FTP->setObjectName(QStringLiteral("FTP"));

    // The bottom row and the link.
    cmdEncode = MakeButton(this, "cmdEncode", QStringLiteral("&Encode Video"),
                           TwipsRect(120, 2640, 3615, 495));
    cmdAbout =
        MakeButton(this, "cmdAbout", QStringLiteral("&About"), TwipsRect(3840, 2640, 1095, 495));
    cmdExit =
        MakeButton(this, "cmdExit", QStringLiteral("E&xit"), TwipsRect(5040, 2640, 1095, 495));
    for (QPushButton *button : {cmdEncode, cmdAbout, cmdExit})
        button->setFont(BoldButtonFont());
    lblBrenmoor = Place(new LinkLabel(QStringLiteral("Visit ") + MakerSiteWithoutScheme()
                                          + QStringLiteral(" for Flash Streaming Video and add "
                                                           "video to your websites"),
                                      this),
                        "lblBrenmoor", TwipsRect(60, 3540, 6135, 255));
    lblBrenmoor->setAlignment(Qt::AlignCenter);
    lblBrenmoor->setAccessibleDescription(QStringLiteral("Link to ") + MakerSite());

    // Holds the composed encoder line; never shown.
    txtApp = Place(new QLineEdit(this), "txtApp", TwipsRect(240, 360, 5235, 1215));
    txtApp->setAccessibleName(QStringLiteral("Encoder command line"));
    txtApp->hide();

    // Keyboard order: the tab control, then the controls that take focus in
    // ascending tab index.
    const QList<QWidget *> order = {
        SSTab1->tabBar(), cmdInput,    cmdOutput,       txtFileTitle, cmbVideoWindow,
        cmbVideoBitrate,  cmdEncode,   cmdAbout,        cmdExit,      cmbAudioBitrate,
        cmbAudioSampling, cmdSettings, cmdCancelUpload, cmdUpload};
    for (qsizetype i = 0; i + 1 < order.size(); ++i)
        setTabOrder(order[i], order[i + 1]);
    SSTab1->setCurrentIndex(0);
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

    connect(cmdUpload, &QPushButton::clicked, this, &frmMain::cmdUpload_Click);
    connect(cmdCancelUpload, &QPushButton::clicked, this, &frmMain::cmdCancelUpload_Click);
    connect(FTP, &FtpClient::TransferProgress, this,
            [this](const QString &, const QString &, std::int32_t, std::int64_t sent,
                   std::int64_t total,
                   bool *cancel) { FTP_TransferProgress(sent, total, cancel); });
    connect(FTP, &FtpClient::TransferComplete, this,
            [this](const QString &, const QString &, std::int32_t) { FTP_TransferComplete(); });

    if (auto *app = qobject_cast<QGuiApplication *>(QCoreApplication::instance())) {
        connect(app, &QGuiApplication::commitDataRequest, this, &frmMain::sessionEnding);
    }
}

bool frmMain::Form_Load()
{
    try {
        if (m_context.anotherInstanceRunning && m_context.anotherInstanceRunning()) {
            ShowError(*m_context.dialogs, nullptr,
                      QStringLiteral("THIS SOFTWARE IS ALREADY OPEN!"));
            m_context.endApplication();
            return false;
        }
        if (const QScreen *screen = QGuiApplication::primaryScreen()) {
            QRect centred = rect();
            centred.moveCenter(screen->availableGeometry().center());
            move(centred.topLeft());
        }
        show();
        strEncoderOptions.clear();
        FillEncodingOptionLists();
        FTP->setStartupFlag(true);
        setFormPointerBusy(true);
        ShowSplash();
        setFormPointerBusy(false);
        return true;
    } catch (const Failure &failure) {
        ShowError(
            *m_context.dialogs, this,
            StartupErrorMessage(failure.number(), QString::fromStdString(failure.description())));
    } catch (const std::bad_alloc &) {
        ShowError(*m_context.dialogs, this,
                  StartupErrorMessage(7, QStringLiteral("Out of memory")));
    } catch (const std::exception &error) {
        ShowError(*m_context.dialogs, this,
                  StartupErrorMessage(51, QString::fromLocal8Bit(error.what())));
    }
    m_context.endApplication();
    return false;
}

void frmMain::setFormPointerBusy(bool busy)
{
    if (busy)
        setCursor(Qt::WaitCursor);
    else
        unsetCursor();
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
    if (m_encoderRunning) {
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

} // namespace vantrel
