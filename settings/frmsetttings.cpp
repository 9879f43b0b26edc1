#include "settings/frmsetttings.h"

#include "common/failure.h"
#include "common/messages.h"
#include "platform/userdialogs.h"
#include "settings/settingsfile.h"
#include "shell/pictures.h"
#include "shell/twips.h"
#include "shell/windowlook.h"

#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <exception>
#include <limits>

namespace vantrel {

namespace {

// A caption label and the text field it names.
QLineEdit *MakeField(QWidget *frame, const char *labelName, const QString &caption,
                     QRect labelPlace, const char *fieldName, QRect fieldPlace, QLabel **label)
{
    *label = Place(new QLabel(caption, frame), labelName, labelPlace);
    (*label)->setTextFormat(Qt::PlainText);
    auto *field = Place(new QLineEdit(frame), fieldName, fieldPlace);
    // No length limit of its own: values that the file cannot carry are
    // refused when saving.
    field->setMaxLength(std::numeric_limits<int>::max());
    (*label)->setBuddy(field);
    return field;
}

QPushButton *MakeButton(QWidget *parent, const char *name, const QString &caption, QRect place)
{
    auto *button = Place(new QPushButton(caption, parent), name, place);
    button->setFont(BoldButtonFont());
    // Enter does not press a button of this window.
    button->setAutoDefault(false);
    button->setDefault(false);
    return button;
}

// UTF-8 of a field's text. A lone surrogate becomes U+FFFD, which the
// settings file cannot carry, so it is refused rather than changed silently.
std::string Utf8Of(const QLineEdit *field)
{
    QString text = field->text();
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate())
            ++i;
        else if (c.isSurrogate())
            text[i] = QChar::ReplacementCharacter;
    }
    return text.toStdString();
}

QString DescriptionOf(const std::exception &error)
{
    if (const auto *failure = dynamic_cast<const Failure *>(&error))
        return QString::fromStdString(failure->description());
    return QString::fromLocal8Bit(error.what());
}

} // namespace

frmSetttings::frmSetttings(const AppContext &context, QWidget *mainWindow)
    : QDialog(mainWindow)
    , m_context(context)
{
    setObjectName(QStringLiteral("frmSetttings"));
    setWindowTitle(QStringLiteral("FTP Settings - Brenmoor"));
    setWindowIcon(AppIcon());
    // A fixed border and no maximize button.
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint
                   | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setFont(WindowFont());
    setFixedSize(Px(4905), Px(2625));
    buildControls();

    connect(cmdSaveSettings, &QPushButton::clicked, this, &frmSetttings::cmdSaveSettings_Click);
    connect(cmdExit, &QPushButton::clicked, this, &frmSetttings::cmdExit_Click);

    CentreOverMainWindow(this, mainWindow);
    Form_Load();
}

frmSetttings::~frmSetttings() = default;

void frmSetttings::buildControls()
{
    Frame1 = Place(new QFrame(this), "Frame1", TwipsRect(120, 0, 4695, 1935));
    Frame1->setFrameStyle(QFrame::Box | QFrame::Sunken);
    Frame1->setAccessibleName(QStringLiteral("FTP connection"));

    txtFTPAddress = MakeField(Frame1, "lblFtpAddress", QStringLiteral("FTP Address:"),
                              TwipsRect(180, 270, 975, 255), "txtFTPAddress",
                              TwipsRect(1560, 240, 3015, 315), &lblFtpAddress);
    txtUserName =
        MakeField(Frame1, "lblUsername", QStringLiteral("Username:"), TwipsRect(180, 690, 795, 255),
                  "txtUserName", TwipsRect(1560, 660, 2475, 315), &lblUsername);
    txtPassword = MakeField(Frame1, "lblPassword", QStringLiteral("Password:"),
                            TwipsRect(180, 1110, 855, 255), "txtPassword",
                            TwipsRect(1560, 1080, 2475, 315), &lblPassword);
    txtServerFolder = MakeField(Frame1, "lblServerFolder", QStringLiteral("Server Folder:"),
                                TwipsRect(180, 1530, 1095, 255), "txtServerFolder",
                                TwipsRect(1560, 1500, 2475, 315), &lblServerFolder);

    cmdSaveSettings = MakeButton(this, "cmdSaveSettings", QStringLiteral("&Save FTP Settings"),
                                 TwipsRect(120, 2040, 3495, 495));
    cmdExit =
        MakeButton(this, "cmdExit", QStringLiteral("E&xit"), TwipsRect(3720, 2040, 1095, 495));

    setTabOrder(txtFTPAddress, txtUserName);
    setTabOrder(txtUserName, txtPassword);
    setTabOrder(txtPassword, txtServerFolder);
    setTabOrder(txtServerFolder, cmdSaveSettings);
    setTabOrder(cmdSaveSettings, cmdExit);
    txtFTPAddress->setFocus();
}

