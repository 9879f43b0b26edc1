// The "Source Files" and "Encoding Options" pages and the encoder run, driven
// through the main window's real controls with scripted dialogs. The encoder
// and the repair program are small stand-in scripts, except in the end-to-end
// test, which runs the real ones over FFmpeg.

#include "shell/frmmain.h"
#include "tests/support/scripteddialogs.h"
#include "tests/support/windowjobs.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

#include <sys/mount.h>
#include <sys/resource.h>

using namespace vantrel;
using vantrel::test::ScriptedDialogs;

namespace {

class EncodingWindowTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(appDir.isValid() && workDir.isValid());
        context = test::TestContext(dialogs, appDir.path(), endCount);
        window = std::make_unique<frmMain>(context);
        ASSERT_TRUE(window->Form_Load());
    }

    void TearDown() override { EXPECT_TRUE(dialogs.allAnswersUsed()); }

    template<typename T>
    T *child(const char *name)
    {
        auto *widget = window->findChild<T *>(QString::fromLatin1(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }

    QString work(const QString &name) const { return workDir.filePath(name); }

    // A stand-in program in the application folder.
    void installScript(const QString &name, const QByteArray &body)
    {
        QFile file(appDir.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("#!/bin/sh\n" + body);
        file.close();
        file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    // An encoder that records its arguments, one a line, and exits with `code`.
    void installEncoder(int code, const QByteArray &extra = {})
    {
        installScript(QStringLiteral("mencoder"),
                      "for a in \"$@\"; do printf '%s\\n' \"$a\"; done > \"$(dirname \"$0\")/"
                      "encoder.args\"\necho 'Pos: 1.0s 25f (50%)'\n"
                          + extra + "exit " + QByteArray::number(code) + "\n");
    }

    void installRepair(int code, bool writeFinal = true)
    {
        installScript(QStringLiteral("fix"),
                      "for a in \"$@\"; do printf '%s\\n' \"$a\"; done >> \"$(dirname \"$0\")/"
                      "repair.args\"\n"
                          + QByteArray(writeFinal ? "echo done > \"$2\"\n" : "") + "exit "
                          + QByteArray::number(code) + "\n");
    }

    // The real encoder and repair program, beside a fresh settings-free folder.
    void installRealPrograms()
    {
        for (const char *tool : {"mencoder", "fix"}) {
            const QString built = QStringLiteral(VANTREL_APP_DIR "/") + QString::fromLatin1(tool);
            ASSERT_TRUE(QFile::exists(built)) << tool;
            ASSERT_TRUE(QFile::link(built, appDir.filePath(QString::fromLatin1(tool))));
        }
    }

    // A clip of `seconds` with sound, made by FFmpeg in the work folder.
    QString makeClip(const QString &name, int seconds)
    {
        QString path = work(name);
        const QString duration = QStringLiteral(":duration=") + QString::number(seconds);
        QProcess ffmpeg;
        ffmpeg.start(QStringLiteral("ffmpeg"),
                     {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-f"),
                      QStringLiteral("lavfi"), QStringLiteral("-i"),
                      QStringLiteral("testsrc=size=352x288:rate=30") + duration,
                      QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                      QStringLiteral("sine=frequency=440:sample_rate=44100") + duration,
                      QStringLiteral("-c:v"), QStringLiteral("mpeg4"), QStringLiteral("-c:a"),
                      QStringLiteral("mp3"), QStringLiteral("-y"), path});
        EXPECT_TRUE(ffmpeg.waitForFinished(60000));
        EXPECT_EQ(ffmpeg.exitCode(), 0) << ffmpeg.readAllStandardError().toStdString();
        return path;
    }

    QStringList recorded(const char *name) const
    {
        QFile file(appDir.filePath(QString::fromLatin1(name)));
        if (!file.open(QIODevice::ReadOnly))
            return {};
        return QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }

    // Chooses a source (created on disk) and an output folder through the pickers.
    void choose(const QString &sourceName, const QString &folder)
    {
        QFile source(work(sourceName));
        ASSERT_TRUE(source.open(QIODevice::WriteOnly));
        source.write("video");
        source.close();
        dialogs.chooseFile(source.fileName());
        child<QPushButton>("cmdInput")->click();
        dialogs.chooseFolder(folder);
        child<QPushButton>("cmdOutput")->click();
    }

    void encode() { test::ClickAndWait(child<QPushButton>("cmdEncode"), *window); }

    QTemporaryDir appDir;
    QTemporaryDir workDir;
    ScriptedDialogs dialogs;
    AppContext context;
    int endCount = 0;
    std::unique_ptr<frmMain> window;
};

} // namespace

TEST_F(EncodingWindowTest, StartUpFillsTheListsWithTheirDefaults)
{
    const std::pair<const char *, QString> defaults[] = {
        {"cmbVideoWindow", QStringLiteral("320:240")},
        {"cmbVideoBitrate", QStringLiteral("468")},
        {"cmbAudioSampling", QStringLiteral("16000")},
        {"cmbAudioBitrate", QStringLiteral("48")},
    };
    for (const auto &[name, text] : defaults)
        EXPECT_EQ(child<QComboBox>(name)->currentText(), text) << name;
    EXPECT_EQ(child<QComboBox>("cmbVideoBitrate")->count(), 9);
    EXPECT_FALSE(child<QComboBox>("cmbVideoWindow")->isEditable());
    EXPECT_TRUE(window->encoderOptions().startsWith(QStringLiteral(" -sws 9 ")));
    EXPECT_TRUE(window->encoderOptions().endsWith(QStringLiteral("scale=320:240 ")));
}

TEST_F(EncodingWindowTest, EveryListChangeRebuildsTheOptionString)
{
    child<QComboBox>("cmbVideoWindow")->setCurrentIndex(7);
    EXPECT_TRUE(
        window->encoderOptions().endsWith(QStringLiteral(" -ofps 25 -vf-add scale=1024:768 ")));
    child<QComboBox>("cmbVideoBitrate")->setCurrentIndex(8);
    EXPECT_TRUE(window->encoderOptions().contains(QStringLiteral("bitrate=2400:vbv_maxrate=768")));
    child<QComboBox>("cmbAudioSampling")->setCurrentIndex(4);
    EXPECT_TRUE(window->encoderOptions().contains(QStringLiteral("-srate 48000 ")));
    child<QComboBox>("cmbAudioBitrate")->setCurrentIndex(7);
    EXPECT_TRUE(window->encoderOptions().contains(QStringLiteral("br=196:mpeg=4")));
    EXPECT_TRUE(window->encoderOptions().contains(QStringLiteral("scale=1024:768 ")));
}

TEST_F(EncodingWindowTest, SourcePickerProposesTheNameAndKeepsItOnCancel)
{
    auto *input = child<QLabel>("lblInput");
    auto *title = child<QLineEdit>("txtFileTitle");

    dialogs.chooseFile(work(QStringLiteral("Holiday.MPEG")));
    child<QPushButton>("cmdInput")->click();
    EXPECT_EQ(input->text(), work(QStringLiteral("Holiday.MPEG")));
    EXPECT_EQ(title->text(), QStringLiteral("Holiday.mp4"));

    const OpenFileRequest &request = dialogs.fileRequests().constFirst();
    EXPECT_EQ(request.title, QStringLiteral("Open Video File to Encode"));
    EXPECT_EQ(request.filter, QStringLiteral("Video Files |*.mpg;*.mpeg;*.mpv;*.mps;*.m2v;*.m1v;"
                                             "*.3gp;*.avi;*.wmv;*.flv;*.mov;*.mp4"));
    EXPECT_EQ(request.flags, 4100);
    EXPECT_TRUE(request.fileName.isEmpty());

    // A cancel changes nothing, even a name the user typed since.
    title->setText(QStringLiteral("mine.mp4"));
    dialogs.chooseFile(std::nullopt);
    child<QPushButton>("cmdInput")->click();
    EXPECT_EQ(input->text(), work(QStringLiteral("Holiday.MPEG")));
    EXPECT_EQ(title->text(), QStringLiteral("mine.mp4"));

    // The dialog opens on the file it returned last; a new choice replaces.
    dialogs.chooseFile(work(QStringLiteral("ab")));
    child<QPushButton>("cmdInput")->click();
    EXPECT_EQ(dialogs.fileRequests().at(2).fileName, work(QStringLiteral("Holiday.MPEG")));
    EXPECT_EQ(input->text(), work(QStringLiteral("ab")));
    EXPECT_EQ(title->text(), QStringLiteral("ab")); // too short to propose a name
}

TEST_F(EncodingWindowTest, FolderPickerAddsOneSeparatorAndCancelClearsIt)
{
    auto *output = child<QLabel>("lblOutput");
    dialogs.chooseFolder(workDir.path());
    child<QPushButton>("cmdOutput")->click();
    EXPECT_EQ(output->text(), workDir.path() + QLatin1Char('/'));
    EXPECT_EQ(dialogs.folderTitles().constFirst(), QStringLiteral("Select Your Output Folder"));

    dialogs.chooseFolder(QStringLiteral("/"));
    child<QPushButton>("cmdOutput")->click();
    EXPECT_EQ(output->text(), QStringLiteral("/"));

    dialogs.chooseFolder(QString());
    child<QPushButton>("cmdOutput")->click();
    EXPECT_EQ(output->text(), QString());
}

TEST_F(EncodingWindowTest, ChecksComeInOrderWithTheirFocus)
{
    struct Step
    {
        std::function<void()> prepare;
        QString message;
        const char *focus;
    };
    const QString folder = workDir.path() + QLatin1Char('/');
    auto *title = child<QLineEdit>("txtFileTitle");
    auto *input = child<QLabel>("lblInput");
    auto *output = child<QLabel>("lblOutput");
    const Step steps[] = {
        {[] {}, QStringLiteral("NO FILE TO ENCODE!"), "cmdInput"},
        {[&] { input->setText(work(QStringLiteral("a.avi"))); },
         QStringLiteral("OUTPUT FOLDER MISSING!"), "cmdOutput"},
        {[&] { output->setText(folder); }, QStringLiteral("OUTPUT FILE NAME MISSING!"),
         "txtFileTitle"},
        {[&] { title->setText(QStringLiteral("clip.mp4 ")); },
         QStringLiteral("INVALID OUTPUT FILE NAME! MUST BE A .Mp4 FILE."), "txtFileTitle"},
        {[&] { title->setText(QStringLiteral("mp4")); },
         QStringLiteral("INVALID OUTPUT FILE NAME! MUST BE A .Mp4 FILE."), "txtFileTitle"},
        {[&] {
             input->setText(work(QStringLiteral("a\"b.avi")));
             title->setText(QStringLiteral("a\"b.mp4"));
         },
         QStringLiteral("THE FILE PATH CANNOT CONTAIN A QUOTATION MARK!"), "cmdInput"},
        {[&] {
             input->setText(work(QStringLiteral("a.avi")));
             output->setText(QStringLiteral("/tmp/\"x\"/"));
         },
         QStringLiteral("THE FILE PATH CANNOT CONTAIN A QUOTATION MARK!"), "cmdOutput"},
        {[&] { output->setText(folder); },
         QStringLiteral("THE FILE PATH CANNOT CONTAIN A QUOTATION MARK!"), "txtFileTitle"},
    };
    for (const Step &step : steps) {
        step.prepare();
        child<QPushButton>("cmdAbout")->setFocus(); // anywhere but the expected place
        dialogs.clear();
        dialogs.answer(vbOK);
        encode();
        ASSERT_EQ(dialogs.boxes().size(), 1) << step.message.toStdString();
        EXPECT_EQ(dialogs.boxes()[0].text, step.message);
        EXPECT_EQ(dialogs.boxes()[0].title, QStringLiteral("Error"));
        EXPECT_EQ(dialogs.boxes()[0].style, vbCritical);
        EXPECT_EQ(window->focusWidget()->objectName(), QLatin1String(step.focus))
            << step.message.toStdString();
        EXPECT_TRUE(child<QLineEdit>("txtApp")->text().isEmpty());
    }
}

TEST_F(EncodingWindowTest, AcceptedNamesReachTheEncoder)
{
    installEncoder(1);
    choose(QStringLiteral("clip.avi"), workDir.path());
    for (const char *name : {"clip.MP4", "clip.Mp4", ".mp4"}) {
        child<QLineEdit>("txtFileTitle")->setText(QString::fromUtf8(name));
        dialogs.clear();
        dialogs.answer(vbOK);
        encode();
        EXPECT_EQ(dialogs.boxTexts(),
                  QStringList{QStringLiteral("THE ENCODING FAILED DUE TO A DAMAGED VIDEO FILE!")})
            << name;
        EXPECT_EQ(recorded("encoder.args").constLast(),
                  work(QString::fromUtf8(name) + QStringLiteral(".temp")));
    }
    EXPECT_TRUE(recorded("repair.args").isEmpty());
    EXPECT_TRUE(child<QPushButton>("cmdEncode")->isEnabled());
}

TEST_F(EncodingWindowTest, AnOutputThatCannotBeWrittenIsToldWithItsReason)
{
    const QString damaged = QStringLiteral("THE ENCODING FAILED DUE TO A DAMAGED VIDEO FILE!");
    const std::pair<int, QString> rows[] = {
        {1, damaged},
        {2, damaged},
        {3, damaged},
        {4, QStringLiteral("THE OUTPUT FILE COULD NOT BE WRITTEN: THE DISK IS FULL!")},
        {5, QStringLiteral("THE OUTPUT FILE COULD NOT BE WRITTEN: PERMISSION DENIED!")},
        {6,
         QStringLiteral("THE OUTPUT FILE COULD NOT BE WRITTEN: THE FILE SIZE LIMIT WAS REACHED!")},
        {7, QStringLiteral("THE OUTPUT FILE COULD NOT BE WRITTEN!")},
        {8, damaged},
        {9, QStringLiteral("THE SOURCE FILE IS A STILL PICTURE, NOT A VIDEO!")},
        {255, damaged},
    };
    installRepair(0);
    choose(QStringLiteral("clip.avi"), workDir.path());
    for (const auto &[code, message] : rows) {
        installEncoder(code);
        dialogs.clear();
        dialogs.answer(vbOK);
        encode();
        EXPECT_EQ(dialogs.boxTexts(), QStringList{message}) << code;
        EXPECT_EQ(dialogs.boxes().constFirst().style, vbCritical);
    }
    EXPECT_TRUE(recorded("repair.args").isEmpty());
}

TEST_F(EncodingWindowTest, RealEncoderOnAFullDiskOrPastTheSizeLimitSaysSo)
{
    installRealPrograms();
    const QString source = makeClip(QStringLiteral("long clip.avi"), 20);
    dialogs.chooseFile(source);
    child<QPushButton>("cmdInput")->click();
    child<QComboBox>("cmbVideoWindow")->setCurrentIndex(7);

    // The limit of this process goes to the encoder and to FFmpeg.
    dialogs.chooseFolder(workDir.path());
    child<QPushButton>("cmdOutput")->click();
    struct rlimit saved;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    struct rlimit tight = saved;
    tight.rlim_cur = 200000;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &tight), 0);
    dialogs.answer(vbOK);
    encode();
    setrlimit(RLIMIT_FSIZE, &saved);
    EXPECT_EQ(dialogs.boxTexts(),
              QStringList{QStringLiteral(
                  "THE OUTPUT FILE COULD NOT BE WRITTEN: THE FILE SIZE LIMIT WAS REACHED!")});
    EXPECT_FALSE(QFile::exists(work(QStringLiteral("long clip.mp4.temp"))));

    const QString full = work(QStringLiteral("full"));
    ASSERT_TRUE(QDir().mkpath(full));
    if (mount("tmpfs", QFile::encodeName(full).constData(), "tmpfs", 0, "size=64k") != 0)
        GTEST_SKIP() << "a small file system of its own needs the right to mount one (root): "
                     << std::strerror(errno);
    dialogs.chooseFolder(full);
    child<QPushButton>("cmdOutput")->click();
    dialogs.clear();
    dialogs.answer(vbOK);
    encode();
    EXPECT_EQ(dialogs.boxTexts(), QStringList{QStringLiteral(
                                      "THE OUTPUT FILE COULD NOT BE WRITTEN: THE DISK IS FULL!")});
    EXPECT_TRUE(QDir(full).isEmpty());
    umount2(QFile::encodeName(full).constData(), MNT_DETACH);
}

