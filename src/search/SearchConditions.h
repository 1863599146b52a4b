// The search conditions as the search panel shows them and the settings file keeps them.
#pragma once

#include <array>
#include <string>
#include <vector>

namespace orv {

// Texts are UTF-8. The settings file keeps all but the negative words' AND/OR and the CD volume.
struct SearchConditions {
    int newMark = 0; // selected optNew index: 0 ALL, 1 "♪", 2 "♪以外"
    int platformCheck = 1; // Check1(2): check-box values 0, 1 or 2
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

    bool operator==(const SearchConditions&) const = default;
};

} // namespace orv