std::filesystem::path frmSetttings::settingsFile() const
{
    return settings::SettingsFilePath(std::filesystem::path(m_context.appFolder.toStdU16String()));
}

QWidget *frmSetttings::messageParent()
{
    if (isVisible() || !parentWidget())
        return this;
    return parentWidget();
}

void frmSetttings::Form_Load()
{
    LoadSettings();
}

void frmSetttings::LoadSettings()
{
    settings::FtpSettings values;
    try {
        settings::ReadSettingsFile(settingsFile(), values);
    } catch (const std::exception &error) {
        // No file yet: the fields stay empty, as before the first save. A file
        // that exists but cannot be read is reported; the fields stay empty
        // and a save writes a new file.
        const auto *failure = dynamic_cast<const Failure *>(&error);
        if (!failure || failure->number() != 53) {
            ShowError(*m_context.dialogs, messageParent(),
                      WithReason(QStringLiteral("YOUR SETTINGS COULD NOT BE READ!"),
                                 DescriptionOf(error)));
        }
        return;
    }
    txtFTPAddress->setText(QString::fromStdString(values.address));
    txtUserName->setText(QString::fromStdString(values.userName));
    txtPassword->setText(QString::fromStdString(values.password));
    txtServerFolder->setText(QString::fromStdString(values.serverFolder));
}

void frmSetttings::cmdSaveSettings_Click()
{
    const struct
    {
        QLineEdit *field;
        const char *message;
    } required[] = {{txtFTPAddress, "FTP ADDRESS IS BLANK!"},
                    {txtUserName, "FTP USERNAME IS BLANK!"},
                    {txtPassword, "FTP PASSWORD IS BLANK!"}};
    for (const auto &check : required) {
        if (check.field->text().isEmpty()) {
            ShowError(*m_context.dialogs, this, QString::fromLatin1(check.message));
            check.field->setFocus();
            return;
        }
    }

    // A value that the file cannot carry is refused before anything is
    // written, so the file keeps its previous content.
    const settings::FtpSettings values{Utf8Of(txtFTPAddress), Utf8Of(txtUserName),
                                       Utf8Of(txtPassword), Utf8Of(txtServerFolder)};
    if (const auto problem = settings::FindStorageProblem(values)) {
        const struct
        {
            QLineEdit *field;
            const char *name;
        } fields[] = {{txtFTPAddress, "FTP ADDRESS"},
                      {txtUserName, "FTP USERNAME"},
                      {txtPassword, "FTP PASSWORD"},
                      {txtServerFolder, "SERVER FOLDER"}};
        const auto &which = fields[static_cast<int>(problem->field)];
        const char *const what = problem->kind == settings::StorageProblem::Kind::TooLong
                                     ? " IS TOO LONG!"
                                     : " CONTAINS A CHARACTER THAT CANNOT BE SAVED!";
        ShowError(*m_context.dialogs, this,
                  QString::fromLatin1(which.name) + QString::fromLatin1(what));
        which.field->setFocus();
        return;
    }

    SaveSettings();
}

void frmSetttings::SaveSettings()
{
    const settings::FtpSettings values{Utf8Of(txtFTPAddress), Utf8Of(txtUserName),
                                       Utf8Of(txtPassword), Utf8Of(txtServerFolder)};
    try {
        settings::WriteSettingsFile(settingsFile(), values);
    } catch (const std::exception &error) {
        // The file keeps its previous content.
        ShowError(
            *m_context.dialogs, this,
            WithReason(QStringLiteral("YOUR SETTINGS COULD NOT BE SAVED!"), DescriptionOf(error)));
        return;
    }
    ShowNotice(*m_context.dialogs, this, QStringLiteral("YOUR SETTINGS ARE SUCCESSFULLY SAVED!"));
}

void frmSetttings::cmdExit_Click()
{
    // Unsaved edits are dropped without a question.
    QDialog::reject();
}

void frmSetttings::reject()
{
    cmdExit_Click();
}

} // namespace vantrel
