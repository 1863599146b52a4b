// The search panel's conditions turned into the WHERE part of the record query.
#pragma once

#include <array>
#include <string>
#include <vector>

namespace orv {

// The panel read in one place; texts are UTF-8.
struct SearchConditions {
    int newMark = 0; // selected optNew index: 0 ALL, 1 "♪", 2 "♪以外"
    int platformCheck = 1; // Check1(2)
    std::vector<std::string> selectedPlatforms; // selected List1 texts, in list order
    int keywordCheck = 1; // Check1(1)
    std::array<int, 4> keywordFields{1, 1, 1, 1}; // chkFind1(0..3): game, maker, effect, file
    std::string keywordText; // txtStrGame(0)
    bool keywordAnd = true; // optGame(0) selected
    int negativeCheck = 1; // Check1(0)
    std::array<int, 4> negativeFields{1, 1, 1, 1}; // chkFind2(0..3)
    std::string negativeText; // txtStrMaker(0)
    bool negativeAnd = true; // optMaker(0) selected
    std::string cdFilter; // number part of the chosen CD volume, empty for ALL
};

// " WHERE ..." as the search button builds it.
std::string BuildFilter(const SearchConditions& c);

// Pieces of text between occurrences of d1 or d2 (d1 wins on equal positions); empty pieces are
// kept; an empty text gives one empty piece. Never empty.
std::vector<std::string> SplitWords(const std::string& text, const std::string& d1, const std::string& d2);

// Every apostrophe doubled.
std::string EscapeQuote(const std::string& text);

// The column(s) a word group matches, from its field mask (1 game, 2 maker, 4 effect, 8 file);
// empty for mask 0.
std::string FieldExpression(int mask);

} // namespace orv
