// Quoting arguments for a Windows command line: the inverse of the splitter.

#include "common/cmdline.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

using namespace vantrel;
using Args = std::vector<std::string>;

namespace {

// Argument lists made of the characters that matter to the rules.
Args RandomArguments(std::mt19937 &random)
{
    static const std::string kAlphabet[] = {"a", "Z", " ", "\t", "\"", "\\", "\xC3\xA9", ":"};
    std::uniform_int_distribution<int> count(0, 4), length(0, 9), pick(0, 7);
    Args arguments(std::size_t(count(random)));
    for (std::string &argument : arguments) {
        for (int n = length(random); n > 0; --n)
            argument += kAlphabet[pick(random)];
    }
    return arguments;
}

} // namespace

TEST(QuoteWindowsArgument, QuotesOnlyWhatNeedsIt)
{
    const std::pair<std::string, std::string> cases[] = {
        {"plain", "plain"},
        {"C:\\dir\\file.avi", "C:\\dir\\file.avi"}, // backslashes alone stay
        {"bitrate=468:nocabac", "bitrate=468:nocabac"},
        {"", "\"\""},
        {"a b", "\"a b\""},
        {"tab\there", "\"tab\there\""},
        {"C:\\Program Files\\", "\"C:\\Program Files\\\\\""}, // doubled before the closing mark
        {"C:\\dir\\", "C:\\dir\\"},
        {"a\"b", "\"a\\\"b\""},
        {"a\\\"b", "\"a\\\\\\\"b\""}, // 1 backslash + mark: 3 backslashes + mark
        {"\\\\server\\share dir", "\"\\\\server\\share dir\""},
        {"\"", "\"\\\"\""},
    };
    for (const auto &[argument, quoted] : cases)
        EXPECT_EQ(QuoteWindowsArgument(argument), quoted) << argument;
}

TEST(QuoteWindowsArgument, JoinedArgumentsSplitBackUnchanged)
{
    const Args fixed = {"",
                        "C:\\Program Files\\",
                        "E:\\Out Folder\\summer holiday.mp4.temp",
                        "\"quoted\"",
                        "\\\\\"",
                        " lead and trail ",
                        "x\"\"y"};
    EXPECT_EQ(SplitWindowsArguments(JoinWindowsArguments(fixed)), fixed);
    EXPECT_EQ(JoinWindowsArguments({}), "");
    EXPECT_EQ(JoinWindowsArguments({"a", "", "b c"}), "a \"\" \"b c\"");

    std::mt19937 random(20240501);
    for (int i = 0; i < 5000; ++i) {
        const Args arguments = RandomArguments(random);
        const std::string line = JoinWindowsArguments(arguments);
        ASSERT_EQ(SplitWindowsArguments(line), arguments) << line;
        // As it follows a program's path in a composed line.
        const auto start = ProgramStartFromLine("C:\\A B\\prog " + line, "C:\\A B\\prog");
        ASSERT_TRUE(start);
        ASSERT_EQ(start->arguments, arguments) << line;
    }
}
