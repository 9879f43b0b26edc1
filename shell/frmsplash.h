#pragma once

#include <QDialog>

class QLabel;
class QTimer;

namespace vantrel {

// The borderless picture shown for two seconds at start-up. Loading it starts
// its timer; the first tick closes and deletes it.
class frmSplash : public QDialog
{
    Q_OBJECT

public:
    explicit frmSplash(QWidget *mainWindow);

private:
    void Form_Load();
    void tmrSplash_Timer();

    QLabel *imgSplash = nullptr;
    QTimer *tmrSplash = nullptr;
};

} // namespace vantrel
