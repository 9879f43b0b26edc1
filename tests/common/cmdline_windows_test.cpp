// The splitter and the quoting against the system's own CommandLineToArgvW.
// Windows only (run under Wine by scripts/wine-test).

#include "common/cmdline.h"
#include "platform/widetext.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <shellapi.h>

#include <random>
#include <string>
#include <vector>

using namespace vantrel;
using vantrel::platform::Utf8ToWide;
using vantrel::platform::WideToUtf8;
using Args = std::vector<std::string>;

namespace {

// The arguments that the system reads from `arguments` after a program name.
Args SystemSplit(const std::string &arguments)
{
    const std::wstring line = L"C:\\dummy\\prog.exe " + Utf8ToWide(arguments);
    int count = 0;
    LPWSTR *argv = CommandLineToArgvW(line.c_str(), &count);
    Args result;
    if (!argv)
        return {"<CommandLineToArgvW failed>"};
    for (int i = 1; i < count; ++i)
        result.push_back(WideToUtf8(argv[i]));
    LocalFree(argv);
    return result;
}

} // namespace

TEST(WindowsCommandLine, SplitterAgreesWithTheSystem)
{
    const char *const lines[] = {
        "a b\tc",
        "  lead  trail  ",
        "\"C:\\Program Files\\Vantrel\\x.avi\" -o \"E:\\My Out\\x.mp4.temp\"",
        "\"C:\\dir\\\\\" next",
        "\"C:\\dir\\\" next",
        "C:\\dir\\ x",
        "a\\\"b",
        "a\\\\\\\"b",
        "a\\\\b\\\\\\\\\"c d\"",
        "\"\"",
        "a \"\" b",
        "\"\" \"\"",
        "\"a\"\"b\"",
        "\"a\"\"\"b\"",
        "\"a\"\"\"\"b\"",
        "x\"a b\"y",
        "\"\"\"\"",
        "\"\"\"",
        "\"unterminated arg",
        "\"tab\tinside\"",
        "\"D:\\Vid\xC3\xA9os\\\xC3\xA9t\xC3\xA9.avi\" \xE2\x82\xAC",
        "trailing\\\\",
        "",
    };
    for (const char *line : lines)
        EXPECT_EQ(SplitWindowsArguments(line), SystemSplit(line)) << line;
}

TEST(WindowsCommandLine, TheComposedLinesSplitAsTheSystemSplitsThem)
{
    const std::string encoder =
        " \"D:\\Videos\\holiday.avi\" -sws 9 -vf harddup -oac faac -faacopts "
        "br=48:mpeg=4:object=2:raw -channels 2 -srate 16000 -ovc x264 -x264encopts "
        "bitrate=468:vbv_maxrate=768:vbv_bufsize=2000:nocabac:level_idc=13:global_header "
        "-ofps 25 -vf-add scale=320:240  -of lavf -lavfopts format=mp4 -o "
        "\"E:\\Out\\holiday.mp4.temp\"";
    const Args system = SystemSplit(encoder);
    EXPECT_EQ(system.size(), 27u);
    EXPECT_EQ(SplitWindowsArguments(encoder), system);
}

TEST(WindowsCommandLine, QuotedArgumentsReachTheProgramUnchanged)
{
    std::mt19937 random(7);
    const std::string alphabet[] = {"a", " ", "\t", "\"", "\\", "\xC3\xA9"};
    std::uniform_int_distribution<int> count(1, 4), length(0, 8), pick(0, 5);
    for (int i = 0; i < 2000; ++i) {
        Args arguments(std::size_t(count(random)));
        for (std::string &argument : arguments)
            for (int n = length(random); n > 0; --n)
                argument += alphabet[pick(random)];
        const std::string line = JoinWindowsArguments(arguments);
        ASSERT_EQ(SystemSplit(line), arguments) << line;
    }
}
