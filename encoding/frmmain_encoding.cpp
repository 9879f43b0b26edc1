// The main window's encoding handlers: option lists, source and destination,
// and the encoder run.

#include "shell/frmmain.h"

#include "common/browseforfolder.h"
#include "common/cmdline.h"
#include "common/messages.h"
#include "encoding/choices.h"
#include "encoding/commandlines.h"
#include "encoding/encoderoptions.h"
#include "encoding/encoderwindow.h"
#include "platform/appfolder.h"
#include "platform/userdialogs.h"

#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include <filesystem>
#include <system_error>

namespace vantrel {

namespace {

constexpr char kSeparator = platform::kPathSeparator;

template<std::size_t N>
void AppendEntries(QComboBox *list, const std::array<std::string_view, N> &entries)
{
    for (std::string_view entry : entries)
        list->addItem(QString::fromUtf8(entry.data(), qsizetype(entry.size())));
}

std::string Utf8(const QString &text)
{
    return text.toStdString();
}

std::filesystem::path FsPath(const QString &path)
{
    return std::filesystem::path(path.toStdU16String());
}

// True when both paths name the same file on disk (through links and case
// folding, as the file system sees it).
bool SameFile(const QString &a, const QString &b)
{
    std::error_code ec;
    return std::filesystem::equivalent(FsPath(a), FsPath(b), ec) && !ec;
}

// The program's path as it stands at the start of a composed line, and the
// file to start for it.
QString ProgramInLine(const QString &appFolder, const char *name)
{
    return QString::fromStdString(encoding::ProgramPath(Utf8(appFolder), name, kSeparator));
}

QString ExecutableFor(const QString &programInLine)
{
#ifdef _WIN32
    return programInLine + QStringLiteral(".exe");
#else
    return programInLine;
#endif
}

QStringList ToQStringList(const std::vector<std::string> &items)
{
    QStringList list;
    for (const std::string &item : items)
        list << QString::fromStdString(item);
    return list;
}

} // namespace

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
    strEncoderOptions = QString::fromStdString(encoding::BuildEncoderOptions(
        Utf8(cmbAudioBitrate->currentText()), Utf8(cmbAudioSampling->currentText()),
        Utf8(cmbVideoBitrate->currentText()), Utf8(cmbVideoWindow->currentText())));
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
    m_commonDialogFileName = *chosen;
    lblInput->setText(QDir::toNativeSeparators(*chosen));
    const QString title = QFileInfo(*chosen).fileName();
    txtFileTitle->setText(title);
    if (const auto proposal = encoding::ProposeOutputName(Utf8(title)))
        txtFileTitle->setText(QString::fromStdString(*proposal));
}

void frmMain::cmdOutput_Click()
{
    const QString folder = mdlMain::BrowseForFolder(*m_context.dialogs, this,
                                                    QStringLiteral("Select Your Output Folder"));
    lblOutput->setText(
        QString::fromStdString(encoding::WithTrailingSeparator(Utf8(folder), kSeparator)));
}

encoding::EncodeJob frmMain::currentJob() const
{
    return {Utf8(m_context.appFolder), Utf8(lblInput->text()), Utf8(strEncoderOptions),
            Utf8(lblOutput->text()), Utf8(txtFileTitle->text())};
}

