#include "common/codepage.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

#if __has_include(<iconv.h>)
#include <iconv.h>
#define VANTREL_HAVE_ICONV 1
#endif

using namespace vantrel::codepage;

namespace {

TEST(CodePage, KnownCharacters)
{
    EXPECT_EQ(Cp1252ToUtf8("\x80"), "\u20AC");
    EXPECT_EQ(Cp1252ToUtf8("caf\xE9 \x9F\x8A"), "caf\u00E9 \u0178\u0160");
    EXPECT_EQ(Cp1252ToUtf8(std::string("a\0b", 3)), std::string("a\0b", 3));
    EXPECT_EQ(Utf8ToCp1252("\u20AC \u00E9\u2122"), "\x80 \xE9\x99");
    EXPECT_EQ(Utf8ToCp1252(""), "");
}

TEST(CodePage, UndefinedBytesBecomeTheirControlCharacters)
{
    for (unsigned char byte : {0x81, 0x8D, 0x8F, 0x90, 0x9D}) {
        EXPECT_EQ(Cp1252ToUnicode(byte), static_cast<char32_t>(byte));
        EXPECT_EQ(UnicodeToCp1252(byte), byte);
    }
    EXPECT_EQ(Cp1252ToUtf8("\x81"), "\xC2\x81");
}

TEST(CodePage, EveryByteRoundTripsThroughUtf8)
{
    std::string bytes;
    std::set<char32_t> characters;
    for (int code = 0; code < 256; ++code) {
        bytes += static_cast<char>(code);
        characters.insert(Cp1252ToUnicode(static_cast<unsigned char>(code)));
    }
    EXPECT_EQ(characters.size(), 256u);
    EXPECT_EQ(Utf8ToCp1252(Cp1252ToUtf8(bytes)), bytes);
}

#ifdef VANTREL_HAVE_ICONV
// The C library's own table agrees on every byte the code page defines.
TEST(CodePage, AgreesWithIconv)
{
    iconv_t converter = iconv_open("UTF-8", "CP1252");
    // NOLINTNEXTLINE(performance-no-int-to-ptr): iconv_open's documented failure value
    if (converter == reinterpret_cast<iconv_t>(-1))
        GTEST_SKIP() << "no CP1252 converter";
    for (int code = 0; code < 256; ++code) {
        if (code == 0x81 || code == 0x8D || code == 0x8F || code == 0x90 || code == 0x9D)
            continue;
        char in = static_cast<char>(code);
        char out[8] = {};
        char *inPtr = &in;
        char *outPtr = out;
        std::size_t inLeft = 1;
        std::size_t outLeft = sizeof out;
        ASSERT_NE(iconv(converter, &inPtr, &inLeft, &outPtr, &outLeft),
                  static_cast<std::size_t>(-1))
            << code;
        EXPECT_EQ(Cp1252ToUtf8(std::string(1, in)), std::string(out, outPtr)) << "byte " << code;
    }
    iconv_close(converter);
}
#endif

TEST(CodePage, CharactersWithoutACodeAreReportedWhereTheyStand)
{
    std::size_t offset = 99;
    EXPECT_EQ(Utf8ToCp1252("ab\u0100c", &offset), std::nullopt);
    EXPECT_EQ(offset, 2u);
    EXPECT_EQ(Utf8ToCp1252("\u00E9\u4E2D", &offset), std::nullopt); // a Chinese letter
    EXPECT_EQ(offset, 2u);
    EXPECT_EQ(Utf8ToCp1252("x\U0001F600", &offset), std::nullopt);
    EXPECT_EQ(offset, 1u);
    // C1 controls other than the five undefined bytes have no code.
    EXPECT_EQ(UnicodeToCp1252(0x80), std::nullopt);
    EXPECT_EQ(UnicodeToCp1252(0x9F), std::nullopt);
    EXPECT_EQ(UnicodeToCp1252(0xFFFD), std::nullopt);
}

TEST(CodePage, InvalidUtf8IsRefusedWithoutReadingPastTheEnd)
{
    const struct
    {
        std::string text;
        std::size_t offset;
    } cases[] = {
        {"a\x80", 1},                  // stray continuation byte
        {"ab\xE2\x82", 2},             // truncated at the end
        {"\xE2(\xAC", 0},              // lead without its continuation
        {"\xC0\xAF", 0},               // overlong "/"
        {"\xE0\x80\xAF", 0},           // overlong, three bytes
        {"\xED\xA0\x80", 0},           // surrogate
        {"\xF4\x90\x80\x80", 0},       // past U+10FFFF
        {"ok\xFF", 2},                 // never a lead byte
        {std::string("\0\xC3", 2), 1}, // lead byte as the last byte
    };
    for (const auto &c : cases) {
        std::size_t offset = 99;
        EXPECT_EQ(Utf8ToCp1252(c.text, &offset), std::nullopt) << c.text;
        EXPECT_EQ(offset, c.offset) << c.text;
    }
}

} // namespace
