#include "shell/frmabout.h"

#include "platform/userdialogs.h"
#include "shell/referral.h"
#include "ui/controls.h"
#include "ui/linklabel.h"
#include "ui/pictures.h"
#include "ui/twips.h"
#include "ui/windowlook.h"

#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QUrl>

namespace vantrel {

frmAbout::frmAbout(const AppContext &context, QWidget *mainWindow)
    : QDialog(mainWindow, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                              | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint)
    , m_context(context)
{
    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(QStringLiteral("About Vantrel"));
    setWindowIcon(AppIcon());
    setFont(WindowFont());
    setFixedSize(Px(4725), Px(3870));

    buildControls();

    connect(imgSplash, &LinkLabel::clicked, this, &frmAbout::imgSplash_Click);
    connect(lblLink, &LinkLabel::clicked, this, &frmAbout::lblLink_Click);
    connect(cmdExit, &QPushButton::clicked, this, &frmAbout::cmdExit_Click);

    CentreOverMainWindow(this, mainWindow);
}

void frmAbout::buildControls()
{
    // The picture at its natural size; a link like the label below.
    imgSplash = Place(new LinkLabel(QString(), this), "imgSplash", TwipsRect(120, 120, 4500, 2250));
    imgSplash->setPixmap(SplashPicture());
    imgSplash->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    imgSplash->setAccessibleName(QStringLiteral("Vantrel (H.264) Ver 1.00 by Brenmoor"));
    imgSplash->setAccessibleDescription(QStringLiteral("Link to the Brenmoor web site"));

    Frame1 = MakeFrame(this, "Frame1", TwipsRect(120, 2400, 4515, 795));
    lblUses = MakeLabel(Frame1, "lblUses", QStringLiteral("This Vantrel uses MENCODER"),
                        TwipsRect(120, 180, 3855, 255));
    lblInfo = MakeLabel(Frame1, "lblInfo", QStringLiteral("For FLV related products, visit:"),
                        TwipsRect(120, 420, 2235, 195));
    lblLink = Place(new LinkLabel(MakerSite(), Frame1), "lblLink", TwipsRect(2460, 420, 1995, 255));
    lblLink->setAccessibleDescription(QStringLiteral("Link to the Brenmoor web site"));

    lblArr = MakeLabel(this, "lblArr",
                       QStringLiteral("Copyright \u00A9 2007 Brenmoor.\nAll rights reserved."),
                       TwipsRect(120, 3300, 2295, 495));
    lblArr->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    cmdExit = Place(new QPushButton(QStringLiteral("E&xit"), this), "cmdExit",
                    TwipsRect(3540, 3300, 1095, 495));
    cmdExit->setFont(BoldButtonFont());

    for (QLabel *label : {static_cast<QLabel *>(imgSplash), static_cast<QLabel *>(lblLink)})
        label->setTextFormat(Qt::PlainText);
}

void frmAbout::keyPressEvent(QKeyEvent *event)
{
    // Esc works as a click of the cancel button, "E&xit".
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        cmdExit->click();
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void frmAbout::OpenReferralPage()
{
    // Whether the desktop could open it is not looked at: a failure simply
    // has no visible effect.
    if (m_context.dialogs)
        (void)m_context.dialogs->openUrl(QUrl(ReferralPage()));
}

void frmAbout::imgSplash_Click()
{
    OpenReferralPage();
}

void frmAbout::lblLink_Click()
{
    OpenReferralPage();
}

void frmAbout::cmdExit_Click()
{
    close();
}

} // namespace vantrel
