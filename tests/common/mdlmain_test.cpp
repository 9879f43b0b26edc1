#include "common/mdlmain.h"

#include <gtest/gtest.h>

#include <string>

using mdlMain::kSettingsKey;
using mdlMain::ScrambleText;
using mdlMain::UnscrambleText;

namespace {

std::string AllBytes()
{
    std::string bytes;
    for (int code = 0; code < 256; ++code)
        bytes += static_cast<char>(code);
    return bytes;
}

TEST(Cipher, EmptyKeyOrTextGiveTheTextBack)
{
    const std::string text = "\x01 ftp\xE9\xFF";
    EXPECT_EQ(ScrambleText(text, ""), text);
    EXPECT_EQ(UnscrambleText(text, ""), text);
    EXPECT_EQ(ScrambleText("", kSettingsKey), "");
    EXPECT_EQ(UnscrambleText("", kSettingsKey), "");
    EXPECT_EQ(ScrambleText("", ""), "");
}

TEST(Cipher, KeyStartsAtItsSecondLetterAndWrapsAround)
{
    // Zero codes show the key letter each position uses.
    EXPECT_EQ(ScrambleText(std::string(5, '\0'), "\x01\x02\x03"), "\x02\x03\x01\x02\x03");
    EXPECT_EQ(ScrambleText(std::string(12, '\0'), kSettingsKey), "ovetrilzanmo");
    EXPECT_EQ(ScrambleText("A", "z"), std::string(1, static_cast<char>(65 + 122)));
}

TEST(Cipher, SumsWrapPast255AndDifferencesBelowZero)
{
    // 0xF0 + 0x20 = 0x110 keeps its low byte 0x10.
    EXPECT_EQ(ScrambleText("\xF0", "a "), "\x10");
    // 0x10 - 0x20 wraps to 0xF0.
    EXPECT_EQ(UnscrambleText("\x10", "a "), "\xF0");
    EXPECT_EQ(ScrambleText("\xFF", "\xFF\xFF"), "\xFE");
    EXPECT_EQ(UnscrambleText(std::string(1, '\0'), "\xFF\xFF"), "\x01");
}

TEST(Cipher, KnownValueWithTheSettingsKey)
{
    // 'f' + 'o', 't' + 'v', 'p' + 'e', ... worked out by hand.
    EXPECT_EQ(ScrambleText("ftp.example.com", kSettingsKey),
              "\xD5\xEA\xD5\xA2\xD7\xE1\xCD\xE7\xD1\xDA\xD2\x9D\xD9\xD4\xE1");
    EXPECT_EQ(UnscrambleText("\xD5\xEA\xD5\xA2\xD7\xE1\xCD\xE7\xD1\xDA\xD2\x9D\xD9\xD4\xE1",
                             kSettingsKey),
              "ftp.example.com");
}

TEST(Cipher, RoundTripsEveryCodeAtEveryKeyPosition)
{
    // 256 codes over 11 key letters: each code meets each letter.
    std::string text;
    for (int round = 0; round < 11; ++round)
        text += AllBytes();
    const std::string scrambled = ScrambleText(text, kSettingsKey);
    ASSERT_EQ(scrambled.size(), text.size());
    EXPECT_NE(scrambled, text);
    EXPECT_EQ(UnscrambleText(scrambled, kSettingsKey), text);
    EXPECT_EQ(ScrambleText(UnscrambleText(text, kSettingsKey), kSettingsKey), text);
}

TEST(Cipher, PrintableTextKeepsItsSpacesAndNeverScramblesToALineEnd)
{
    const std::string value = "   ftp.example.com/~user name   ";
    EXPECT_EQ(UnscrambleText(ScrambleText(value, kSettingsKey), kSettingsKey), value);

    std::string printable;
    for (int round = 0; round < 11; ++round)
        for (char c = ' '; c <= '~'; ++c)
            printable += c;
    for (unsigned char code : ScrambleText(printable, kSettingsKey)) {
        EXPECT_GE(code, 129);
        EXPECT_LE(code, 248);
    }
}

} // namespace
