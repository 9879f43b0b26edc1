#include "settings/frmsetttings.h"

#include "platform/userdialogs.h"
#include "tests/support/scripteddialogs.h"
#include "ui/twips.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFontDatabase>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <memory>

#ifndef _WIN32
#include <unistd.h>
#endif

namespace vantrel {
namespace {

using test::ScriptedDialogs;

QString Q(const char *utf8)
{
    return QString::fromUtf8(utf8);
}

class SettingsWindowTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_folder.isValid());
        m_context.dialogs = &m_dialogs;
        m_context.appFolder = m_folder.path();
        m_main.setFixedSize(416, 258);
        m_main.move(240, 180);
        m_main.show();
    }
    void TearDown() override
    {
        QFile::setPermissions(m_folder.path(),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        EXPECT_TRUE(m_dialogs.allAnswersUsed());
    }

    // Creates the window as the main window does (loading the file) and
    // shows it.
    std::unique_ptr<frmSetttings> Open()
    {
        auto window = std::make_unique<frmSetttings>(m_context, &m_main);
        window->show();
        return window;
    }
    template<typename W>
    static W *Get(const QWidget *window, const char *name)
    {
        W *child = window->findChild<W *>(QString::fromLatin1(name));
        EXPECT_NE(child, nullptr) << name;
        return child;
    }
    static QLineEdit *Field(const QWidget *window, const char *name)
    {
        return Get<QLineEdit>(window, name);
    }
    static void Fill(const QWidget *window, const QString &address, const QString &user,
                     const QString &password, const QString &folder)
    {
        Field(window, "txtFTPAddress")->setText(address);
        Field(window, "txtUserName")->setText(user);
        Field(window, "txtPassword")->setText(password);
        Field(window, "txtServerFolder")->setText(folder);
    }
    static void Click(const QWidget *window, const char *button)
    {
        QTest::mouseClick(Get<QPushButton>(window, button), Qt::LeftButton);
    }

    QString SettingsPath() const { return m_folder.filePath(QStringLiteral("rider.brm")); }
    QByteArray FileBytes() const
    {
        QFile file(SettingsPath());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
    }
    void WriteFile(const QByteArray &bytes) const
    {
        QFile file(SettingsPath());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(bytes);
    }

    QTemporaryDir m_folder;
    ScriptedDialogs m_dialogs;
    AppContext m_context;
    QWidget m_main;
};

// "ftp.example.com", "user", "p w", "" scrambled with the settings key.
const QByteArray kKnownFile("\xD5\xEA\xD5\xA2\xD7\xE1\xCD\xE7\xD1\xDA\xD2\x9D\xD9\xD4\xE1\r\n"
                            "\xE4\xE9\xCA\xE6\r\n"
                            "\xDF\x96\xDC\r\n"
                            "\r\n");

