// vantrel-cli's command line, its JSON text and its terminal lines.

#include "cli/jsonline.h"
#include "cli/options.h"
#include "cli/textline.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vantrel::cli {
namespace {

using Kind = ParsedArguments::Kind;

TEST(CliOptions, ParsesTheCommandsAndTheirOptions)
{
    const ParsedArguments encode = ParseArguments(
        {"encode", "a.avi", "--size", "640:480", "b.mov", "--video-kbps=2400", "--audio-kbps",
         "196", "--audio-hz=48000", "--output-folder", "out", "--overwrite", "--", "--json"});
    ASSERT_EQ(encode.kind, Kind::Run) << encode.error;
    EXPECT_EQ(encode.options.command, Command::Encode);
    EXPECT_EQ(encode.options.files, (std::vector<std::string>{"a.avi", "b.mov", "--json"}));
    EXPECT_EQ(encode.options.values.videoWindow, "640:480");
    EXPECT_EQ(encode.options.values.videoBitrate, "2400");
    EXPECT_EQ(encode.options.values.audioBitrate, "196");
    EXPECT_EQ(encode.options.values.audioSampling, "48000");
    EXPECT_EQ(encode.options.outputFolder, "out");
    EXPECT_TRUE(encode.options.overwrite);
    EXPECT_FALSE(encode.options.json);

    std::string certificate = "sha256 Fingerprint=ab:CD";
    for (int pair = 2; pair < 32; ++pair)
        certificate += ":0f";
    const ParsedArguments upload =
        ParseArguments({"upload", "a.mp4", "--server-folder", "", "--password-stdin", "--json",
                        "--trust", certificate, "--trust", "SHA256:" + std::string(43, 'A')});
    ASSERT_EQ(upload.kind, Kind::Run) << upload.error;
    EXPECT_TRUE(upload.options.serverFolderGiven);
    EXPECT_TRUE(upload.options.passwordFromStdin);
    EXPECT_TRUE(upload.options.json);
    ASSERT_EQ(upload.options.trustedCertificates.size(), 1u);
    EXPECT_EQ(upload.options.trustedCertificates[0].substr(0, 6), "AB:CD:");
    EXPECT_EQ(upload.options.trustedHostKeys,
              (std::vector<std::string>{"SHA256:" + std::string(43, 'A')}));

    // The window's defaults.
    const ParsedArguments publish = ParseArguments({"publish", "a.avi", "--stop-on-error"});
    ASSERT_EQ(publish.kind, Kind::Run);
    EXPECT_EQ(publish.options.values.videoWindow, "320:240");
    EXPECT_EQ(publish.options.values.videoBitrate, "468");
    EXPECT_EQ(publish.options.values.audioBitrate, "48");
    EXPECT_EQ(publish.options.values.audioSampling, "16000");
    EXPECT_EQ(publish.options.outputFolder, ".");
    EXPECT_TRUE(publish.options.stopOnError);
}

TEST(CliOptions, RefusesWhatItCannotUseWithTheReason)
{
    const struct
    {
        std::vector<std::string> arguments;
        Kind kind;
        const char *error;
    } cases[] = {
        {{}, Kind::Usage, "NO COMMAND GIVEN! THE COMMANDS ARE encode, upload AND publish."},
        {{"convert", "a"},
         Kind::Usage,
         "UNKNOWN COMMAND \"convert\"! THE COMMANDS ARE encode, upload AND publish."},
        {{"encode"}, Kind::Usage, "NO FILE TO ENCODE!"},
        {{"upload", "--json"}, Kind::Usage, "NO FILE TO UPLOAD!"},
        {{"encode", "a", "--size", "320x240"},
         Kind::Usage,
         "THE VIDEO SIZE \"320x240\" IS NOT ONE OF 160:120, 240:180, 320:240, 400:300, 512:384, "
         "640:480, 768:576, 1024:768!"},
        {{"encode", "a", "--video-kbps=500"},
         Kind::Usage,
         "THE VIDEO BIT RATE \"500\" IS NOT ONE OF 160, 225, 320, 468, 768, 1600, 1800, 2000, "
         "2400!"},
        {{"publish", "a", "--audio-kbps", "192"},
         Kind::Usage,
         "THE AUDIO BIT RATE \"192\" IS NOT ONE OF 24, 32, 48, 56, 64, 96, 128, 196!"},
        {{"encode", "a", "--size"}, Kind::Usage, "THE OPTION --size NEEDS A VALUE!"},
        {{"encode", "a", "--overwrite=yes"}, Kind::Usage, "THE OPTION --overwrite TAKES NO VALUE!"},
        {{"encode", "a", "--server-folder", "x"},
         Kind::Usage,
         "THE OPTION --server-folder DOES NOT GO WITH encode!"},
        {{"upload", "a", "--size", "320:240"},
         Kind::Usage,
         "THE OPTION --size DOES NOT GO WITH upload!"},
        {{"upload", "a", "--password", "x"}, Kind::Usage, "UNKNOWN OPTION --password!"},
        {{"upload", "a", "--trust", "12:34"},
         Kind::Usage,
         "--trust WANTS A SHA-256 FINGERPRINT IN HEX OR A HOST KEY'S SHA256:...!"},
        {{"encode", "a", "--output-folder="}, Kind::Usage, "THE OUTPUT FOLDER CANNOT BE EMPTY!"},
        {{"encode", "a", "--json", "--quiet"},
         Kind::Usage,
         "--json AND --quiet CANNOT BE COMBINED!"},
        {{"encode", "--size", "1:1", "--help"}, Kind::Help, ""},
        {{"--version"}, Kind::Version, ""},
    };
    for (const auto &c : cases) {
        const ParsedArguments parsed = ParseArguments(c.arguments);
        EXPECT_EQ(parsed.kind, c.kind) << c.error;
        EXPECT_EQ(parsed.error, c.error);
    }
}

TEST(CliOptions, AServerFolderOptionEndsInASlash)
{
    EXPECT_EQ(ServerFolderOption(""), "");
    EXPECT_EQ(ServerFolderOption("videos"), "videos/");
    EXPECT_EQ(ServerFolderOption("/www/videos/"), "/www/videos/");
}

TEST(CliJson, EveryTextBecomesAValidString)
{
    const std::pair<std::string, std::string> cases[] = {
        {"plain", "\"plain\""},
        {"say \"hi\"\\", R"("say \"hi\"\\")"},
        {"a\nb\tc\r", R"("a\nb\tc\r")"},
        {std::string("\x01\x7f", 2), R"("\u0001\u007f")"},
        {"gr\xc3\xbc\xc3\x9f \xe2\x82\xac", "\"gr\xc3\xbc\xc3\x9f \xe2\x82\xac\""},
        // Not UTF-8: a Latin-1 byte, a cut sequence, an overlong form, a surrogate.
        {"caf\xe9", R"("caf\ufffd")"},
        {"\xe2\x82", R"("\ufffd\ufffd")"},
        {"\xc0\xaf", R"("\ufffd\ufffd")"},
        {"\xed\xa0\x80", R"("\ufffd\ufffd\ufffd")"},
    };
    for (const auto &[text, json] : cases)
        EXPECT_EQ(JsonQuoted(text), json);

    EXPECT_EQ(JsonLine("progress")
                  .number("file", std::int64_t{2})
                  .text("step", "upload")
                  .number("elapsed", 1.5)
                  .flag("done", false)
                  .raw("files", "[]")
                  .str(),
              R"({"event":"progress","file":2,"step":"upload","elapsed":1.500,"done":false,)"
              R"("files":[]})");
}

TEST(CliText, LinesFitTheTerminal)
{
    EXPECT_EQ(FileLabel(2, 8, "clip.avi"), "[2/8] clip.avi");
    EXPECT_EQ(OneLine("THE ENCODER COULD NOT BE STARTED!\nNO SUCH FILE\n"),
              "THE ENCODER COULD NOT BE STARTED! NO SUCH FILE");
    EXPECT_EQ(FitToWidth("abcdef", 4), "abcd");
    EXPECT_EQ(FitToWidth("abcdef", 0), "abcdef");
    // Characters, not bytes: "é" is two bytes and one column.
    EXPECT_EQ(FitToWidth("\xc3\xa9t\xc3\xa9 long", 3), "\xc3\xa9t\xc3\xa9");
    EXPECT_EQ(UploadStateText(3, 8, ""), "uploading 38%");
    EXPECT_EQ(UploadStateText(8, 8, "1.5 MB/s, 0:00 left"), "uploading 100% | 1.5 MB/s, 0:00 left");
    EXPECT_EQ(EncodingStateText(12000, ProgressLine{{6.0, 150}, 25}),
              "encoding 25% | Elapsed 0:12 | 12.5 fps, 0.5x real time | 0:36 left");
}

} // namespace
} // namespace vantrel::cli
