// The window and vantrel-cli compose the same encoder line and start the
// same two programs with the same arguments, for the same choices: the
// window driven through its controls, the tool from its command line, both
// with stand-in programs that record what they were given.

#include "cli/batch.h"
#include "cli/options.h"
#include "common/qtbridge.h"
#include "shell/frmmain.h"
#include "tests/support/scripteddialogs.h"
#include "tests/support/testfiles.h"
#include "tests/support/windowjobs.h"

#include <QComboBox>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

namespace vantrel::test {
namespace {

// Keeps the encoder line the batch composed.
class LineRecorder final : public cli::BatchObserver
{
public:
    QString line;

    void stepStarted(int, cli::Step step, const cli::FileState &, const QString &detail) override
    {
        if (step == cli::Step::Encode)
            line = detail;
    }
    void encodeProgressed(int, const ProgressLine &, std::int64_t) override {}
    void uploadProgressed(int, const upload::UploadProgress &) override {}
    void stepFinished(int, cli::Step, const cli::FileState &) override {}
    void warning(int, cli::Step, const QString &) override {}
    void uploadRetrying(int, int, int, const QString &) override {}
    void batchEnded(const std::vector<cli::FileState> &, bool, int) override {}
};

class NoQuestions final : public upload::UploadQuestions
{
public:
    bool TrustCertificate(const upload::ServerIdentity &, bool) override { return false; }
    bool AcceptHostKey(const upload::ServerIdentity &) override { return false; }
    bool AbortUpload() override { return true; }
};

struct Recorded
{
    QString line;
    QByteArray encoderArguments;
    QByteArray repairArguments;
};

class CliLinesTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(appDir.isValid() && workDir.isValid());
        for (const char *name : {"mencoder", "fix"}) {
            const QString program = QString::fromLatin1(name);
            // Each records its arguments, one a line; fix also writes the
            // final file, as the real one does.
            WriteFile(appDir.filePath(program),
                      "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > \"$(dirname "
                      "\"$0\")/"
                          + program.toUtf8() + ".args\"\n"
                          + (program == QStringLiteral("fix") ? "echo done > \"$2\"\n" : "")
                          + "exit 0\n");
            QFile::setPermissions(appDir.filePath(program),
                                  QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        }
    }

    // What the stand-ins were given, and forgets it (and the final file).
    Recorded take(const QString &line, const QString &finalFile)
    {
        Recorded recorded{line, ReadFile(appDir.filePath(QStringLiteral("mencoder.args"))),
                          ReadFile(appDir.filePath(QStringLiteral("fix.args")))};
        QFile::remove(appDir.filePath(QStringLiteral("mencoder.args")));
        QFile::remove(appDir.filePath(QStringLiteral("fix.args")));
        QFile::remove(finalFile);
        return recorded;
    }

    Recorded byTheWindow(const QString &source, const QString &folder, const cli::EncodeValues &v,
                         const QString &finalFile)
    {
        ScriptedDialogs dialogs;
        int endCount = 0;
        const AppContext context = TestContext(dialogs, appDir.path(), endCount);
        frmMain window(context);
        EXPECT_TRUE(window.Form_Load());
        const auto child = [&window](const char *name) {
            return window.findChild<QWidget *>(QString::fromLatin1(name));
        };
        dialogs.chooseFile(source);
        qobject_cast<QPushButton *>(child("cmdInput"))->click();
        dialogs.chooseFolder(folder);
        qobject_cast<QPushButton *>(child("cmdOutput"))->click();
        const std::pair<const char *, std::string> lists[] = {{"cmbVideoWindow", v.videoWindow},
                                                              {"cmbVideoBitrate", v.videoBitrate},
                                                              {"cmbAudioSampling", v.audioSampling},
                                                              {"cmbAudioBitrate", v.audioBitrate}};
        for (const auto &[name, value] : lists)
            qobject_cast<QComboBox *>(child(name))->setCurrentText(FromUtf8(value));
        dialogs.answer(vbOK); // "FLV ENCODED!"
        ClickAndWait(qobject_cast<QPushButton *>(child("cmdEncode")), window);
        EXPECT_EQ(dialogs.boxTexts(), QStringList{QStringLiteral("FLV ENCODED!")});
        return take(qobject_cast<QLineEdit *>(child("txtApp"))->text(), finalFile);
    }

