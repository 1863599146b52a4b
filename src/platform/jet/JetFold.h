// Text comparison as the Japanese Jet engine does it: letter case, character width
// (full-width / half-width forms, half-width katakana with voiced marks) and kana type are ignored.
#pragma once

#include "platform/text/Utf8.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace orv {

// The comparison key of a UTF-8 text: two texts compare equal ignoring case, width and kana type
// exactly when their keys are equal byte for byte, and byte order of keys is the sort order.
std::string jetFoldKey(std::string_view utf8);

// jetFoldKey written to out, which has room for utf8.size() bytes (folding never lengthens a
// text); returns the key's length.
std::size_t jetFoldKeyInto(std::string_view utf8, char* out);

// A text joined to others folds as its parts folded one by one and joined, except where a voicing
// mark starting one part combines with a kana ending the part before it ('ｶ' + 'ﾞ' folds as 'ガ').
// Whether text starts with such a mark (half-width ﾞ or ﾟ, or a combining one):
bool jetFoldStartsWithMark(std::string_view text);
// Whether text ends with a kana such a mark combines with:
bool jetFoldTakesMark(std::string_view text);

namespace detail {
// The fold one character at a time, without the shortcuts for ASCII runs and kana: what
// jetFoldKey must equal.
std::string jetFoldKeyPerCharacter(std::string_view utf8);

// One code point folded on its own (no voicing mark combined with it).
char32_t jetFoldCodePoint(char32_t cp);

// The character of a folded text at pos: its length, and its code point in cp, or a value past
// Unicode for a stray byte.
inline std::size_t jetCharAt(std::string_view s, std::size_t pos, char32_t& cp)
{
    const std::size_t n = utf8::decode(s.substr(pos), cp);
    if (n == 0) {
        cp = 0x110000 + static_cast<unsigned char>(s[pos]);
        return 1;
    }
    return n;
}
} // namespace detail

} // namespace orv
