// The Jet statement's tokens: names, bracketed names, numbers, quoted texts and symbols.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace orv::jet {

enum class Tk { Ident, Bracket, Number, String, Sym, End, Bad };

struct Token {
    Tk kind;
    std::string text; // identifier, unquoted literal, number or symbol
    std::size_t begin;
    std::size_t end;
};

// Always ends with an End token; text it cannot read becomes one Bad token before it.
std::vector<Token> tokenize(std::string_view s);

// Words that are never taken as names unless bracketed.
bool isReserved(std::string_view w);
// FROM, WHERE, GROUP, HAVING, ORDER: the words that start a clause.
bool isClauseWord(std::string_view w);
std::string upper(std::string_view s);

} // namespace orv::jet
