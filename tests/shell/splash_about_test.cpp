// The splash window, the About window with its links, the pictures they show
// and the fit of the main window's link caption.

#include "shell/frmabout.h"
#include "shell/frmmain.h"
#include "shell/frmsplash.h"
#include "shell/referral.h"
#include "tests/support/scripteddialogs.h"
#include "ui/linklabel.h"
#include "ui/pictures.h"

#include <QAccessible>
#include <QApplication>
#include <QBitmap>
#include <QElapsedTimer>
#include <QFontInfo>
#include <QFontMetrics>
#include <QFrame>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

namespace vantrel {
namespace {

// A stand-in for the main window: 416 x 258 pixels, shown at a known place.
class MainWindowStandIn
{
public:
    explicit MainWindowStandIn(QPoint topLeft = QPoint(150, 120))
    {
        window.setObjectName(QStringLiteral("mainStandIn"));
        window.setGeometry(QRect(topLeft, QSize(416, 258)));
        window.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&window));
    }
    QWidget window;
};

int SplashWindowsLeft()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    int count = 0;
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (qobject_cast<frmSplash *>(widget)
            || widget->objectName() == QStringLiteral("frmSplash"))
            ++count;
    }
    return count;
}

QString FontText(const QFont &font)
{
    return QStringLiteral("%1 %2%3%4")
        .arg(font.family())
        .arg(font.pointSizeF())
        .arg(font.bold() ? QStringLiteral(" bold") : QString())
        .arg(font.underline() ? QStringLiteral(" underline") : QString());
}

bool IsHandCursor(const QCursor &cursor)
{
    return cursor.shape() == Qt::BitmapCursor && cursor.hotSpot() == QPoint(7, 1)
           && cursor.bitmap().size() == QSize(32, 32);
}

// --- Pictures ---------------------------------------------------------------

TEST(Pictures, AreCompiledInWithTheirSizes)
{
    EXPECT_EQ(SplashPicture().size(), QSize(300, 150));

    const QIcon icon = AppIcon();
    const QList<QSize> sizes = icon.availableSizes();
    for (int size : {16, 24, 32}) {
        EXPECT_TRUE(sizes.contains(QSize(size, size))) << size;
        const QImage image = icon.pixmap(QSize(size, size)).toImage();
        ASSERT_EQ(image.size(), QSize(size, size));
        // The centre is the opaque, coloured logo; the corners are masked off.
        EXPECT_EQ(qAlpha(image.pixel(size / 2, size / 2)), 255) << size;
        EXPECT_EQ(qAlpha(image.pixel(0, 0)), 0) << size;
    }
}

TEST(Pictures, HandCursorPointsWithTheFingertipAtItsHotSpot)
{
    const QCursor hand = HandCursor();
    ASSERT_TRUE(IsHandCursor(hand));
    const QImage black = hand.bitmap().toImage().convertToFormat(QImage::Format_Mono);
    const QImage shown = hand.mask().toImage().convertToFormat(QImage::Format_Mono);
    const auto isSet = [](const QImage &image, int x, int y) {
        return image.pixelIndex(x, y) == (image.color(1) == QColor(Qt::black).rgb() ? 1 : 0);
    };
    // The fingertip's outline is at the hot spot; above it nothing is drawn.
    EXPECT_TRUE(isSet(black, 7, 1));
    EXPECT_TRUE(isSet(shown, 7, 1));
    EXPECT_FALSE(isSet(shown, 7, 0));
    // Inside the finger the cursor is white (shown, not black); the corner is
    // transparent.
    EXPECT_TRUE(isSet(shown, 7, 3));
    EXPECT_FALSE(isSet(black, 7, 3));
    EXPECT_FALSE(isSet(shown, 31, 31));
}

// --- Splash window ------------------------------------------------------------

TEST(Splash, IsBorderlessAndCentredOverTheMainWindow)
{
    MainWindowStandIn main;
    QPointer<frmSplash> splash = new frmSplash(&main.window);

    EXPECT_EQ(splash->windowTitle(), QStringLiteral("Form1"));
    EXPECT_TRUE(splash->windowFlags().testFlag(Qt::FramelessWindowHint));
    EXPECT_EQ(splash->windowFlags() & Qt::WindowType_Mask, Qt::Dialog);
    EXPECT_EQ(splash->size(), QSize(301, 152));
    EXPECT_EQ(splash->minimumSize(), splash->maximumSize());
    // No window icon, not even the program's.
    const QImage icon = splash->windowIcon().pixmap(QSize(16, 16)).toImage();
    EXPECT_EQ(qAlpha(icon.pixel(8, 8)), 0);

    auto *picture = splash->findChild<QLabel *>(QStringLiteral("imgSplash"));
    ASSERT_NE(picture, nullptr);
    EXPECT_EQ(picture->geometry(), QRect(0, 0, 302, 152));
    EXPECT_TRUE(picture->hasScaledContents());
    EXPECT_EQ(picture->pixmap().size(), QSize(300, 150));
    EXPECT_FALSE(picture->accessibleName().isEmpty());

    splash->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(splash));
    const QPoint offset = splash->frameGeometry().center() - main.window.frameGeometry().center();
    EXPECT_LE(offset.manhattanLength(), 1) << offset.x() << "," << offset.y();
    delete splash;
}