TEST_F(EncodingWindowTest, SuccessfulRunRepairsOnceAndAnnounces)
{
    installEncoder(0);
    installRepair(0);
    choose(QStringLiteral("my clip.avi"), workDir.path());
    child<QComboBox>("cmbVideoWindow")->setCurrentIndex(0);
    dialogs.answer(vbOK);
    encode();

    EXPECT_EQ(dialogs.boxTexts(), QStringList{QStringLiteral("FLV ENCODED!")});
    EXPECT_EQ(dialogs.boxes()[0].title, QStringLiteral("Message"));
    EXPECT_EQ(dialogs.boxes()[0].style, vbInformation);
    const QString temp = work(QStringLiteral("my clip.mp4.temp"));
    const QString final = work(QStringLiteral("my clip.mp4"));
    EXPECT_EQ(recorded("repair.args"), (QStringList{temp, final}));

    const QStringList args = recorded("encoder.args");
    ASSERT_EQ(args.size(), 27);
    EXPECT_EQ(args.first(), work(QStringLiteral("my clip.avi")));
    EXPECT_EQ(args.at(20), QStringLiteral("scale=160:120"));
    EXPECT_EQ(args.last(), temp);

    auto *app = child<QLineEdit>("txtApp");
    EXPECT_EQ(app->text(), appDir.path() + QStringLiteral("/mencoder \"")
                               + work(QStringLiteral("my clip.avi")) + QLatin1Char('"')
                               + window->encoderOptions()
                               + QStringLiteral(" -of lavf -lavfopts format=mp4 -o \"") + temp
                               + QLatin1Char('"'));
    EXPECT_FALSE(app->isVisible());
    EXPECT_TRUE(child<QPushButton>("cmdEncode")->isEnabled());
}

