// Text comparison as the Japanese Jet engine does it: letter case, character width
// (full-width / half-width forms, half-width katakana with voiced marks) and kana type are ignored.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

struct sqlite3;

namespace orv {

// The comparison key of a UTF-8 text: two texts compare equal ignoring case, width and kana type
// exactly when their keys are equal byte for byte, and byte order of keys is the sort order.
std::string jetFoldKey(std::string_view utf8);

// Jet LIKE: '*' any run, '?' one character, '#' one digit, '[abc]', '[!abc]', '[a-z]'.
// Both sides are compared folded; wildcard characters are only the ASCII ones.
bool jetLike(std::string_view pattern, std::string_view text);

// Registers jet_like(text, pattern), jet_key(value) and the JET collation on a connection.
void registerJetFunctions(sqlite3* db);

} // namespace orv
