#include "settings/frmsetttings.h"

#include "common/messages.h"
#include "common/qtbridge.h"
#include "platform/userdialogs.h"
#include "settings/settingsfile.h"
#include "ui/controls.h"
#include "ui/pictures.h"
#include "ui/twips.h"
#include "ui/windowlook.h"

#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <limits>
#include <optional>
#include <string>
#include <string_view>

namespace vantrel {

namespace {

// A caption label and the text field it names.
QLineEdit *MakeField(QWidget *frame, const char *labelName, const QString &caption,
                     QRect labelPlace, const char *fieldName, QRect fieldPlace, QLabel **label)
{
    *label = MakeLabel(frame, labelName, caption, labelPlace);
    QLineEdit *field = MakeTextField(frame, fieldName, fieldPlace);
    // No length limit of its own: values that the file cannot carry are
    // refused when saving.
    field->setMaxLength(std::numeric_limits<int>::max());
    (*label)->setBuddy(field);
    return field;
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
    Frame1 = MakeFrame(this, "Frame1", TwipsRect(120, 0, 4695, 1935));
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

    cmdSaveSettings = MakeBoldButton(this, "cmdSaveSettings", QStringLiteral("&Save FTP Settings"),
                                     TwipsRect(120, 2040, 3495, 495));
    cmdExit =
        MakeBoldButton(this, "cmdExit", QStringLiteral("E&xit"), TwipsRect(3720, 2040, 1095, 495));

    setTabOrder(txtFTPAddress, txtUserName);
    setTabOrder(txtUserName, txtPassword);
    setTabOrder(txtPassword, txtServerFolder);
    setTabOrder(txtServerFolder, cmdSaveSettings);
    setTabOrder(cmdSaveSettings, cmdExit);
    txtFTPAddress->setFocus();
}

std::filesystem::path frmSetttings::settingsFile() const
{
    return settings::SettingsFilePath(ToPath(m_context.settingsFolderOrApp()));
}

std::array<QLineEdit *, 4> frmSetttings::fields() const
{
    return {txtFTPAddress, txtUserName, txtPassword, txtServerFolder};
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
    const settings::SettingsResult result = settings::ReadSettingsFile(settingsFile(), values);
    // No file yet: the fields stay empty, as before the first save. A file
    // that exists but cannot be read is reported; the fields stay empty and
    // a save writes a new file.
    if (result.kind == settings::SettingsResult::Kind::NotFound)
        return;
    if (!result.ok()) {
        ShowError(*m_context.dialogs, messageParent(),
                  WithReason(QStringLiteral("YOUR SETTINGS COULD NOT BE READ!"),
                             FromUtf8(result.failure().description())));
        return;
    }
    const auto controls = fields();
    for (std::size_t i = 0; i < settings::kFieldCount; ++i)
        controls[i]->setText(FromUtf8(values.*settings::kFields[i].member));
}

void frmSetttings::cmdSaveSettings_Click()
{
    // A refused value writes nothing, so the file keeps its previous content.
    if (RefuseBlankValue() || RefuseUnstorableValue())
        return;
    SaveSettings();
}

// The three values a connection needs, checked in their order.
bool frmSetttings::RefuseBlankValue()
{
    using settings::SettingsField;
    for (SettingsField field :
         {SettingsField::Address, SettingsField::UserName, SettingsField::Password}) {
        QLineEdit *control = fields()[static_cast<std::size_t>(field)];
        if (control->text().isEmpty())
            return Refuse(field, settings::ValueRefusal::Blank);
    }
    return false;
}

// A value that the file cannot carry, or that the upload could not send.
bool frmSetttings::RefuseUnstorableValue()
{
    const settings::FtpSettings values = typedValues();
    if (const std::optional<settings::SettingsField> field = settings::FindLineBreak(values))
        return Refuse(*field, settings::ValueRefusal::LineBreak);
    const auto problem = settings::FindStorageProblem(values);
    if (!problem)
        return false;
    return Refuse(problem->field, problem->kind == settings::StorageProblem::Kind::TooLong
                                      ? settings::ValueRefusal::TooLong
                                      : settings::ValueRefusal::CannotBeSaved);
}

bool frmSetttings::Refuse(settings::SettingsField field, settings::ValueRefusal why)
{
    ShowError(*m_context.dialogs, this, FromUtf8(settings::RefusalMessage(field, why)));
    fields()[static_cast<std::size_t>(field)]->setFocus();
    return true;
}

settings::FtpSettings frmSetttings::typedValues() const
{
    settings::FtpSettings values;
    const auto controls = fields();
    for (std::size_t i = 0; i < settings::kFieldCount; ++i)
        values.*settings::kFields[i].member = ToUtf8(controls[i]->text());
    return values;
}

void frmSetttings::SaveSettings()
{
    const settings::SettingsResult result =
        settings::WriteSettingsFile(settingsFile(), typedValues());
    if (!result.ok()) {
        // The file keeps its previous content.
        ShowError(*m_context.dialogs, this,
                  WithReason(QStringLiteral("YOUR SETTINGS COULD NOT BE SAVED!"),
                             FromUtf8(result.failure().description())));
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
