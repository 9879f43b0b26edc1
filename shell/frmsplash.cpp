#include "shell/frmsplash.h"

#include "ui/pictures.h"
#include "ui/twips.h"
#include "ui/windowlook.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPixmap>
#include <QScreen>
#include <QTimer>

namespace vantrel {

namespace {

// A window icon of nothing: the splash shows none, not even the program's.
QIcon NoIcon()
{
    QPixmap blank(16, 16);
    blank.fill(Qt::transparent);
    return QIcon(blank);
}

} // namespace

frmSplash::frmSplash(QWidget *mainWindow)
    : QDialog(mainWindow, Qt::Dialog | Qt::FramelessWindowHint)
    , tmrSplash(new QTimer(this))
{
    setObjectName(QStringLiteral("frmSplash"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Form1"));
    setWindowIcon(NoIcon());
    setFixedSize(Px(4515), Px(2280));

    imgSplash = new QLabel(this);
    imgSplash->setObjectName(QStringLiteral("imgSplash"));
    imgSplash->setGeometry(TwipsRect(0, 0, 4530, 2280));
    imgSplash->setScaledContents(true);
    imgSplash->setPixmap(SplashPicture());
    imgSplash->setAccessibleName(QStringLiteral("Vantrel (H.264) Ver 1.00 by Brenmoor"));

    tmrSplash->setObjectName(QStringLiteral("tmrSplash"));
    tmrSplash->setInterval(2000);
    tmrSplash->setSingleShot(true);
    // A coarse timer may tick up to a tenth of a second early.
    tmrSplash->setTimerType(Qt::PreciseTimer);
    connect(tmrSplash, &QTimer::timeout, this, &frmSplash::tmrSplash_Timer);

    centreOver(mainWindow);
    Form_Load();
}

void frmSplash::centreOver(const QWidget *mainWindow)
{
    // The splash has no frame: its outer rectangle is its client area, and it
    // is centred on the main window's outer rectangle.
    QRect place(QPoint(0, 0), size());
    const QScreen *screen = nullptr;
    if (mainWindow) {
        place.moveCenter(mainWindow->window()->frameGeometry().center());
        screen = mainWindow->screen();
    } else if ((screen = QGuiApplication::primaryScreen())) {
        place.moveCenter(screen->availableGeometry().center());
    }
    // Kept on the screen when the main window hangs over an edge.
    move(KeptOnScreen(place, screen).topLeft());
}

void frmSplash::Form_Load()
{
    tmrSplash->start();
}

void frmSplash::tmrSplash_Timer()
{
    m_timerFired = true;
    tmrSplash->stop();
    // Closing deletes the window; the main window's guarded pointer to it
    // becomes empty.
    close();
}

void frmSplash::reject()
{
    if (m_timerFired)
        QDialog::reject();
}

void frmSplash::closeEvent(QCloseEvent *event)
{
    if (!m_timerFired) {
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

void frmSplash::keyPressEvent(QKeyEvent *event)
{
    // No key does anything here, Esc included.
    event->accept();
}

} // namespace vantrel
