// UTF-8 sequences one code point at a time: the one decoder and encoder the text, settings,
// reader and Jet code share. Inline: folding and matching call them for every character.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace orv::utf8 {

// Whether b continues a sequence (10xxxxxx): not where a character starts.
inline bool isContinuation(unsigned char b) { return (b & 0xC0) == 0x80; }

// Whether a three-byte form of a surrogate (U+D800..U+DFFF) counts as a sequence. Text that
// stands for UTF-16 units keeps a lone surrogate that way, so that it can be written back.
enum class Surrogates { Refused, Allowed };

// The length of the well-formed sequence at p (before end) and its code point in cp; 0 when p
// does not start one: a stray or cut byte, an overlong form, a value past U+10FFFF, a surrogate
// (unless allowed).
template <Surrogates S = Surrogates::Refused>
inline std::size_t decode(const unsigned char* p, const unsigned char* end, char32_t& cp)
{
    const unsigned char c = p[0];
    if (c < 0x80) {
        cp = c;
        return 1;
    }
    const auto cont = [&](std::size_t i) { return p + i < end && (p[i] & 0xC0) == 0x80; };
    if (c >= 0xC2 && c <= 0xDF) {
        if (!cont(1))
            return 0;
        cp = (char32_t(c & 0x1F) << 6) | (p[1] & 0x3F);
        return 2;
    }
    if (c >= 0xE0 && c <= 0xEF) {
        if (!cont(1) || !cont(2))
            return 0;
        cp = (char32_t(c & 0x0F) << 12) | (char32_t(p[1] & 0x3F) << 6) | (p[2] & 0x3F);
        if (cp < 0x800 || (S == Surrogates::Refused && cp >= 0xD800 && cp <= 0xDFFF))
            return 0;
        return 3;
    }
    if (c >= 0xF0 && c <= 0xF4) {
        if (!cont(1) || !cont(2) || !cont(3))
            return 0;
        cp = (char32_t(c & 0x07) << 18) | (char32_t(p[1] & 0x3F) << 12) | (char32_t(p[2] & 0x3F) << 6) | (p[3] & 0x3F);
        if (cp < 0x10000 || cp > 0x10FFFF)
            return 0;
        return 4;
    }
    return 0;
}

template <Surrogates S = Surrogates::Refused> inline std::size_t decode(std::string_view s, char32_t& cp)
{
    const auto* p = reinterpret_cast<const unsigned char*>(s.data());
    return s.empty() ? 0 : decode<S>(p, p + s.size(), cp);
}

// Writes cp (at most U+10FFFF; a surrogate in its three-byte form) at o, at most four bytes;
// returns the position after it.
inline char* encode(char32_t cp, char* o)
{
    if (cp < 0x80) {
        *o++ = char(cp);
    } else if (cp < 0x800) {
        *o++ = char(0xC0 | (cp >> 6));
        *o++ = char(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        *o++ = char(0xE0 | (cp >> 12));
        *o++ = char(0x80 | ((cp >> 6) & 0x3F));
        *o++ = char(0x80 | (cp & 0x3F));
    } else {
        *o++ = char(0xF0 | (cp >> 18));
        *o++ = char(0x80 | ((cp >> 12) & 0x3F));
        *o++ = char(0x80 | ((cp >> 6) & 0x3F));
        *o++ = char(0x80 | (cp & 0x3F));
    }
    return o;
}

inline void append(std::string& out, char32_t cp)
{
    char buf[4];
    out.append(buf, encode(cp, buf));
}

} // namespace orv::utf8
