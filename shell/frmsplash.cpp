#include "shell/frmsplash.h"

#include <QTimer>

namespace vantrel {

frmSplash::frmSplash(QWidget *mainWindow)
    : QDialog(mainWindow)
    , tmrSplash(new QTimer(this))
{
    setObjectName(QStringLiteral("frmSplash"));
    setAttribute(Qt::WA_DeleteOnClose);
    tmrSplash->setInterval(2000);
    connect(tmrSplash, &QTimer::timeout, this, &frmSplash::tmrSplash_Timer);
    Form_Load();
}

void frmSplash::Form_Load()
{
    tmrSplash->start();
}

void frmSplash::tmrSplash_Timer()
{
    tmrSplash->stop();
    accept();
}

} // namespace vantrel
