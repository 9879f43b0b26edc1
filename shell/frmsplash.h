#pragma once

#include <QDialog>

class QLabel;
class QTimer;

namespace vantrel {

// The borderless picture shown for two seconds at start-up. Creating it
// loads it, which starts its timer; the first tick closes and deletes it.
// Until then it takes no input: clicks, Esc and close requests are refused.
class frmSplash : public QDialog
{
    Q_OBJECT

public:
    explicit frmSplash(QWidget *mainWindow);

    // True once the timer has ticked and the window is on its way out.
    bool timerFired() const { return m_timerFired; }

public slots:
    void reject() override;

protected:
    void closeEvent(QCloseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void Form_Load();
    void tmrSplash_Timer();
    void centreOver(const QWidget *mainWindow);

    QLabel *imgSplash = nullptr;
    QTimer *tmrSplash = nullptr;
    bool m_timerFired = false;
};

} // namespace vantrel
