// The main window as a user meets it: its layout, the start-up sequence, the
// single-instance guard, the exit question and the secondary windows.

#include "common/failure.h"
#include "common/messages.h"
#include "platform/instanceguard.h"
#include "shell/frmmain.h"
#include "tests/support/scripteddialogs.h"
#include "upload/ftpclient.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QTabBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUuid>

#include <gtest/gtest.h>

using namespace vantrel;
using vantrel::test::ScriptedDialogs;

namespace {

class MainWindowTest : public ::testing::Test
{
protected:
    MainWindowTest() { context = test::TestContext(dialogs, appDir.path(), endCount); }

    frmMain &loaded()
    {
        window = std::make_unique<frmMain>(context);
        EXPECT_TRUE(window->Form_Load());
        return *window;
    }

    template<typename T = QWidget>
    T *child(const char *name)
    {
        auto *widget = window->findChild<T *>(QString::fromLatin1(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }

    QTemporaryDir appDir;
    ScriptedDialogs dialogs;
    AppContext context;
    int endCount = 0;
    std::unique_ptr<frmMain> window;
};

struct Placed
{
    const char *name;
    const char *className;
    QString caption;
    QRect twips;
};

QRect Twips(int l, int t, int w, int h)
{
    return QRect(l / 15, t / 15, w / 15, h / 15);
}

QString Caption(QWidget *w)
{
    if (auto *b = qobject_cast<QPushButton *>(w))
        return b->text();
    if (auto *l = qobject_cast<QLabel *>(w))
        return l->text();
    if (auto *e = qobject_cast<QLineEdit *>(w))
        return e->text();
    return {};
}

} // namespace

TEST_F(MainWindowTest, WindowIsLaidOutAsDesigned)
{
    frmMain &w = loaded();
    EXPECT_EQ(w.windowTitle(), QStringLiteral("Vantrel (H.264) by Brenmoor Ver 1.00"));
    EXPECT_EQ(w.size(), QSize(416, 258));
    EXPECT_EQ(w.minimumSize(), w.maximumSize()); // cannot be resized
    EXPECT_FALSE(w.windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_EQ(w.font().family(), QStringLiteral("Tahoma"));
    EXPECT_DOUBLE_EQ(w.font().pointSizeF(), 8.25);

    // Places are relative to each control's container, in pixels.
    const Placed controls[] = {
        {"SSTab1", "vantrel::TabControl", {}, Twips(120, 60, 6015, 2475)},
        {"Frame1", "QFrame", {}, Twips(120, 360, 5775, 1935)},
        {"Frame2", "QFrame", {}, Twips(120, 360, 5775, 1935)},
        {"Frame4", "QFrame", {}, Twips(120, 360, 5775, 1995)},
        {"cmdInput", "QPushButton", QStringLiteral("&Input File"), Twips(120, 300, 1530, 435)},
        {"lblInput", "QLabel", {}, Twips(1800, 360, 3855, 315)},
        {"cmdOutput", "QPushButton", QStringLiteral("&Output Folder"), Twips(120, 840, 1530, 435)},
        {"lblOutput", "QLabel", {}, Twips(1800, 900, 3855, 315)},
        {"lblOFN", "QLabel", QStringLiteral("Output File Name:"), Twips(180, 1470, 1335, 255)},
        {"txtFileTitle", "QLineEdit", {}, Twips(1800, 1440, 3855, 315)},
        {"lblVideoWindow", "QLabel", QStringLiteral("Video Window:"), Twips(180, 270, 1095, 255)},
        {"cmbVideoWindow", "QComboBox", {}, Twips(1440, 240, 1035, 315)},
        {"lblPixels", "QLabel", QStringLiteral("Pixels"), Twips(2580, 270, 495, 255)},
        {"lblVideoBitrate", "QLabel", QStringLiteral("Video Bitrate:"), Twips(180, 690, 1095, 255)},
        {"cmbVideoBitrate", "QComboBox", {}, Twips(1440, 660, 1035, 315)},
        {"lblVkbps", "QLabel", QStringLiteral("Kbps"), Twips(2580, 690, 495, 255)},
        {"lblAudioBitrate", "QLabel", QStringLiteral("Audio Bitrate:"),
         Twips(180, 1140, 1095, 255)},
        {"cmbAudioBitrate", "QComboBox", {}, Twips(1440, 1110, 1035, 315)},
        {"lblAkbps", "QLabel", QStringLiteral("Kbps"), Twips(2580, 1140, 495, 255)},
        {"lblSamplingFrequency", "QLabel", QStringLiteral("Audio Samples:"),
         Twips(180, 1560, 1155, 255)},
        {"cmbAudioSampling", "QComboBox", {}, Twips(1440, 1530, 1035, 315)},
        {"lblHz", "QLabel", QStringLiteral("Hz"), Twips(2580, 1560, 495, 255)},
        {"lblSelectedFLVFile", "QLabel", QStringLiteral("Selected FLV File:"),
         Twips(180, 270, 1335, 255)},
        {"lblSelectedFileTitle", "QLabel", {}, Twips(1560, 240, 4095, 315)},
        {"lblSelectedFile", "QLabel", {}, Twips(1560, 240, 4095, 315)},
        {"lblPercent", "QLabel", QStringLiteral("Upload Status:"), Twips(180, 660, 1155, 255)},
        {"prgUpload", "QProgressBar", {}, Twips(1560, 660, 4095, 255)},
        {"cmdUpload", "QPushButton", QStringLiteral("&Upload File"), Twips(1560, 1020, 1290, 435)},
        {"cmdCancelUpload", "QPushButton", QStringLiteral("&Cancel"), Twips(2970, 1020, 1290, 435)},
        {"cmdSettings", "QPushButton", QStringLiteral("&FTP Settings"),
         Twips(4380, 1020, 1290, 435)},
        {"lblServerStatus", "QLabel", {}, Twips(1560, 1620, 2715, 255)},
        {"cmdEncode", "QPushButton", QStringLiteral("&Encode Video"), Twips(120, 2640, 3615, 495)},
        {"cmdAbout", "QPushButton", QStringLiteral("&About"), Twips(3840, 2640, 1095, 495)},
        {"cmdExit", "QPushButton", QStringLiteral("E&xit"), Twips(5040, 2640, 1095, 495)},
        {"txtApp", "QLineEdit", {}, Twips(240, 360, 5235, 1215)},
    };
    for (const Placed &p : controls) {
        QWidget *widget = child(p.name);
        ASSERT_NE(widget, nullptr);
        EXPECT_STREQ(widget->metaObject()->className(), p.className) << p.name;
        EXPECT_EQ(widget->geometry(), p.twips) << p.name;
        EXPECT_EQ(Caption(widget), p.caption) << p.name;
        EXPECT_TRUE(widget->isEnabled()) << p.name;
        const bool bold = QByteArray("cmdEncode cmdAbout cmdExit").contains(p.name);
        EXPECT_DOUBLE_EQ(widget->font().pointSizeF(), bold ? 9.75 : 8.25) << p.name;
        EXPECT_EQ(widget->font().bold(), bold) << p.name;
    }
    EXPECT_EQ(child<QProgressBar>("prgUpload")->maximum(), 100);
    EXPECT_EQ(child<QProgressBar>("prgUpload")->value(), 0);
    EXPECT_FALSE(child("txtApp")->isVisible());
}

TEST_F(MainWindowTest, TabsStartOnSourceFilesAndShowOnePageAtATime)
{
    loaded();
    auto *bar = child("SSTab1")->findChild<QTabBar *>();
    ASSERT_NE(bar, nullptr);
    ASSERT_EQ(bar->count(), 3);
    EXPECT_EQ(bar->tabText(0), QStringLiteral("Source Files"));
    EXPECT_EQ(bar->tabText(1), QStringLiteral("Encoding Options"));
    EXPECT_EQ(bar->tabText(2), QStringLiteral("FTP Upload"));
    EXPECT_EQ(bar->currentIndex(), 0);
    EXPECT_TRUE(child("cmdInput")->isVisible());
    EXPECT_FALSE(child("cmbVideoWindow")->isVisible());
    EXPECT_FALSE(child("cmdUpload")->isVisible());
    bar->setCurrentIndex(2);
    EXPECT_FALSE(child("cmdInput")->isVisible());
    EXPECT_TRUE(child("cmdUpload")->isVisible());
    // The row of tabs ends where the pages begin.
    EXPECT_LE(bar->geometry().bottom(), 360 / 15);
}

TEST_F(MainWindowTest, NameOfTheChosenFileCoversItsPath)
{
    loaded();
    QWidget *frame = child("Frame4");
    const QObjectList order = frame->children();
    EXPECT_GT(order.indexOf(child("lblSelectedFileTitle")),
              order.indexOf(child("lblSelectedFile")));
    EXPECT_TRUE(child("lblSelectedFileTitle")->autoFillBackground());
}

TEST_F(MainWindowTest, KeyboardMovesInTabOrder)
{
    frmMain &w = loaded();
    const QStringList expected = {
        QStringLiteral("cmdInput"),        QStringLiteral("cmdOutput"),
        QStringLiteral("txtFileTitle"),    QStringLiteral("cmbVideoWindow"),
        QStringLiteral("cmbVideoBitrate"), QStringLiteral("cmdEncode"),
        QStringLiteral("cmdAbout"),        QStringLiteral("cmdExit"),
        QStringLiteral("cmbAudioBitrate"), QStringLiteral("cmbAudioSampling"),
        QStringLiteral("cmdSettings"),     QStringLiteral("cmdCancelUpload"),
        QStringLiteral("cmdUpload")};
    // Walk the focus chain from the tab control, keeping the controls that take focus.
    QStringList chain;
    QWidget *start = child("SSTab1")->findChild<QTabBar *>();
    for (QWidget *next = start->nextInFocusChain(); next != start;
         next = next->nextInFocusChain()) {
        if ((next->focusPolicy() & Qt::TabFocus) && expected.contains(next->objectName())
            && !chain.contains(next->objectName()))
            chain << next->objectName();
    }
    EXPECT_EQ(chain, expected);
    (void)w;
}

TEST_F(MainWindowTest, LinkLineLooksLikeALinkAndOpensTheReferralPage)
{
    loaded();
    auto *link = child<QLabel>("lblBrenmoor");
    EXPECT_EQ(link->geometry(), Twips(60, 3540, 6135, 255));
    EXPECT_TRUE(link->text().startsWith(QStringLiteral("Visit ")));
    EXPECT_TRUE(link->text().endsWith(
        QStringLiteral(" for Flash Streaming Video and add video to your websites")));
    EXPECT_EQ(link->palette().color(QPalette::WindowText), QColor(0, 0, 255));
    EXPECT_TRUE(link->font().underline());
    EXPECT_EQ(link->alignment() & Qt::AlignHCenter, Qt::AlignHCenter);
    EXPECT_EQ(link->cursor().hotSpot(), QPoint(7, 1));

    QTest::mouseClick(link, Qt::LeftButton);
    QTest::mouseClick(link, Qt::LeftButton);
    ASSERT_EQ(dialogs.openedUrls().size(), 2);
    EXPECT_EQ(dialogs.openedUrls()[0].toString(),
              QStringLiteral("http://brenmoor.example/referrals/idevaffiliate.php?id=5"));
    QTest::mouseClick(child("lblOFN"), Qt::LeftButton);
    EXPECT_EQ(dialogs.openedUrls().size(), 2);
}

TEST_F(MainWindowTest, StartUpRunsItsStepsInOrder)
{
    context.showSplash = true;
    window = std::make_unique<frmMain>(context);
    bool checked = false;
    QTimer::singleShot(300, [&] {
        // While the splash is up: the window shows with its lists filled, the
        // FTP component has its flag, and both windows show the busy pointer.
        QWidget *splash = QApplication::activeModalWidget();
        ASSERT_NE(splash, nullptr);
        EXPECT_EQ(splash->objectName(), QStringLiteral("frmSplash"));
        EXPECT_EQ(splash->cursor().shape(), Qt::WaitCursor);
        EXPECT_TRUE(window->isVisible());
        EXPECT_EQ(window->cursor().shape(), Qt::WaitCursor);
        EXPECT_TRUE(window->encoderOptions().endsWith(QStringLiteral("scale=320:240 ")));
        EXPECT_TRUE(window->ftpComponent()->startupFlag());
        EXPECT_EQ(child<QComboBox>("cmbAudioBitrate")->currentText(), QStringLiteral("48"));
        checked = true;
    });
    EXPECT_TRUE(window->Form_Load());
    EXPECT_TRUE(checked);
    EXPECT_EQ(window->cursor().shape(), Qt::ArrowCursor);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    EXPECT_TRUE(dialogs.boxes().isEmpty());
}

TEST_F(MainWindowTest, StartUpFailureIsReportedOnceAndEndsTheProgram)
{
    EXPECT_EQ(StartupErrorMessage(71, QStringLiteral("Disk not ready")),
              QStringLiteral("INTERNAL ERROR OCCURED - ERROR NUMBER: 71 - DISK NOT READY. PLEASE "
                             "CONTACT SUPPORT."));
    EXPECT_EQ(StartupErrorMessage(-2147467259, QStringLiteral("Unspecified error")),
              QStringLiteral("INTERNAL ERROR OCCURED - ERROR NUMBER: -2147467259 - UNSPECIFIED "
                             "ERROR. PLEASE CONTACT SUPPORT."));

    context.anotherInstanceRunning = []() -> bool {
        throw Failure(71, "Disk not ready");
    };
    dialogs.answer(vbOK);
    window = std::make_unique<frmMain>(context);
    EXPECT_FALSE(window->Form_Load());
    ASSERT_EQ(dialogs.boxes().size(), 1);
    EXPECT_EQ(dialogs.boxes()[0].text,
              QStringLiteral("INTERNAL ERROR OCCURED - ERROR NUMBER: 71 - DISK NOT READY. PLEASE "
                             "CONTACT SUPPORT."));
    EXPECT_EQ(dialogs.boxes()[0].title, QStringLiteral("Error"));
    EXPECT_EQ(dialogs.boxes()[0].style, vbCritical);
    EXPECT_EQ(endCount, 1);
    EXPECT_FALSE(window->isVisible());
}

TEST_F(MainWindowTest, SecondInstanceIsRefusedWithoutShowingItsWindow)
{
    const QString lockName =
        QStringLiteral("vantrel-test-") + QUuid::createUuid().toString(QUuid::Id128);
    QProcess first;
    first.start(QStringLiteral(INSTANCE_HOLDER), {lockName});
    ASSERT_TRUE(first.waitForReadyRead(10000));
    ASSERT_EQ(first.readLine().trimmed(), QByteArray("locked"));

    platform::InstanceGuard guard(lockName);
    context.anotherInstanceRunning = [&guard] {
        return guard.anotherInstanceRunning();
    };
    dialogs.answer(vbOK);
    window = std::make_unique<frmMain>(context);
    EXPECT_FALSE(window->Form_Load());
    EXPECT_EQ(dialogs.boxTexts(), QStringList{QStringLiteral("THIS SOFTWARE IS ALREADY OPEN!")});
    EXPECT_EQ(dialogs.boxes()[0].title, QStringLiteral("Error"));
    EXPECT_EQ(dialogs.boxes()[0].style, vbCritical);
    EXPECT_EQ(endCount, 1);
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(first.state(), QProcess::Running); // the first one goes on undisturbed

    // A first instance that crashed does not block the next start.
    first.kill();
    first.waitForFinished();
    platform::InstanceGuard after(lockName);
    EXPECT_FALSE(after.anotherInstanceRunning());
}

TEST_F(MainWindowTest, EveryCloseRequestAsksOnce)
{
    frmMain &w = loaded();
    child<QComboBox>("cmbVideoWindow")->setCurrentIndex(5);
    const QString options = w.encoderOptions();

    // No keeps everything as it was, from the button and from the title bar.
    dialogs.answer(vbNo);
    child<QPushButton>("cmdExit")->click();
    dialogs.answer(vbNo);
    w.close();
    EXPECT_EQ(dialogs.boxes().size(), 2);
    for (const auto &box : dialogs.boxes()) {
        EXPECT_EQ(box.text, QStringLiteral("ARE YOU SURE?"));
        EXPECT_EQ(box.title, QStringLiteral("Confirm"));
        EXPECT_EQ(box.style, vbQuestionYesNo);
    }
    EXPECT_TRUE(w.isVisible());
    EXPECT_EQ(w.encoderOptions(), options);
    EXPECT_EQ(endCount, 0);

    dialogs.answer(vbYes);
    child<QPushButton>("cmdExit")->click();
    EXPECT_EQ(endCount, 1);
    dialogs.answer(vbYes);
    w.show();
    w.close();
    EXPECT_EQ(endCount, 2);
}

TEST_F(MainWindowTest, SecondaryWindowsOpenModally)
{
    loaded();
    for (const char *button : {"cmdSettings", "cmdAbout"}) {
        QString seen;
        QTimer::singleShot(100, [&] {
            if (QWidget *modal = QApplication::activeModalWidget()) {
                seen = modal->objectName();
                modal->close();
            }
        });
        child<QPushButton>(button)->click();
        EXPECT_EQ(seen, QLatin1String(button) == QLatin1String("cmdSettings")
                            ? QStringLiteral("frmSetttings")
                            : QStringLiteral("frmAbout"));
    }
}