TEST(Splash, StaysOnTheScreenWhenTheMainWindowHangsOverAnEdge)
{
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    MainWindowStandIn main(area.topLeft() - QPoint(300, 200));
    frmSplash splash(&main.window);
    EXPECT_TRUE(area.contains(splash.geometry()));
    splash.setAttribute(Qt::WA_DeleteOnClose, false);
}

TEST(Splash, ClosesItselfAfterTwoSecondsWhatEverTheUserDoes)
{
    MainWindowStandIn main;
    QPointer<frmSplash> splash = new frmSplash(&main.window);
    splash->setCursor(Qt::WaitCursor);

    bool visibleAfterInput = false;
    bool timerFiredEarly = true;
    // While the splash waits: click the picture and the window, press Esc and
    // Alt+F4, ask it to close. None of it may end the splash.
    QTimer::singleShot(300, [&] {
        if (!splash)
            return;
        auto *picture = splash->findChild<QLabel *>(QStringLiteral("imgSplash"));
        QTest::mouseClick(picture, Qt::LeftButton);
        QTest::mouseDClick(picture, Qt::LeftButton);
        QTest::mouseClick(splash, Qt::RightButton);
        QTest::keyClick(splash, Qt::Key_Escape);
        QTest::keyClick(splash, Qt::Key_Return);
        QTest::keyClick(splash, Qt::Key_F4, Qt::AltModifier);
        splash->close();
        splash->reject();
    });
    QTimer::singleShot(1500, [&] {
        visibleAfterInput = splash && splash->isVisible();
        timerFiredEarly = !splash || splash->timerFired();
    });

    QElapsedTimer clock;
    clock.start();
    splash->exec();
    const qint64 elapsed = clock.elapsed();

    EXPECT_TRUE(visibleAfterInput);
    EXPECT_FALSE(timerFiredEarly);
    EXPECT_GE(elapsed, 1900);
    EXPECT_LT(elapsed, 12000); // two seconds, with room for a loaded machine
    EXPECT_TRUE(splash.isNull());
    EXPECT_EQ(SplashWindowsLeft(), 0);
    EXPECT_FALSE(main.window.isHidden());
}

// --- About window -------------------------------------------------------------

class About : public ::testing::Test
{
protected:
    About()
    {
        context.dialogs = &dialogs;
        context.appFolder = QStringLiteral(VANTREL_APP_DIR);
    }

    template<typename W>
    W *child(const frmAbout &about, const char *name)
    {
        auto *widget = about.findChild<W *>(QString::fromLatin1(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }

    test::ScriptedDialogs dialogs;
    AppContext context;
    MainWindowStandIn main;
};

TEST_F(About, WindowIsFixedWithoutMinimizeOrMaximizeAndCentred)
{
    frmAbout about(context, &main.window);
    EXPECT_EQ(about.windowTitle(), QStringLiteral("About Vantrel"));
    EXPECT_EQ(about.size(), QSize(315, 258));
    EXPECT_EQ(about.minimumSize(), about.maximumSize());
    const Qt::WindowFlags flags = about.windowFlags();
    EXPECT_FALSE(flags.testFlag(Qt::WindowMinimizeButtonHint));
    EXPECT_FALSE(flags.testFlag(Qt::WindowMaximizeButtonHint));
    EXPECT_FALSE(flags.testFlag(Qt::WindowContextHelpButtonHint));
    EXPECT_TRUE(flags.testFlag(Qt::WindowCloseButtonHint));
    EXPECT_TRUE(flags.testFlag(Qt::WindowTitleHint));
    EXPECT_TRUE(about.windowIcon().availableSizes().contains(QSize(32, 32)));
    EXPECT_TRUE(about.windowIcon().availableSizes().contains(QSize(16, 16)));
    EXPECT_EQ(FontText(about.font()), QStringLiteral("Tahoma 8.25"));

    about.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&about));
    const QPoint offset = about.geometry().center() - main.window.geometry().center();
    EXPECT_LE(offset.manhattanLength(), 1) << offset.x() << "," << offset.y();
}