TEST_F(SettingsWindowTest, Layout)
{
    auto window = Open();
    EXPECT_EQ(window->windowTitle(), QStringLiteral("FTP Settings - Brenmoor"));
    EXPECT_EQ(window->size(), QSize(327, 175));
    EXPECT_EQ(window->minimumSize(), window->maximumSize());
    EXPECT_FALSE(window->windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_FALSE(window->windowIcon().isNull());
    EXPECT_LE((window->geometry().center() - m_main.geometry().center()).manhattanLength(), 2);

    auto *frame = Get<QFrame>(window.get(), "Frame1");
    EXPECT_EQ(frame->geometry(), QRect(8, 0, 313, 129));
    const struct
    {
        const char *name;
        QRect place;
        QWidget *container;
    } places[] = {
        {"lblFtpAddress", QRect(12, 18, 65, 17), frame},
        {"txtFTPAddress", QRect(104, 16, 201, 21), frame},
        {"lblUsername", QRect(12, 46, 53, 17), frame},
        {"txtUserName", QRect(104, 44, 165, 21), frame},
        {"lblPassword", QRect(12, 74, 57, 17), frame},
        {"txtPassword", QRect(104, 72, 165, 21), frame},
        {"lblServerFolder", QRect(12, 102, 73, 17), frame},
        {"txtServerFolder", QRect(104, 100, 165, 21), frame},
        {"cmdSaveSettings", QRect(8, 136, 233, 33), window.get()},
        {"cmdExit", QRect(248, 136, 73, 33), window.get()},
    };
    for (const auto &p : places) {
        const auto *control = Get<QWidget>(window.get(), p.name);
        EXPECT_EQ(control->geometry(), p.place) << p.name;
        EXPECT_EQ(control->parentWidget(), p.container) << p.name;
    }

    const struct
    {
        const char *label;
        const char *caption;
        const char *field;
    } captions[] = {{"lblFtpAddress", "FTP Address:", "txtFTPAddress"},
                    {"lblUsername", "Username:", "txtUserName"},
                    {"lblPassword", "Password:", "txtPassword"},
                    {"lblServerFolder", "Server Folder:", "txtServerFolder"}};
    for (const auto &c : captions) {
        const auto *label = Get<QLabel>(window.get(), c.label);
        EXPECT_EQ(label->text(), QString::fromLatin1(c.caption));
        EXPECT_EQ(label->buddy(), Field(window.get(), c.field));
        EXPECT_EQ(label->font().family(), QStringLiteral("Tahoma"));
        EXPECT_DOUBLE_EQ(label->font().pointSizeF(), 8.25);
        EXPECT_FALSE(label->font().bold());
        const auto *field = Field(window.get(), c.field);
        EXPECT_TRUE(field->text().isEmpty());
        EXPECT_EQ(field->echoMode(), QLineEdit::Normal);
        EXPECT_GT(field->maxLength(), 32767);
    }
    for (const char *name : {"cmdSaveSettings", "cmdExit"}) {
        const auto *button = Get<QPushButton>(window.get(), name);
        EXPECT_EQ(button->font().family(), QStringLiteral("Tahoma"));
        EXPECT_DOUBLE_EQ(button->font().pointSizeF(), 9.75);
        EXPECT_TRUE(button->font().bold());
        EXPECT_FALSE(button->isDefault());
    }
    EXPECT_EQ(Get<QPushButton>(window.get(), "cmdSaveSettings")->text(),
              QStringLiteral("&Save FTP Settings"));
    EXPECT_EQ(Get<QPushButton>(window.get(), "cmdExit")->text(), QStringLiteral("E&xit"));
    if (QFontDatabase::families().contains(QStringLiteral("Tahoma"))) {
        EXPECT_EQ(QFontInfo(window->font()).family(), QStringLiteral("Tahoma"));
    }

    // Focus starts in the address and Tab follows the tab index.
    EXPECT_EQ(window->focusWidget(), Field(window.get(), "txtFTPAddress"));
    QApplication::setActiveWindow(window.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    QStringList order;
    for (int i = 0; i < 7; ++i) {
        order << QApplication::focusWidget()->objectName();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    EXPECT_EQ(order.join(Q(" ")), Q("txtFTPAddress txtUserName txtPassword txtServerFolder "
                                    "cmdSaveSettings cmdExit txtFTPAddress"));
}

TEST_F(SettingsWindowTest, OnlyTheFirstBlankValueIsReported)
{
    auto window = Open();
    const struct
    {
        QString address, user, password;
        const char *message;
        const char *focus;
    } steps[] = {
        {Q(""), Q("user"), Q(""), "FTP ADDRESS IS BLANK!", "txtFTPAddress"},
        {Q("   "), Q(""), Q(""), "FTP USERNAME IS BLANK!", "txtUserName"},
        {Q("   "), Q("u"), Q(""), "FTP PASSWORD IS BLANK!", "txtPassword"},
    };
    for (const auto &step : steps) {
        Fill(window.get(), step.address, step.user, step.password, QStringLiteral("/x/"));
        m_dialogs.clear();
        m_dialogs.answer(vbOK);
        Click(window.get(), "cmdSaveSettings");
        ASSERT_EQ(m_dialogs.boxes().size(), 1);
        EXPECT_EQ(m_dialogs.boxes()[0].text, QString::fromLatin1(step.message));
        EXPECT_EQ(m_dialogs.boxes()[0].title, QStringLiteral("Error"));
        EXPECT_EQ(m_dialogs.boxes()[0].style, vbCritical);
        EXPECT_EQ(window->focusWidget()->objectName(), QString::fromLatin1(step.focus));
    }
    EXPECT_FALSE(QFile::exists(SettingsPath()));
}

TEST_F(SettingsWindowTest, SavesSpacesAndAnEmptyFolderAndStaysOpen)
{
    auto window = Open();
    Fill(window.get(), QStringLiteral("   "), QStringLiteral("u"), QStringLiteral("p"), QString());
    m_dialogs.answer(vbOK);
    Click(window.get(), "cmdSaveSettings");
    ASSERT_EQ(m_dialogs.boxes().size(), 1);
    EXPECT_EQ(m_dialogs.boxes()[0].text, QStringLiteral("YOUR SETTINGS ARE SUCCESSFULLY SAVED!"));
    EXPECT_EQ(m_dialogs.boxes()[0].title, QStringLiteral("Message"));
    EXPECT_EQ(m_dialogs.boxes()[0].style, vbInformation);
    // Spaces + 'o', 'v', 'e'; "u" and "p" + 'o'; an empty fourth line.
    EXPECT_EQ(FileBytes(), QByteArray("\x8F\x96\x85\r\n\xE4\r\n\xDF\r\n\r\n"));
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(Field(window.get(), "txtFTPAddress")->text(), QStringLiteral("   "));
}

TEST_F(SettingsWindowTest, ReopeningShowsWhatTheFileHolds)
{
    {
        auto window = Open();
        Fill(window.get(), QStringLiteral(" caf\u00E9.example "), QStringLiteral("\u20AC"),
             QStringLiteral("secret"), QStringLiteral("/www/"));
        m_dialogs.answer(vbOK);
        Click(window.get(), "cmdSaveSettings");
        Click(window.get(), "cmdExit");
        EXPECT_FALSE(window->isVisible());
        EXPECT_EQ(window->result(), QDialog::Rejected);
    }
    auto window = Open();
    EXPECT_EQ(Field(window.get(), "txtFTPAddress")->text(), QStringLiteral(" caf\u00E9.example "));
    EXPECT_EQ(Field(window.get(), "txtUserName")->text(), QStringLiteral("\u20AC"));
    EXPECT_EQ(Field(window.get(), "txtPassword")->text(), QStringLiteral("secret"));
    EXPECT_EQ(Field(window.get(), "txtServerFolder")->text(), QStringLiteral("/www/"));

    // Two lines: the password and the folder stay empty. An empty file:
    // nothing filled, nothing said.
    WriteFile(kKnownFile.left(23));
    window = Open();
    EXPECT_EQ(Field(window.get(), "txtFTPAddress")->text(), QStringLiteral("ftp.example.com"));
    EXPECT_EQ(Field(window.get(), "txtUserName")->text(), QStringLiteral("user"));
    EXPECT_TRUE(Field(window.get(), "txtPassword")->text().isEmpty());
    EXPECT_TRUE(Field(window.get(), "txtServerFolder")->text().isEmpty());
    WriteFile(QByteArray());
    window = Open();
    EXPECT_TRUE(Field(window.get(), "txtFTPAddress")->text().isEmpty());
    EXPECT_EQ(m_dialogs.boxes().size(), 1); // the notice of the save only
}

TEST_F(SettingsWindowTest, EscAndTitleBarCloseDropEdits)
{
    WriteFile(kKnownFile);
    auto window = Open();
    QApplication::setActiveWindow(window.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    QTest::keyClicks(Field(window.get(), "txtPassword"), QStringLiteral("changed"));
    QTest::keyClick(Field(window.get(), "txtPassword"), Qt::Key_Escape);
    EXPECT_FALSE(window->isVisible());

    window = Open();
    Field(window.get(), "txtFTPAddress")->setText(QStringLiteral("other"));
    window->close();
    EXPECT_FALSE(window->isVisible());

    // The main window's way: a modal run that Alt+X ends. Should the key
    // not work, the run ends as accepted after a while, failing the test.
    window = std::make_unique<frmSetttings>(m_context, &m_main);
    QTimer::singleShot(0, window.get(), [&] {
        QApplication::setActiveWindow(window.get());
        if (QTest::qWaitForWindowActive(window.get()))
            QTest::keyClick(window->focusWidget(), Qt::Key_X, Qt::AltModifier);
    });
    QTimer::singleShot(30000, window.get(), [&] { window->done(QDialog::Accepted); });
    EXPECT_EQ(window->exec(), QDialog::Rejected);

    EXPECT_EQ(FileBytes(), kKnownFile);
    EXPECT_TRUE(m_dialogs.boxes().isEmpty());
}

TEST_F(SettingsWindowTest, ValuesTheFileCannotCarryAreRefused)
{
    WriteFile(kKnownFile);
    auto window = Open();
    const struct
    {
        QString address, user, password, folder;
        const char *message;
        const char *focus;
    } cases[] = {
        {Q("\u4E2D.example"), Q("u"), Q("p"), Q(""),
         "FTP ADDRESS CONTAINS A CHARACTER THAT CANNOT BE SAVED!", "txtFTPAddress"},
        {Q("a"), QString(QChar(0xD800)), Q("p"), Q(""),
         "FTP USERNAME CONTAINS A CHARACTER THAT CANNOT BE SAVED!", "txtUserName"},
        // A first character 'ž' scrambles to a CR.
        {Q("a"), Q("u"), Q("\u017Ep"), Q(""),
         "FTP PASSWORD CONTAINS A CHARACTER THAT CANNOT BE SAVED!", "txtPassword"},
        {Q("a"), Q("u"), Q("p"), QString(32767, QLatin1Char('f')), "SERVER FOLDER IS TOO LONG!",
         "txtServerFolder"},
        // A scrambled CR or LF is never a CR or LF, so only this check sees them.
        {Q("a\r\n"), Q("u"), Q("p"), Q(""), "FTP ADDRESS CONTAINS A LINE BREAK OR NUL CHARACTER!",
         "txtFTPAddress"},
        {Q("a"), Q("u\r\nDELE victim.txt"), Q("p"), Q(""),
         "FTP USERNAME CONTAINS A LINE BREAK OR NUL CHARACTER!", "txtUserName"},
        {Q("a"), Q("u"), Q("p\nx"), Q(""), "FTP PASSWORD CONTAINS A LINE BREAK OR NUL CHARACTER!",
         "txtPassword"},
        {Q("a"), Q("u"), Q("p"), QStringLiteral("f") + QChar(0) + Q("/"),
         "SERVER FOLDER CONTAINS A LINE BREAK OR NUL CHARACTER!", "txtServerFolder"},
        // The blank check comes first.
        {Q(""), Q("u"), Q("p"), Q("\u4E2D"), "FTP ADDRESS IS BLANK!", "txtFTPAddress"},
    };
    for (const auto &c : cases) {
        Fill(window.get(), c.address, c.user, c.password, c.folder);
        m_dialogs.clear();
        m_dialogs.answer(vbOK);
        Click(window.get(), "cmdSaveSettings");
        ASSERT_EQ(m_dialogs.boxes().size(), 1) << c.message;
        EXPECT_EQ(m_dialogs.boxes()[0].text, QString::fromLatin1(c.message));
        EXPECT_EQ(m_dialogs.boxes()[0].style, vbCritical);
        EXPECT_EQ(window->focusWidget()->objectName(), QString::fromLatin1(c.focus));
    }
    EXPECT_EQ(FileBytes(), kKnownFile);
}

TEST_F(SettingsWindowTest, FailedSaveIsReportedAndKeepsTheOldFile)
{
    // The application folder below a regular file: nothing can be written
    // there, also for root. Loading finds no file and says nothing.
    WriteFile("plain");
    m_context.appFolder = SettingsPath();
    auto window = Open();
    Fill(window.get(), QStringLiteral("a"), QStringLiteral("u"), QStringLiteral("p"), QString());
    m_dialogs.answer(vbOK);
    Click(window.get(), "cmdSaveSettings");
    ASSERT_EQ(m_dialogs.boxes().size(), 1);
    EXPECT_EQ(m_dialogs.boxes()[0].text, QStringLiteral("YOUR SETTINGS COULD NOT BE SAVED!\n"
                                                        "PATH NOT FOUND"));
    EXPECT_EQ(m_dialogs.boxes()[0].style, vbCritical);
    EXPECT_TRUE(window->isVisible());

#ifndef _WIN32
    if (::geteuid() == 0)
        GTEST_SKIP() << "root writes into read-only folders";
#endif
    m_context.appFolder = m_folder.path();
    WriteFile(kKnownFile);
    window = Open();
    ASSERT_TRUE(QFile::setPermissions(m_folder.path(), QFile::ReadOwner | QFile::ExeOwner));
    m_dialogs.clear();
    m_dialogs.answer(vbOK);
    Click(window.get(), "cmdSaveSettings");
    ASSERT_EQ(m_dialogs.boxes().size(), 1);
    EXPECT_EQ(m_dialogs.boxes()[0].text, QStringLiteral("YOUR SETTINGS COULD NOT BE SAVED!\n"
                                                        "PERMISSION DENIED"));
    EXPECT_EQ(FileBytes(), kKnownFile);
}

TEST_F(SettingsWindowTest, UnreadableFileIsReportedAndTheWindowOpensEmpty)
{
    // A folder where the file should be.
    ASSERT_TRUE(QDir(m_folder.path()).mkdir(QStringLiteral("rider.brm")));
    m_dialogs.answer(vbOK);
    auto window = Open();
    ASSERT_EQ(m_dialogs.boxes().size(), 1);
    EXPECT_EQ(m_dialogs.boxes()[0].text, QStringLiteral("YOUR SETTINGS COULD NOT BE READ!\n"
                                                        "PATH/FILE ACCESS ERROR (IS A DIRECTORY)"));
    EXPECT_EQ(m_dialogs.boxes()[0].style, vbCritical);
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(Field(window.get(), "txtFTPAddress")->text().isEmpty());
}

} // namespace
} // namespace vantrel