void frmMain::cmdEncode_Click()
{
    UserDialogs &dialogs = *m_context.dialogs;
    const auto refuse = [&](const QString &message, QWidget *focus) {
        ShowError(dialogs, this, message);
        focus->setFocus();
    };
    if (lblInput->text().isEmpty())
        return refuse(QStringLiteral("NO FILE TO ENCODE!"), cmdInput);
    if (lblOutput->text().isEmpty())
        return refuse(QStringLiteral("OUTPUT FOLDER MISSING!"), cmdOutput);
    if (txtFileTitle->text().isEmpty())
        return refuse(QStringLiteral("OUTPUT FILE NAME MISSING!"), txtFileTitle);
    if (!encoding::HasMp4Ending(Utf8(txtFileTitle->text())))
        return refuse(QStringLiteral("INVALID OUTPUT FILE NAME! MUST BE A .Mp4 FILE."),
                      txtFileTitle);

    // A quotation mark would end a quoted path inside the command line.
    const QString quoteMessage = QStringLiteral("THE FILE PATH CANNOT CONTAIN A QUOTATION MARK!");
    if (encoding::ContainsQuotationMark(Utf8(lblInput->text())))
        return refuse(quoteMessage, cmdInput);
    if (encoding::ContainsQuotationMark(Utf8(lblOutput->text())))
        return refuse(quoteMessage, cmdOutput);
    if (encoding::ContainsQuotationMark(Utf8(txtFileTitle->text())))
        return refuse(quoteMessage, txtFileTitle);

    // The encoder truncates its output and the repair program replaces the
    // final file: neither may be the source.
    const encoding::EncodeJob job = currentJob();
    const QString finalPath = QString::fromStdString(encoding::FinalOutputPath(job));
    const QString tempPath = QString::fromStdString(encoding::TemporaryOutputPath(job));
    if (SameFile(finalPath, lblInput->text()) || SameFile(tempPath, lblInput->text()))
        return refuse(QStringLiteral("THE OUTPUT FILE CANNOT REPLACE THE SOURCE FILE!"),
                      txtFileTitle);
    if (QFileInfo::exists(finalPath)
        && AskQuestion(dialogs, this,
                       QStringLiteral("THE OUTPUT FILE ALREADY EXISTS. DO YOU WANT TO REPLACE IT?"))
               != vbYes) {
        return;
    }

    cmdEncode->setEnabled(false);
    txtApp->setText(QString::fromStdString(encoding::ComposeEncoderLine(job, kSeparator)));
    RunEncoder();
    cmdEncode->setEnabled(true);
}

void frmMain::RunEncoder()
{
    const QString line = txtApp->text();
    if (line.trimmed().isEmpty())
        return;

    m_encoderRunning = true;
    const QString encoder = ProgramInLine(m_context.appFolder, encoding::kEncoderName);
    const auto start = ProgramStartFromLine(Utf8(line), Utf8(encoder));
    EncoderWindow window(this);
    ProcessOutcome outcome;
    if (start)
        outcome = window.run(ExecutableFor(encoder), ToQStringList(start->arguments));

    if (!start || outcome.kind == ProcessOutcome::Kind::FailedToStart) {
        window.hide();
        ShowError(
            *m_context.dialogs, this,
            WithReason(QStringLiteral("THE ENCODER COULD NOT BE STARTED!"), outcome.startError));
    } else if (outcome.kind != ProcessOutcome::Kind::Finished || outcome.exitCode != 0) {
        window.hide();
        ShowError(*m_context.dialogs, this,
                  QStringLiteral("THE ENCODING FAILED DUE TO A DAMAGED VIDEO FILE!"));
    } else {
        RunRepair(window);
    }

    m_encoderRunning = false;
    if (m_closeRequestedDuringRun) {
        m_closeRequestedDuringRun = false;
        QTimer::singleShot(0, this, &QWidget::close);
    }
}

void frmMain::RunRepair(EncoderWindow &window)
{
    const encoding::EncodeJob job = currentJob();
    const QString repair = ProgramInLine(m_context.appFolder, encoding::kRepairName);
    const auto start =
        ProgramStartFromLine(encoding::ComposeRepairLine(job, kSeparator), Utf8(repair));
    const ProcessOutcome outcome =
        window.run(ExecutableFor(repair), ToQStringList(start->arguments));
    window.hide();
    if (outcome.kind == ProcessOutcome::Kind::FailedToStart) {
        ShowError(*m_context.dialogs, this,
                  WithReason(QStringLiteral("THE REPAIR PROGRAM COULD NOT BE STARTED!"),
                             outcome.startError));
        return;
    }
    const bool finished =
        outcome.kind == ProcessOutcome::Kind::Finished && outcome.exitCode == 0
        && QFileInfo::exists(QString::fromStdString(encoding::FinalOutputPath(job)));
    if (finished)
        ShowNotice(*m_context.dialogs, this, QStringLiteral("FLV ENCODED!"));
    else
        ShowError(*m_context.dialogs, this,
                  QStringLiteral("THE ENCODED FILE COULD NOT BE FINISHED!"));
}

} // namespace vantrel