TEST_F(About, ControlsHaveTheirPlacesCaptionsAndFonts)
{
    frmAbout about(context, &main.window);
    struct Expected
    {
        const char *name;
        QRect place;
        QString caption;
        QString font;
    };
    const QString plain = QStringLiteral("Tahoma 8.25");
    const Expected expected[] = {
        {"lblUses", {8, 12, 257, 17}, QStringLiteral("This Vantrel uses MENCODER"), plain},
        {"lblInfo", {8, 28, 149, 13}, QStringLiteral("For FLV related products, visit:"), plain},
        {"lblLink",
         {164, 28, 133, 17},
         QStringLiteral("http://brenmoor.example"),
         QStringLiteral("Tahoma 8.25 underline")},
        {"lblArr",
         {8, 220, 153, 33},
         QStringLiteral("Copyright \u00A9 2007 Brenmoor.\nAll rights reserved."),
         plain},
    };
    for (const Expected &e : expected) {
        auto *label = child<QLabel>(about, e.name);
        ASSERT_NE(label, nullptr);
        EXPECT_EQ(label->geometry(), e.place) << e.name;
        EXPECT_EQ(label->text(), e.caption) << e.name;
        EXPECT_EQ(FontText(label->font()), e.font) << e.name;
        EXPECT_EQ(QFontInfo(label->font()).family(), QStringLiteral("Tahoma")) << e.name;
        // Every line of the caption shows whole inside the label.
        const QFontMetrics metrics(label->font());
        const QStringList lines = e.caption.split(QLatin1Char('\n'));
        for (const QString &line : lines)
            EXPECT_LE(metrics.horizontalAdvance(line), label->contentsRect().width())
                << e.name << ": " << line.toStdString();
        EXPECT_LE(metrics.height() * lines.size(), label->contentsRect().height() + 1) << e.name;
    }

    auto *frame = child<QFrame>(about, "Frame1");
    ASSERT_NE(frame, nullptr);
    EXPECT_EQ(frame->geometry(), QRect(8, 160, 301, 53));
    for (const char *name : {"lblUses", "lblInfo", "lblLink"})
        EXPECT_EQ(child<QLabel>(about, name)->parentWidget(), frame) << name;
    EXPECT_EQ(child<QLabel>(about, "lblArr")->parentWidget(), &about);

    auto *picture = child<QLabel>(about, "imgSplash");
    ASSERT_NE(picture, nullptr);
    EXPECT_EQ(picture->geometry(), QRect(8, 8, 300, 150));
    EXPECT_EQ(picture->pixmap().size(), QSize(300, 150));
    EXPECT_FALSE(picture->hasScaledContents());

    auto *exitButton = child<QPushButton>(about, "cmdExit");
    ASSERT_NE(exitButton, nullptr);
    EXPECT_EQ(exitButton->geometry(), QRect(236, 220, 73, 33));
    EXPECT_EQ(exitButton->text(), QStringLiteral("E&xit"));
    EXPECT_EQ(FontText(exitButton->font()), QStringLiteral("Tahoma 9.75 bold"));
}

TEST_F(About, LinksLookLikeLinksAndSaySoToScreenReaders)
{
    frmAbout about(context, &main.window);
    auto *link = child<QLabel>(about, "lblLink");
    auto *picture = child<QLabel>(about, "imgSplash");
    ASSERT_TRUE(link && picture);
    EXPECT_EQ(link->palette().color(QPalette::WindowText), QColor(0, 0, 255));
    EXPECT_TRUE(IsHandCursor(link->cursor()));
    EXPECT_TRUE(IsHandCursor(picture->cursor()));
    EXPECT_FALSE(picture->accessibleName().isEmpty());
    for (QLabel *label : {link, picture})
        EXPECT_TRUE(
            label->accessibleDescription().contains(QStringLiteral("Link"), Qt::CaseInsensitive))
            << label->objectName().toStdString();
    // The plain labels keep the window's look and pointer.
    for (const char *name : {"lblUses", "lblInfo", "lblArr"}) {
        auto *label = child<QLabel>(about, name);
        EXPECT_NE(label->cursor().shape(), Qt::BitmapCursor) << name;
        EXPECT_NE(label->palette().color(QPalette::WindowText), QColor(0, 0, 255)) << name;
    }
}

