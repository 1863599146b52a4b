// Quoting for the SQL the engine writes. Every name and text that comes from a catalogue file
// or a statement goes into SQL through these, so that none of it can change a statement's shape.
#pragma once

#include <string>
#include <string_view>

namespace orv {

// "name" with inner double quotes doubled. (A zero byte ends a statement early, which SQLite
// then refuses as unfinished: it cannot change the shape either.)
inline std::string SqlIdentifier(std::string_view name)
{
    std::string out = "\"";
    for (char c : name) {
        if (c == '"')
            out += '"';
        out += c;
    }
    return out + '"';
}

// 'text' with inner apostrophes doubled.
inline std::string SqlLiteral(std::string_view text)
{
    if (text.find('\0') != std::string_view::npos) {
        // SQLite stops reading a statement at a zero byte: spell such a text in hex.
        static constexpr char kHex[] = "0123456789ABCDEF";
        std::string out = "CAST(X'";
        for (unsigned char c : text) {
            out += kHex[c >> 4];
            out += kHex[c & 15];
        }
        return out + "' AS TEXT)";
    }
    std::string out = "'";
    for (char c : text) {
        if (c == '\'')
            out += '\'';
        out += c;
    }
    return out + '\'';
}

} // namespace orv
