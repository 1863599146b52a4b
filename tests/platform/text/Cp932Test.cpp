#include "platform/text/Cp932.h"

#include <gtest/gtest.h>

using namespace orv;

namespace {
const std::string kReplacement = "\xEF\xBF\xBD";
}

TEST(Cp932, RoundTripsJapaneseText)
{
    // "♪" is a CP932 symbol, "ｹﾞｰﾑ" half-width katakana (one byte each), "表" has 0x5C as trail byte.
    const std::string text = "ゲーム♪ｹﾞｰﾑ表示\\~ABC";
    const std::string bytes = utf8ToCp932(text);
    EXPECT_EQ(bytes.substr(6, 2), "\x81\xF4");
    EXPECT_EQ(bytes.substr(8, 4), "\xB9\xDE\xB0\xD1");
    EXPECT_EQ(cp932ToUtf8(bytes), text);
}

TEST(Cp932, InvalidBytesBecomeReplacementCharacters)
{
    // 0xFD is no CP932 byte; a lead byte at the end has no trail byte.
    EXPECT_EQ(cp932ToUtf8("A\xFD"
                          "B"),
              "A" + kReplacement + "B");
    EXPECT_EQ(cp932ToUtf8("A\x82"), "A" + kReplacement);
    EXPECT_EQ(cp932ToUtf8(std::string("a\0b", 3)), std::string("a\0b", 3));
}

TEST(Cp932, CharactersCp932LacksAreApproximated)
{
    // Accents dropped and compatibility forms resolved whatever the locale; an emoji has no
    // CP932 counterpart at all.
    EXPECT_EQ(utf8ToCp932("caf\xC3\xA9 \xC3\x85ngstr\xC3\xB6m"), "cafe Angstrom");
    EXPECT_EQ(utf8ToCp932("\xEF\xAC\x81"), "fi"); // the "fi" ligature
    EXPECT_EQ(utf8ToCp932("a\xF0\x9F\x98\x80z"), "a?z");
    EXPECT_EQ(utf8ToCp932("\xCC\x81"), "?"); // a lone combining accent
}

TEST(Cp932, InvalidUtf8BecomesQuestionMarks)
{
    EXPECT_EQ(utf8ToCp932("a\xFF"
                          "b"),
              "a?b");
    EXPECT_EQ(utf8ToCp932("a\xE3\x81"), "a??"); // truncated sequence
    EXPECT_EQ(utf8ToCp932("\xED\xA0\x80"), "???"); // surrogate
    EXPECT_EQ(utf8ToCp932("\xC0\xAF"), "??"); // overlong
}

TEST(Cp932, PrefixLengthNeverSplitsADoubleByteCharacter)
{
    const std::string bytes = utf8ToCp932("aあいｱ"); // 61 | 82 A0 | 82 A2 | B1
    EXPECT_EQ(cp932PrefixLength(bytes, 0), 0u);
    EXPECT_EQ(cp932PrefixLength(bytes, 1), 1u);
    EXPECT_EQ(cp932PrefixLength(bytes, 2), 1u);
    EXPECT_EQ(cp932PrefixLength(bytes, 3), 3u);
    EXPECT_EQ(cp932PrefixLength(bytes, 4), 3u);
    EXPECT_EQ(cp932PrefixLength(bytes, 6), 6u);
    EXPECT_EQ(cp932PrefixLength(bytes, 100), 6u);
    // Lead bytes of both ranges; a trail byte looking like a lead byte does not start a character.
    EXPECT_EQ(cp932PrefixLength("\xE0\x40\x81", 2), 2u);
    EXPECT_EQ(cp932PrefixLength("\x81\x81\x81\x81", 3), 2u);
    EXPECT_EQ(cp932PrefixLength("ab\x81", 3), 3u); // lone lead byte at the end
}
