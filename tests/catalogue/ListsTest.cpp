#include "catalogue/Lists.h"

#include <gtest/gtest.h>

using namespace orv;
using V = std::vector<std::string>;

TEST(SplitByDelimiter, Pieces)
{
    EXPECT_EQ(SplitByDelimiter("", ","), V{""});
    EXPECT_EQ(SplitByDelimiter("a,,b", ","), (V{"a", "", "b"}));
    EXPECT_EQ(SplitByDelimiter("a,", ","), (V{"a", ""}));
    EXPECT_EQ(SplitByDelimiter("a<>b<>>c", "<>"), (V{"a", "b", ">c"}));
    EXPECT_EQ(SplitByDelimiter("a,b", ""), V{"a,b"});
}

TEST(LeadingNumber, ReadsLikeVal)
{
    const std::pair<const char*, double> cases[] = {
        {"012", 12},  {"12abc", 12}, {" 1 2", 12}, {"-5x", -5},  {"2.5.1", 2.5}, {"1e3", 1000},
        {"1D2", 100}, {"1e", 1},     {"1,000", 1}, {"&H1F", 31}, {"&o17", 15},   {"1e-999", 0},
        {"", 0},      {"abc", 0},    {"-", 0},     {".", 0},     {"--1", 0},     {"CD1", 0},
        {"&O18", 1},  {"&17", 15},   {"&HfG", 15}, {"&H", 0}}; // a radix's digits end at its first non-digit
    for (const auto& [text, value] : cases)
        EXPECT_EQ(LeadingNumber(text), value) << text;
}

TEST(VolumeItemText, PrefixOnlyForNonZeroNumbers)
{
    EXPECT_EQ(VolumeItemText("001"), "CD001");
    EXPECT_EQ(VolumeItemText("12b"), "CD12b");
    EXPECT_EQ(VolumeItemText("000"), "000");
    EXPECT_EQ(VolumeItemText("extra"), "extra");
}

TEST(CdFilterFromSelector, Texts)
{
    EXPECT_EQ(CdFilterFromSelector("ALL"), "");
    EXPECT_EQ(CdFilterFromSelector("CD005"), "005");
    EXPECT_EQ(CdFilterFromSelector("0"), "0");
    EXPECT_EQ(CdFilterFromSelector("all"), "all");
    EXPECT_EQ(CdFilterFromSelector("cd005"), "cd005");
}
