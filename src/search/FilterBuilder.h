// The search panel's conditions turned into the WHERE part of the record query.
#pragma once

#include "search/SearchConditions.h"

#include <string>
#include <vector>

namespace orv {

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
