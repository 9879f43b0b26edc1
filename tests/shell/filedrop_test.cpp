// Files dropped on the main window's pages: the source of an encoding, the
// file to upload (against a real server), the drops that are refused, and
// what a screen reader reads from the value boxes.

#include "settings/settingsfile.h"
#include "shell/frmmain.h"
#include "tests/support/scripteddialogs.h"
#include "tests/support/testfiles.h"
#include "tests/support/windowjobs.h"
#include "tests/upload/ftpserver.h"
#include "ui/tabcontrol.h"

#include <QAccessible>
#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

namespace vantrel::test {
namespace {

const QString kUploadQuestion = QStringLiteral("DO YOU WANT TO UPLOAD THIS FILE?");
const QString kSuccess = QStringLiteral("YOUR FILE HAS BEEN UPLOADED SUCCESSFULLY!");

class FileDropTest : public ::testing::Test
{
protected:
    FileDropTest()
    {
        context = TestContext(dialogs, appFolder.path(), ended);
        window = std::make_unique<frmMain>(context);
        EXPECT_TRUE(window->Form_Load());
        tabs = window->findChild<TabControl *>(QStringLiteral("SSTab1"));
    }
    ~FileDropTest() override
    {
        EXPECT_TRUE(dialogs.allAnswersUsed());
        EXPECT_EQ(ended, 0);
    }

