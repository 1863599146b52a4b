// Stored Jet text to UTF-8: the corners the sample files do not reach. Broken text must come out
// marked, never cut short or run past its end.
#include "platform/reader/MdbReaderText.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using orv::mdbfile::TextDecoder;

namespace {

const std::string kBad = "\xEF\xBF\xBD"; // U+FFFD

std::string decode(const TextDecoder& d, const std::vector<unsigned char>& bytes)
{
    std::string out = "left over from the previous field";
    d.decode(bytes.data(), bytes.size(), out);
    return out;
}

TEST(MdbReaderText, Jet4Utf16AndItsBrokenSurrogates)
{
    const TextDecoder d(false, "");
    EXPECT_EQ(decode(d, {}), "");
    EXPECT_EQ(decode(d, {'A', 0, 0x22, 0x6F, 0x57, 0x5B}), "A漢字");
    // U+20BB7 as a pair; a trailing odd byte is not half a character.
    EXPECT_EQ(decode(d, {0x42, 0xD8, 0xB7, 0xDF, 'x'}), "\xF0\xA0\xAE\xB7");
    // A high surrogate before a non-surrogate, a lone low one, and one cut off at the end.
    EXPECT_EQ(decode(d, {0x42, 0xD8, 'a', 0}), kBad + "a");
    EXPECT_EQ(decode(d, {0xB7, 0xDF, 'b', 0}), kBad + "b");
    EXPECT_EQ(decode(d, {'c', 0, 0x42, 0xD8}), "c" + kBad);
}

TEST(MdbReaderText, Jet4CompressedTextSwitchesOnZeroBytes)
{
    const TextDecoder d(false, "");
    EXPECT_EQ(decode(d, {0xFF, 0xFE}), "");
    // One byte per character (Latin-1), then two after a zero, then one again.
    EXPECT_EQ(decode(d, {0xFF, 0xFE, 'a', 0xE9, 0, 0x22, 0x6F, 0, 'z'}), "a\xC3\xA9漢z");
    // A two-byte character cut off at the end is dropped, not read past the field.
    EXPECT_EQ(decode(d, {0xFF, 0xFE, 'a', 0, 0x22}), "a");
}

TEST(MdbReaderText, Jet3BytesInTheFileCodePage)
{
    const TextDecoder d(true, "CP932");
    EXPECT_EQ(decode(d, {'C', ':', '\\'}), "C:\\");
    EXPECT_EQ(decode(d, {0x8A, 0xBF, 0x8E, 0x9A}), "漢字");
    // A lead byte with a bad trail byte, and one cut off at the end: one mark each, the rest kept.
    EXPECT_EQ(decode(d, {0x81, ' ', 0x8A, 0xBF, 0x82}), kBad + " 漢" + kBad);
    // A field of one byte: a half-width katakana, or a lead byte alone.
    EXPECT_EQ(decode(d, {0xB1}), "ｱ");
    EXPECT_EQ(decode(d, {0x82}), kBad);
}

TEST(MdbReaderText, Jet3WithoutAConverterKeepsAsciiAndMarksTheRest)
{
    const TextDecoder d(true, "CP-NO-SUCH-PAGE");
    EXPECT_EQ(decode(d, {'a', 0x8A, 0xBF, 'b'}), "a" + kBad + kBad + "b");
}

} // namespace
