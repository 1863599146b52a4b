// Name comparison as Jet and the profile functions do it: ASCII letters without regard to case,
// every other byte exact, whatever the locale.
#pragma once

#include <cstddef>
#include <string_view>

namespace orv {

inline char AsciiUpper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; }

inline bool AsciiEqualNoCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (AsciiUpper(a[i]) != AsciiUpper(b[i]))
            return false;
    return true;
}

} // namespace orv