TEST_F(EncodingWindowTest, RepairFailuresAreReported)
{
    installEncoder(0);
    choose(QStringLiteral("clip.avi"), workDir.path());

    installRepair(3, false);
    dialogs.answer(vbOK);
    encode();
    EXPECT_EQ(dialogs.boxTexts(),
              QStringList{QStringLiteral("THE ENCODED FILE COULD NOT BE FINISHED!")});

    // Exit code 0 but no final file is no success either.
    installRepair(0, false);
    dialogs.clear();
    dialogs.answer(vbOK);
    encode();
    EXPECT_EQ(dialogs.boxTexts(),
              QStringList{QStringLiteral("THE ENCODED FILE COULD NOT BE FINISHED!")});

    QFile::remove(appDir.filePath(QStringLiteral("fix")));
    dialogs.clear();
    dialogs.answer(vbOK);
    encode();
    EXPECT_EQ(dialogs.boxTexts(),
              QStringList{QStringLiteral("THE REPAIR PROGRAM COULD NOT BE STARTED!\n"
                                         "NO SUCH FILE OR DIRECTORY")});
    EXPECT_EQ(dialogs.boxes()[0].style, vbCritical);
    EXPECT_TRUE(child<QPushButton>("cmdEncode")->isEnabled());
}

TEST_F(EncodingWindowTest, EncoderThatCannotStartIsReported)
{
    choose(QStringLiteral("clip.avi"), workDir.path());
    dialogs.answer(vbOK);
    encode();
    EXPECT_EQ(dialogs.boxTexts(), QStringList{QStringLiteral("THE ENCODER COULD NOT BE STARTED!\n"
                                                             "NO SUCH FILE OR DIRECTORY")});

    installEncoder(0);
    QFile::setPermissions(appDir.filePath(QStringLiteral("mencoder")), QFile::ReadOwner);
    dialogs.clear();
    dialogs.answer(vbOK);
    encode();
    EXPECT_EQ(dialogs.boxTexts(),
              QStringList{QStringLiteral("THE ENCODER COULD NOT BE STARTED!\nPERMISSION DENIED")});
    EXPECT_TRUE(child<QPushButton>("cmdEncode")->isEnabled());
}

