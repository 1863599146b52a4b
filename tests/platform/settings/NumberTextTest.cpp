#include "platform/settings/NumberText.h"

#include <gtest/gtest.h>

#include <climits>

using namespace orv;

TEST(NumberText, ParseWholeRoundsTiesToEven)
{
    EXPECT_EQ(ParseWhole("2.5"), 2);
    EXPECT_EQ(ParseWhole("3.5"), 4);
    EXPECT_EQ(ParseWhole("-2.5"), -2);
    EXPECT_EQ(ParseWhole("-3.5"), -4);
    EXPECT_EQ(ParseWhole("2.5000000000000000001"), 3); // exact, not through a double
    EXPECT_EQ(ParseWhole("2.49999999999999999999"), 2);
    EXPECT_EQ(ParseWhole(" +1005.6 "), 1006);
    EXPECT_EQ(ParseWhole(".5"), 0);
    EXPECT_EQ(ParseWhole("0007."), 7);
}

TEST(NumberText, ParseWholeRejectsNonNumbersAndOutOfRange)
{
    for (const char* bad : {"", " ", "abc", "12a", "1.2.3", "-", ".", "1 2", "0x10", "1e3", "True"})
        EXPECT_EQ(ParseWhole(bad), std::nullopt) << bad;
    EXPECT_EQ(ParseWhole("-2147483648"), -2147483648L);
    EXPECT_EQ(ParseWhole("2147483648"), std::nullopt);
    EXPECT_EQ(ParseWhole("2147483647.5"), std::nullopt);
    EXPECT_EQ(ParseWhole("-2147483648.5"), -2147483648L);
    EXPECT_EQ(ParseWhole("99999999999999999999999"), std::nullopt);
}

TEST(NumberText, ParseSingleKeepsTheFraction)
{
    EXPECT_EQ(ParseSingle(" -1005.25 "), -1005.25f);
    EXPECT_EQ(ParseSingle("+1.5E+03"), 1500.f);
    for (const char* bad : {"", "x", "1,5", "inf", "nan", "1e", "1e400", "--1"})
        EXPECT_EQ(ParseSingle(bad), std::nullopt) << bad;
}

TEST(NumberText, SingleTextIsShortestWithinSevenDigits)
{
    EXPECT_EQ(SingleText(4500.f), "4500");
    EXPECT_EQ(SingleText(1005.5f), "1005.5");
    EXPECT_EQ(SingleText(1234.5f), "1234.5");
    EXPECT_EQ(SingleText(-0.25f), "-0.25");
    EXPECT_EQ(SingleText(0.f), "0");
    EXPECT_EQ(SingleText(-0.f), "0");
    EXPECT_EQ(SingleText(0.1f), "0.1");
    EXPECT_EQ(SingleText(1.f / 3.f), "0.3333333");
    EXPECT_EQ(SingleText(1234567.f), "1234567");
    EXPECT_EQ(SingleText(12345678.f), "1.234568E+07");
    EXPECT_EQ(SingleText(1e-6f), "1E-06");
    // Every twips value of a window on a 96 dpi screen comes back unchanged.
    for (int px = -4000; px <= 20000; ++px) {
        const float twips = static_cast<float>(px * 15);
        ASSERT_EQ(ParseSingle(SingleText(twips)), twips) << px;
    }
}

TEST(NumberText, RoundHalfEven)
{
    EXPECT_EQ(RoundHalfEven(1.5), 2);
    EXPECT_EQ(RoundHalfEven(2.5), 2);
    EXPECT_EQ(RoundHalfEven(-1.5), -2);
    EXPECT_EQ(RoundHalfEven(-2.5), -2);
    EXPECT_EQ(RoundHalfEven(2.4999), 2);
    EXPECT_EQ(RoundHalfEven(-2.5001), -3);
    EXPECT_EQ(RoundHalfEven(1e30), LONG_MAX);
}