    Recorded byTheTool(const QStringList &arguments, const QString &finalFile)
    {
        std::vector<std::string> words{"encode"};
        for (const QString &argument : arguments)
            words.push_back(ToUtf8(argument));
        const cli::ParsedArguments parsed = cli::ParseArguments(words);
        EXPECT_EQ(parsed.kind, cli::ParsedArguments::Kind::Run) << parsed.error;
        QString error;
        const cli::BatchSetup setup = cli::SetupFromOptions(parsed.options, appDir.path(), &error);
        EXPECT_TRUE(error.isEmpty());
        LineRecorder recorder;
        NoQuestions questions;
        cli::Batch batch(setup, parsed.options.files, questions, recorder);
        QEventLoop loop;
        int status = -1;
        QObject::connect(&batch, &cli::Batch::ended, &loop, [&](int ended) {
            status = ended;
            loop.quit();
        });
        QTimer::singleShot(60000, &loop, &QEventLoop::quit);
        QTimer::singleShot(0, &batch, &cli::Batch::start);
        loop.exec();
        EXPECT_EQ(status, cli::kExitSuccess);
        return take(recorder.line, finalFile);
    }

    QTemporaryDir appDir;
    QTemporaryDir workDir;
};

TEST_F(CliLinesTest, TheToolComposesAndRunsTheWindowsLinesCharacterForCharacter)
{
    QDir(workDir.path()).mkpath(QStringLiteral("my videos/out put"));
    struct Case
    {
        const char *source;
        const char *folder;
        cli::EncodeValues values;
        QStringList options;
        const char *output;
    };
    const Case cases[] = {
        {"holiday.avi", "my videos/out put", cli::DefaultEncodeValues(), {}, "holiday.mp4"},
        {"my videos/Holiday.MPEG",
         "my videos/out put/",
         {"1024:768", "2400", "196", "48000"},
         {QStringLiteral("--size"), QStringLiteral("1024:768"), QStringLiteral("--video-kbps"),
          QStringLiteral("2400"), QStringLiteral("--audio-kbps=196"),
          QStringLiteral("--audio-hz=48000")},
         "Holiday.mp4"},
        {"x.3gp",
         "my videos",
         {"160:120", "160", "24", "11025"},
         {QStringLiteral("--size=160:120"), QStringLiteral("--video-kbps=160"),
          QStringLiteral("--audio-kbps"), QStringLiteral("24"), QStringLiteral("--audio-hz"),
          QStringLiteral("11025")},
         "x.mp4"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.source);
        const QString source = WriteFile(workDir.filePath(QString::fromUtf8(c.source)), "video");
        // The folder browser gives a folder without a separator at its end.
        const QString folder = QDir::cleanPath(workDir.filePath(QString::fromUtf8(c.folder)));
        const QString finalFile = folder + QLatin1Char('/') + QString::fromUtf8(c.output);

        const Recorded window = byTheWindow(source, folder, c.values, finalFile);
        // The tool from another folder, with paths relative to it.
        ASSERT_TRUE(QDir::setCurrent(workDir.path()));
        const Recorded tool =
            byTheTool(QStringList{QString::fromUtf8(c.source), QStringLiteral("--output-folder"),
                                  QString::fromUtf8(c.folder)}
                          + c.options,
                      finalFile);

        EXPECT_FALSE(window.line.isEmpty());
        EXPECT_EQ(tool.line, window.line);
        EXPECT_EQ(tool.encoderArguments, window.encoderArguments);
        EXPECT_EQ(tool.repairArguments, window.repairArguments);
        EXPECT_TRUE(window.repairArguments.endsWith(finalFile.toUtf8() + "\n"));
    }
}

} // namespace
} // namespace vantrel::test