TEST_F(EncodingWindowTest, SourceIsNeverTheOutput)
{
    installEncoder(0);
    installRepair(0);
    // trailer.mp4 keeps its name, so it would be encoded over itself.
    choose(QStringLiteral("trailer.mp4"), workDir.path());
    EXPECT_EQ(child<QLineEdit>("txtFileTitle")->text(), QStringLiteral("trailer.mp4"));
    child<QPushButton>("cmdExit")->setFocus();
    dialogs.answer(vbOK);
    encode();
    EXPECT_EQ(dialogs.boxTexts(),
              QStringList{QStringLiteral("THE OUTPUT FILE CANNOT REPLACE THE SOURCE FILE!")});
    EXPECT_EQ(window->focusWidget()->objectName(), QStringLiteral("txtFileTitle"));

    // Also through a link to the folder, and for the temporary file.
    QFile::link(workDir.path(), work(QStringLiteral("link")));
    child<QLabel>("lblOutput")->setText(work(QStringLiteral("link/")));
    dialogs.clear();
    dialogs.answer(vbOK);
    encode();
    EXPECT_EQ(dialogs.boxTexts(),
              QStringList{QStringLiteral("THE OUTPUT FILE CANNOT REPLACE THE SOURCE FILE!")});
    choose(QStringLiteral("x.mp4.temp"), workDir.path());
    child<QLineEdit>("txtFileTitle")->setText(QStringLiteral("x.mp4"));
    dialogs.clear();
    dialogs.answer(vbOK);
    encode();
    EXPECT_EQ(dialogs.boxTexts(),
              QStringList{QStringLiteral("THE OUTPUT FILE CANNOT REPLACE THE SOURCE FILE!")});
    EXPECT_TRUE(recorded("encoder.args").isEmpty());
    QFile source(work(QStringLiteral("trailer.mp4")));
    ASSERT_TRUE(source.open(QIODevice::ReadOnly));
    EXPECT_EQ(source.readAll(), QByteArray("video"));
}

