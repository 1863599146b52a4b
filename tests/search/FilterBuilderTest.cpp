#include "search/FilterBuilder.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace orv;

namespace {
const std::string kFull = "\u3000";
const std::string kNoPf = " WHERE (gt_pf IS NULL OR gt_pf='')";

SearchConditions AllOff()
{
    SearchConditions c;
    c.platformCheck = c.keywordCheck = c.negativeCheck = 0;
    return c;
}
} // namespace

TEST(BuildFilter, WorkedExamples)
{
    SearchConditions c;
    c.newMark = 1;
    c.selectedPlatforms = {"PC", "MSX"};
    c.keywordFields = {1, 1, 0, 0};
    c.keywordText = "max" + kFull + "life";
    c.negativeText = "demo";
    c.negativeFields = {0, 0, 0, 1};
    c.cdFilter = "012";
    EXPECT_EQ(BuildFilter(c),
              " WHERE gt_new = '♪' AND (gt_pf = 'PC' OR gt_pf = 'MSX') AND (gt_str1 LIKE '*max*' AND "
              "gt_str1 LIKE '*life*') AND (gt_file not LIKE '*demo*') AND (gt_cdno LIKE '*012*')");

    EXPECT_EQ(BuildFilter(AllOff()), kNoPf);

    c = AllOff();
    c.newMark = 2;
    c.platformCheck = 1;
    c.selectedPlatforms = {"PC"};
    EXPECT_EQ(BuildFilter(c), " WHERE (gt_new <> '♪' OR gt_new is NULL) AND (gt_pf = 'PC')");
    c.platformCheck = 0; // platforms ignored when the check is off
    c.newMark = 0;
    EXPECT_EQ(BuildFilter(c), kNoPf);

    // Reset state: every check and field on, both texts empty.
    SearchConditions reset;
    reset.selectedPlatforms = {"PC", "MSX"};
    EXPECT_EQ(BuildFilter(reset), " WHERE (gt_pf = 'PC' OR gt_pf = 'MSX')");
}

TEST(BuildFilter, ApostrophesAreDoubledInPlatformsAndWords)
{
    SearchConditions c = AllOff();
    c.platformCheck = 1;
    c.selectedPlatforms = {"M'S BOX"};
    c.keywordCheck = 1;
    c.keywordFields = {1, 0, 0, 0};
    c.keywordText = "it's";
    c.negativeCheck = 1;
    c.negativeFields = {0, 0, 1, 0};
    c.negativeText = "o'k";
    EXPECT_EQ(BuildFilter(c),
              " WHERE (gt_pf = 'M''S BOX') AND (gt_game LIKE '*it''s*') AND "
              "(gt_effect not LIKE '*o''k*')");
}

namespace {

// The filter with the contents of every text literal blanked: what is left is its structure.
// A literal ends at an apostrophe that is not doubled; false when one is left open.
bool structureOf(const std::string& filter, std::string* out)
{
    out->clear();
    for (size_t i = 0; i < filter.size(); ++i) {
        *out += filter[i];
        if (filter[i] != '\'')
            continue;
        for (++i;; ++i) {
            if (i >= filter.size())
                return false;
            if (filter[i] == '\'') {
                if (i + 1 < filter.size() && filter[i + 1] == '\'') {
                    ++i;
                    continue;
                }
                break;
            }
        }
        *out += '\'';
    }
    return true;
}

} // namespace

TEST(BuildFilter, NoTextChangesTheStructure)
{
    const std::string hostile[] = {
        "'",
        "''",
        "4'",
        "3*') OR (gt_cdno LIKE '*",
        "x' OR 'a'='a",
        "'; DROP TABLE tevoxB; --",
        "a'b'c'",
        "') OR (1=1",
        "'" + kFull + "' OR ''='",
    };
    for (const std::string& text : hostile) {
        // The same text with its apostrophes replaced splits into the same words.
        std::string plain = text;
        std::replace(plain.begin(), plain.end(), '\'', 'x');
        auto filled = [](const std::string& t) {
            SearchConditions c;
            c.selectedPlatforms = {t, "PC", t};
            c.keywordText = t + " max";
            c.keywordAnd = false;
            c.negativeText = t;
            c.cdFilter = t;
            return c;
        };
        std::string got, expected;
        ASSERT_TRUE(structureOf(BuildFilter(filled(plain)), &expected));
        EXPECT_TRUE(structureOf(BuildFilter(filled(text)), &got)) << text;
        EXPECT_EQ(got, expected) << text;
    }

    SearchConditions c = AllOff();
    c.cdFilter = "4'";
    EXPECT_EQ(BuildFilter(c), kNoPf + " AND (gt_cdno LIKE '*4''*')");
    c.cdFilter = "3*') OR (gt_cdno LIKE '*";
    EXPECT_EQ(BuildFilter(c), kNoPf + " AND (gt_cdno LIKE '*3*'') OR (gt_cdno LIKE ''**')");
}