    template<typename T = QWidget>
    T *child(const char *name)
    {
        T *found = window->findChild<T *>(QString::fromLatin1(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }

    // The page that holds `frame` ("Frame1", "Frame4").
    QWidget *page(const char *frame) { return child(frame)->parentWidget(); }

    QString makeFile(const QString &name, const QByteArray &bytes = "video")
    {
        return WriteFile(local.path(), name, bytes);
    }

    // Saves `server` as the FTP settings and shows the upload page.
    void uploadTo(const FtpTestServer &server)
    {
        settings::WriteSettingsFile(
            settings::SettingsFilePath(std::filesystem::path(appFolder.path().toStdString())),
            {server.address().toStdString(), FtpTestServer::kUser.toStdString(),
             FtpTestServer::kPassword.toStdString(), ""});
        tabs->setCurrentIndex(2);
    }

    // A drag over `target` and its drop, as the window system delivers them;
    // then what the drop started runs.
    bool drop(QWidget *target, const QList<QUrl> &urls)
    {
        QMimeData data;
        data.setUrls(urls);
        const QPointF at(target->width() / 2.0, target->height() / 2.0);
        QDragEnterEvent enter(at.toPoint(), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(target, &enter);
        if (!enter.isAccepted())
            return false;
        QDropEvent dropped(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(target, &dropped);
        QCoreApplication::processEvents();
        return dropped.isAccepted();
    }

    QTemporaryDir appFolder;
    QTemporaryDir local;
    ScriptedDialogs dialogs;
    AppContext context;
    int ended = 0;
    std::unique_ptr<frmMain> window;
    TabControl *tabs = nullptr;
};

TEST_F(FileDropTest, DroppedSourceIsTakenAsTheInputButtonTakesIt)
{
    const QString path = makeFile(QStringLiteral("holiday clip.avi"));
    ASSERT_TRUE(drop(page("Frame1"), {QUrl::fromLocalFile(path)}));

    EXPECT_TRUE(dialogs.boxes().isEmpty());
    EXPECT_EQ(child<QLabel>("lblInput")->text(), path);
    EXPECT_EQ(child<QLineEdit>("txtFileTitle")->text(), QStringLiteral("holiday clip.mp4"));
    // The dialog opens at the dropped file next time.
    dialogs.chooseFile(std::nullopt);
    child<QPushButton>("cmdInput")->click();
    ASSERT_EQ(dialogs.fileRequests().size(), 1);
    EXPECT_EQ(dialogs.fileRequests()[0].fileName, path);
}

TEST_F(FileDropTest, DropsThatAreNotOneFileHereAreRefused)
{
    const QString one = makeFile(QStringLiteral("one.mp4"));
    const QString two = makeFile(QStringLiteral("two.mp4"));
    struct Refused
    {
        const char *what;
        QList<QUrl> urls;
        QString message;
    };
    const Refused cases[] = {
        {"two files",
         {QUrl::fromLocalFile(one), QUrl::fromLocalFile(two)},
         QStringLiteral("PLEASE DROP ONE FILE AT A TIME!")},
        {"a folder",
         {QUrl::fromLocalFile(local.path())},
         QStringLiteral("A FOLDER CANNOT BE DROPPED HERE. PLEASE DROP A FILE!")},
        {"a missing file",
         {QUrl::fromLocalFile(local.filePath(QStringLiteral("gone.mp4")))},
         QStringLiteral("THE DROPPED FILE DOES NOT EXIST!")},
        {"a web address",
         {QUrl(QStringLiteral("https://example.org/clip.mp4"))},
         QStringLiteral("ONLY FILES ON THIS COMPUTER CAN BE DROPPED!")},
    };
    for (const char *frame : {"Frame1", "Frame4"}) {
        for (const Refused &c : cases) {
            dialogs.clear();
            dialogs.answer(vbOK);
            EXPECT_TRUE(drop(page(frame), c.urls)) << frame << ", " << c.what;
            ASSERT_EQ(dialogs.boxes().size(), 1) << frame << ", " << c.what;
            EXPECT_EQ(dialogs.boxes()[0].text, c.message) << frame << ", " << c.what;
            EXPECT_EQ(dialogs.boxes()[0].title, QStringLiteral("Error"));
            EXPECT_EQ(dialogs.boxes()[0].style, vbCritical);
        }
    }
    EXPECT_EQ(child<QLabel>("lblInput")->text(), QString());
    EXPECT_EQ(child<QLineEdit>("txtFileTitle")->text(), QString());
    EXPECT_EQ(child<QLabel>("lblSelectedFile")->text(), QString());
    EXPECT_EQ(child<QLabel>("lblSelectedFileTitle")->text(), QString());

    // Text without addresses is not taken at all.
    QMimeData text;
    text.setText(QStringLiteral("clip.mp4"));
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &text, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(page("Frame1"), &enter);
    EXPECT_FALSE(enter.isAccepted());
}

TEST_F(FileDropTest, DroppedFileReplacesTheUploadChoiceAndIsUploadedAfterItsQuestion)
{
    FtpTestServer server;
    ASSERT_TRUE(server.isRunning());
    uploadTo(server);
    const QString first = makeFile(QStringLiteral("first.flv"), QByteArray(5000, 'a'));
    const QString second = makeFile(QStringLiteral("second clip.mp4"), QByteArray(7000, 'b'));

    dialogs.chooseFile(first);
    dialogs.answer(vbYes);
    dialogs.answer(vbOK);
    ClickAndWait(child<QPushButton>("cmdUpload"), *window);
    ASSERT_TRUE(server.waitForEvent(QStringLiteral("RENAMED .first.flv.upload first.flv")));

    // A No keeps the dropped file chosen and sends nothing.
    dialogs.clear();
    dialogs.answer(vbNo);
    ASSERT_TRUE(drop(page("Frame4"), {QUrl::fromLocalFile(second)}));
    EXPECT_EQ(dialogs.boxTexts(), QStringList{kUploadQuestion});
    EXPECT_EQ(child<QLabel>("lblSelectedFile")->text(), second);
    EXPECT_EQ(child<QLabel>("lblSelectedFileTitle")->text(), QStringLiteral("second clip.mp4"));
    EXPECT_EQ(server.countEvents(QStringLiteral("RENAMED .second clip.mp4.upload second clip.mp4")),
              0);

    dialogs.clear();
    dialogs.answer(vbYes);
    dialogs.answer(vbOK);
    ASSERT_TRUE(drop(page("Frame4"), {QUrl::fromLocalFile(second)}));
    WaitForJobs(*window);
    EXPECT_EQ(dialogs.boxTexts(), (QStringList{kUploadQuestion, kSuccess}));
    EXPECT_TRUE(dialogs.fileRequests().isEmpty());
    EXPECT_TRUE(
        server.waitForEvent(QStringLiteral("RENAMED .second clip.mp4.upload second clip.mp4")));
    QFile sent(server.pathInHome(QStringLiteral("second clip.mp4")));
    ASSERT_TRUE(sent.open(QIODevice::ReadOnly));
    EXPECT_EQ(sent.readAll(), QByteArray(7000, 'b'));
}

TEST_F(FileDropTest, UploadBarTellsRateAndTimeLeftAFewTimesASecond)
{
    // 8 MiB/s into a 20 MiB file: a few seconds of progress.
    FtpServerOptions slow;
    slow.readLimit = 8 << 20;
    FtpTestServer server(slow);
    ASSERT_TRUE(server.isRunning());
    uploadTo(server);
    const QString path = makeFile(QStringLiteral("big.mp4"), QByteArray(20 << 20, 'x'));
    auto *bar = child<QProgressBar>("prgUpload");
    auto *percent = child<QLabel>("lblPercent");
    QStringList texts;
    QStringList percents;
    QElapsedTimer clock;
    int untold = 0; // texts a screen reader would not get
    QObject::connect(bar, &QProgressBar::valueChanged, bar, [&] {
        if (bar->isTextVisible() && (texts.isEmpty() || texts.last() != bar->text()))
            texts << bar->text();
        if (bar->isTextVisible() && bar->accessibleDescription() != bar->text())
            ++untold;
        percents << percent->text();
    });

    dialogs.chooseFile(path);
    dialogs.answer(vbYes);
    dialogs.answer(vbOK);
    clock.start();
    ClickAndWait(child<QPushButton>("cmdUpload"), *window);
    const qint64 elapsed = clock.elapsed();

    ASSERT_FALSE(texts.isEmpty());
    const QRegularExpression form(QStringLiteral("^\\d+\\.\\d (KB|MB)/s, \\d+:\\d\\d left$"));
    for (const QString &text : texts)
        EXPECT_TRUE(form.match(text).hasMatch()) << text.toStdString();
    // At most one new text per quarter second, plus the first.
    EXPECT_LE(texts.size(), elapsed / 250 + 1);
    // The percentage keeps its own texts (the first value comes before it).
    const QRegularExpression status(QStringLiteral("^(Upload Status:|Status: (\\d+%)?)$"));
    for (const QString &text : percents)
        EXPECT_TRUE(status.match(text).hasMatch()) << text.toStdString();
    EXPECT_EQ(untold, 0);
    // Cleared with the rest of the display.
    EXPECT_FALSE(bar->isTextVisible());
    EXPECT_TRUE(bar->accessibleDescription().isEmpty());
    EXPECT_EQ(child<QLabel>("lblServerStatus")->text(), QStringLiteral(" "));
}

TEST_F(FileDropTest, ValueBoxesTellAScreenReaderWhatTheyAreAndWhatTheyShow)
{
    const QString source = makeFile(QStringLiteral("talk.avi"));
    ASSERT_TRUE(drop(page("Frame1"), {QUrl::fromLocalFile(source)}));
    dialogs.chooseFolder(local.path());
    child<QPushButton>("cmdOutput")->click();
    dialogs.answer(vbNo);
    const QString upload = makeFile(QStringLiteral("talk.mp4"));
    ASSERT_TRUE(drop(page("Frame4"), {QUrl::fromLocalFile(upload)}));
    child<QLabel>("lblServerStatus")->setText(QStringLiteral("Server Connected"));

    struct Box
    {
        const char *name;
        QString accessibleName;
        QString shown;
    };
    const Box boxes[] = {
        {"lblInput", QStringLiteral("Source file"), source},
        {"lblOutput", QStringLiteral("Output folder"), local.path() + QLatin1Char('/')},
        {"lblSelectedFileTitle", QStringLiteral("Selected file"), QStringLiteral("talk.mp4")},
        {"lblSelectedFile", QStringLiteral("Selected file path"), upload},
        {"lblServerStatus", QStringLiteral("Server status"), QStringLiteral("Server Connected")},
    };
    for (const Box &box : boxes) {
        QAccessibleInterface *face = QAccessible::queryAccessibleInterface(child(box.name));
        ASSERT_NE(face, nullptr) << box.name;
        EXPECT_EQ(face->text(QAccessible::Name), box.accessibleName) << box.name;
        EXPECT_EQ(face->text(QAccessible::Description), box.shown) << box.name;
        EXPECT_EQ(face->role(), QAccessible::StaticText) << box.name;
    }
    // The window itself is a window to a screen reader, named by its title.
    QAccessibleInterface *face = QAccessible::queryAccessibleInterface(window.get());
    ASSERT_NE(face, nullptr);
    EXPECT_EQ(face->role(), QAccessible::Window);
    EXPECT_EQ(face->text(QAccessible::Name), window->windowTitle());
    // The boxes around each page's controls are groups, not windows.
    for (const char *frame : {"Frame1", "Frame2", "Frame4"})
        EXPECT_EQ(QAccessible::queryAccessibleInterface(child(frame))->role(),
                  QAccessible::Grouping)
            << frame;
}

} // namespace
} // namespace vantrel::test