TEST_F(EncodingWindowTest, ExistingOutputIsReplacedOnlyAfterAYes)
{
    installEncoder(0);
    installRepair(0);
    choose(QStringLiteral("clip.avi"), workDir.path());
    QFile existing(work(QStringLiteral("clip.mp4")));
    ASSERT_TRUE(existing.open(QIODevice::WriteOnly));
    existing.write("keep");
    existing.close();

    dialogs.answer(vbNo);
    encode();
    ASSERT_EQ(dialogs.boxes().size(), 1);
    EXPECT_EQ(dialogs.boxes()[0].text,
              QStringLiteral("THE OUTPUT FILE ALREADY EXISTS. DO YOU WANT TO REPLACE IT?"));
    EXPECT_EQ(dialogs.boxes()[0].style, vbQuestionYesNo);
    EXPECT_TRUE(recorded("encoder.args").isEmpty());
    EXPECT_TRUE(child<QLineEdit>("txtApp")->text().isEmpty());

    dialogs.clear();
    dialogs.answer(vbYes);
    dialogs.answer(vbOK);
    encode();
    EXPECT_EQ(dialogs.boxTexts().constLast(), QStringLiteral("FLV ENCODED!"));
}

TEST_F(EncodingWindowTest, ClosingTheEncoderWindowStopsTheEncoder)
{
    installEncoder(0, "sleep 30 & wait\n");
    installRepair(0);
    choose(QStringLiteral("clip.avi"), workDir.path());

    QElapsedTimer clock;
    clock.start();
    bool windowSeen = false;
    QTimer::singleShot(500, [&] {
        for (QWidget *top : QApplication::topLevelWidgets()) {
            if (top->objectName() == QLatin1String("EncoderWindow") && top->isVisible()) {
                windowSeen = true;
                // The main window waits meanwhile: a close request is held back.
                window->close();
                top->close();
            }
        }
    });
    dialogs.answer(vbOK); // the failed run
    dialogs.answer(vbNo); // the held-back close request, asked after the run
    encode();
    QApplication::processEvents();
    EXPECT_TRUE(windowSeen);
    EXPECT_LT(clock.elapsed(), 25000); // the encoder would sleep for 30 s
    EXPECT_EQ(dialogs.boxTexts(),
              (QStringList{QStringLiteral("THE ENCODING FAILED DUE TO A DAMAGED VIDEO FILE!"),
                           QStringLiteral("ARE YOU SURE?")}));
    EXPECT_TRUE(recorded("repair.args").isEmpty());
    EXPECT_EQ(endCount, 0);
    EXPECT_TRUE(child<QPushButton>("cmdEncode")->isEnabled());
}