TEST_F(About, EachLinkClickOpensTheReferralPageOnce)
{
    frmAbout about(context, &main.window);
    about.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&about));
    const QUrl referral(QStringLiteral("http://brenmoor.example/referrals/idevaffiliate.php?id=5"));
    ASSERT_EQ(QUrl(ReferralPage()), referral);

    auto *picture = child<QLabel>(about, "imgSplash");
    auto *link = child<QLabel>(about, "lblLink");
    ASSERT_TRUE(picture && link);

    QTest::mouseClick(picture, Qt::LeftButton);
    EXPECT_EQ(dialogs.openedUrls().size(), 1);
    QTest::mouseClick(picture, Qt::LeftButton);
    EXPECT_EQ(dialogs.openedUrls().size(), 2);
    QTest::mouseClick(link, Qt::LeftButton);
    QTest::mouseClick(link, Qt::LeftButton);
    ASSERT_EQ(dialogs.openedUrls().size(), 4);
    for (const QUrl &url : dialogs.openedUrls())
        EXPECT_EQ(url, referral);

    // The right button is no click of a link.
    QTest::mouseClick(link, Qt::RightButton);
    QTest::mouseClick(picture, Qt::RightButton);
    EXPECT_EQ(dialogs.openedUrls().size(), 4);

    // A screen reader sees a link named by its text and follows it by its
    // press action.
    QAccessibleInterface *face = QAccessible::queryAccessibleInterface(link);
    ASSERT_TRUE(face && face->actionInterface());
    EXPECT_EQ(face->role(), QAccessible::Link);
    EXPECT_EQ(face->text(QAccessible::Name), link->text());
    face->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    ASSERT_EQ(dialogs.openedUrls().size(), 5);

    // Labels without link style open nothing.
    for (const char *name : {"lblUses", "lblInfo", "lblArr"})
        QTest::mouseClick(child<QLabel>(about, name), Qt::LeftButton);
    EXPECT_EQ(dialogs.openedUrls().size(), 5);

    EXPECT_TRUE(about.isVisible());
    EXPECT_TRUE(dialogs.boxes().isEmpty());
}

TEST_F(About, AFailingBrowserShowsNoMessageAndTheWindowStaysUsable)
{
    dialogs.setOpenUrlResult(false);
    frmAbout about(context, &main.window);
    about.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&about));
    QTest::mouseClick(child<QLabel>(about, "lblLink"), Qt::LeftButton);
    QTest::mouseClick(child<QLabel>(about, "imgSplash"), Qt::LeftButton);
    EXPECT_EQ(dialogs.openedUrls().size(), 2);
    EXPECT_TRUE(dialogs.boxes().isEmpty());
    EXPECT_TRUE(about.isVisible());

    QTest::mouseClick(child<QPushButton>(about, "cmdExit"), Qt::LeftButton);
    EXPECT_FALSE(about.isVisible());
}

TEST_F(About, EscClosesItLikeExit)
{
    frmAbout about(context, &main.window);
    bool exitClicked = false;
    QObject::connect(child<QPushButton>(about, "cmdExit"), &QPushButton::clicked,
                     [&exitClicked] { exitClicked = true; });
    QTimer::singleShot(0, &about, [&about] { QTest::keyClick(&about, Qt::Key_Escape); });
    QTimer::singleShot(3000, &about, [&about] { about.done(42); });
    const int result = about.exec();
    EXPECT_NE(result, 42) << "Esc did not close the window";
    EXPECT_TRUE(exitClicked);
    EXPECT_FALSE(about.isVisible());
    EXPECT_TRUE(dialogs.openedUrls().isEmpty());
}

// --- The main window's link caption --------------------------------------------

TEST(MainWindowLink, CaptionFitsItsLabelOnOneLine)
{
    const QString caption = QStringLiteral(
        "Visit brenmoor.example for Flash Streaming Video and add video to your websites");
    QFont font(QStringLiteral("Tahoma"));
    font.setPointSizeF(8.25);
    font.setUnderline(true);
    ASSERT_EQ(QFontInfo(font).family(), QStringLiteral("Tahoma"));
    const int width = QFontMetrics(font).horizontalAdvance(caption);
    EXPECT_LE(width, 409) << "caption needs " << width << " px";

    test::ScriptedDialogs dialogs;
    AppContext context;
    context.dialogs = &dialogs;
    frmMain main(context);
    auto *label = main.findChild<LinkLabel *>(QStringLiteral("lblBrenmoor"));
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->text(), caption);
    EXPECT_EQ(label->width(), 409);
    EXPECT_EQ(FontText(label->font()), QStringLiteral("Tahoma 8.25 underline"));
    EXPECT_LE(label->fontMetrics().horizontalAdvance(caption), label->contentsRect().width());
    EXPECT_EQ(label->fontMetrics()
                  .boundingRect(label->contentsRect(), int(label->alignment()), caption)
                  .height(),
              label->fontMetrics().height());
}

} // namespace
} // namespace vantrel
