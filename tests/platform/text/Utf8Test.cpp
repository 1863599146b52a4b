#include "platform/text/Utf8.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

using namespace orv;

namespace {

std::size_t lengthOf(const std::string& s, utf8::Surrogates surrogates = utf8::Surrogates::Refused)
{
    char32_t cp = 0;
    return surrogates == utf8::Surrogates::Refused ? utf8::decode(s, cp)
                                                   : utf8::decode<utf8::Surrogates::Allowed>(s, cp);
}

} // namespace

// Every code point comes back from its encoding; the shortest form only, nothing past U+10FFFF,
// nothing cut short.
TEST(Utf8, DecodesWhatItEncodesAndNothingMalformed)
{
    for (char32_t cp : {0x0u, 0x41u, 0x7Fu, 0x80u, 0x7FFu, 0x800u, 0x3042u, 0xFFFDu, 0xFFFFu, 0x10000u, 0x10FFFFu}) {
        std::string s;
        utf8::append(s, cp);
        char32_t back = 0;
        EXPECT_EQ(utf8::decode(s, back), s.size()) << std::hex << std::uint32_t(cp);
        EXPECT_EQ(std::uint32_t(back), std::uint32_t(cp));
    }
    for (const char* bad : {"\x80", "\xC0\x80", "\xC1\xBF", "\xE0\x9F\xBF", "\xF0\x8F\xBF\xBF", "\xF4\x90\x80\x80",
                            "\xF5\x80\x80\x80", "\xE3\x81", "\xE3\x41\x81", "\xFF"})
        EXPECT_EQ(lengthOf(bad), 0u) << bad;
    EXPECT_EQ(lengthOf(""), 0u);
}

// A lone surrogate in its three-byte form stands for a UTF-16 unit where surrogates are allowed.
TEST(Utf8, SurrogatesOnlyWhereAllowed)
{
    std::string high;
    utf8::append(high, 0xD800);
    EXPECT_EQ(high, "\xED\xA0\x80");
    EXPECT_EQ(lengthOf(high), 0u);
    EXPECT_EQ(lengthOf(high, utf8::Surrogates::Allowed), 3u);
    EXPECT_EQ(lengthOf("\xED\x9F\xBF"), 3u); // U+D7FF
    EXPECT_TRUE(utf8::isContinuation(0x80));
    EXPECT_FALSE(utf8::isContinuation(0xC3));
    EXPECT_FALSE(utf8::isContinuation('a'));
}