TEST_F(EncodingWindowTest, EncodesARealClipFromEndToEnd)
{
    // The real encoder and repair program, beside a fresh settings-free folder.
    for (const char *tool : {"mencoder", "fix"}) {
        const QString built = QStringLiteral(VANTREL_APP_DIR "/") + QString::fromLatin1(tool);
        ASSERT_TRUE(QFile::exists(built)) << tool;
        ASSERT_TRUE(QFile::link(built, appDir.filePath(QString::fromLatin1(tool))));
    }
    const QString source = work(QStringLiteral("sample clip.avi"));
    QProcess ffmpeg;
    ffmpeg.start(QStringLiteral("ffmpeg"),
                 {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-f"),
                  QStringLiteral("lavfi"), QStringLiteral("-i"),
                  QStringLiteral("testsrc=size=352x288:rate=30:duration=3"), QStringLiteral("-f"),
                  QStringLiteral("lavfi"), QStringLiteral("-i"),
                  QStringLiteral("sine=frequency=440:sample_rate=44100:duration=3"),
                  QStringLiteral("-c:v"), QStringLiteral("mpeg4"), QStringLiteral("-c:a"),
                  QStringLiteral("mp3"), QStringLiteral("-y"), source});
    ASSERT_TRUE(ffmpeg.waitForFinished(60000));
    ASSERT_EQ(ffmpeg.exitCode(), 0) << ffmpeg.readAllStandardError().toStdString();

    dialogs.chooseFile(source);
    child<QPushButton>("cmdInput")->click();
    dialogs.chooseFolder(workDir.path());
    child<QPushButton>("cmdOutput")->click();
    dialogs.answer(vbOK);
    encode();
    EXPECT_EQ(dialogs.boxTexts(), QStringList{QStringLiteral("FLV ENCODED!")});

    const QString final = work(QStringLiteral("sample clip.mp4"));
    EXPECT_FALSE(QFile::exists(final + QStringLiteral(".temp")));
    QProcess probe;
    probe.start(QStringLiteral("ffprobe"),
                {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-show_entries"),
                 QStringLiteral("stream=codec_name,width,height,r_frame_rate,sample_rate,channels"),
                 QStringLiteral("-of"), QStringLiteral("compact=p=0:nk=0"), final});
    ASSERT_TRUE(probe.waitForFinished(30000));
    const QString streams = QString::fromUtf8(probe.readAllStandardOutput());
    EXPECT_TRUE(
        streams.contains(QStringLiteral("codec_name=h264|width=320|height=240|r_frame_rate=25/1")))
        << streams.toStdString();
    EXPECT_TRUE(streams.contains(QStringLiteral("codec_name=aac|sample_rate=16000|channels=2")))
        << streams.toStdString();

    // Ready to play while downloading: the movie header comes before the data.
    QFile file(final);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray head = file.read(1 << 20);
    const qsizetype moov = head.indexOf("moov");
    const qsizetype mdat = head.indexOf("mdat");
    EXPECT_GE(moov, 0);
    EXPECT_LT(moov, mdat);

    // The upload's file dialog opens at the new file.
    dialogs.chooseFile(std::nullopt);
    test::ClickAndWait(child<QPushButton>("cmdUpload"), *window);
    ASSERT_EQ(dialogs.fileRequests().size(), 2);
    EXPECT_EQ(dialogs.fileRequests().last().fileName, final);
}
