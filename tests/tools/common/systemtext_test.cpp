// The system's text for an error code, as fix and mencoder quote it: the
// system's own words without the closing full stop, upper-cased on request.
#include "tools/common/systemtext.h"

#include "common/ascii.h"

#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#else
#include <cerrno>
#endif

namespace vantrel::tools {
namespace {

#ifdef _WIN32
constexpr int kNotFound = ERROR_FILE_NOT_FOUND;
#else
constexpr int kNotFound = ENOENT;
#endif

TEST(ToolsSystemText, TheSystemsWordsWithoutLineEndOrFullStop)
{
    const std::string text = SystemText(kNotFound);
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(text.find_first_of("\r\n"), std::string::npos) << text;
    EXPECT_NE(text.back(), '.') << text;
    EXPECT_NE(text.back(), ' ') << text;
    EXPECT_EQ(UpperSystemText(kNotFound), ascii::Upper(text));
#ifndef _WIN32
    EXPECT_EQ(text, "No such file or directory");
#endif
}

#ifdef _WIN32
TEST(ToolsSystemText, ACodeWithoutTextGivesItsNumber)
{
    // Shown unsigned, as Windows shows its codes.
    EXPECT_EQ(SystemText(-1), "ERROR 4294967295");
}
#endif

} // namespace
} // namespace vantrel::tools
