// Reading the text sheets of disc images (CUE, CloneCD): lines, blanks and numbers, whatever the
// line ends (CR LF, LF or CR) and with a UTF-8 byte order mark or none.
#pragma once

#include <cstdint>
#include <string_view>

namespace orv::sheet {

inline bool isBlank(char c) { return c == ' ' || c == '\t'; }

inline std::string_view trimmed(std::string_view s)
{
    while (!s.empty() && isBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && isBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

// Calls take(line) for each line, trimmed, until it answers false; false then.
template <class Take> bool forEachLine(std::string_view text, Take&& take)
{
    if (text.substr(0, 3) == "\xEF\xBB\xBF")
        text.remove_prefix(3);
    while (!text.empty()) {
        const std::size_t end = text.find_first_of("\r\n");
        const std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (!take(trimmed(line)))
            return false;
    }
    return true;
}

// The next blank-separated word of s, taken off s.
inline std::string_view nextWord(std::string_view& s)
{
    s = trimmed(s);
    std::size_t end = 0;
    while (end < s.size() && !isBlank(s[end]))
        ++end;
    const std::string_view word = s.substr(0, end);
    s.remove_prefix(end);
    return word;
}

// Decimal digits alone, at most max.
inline bool parseNumber(std::string_view s, std::uint64_t max, std::uint64_t* value)
{
    if (s.empty() || s.size() > 19)
        return false;
    std::uint64_t v = 0;
    for (char c : s) {
        if (c < '0' || c > '9')
            return false;
        v = v * 10 + std::uint64_t(c - '0');
    }
    if (v > max)
        return false;
    *value = v;
    return true;
}

} // namespace orv::sheet
