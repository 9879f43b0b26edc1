#pragma once

#include "ui/appcontext.h"

#include <QDialog>

class QFrame;
class QLabel;
class QPushButton;

namespace vantrel {

class LinkLabel;

// The About window: the program's picture, the encoder it relies on, the
// maker's site and copyright. Created afresh at each opening; the picture
// and the site's address are links to the referral page.
class frmAbout : public QDialog
{
    Q_OBJECT

public:
    frmAbout(const AppContext &context, QWidget *mainWindow);

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    void buildControls();
    void OpenReferralPage();

    void imgSplash_Click();
    void lblLink_Click();
    void cmdExit_Click();

    AppContext m_context;

    LinkLabel *imgSplash = nullptr;
    QFrame *Frame1 = nullptr;
    QLabel *lblUses = nullptr;
    QLabel *lblInfo = nullptr;
    LinkLabel *lblLink = nullptr;
    QLabel *lblArr = nullptr;
    QPushButton *cmdExit = nullptr;
};

} // namespace vantrel
