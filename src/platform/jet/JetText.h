// Text comparison as the Japanese Jet engine does it: letter case, character width
// (full-width / half-width forms, half-width katakana with voiced marks) and kana type are ignored.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

struct sqlite3;

namespace orv {

// The comparison key of a UTF-8 text: two texts compare equal ignoring case, width and kana type
// exactly when their keys are equal byte for byte, and byte order of keys is the sort order.
std::string jetFoldKey(std::string_view utf8);

// jetFoldKey written to out, which has room for utf8.size() bytes (folding never lengthens a
// text); returns the key's length.
std::size_t jetFoldKeyInto(std::string_view utf8, char* out);

namespace detail {
// The fold one character at a time, without the shortcuts for ASCII runs and kana: what
// jetFoldKey must equal.
std::string jetFoldKeyPerCharacter(std::string_view utf8);
} // namespace detail

// A Jet LIKE pattern (as jetLike reads it) compiled once, matched against keys (texts already
// folded by jetFoldKey).
class LikeMatcher {
public:
    explicit LikeMatcher(std::string_view pattern);
    ~LikeMatcher();
    LikeMatcher(LikeMatcher&&) noexcept;
    LikeMatcher& operator=(LikeMatcher&&) noexcept;
    bool match(std::string_view key) const;
    // The folded text a key must hold somewhere for the pattern to match, when the pattern asks
    // only that (a keyword search's "*word*"); null otherwise.
    const std::string* soleLiteral() const;

private:
    std::unique_ptr<class LikePattern> pattern_;
};

// Jet LIKE: '*' any run, '?' one character, '#' one digit, '[abc]', '[!abc]', '[a-z]'.
// Both sides are compared folded; wildcard characters are only the ASCII ones.
bool jetLike(std::string_view pattern, std::string_view text);

// Registers on a connection the functions that translated statements call:
//   jet_like(key, pattern)  LIKE over a text already folded by jetFoldKey (numbers are folded
//                           here); compiled patterns are kept per connection
//   jet_like_join(pattern, key1, key2, ...)  jet_like(key1 || key2 || ..., pattern) without
//                           building the joined text in SQL
//   jet_key(value)          jetFoldKey of the value's text, Null stays Null
//   jet_amp(a, b)           Jet's a & b: Null joins as empty text, Null & Null is Null
//   jet_str(value)          the value as text (numbers as the catalogue shows them)
//   jet_right(text, n), jet_ucase(text), jet_lcase(text)
// and the collation JET (order of jetFoldKey). Throws DbError when SQLite refuses.
void registerJetFunctions(sqlite3* db);

} // namespace orv
