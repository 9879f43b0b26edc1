#pragma once

#include "settings/settingsfile.h"
#include "ui/appcontext.h"

#include <QDialog>

#include <array>
#include <filesystem>

class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;

namespace vantrel {

// The FTP settings window: four fields read from the settings file at each
// opening, saved after three checks. The main window shows it modally; it is
// created afresh every time and keeps nothing but its controls.
class frmSetttings : public QDialog
{
    Q_OBJECT

public:
    frmSetttings(const AppContext &context, QWidget *mainWindow);
    ~frmSetttings() override;

    // Esc and the title bar's close button act as "E&xit".
    void reject() override;

private:
    void buildControls();

    void Form_Load();
    void LoadSettings();
    void cmdSaveSettings_Click();
    // Each shows its refusal and returns true when a value cannot be saved.
    bool RefuseBlankValue();
    bool RefuseUnstorableValue();
    // Tells why the value is refused and puts the focus on it; true.
    bool Refuse(settings::SettingsField field, settings::ValueRefusal why);
    void SaveSettings();
    void cmdExit_Click();

    std::filesystem::path settingsFile() const;
    // The four fields in the file's line order.
    std::array<QLineEdit *, 4> fields() const;
    // What the four fields hold now.
    settings::FtpSettings typedValues() const;
    // Where the window's messages appear: over the main window while this
    // window is not yet shown.
    QWidget *messageParent();

    AppContext m_context;

    QFrame *Frame1 = nullptr;
    QLabel *lblFtpAddress = nullptr;
    QLineEdit *txtFTPAddress = nullptr;
    QLabel *lblUsername = nullptr;
    QLineEdit *txtUserName = nullptr;
    QLabel *lblPassword = nullptr;
    QLineEdit *txtPassword = nullptr;
    QLabel *lblServerFolder = nullptr;
    QLineEdit *txtServerFolder = nullptr;
    QPushButton *cmdSaveSettings = nullptr;
    QPushButton *cmdExit = nullptr;
};

} // namespace vantrel