TEST(BuildFilter, KeywordGroup)
{
    SearchConditions c = AllOff();
    c.keywordCheck = 1;
    c.keywordText = "a b";
    c.keywordAnd = false;
    EXPECT_EQ(BuildFilter(c), kNoPf + " AND (gt_str1+' '+gt_str2 LIKE '*a*' OR gt_str1+' '+gt_str2 LIKE '*b*')");

    // Repeated, leading, trailing and full-width spaces give no empty words; wildcards stay.
    c.keywordFields = {1, 0, 0, 0};
    c.keywordAnd = true;
    c.keywordText = "  a" + kFull + kFull + "b*?  ";
    EXPECT_EQ(BuildFilter(c), kNoPf + " AND (gt_game LIKE '*a*' AND gt_game LIKE '*b*?*')");

    for (const std::string& blank : {std::string(), std::string("  "), kFull + " "}) {
        c.keywordText = blank;
        EXPECT_EQ(BuildFilter(c), kNoPf) << "[" << blank << "]";
    }

    // No field checked: the always-false clause, even for an empty text.
    c.keywordFields = {0, 0, 0, 0};
    for (const std::string& text : {std::string("x"), std::string()}) {
        c.keywordText = text;
        EXPECT_EQ(BuildFilter(c), kNoPf + " AND (gt_str1+' '+gt_str2='')");
    }
}

TEST(BuildFilter, NegativeGroupNeedsCheckTextAndField)
{
    SearchConditions c = AllOff();
    c.negativeText = "x y";
    EXPECT_EQ(BuildFilter(c), kNoPf);
    c.negativeCheck = 1;
    c.negativeFields = {0, 0, 0, 0};
    EXPECT_EQ(BuildFilter(c), kNoPf);
    c.negativeFields = {0, 0, 1, 0};
    c.negativeAnd = false;
    EXPECT_EQ(BuildFilter(c), kNoPf + " AND (gt_effect not LIKE '*x*' OR gt_effect not LIKE '*y*')");
    c.negativeText = " ";
    EXPECT_EQ(BuildFilter(c), kNoPf);
}

TEST(FieldExpression, Combinations)
{
    EXPECT_EQ(FieldExpression(0), "");
    EXPECT_EQ(FieldExpression(2), "gt_maker");
    EXPECT_EQ(FieldExpression(3), "gt_str1");
    EXPECT_EQ(FieldExpression(8), "gt_file");
    EXPECT_EQ(FieldExpression(12), "gt_str2");
    EXPECT_EQ(FieldExpression(5), "gt_game+' '+gt_effect");
    EXPECT_EQ(FieldExpression(15), "gt_str1+' '+gt_str2");
}

TEST(SplitWords, KeepsEmptyPiecesAndPrefersEarlierDelimiter)
{
    using V = std::vector<std::string>;
    EXPECT_EQ(SplitWords("", " ", kFull), V{""});
    EXPECT_EQ(SplitWords(" a  b ", " ", kFull), (V{"", "a", "", "b", ""}));
    EXPECT_EQ(SplitWords("ゲーム" + kFull + "改造 x", " ", kFull), (V{"ゲーム", "改造", "x"}));
    EXPECT_EQ(SplitWords("a::b", ":", "::"), (V{"a", "", "b"})); // d1 wins on a tie
    EXPECT_EQ(SplitWords("a::b", "::", ":"), (V{"a", "b"}));
}

TEST(EscapeQuote, DoublesEveryApostrophe)
{
    EXPECT_EQ(EscapeQuote("abc"), "abc");
    EXPECT_EQ(EscapeQuote("a''b'"), "a''''b''");
    EXPECT_EQ(EscapeQuote("ゲーム's"), "ゲーム''s");
}
