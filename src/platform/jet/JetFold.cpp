#include "platform/jet/JetFold.h"

#include <cstdint>
#include <cstring>

namespace orv {

namespace {

// Half-width katakana and punctuation U+FF61..U+FF9F to their full-width forms.
constexpr char16_t kHalfKana[63] = {
    0x3002, 0x300C, 0x300D, 0x3001, 0x30FB, 0x30F2, // ｡｢｣､･ｦ
    0x30A1, 0x30A3, 0x30A5, 0x30A7, 0x30A9, 0x30E3, 0x30E5, 0x30E7, 0x30C3, // ｧｨｩｪｫｬｭｮｯ
    0x30FC, // ｰ
    0x30A2, 0x30A4, 0x30A6, 0x30A8, 0x30AA, // ｱｲｳｴｵ
    0x30AB, 0x30AD, 0x30AF, 0x30B1, 0x30B3, // ｶｷｸｹｺ
    0x30B5, 0x30B7, 0x30B9, 0x30BB, 0x30BD, // ｻｼｽｾｿ
    0x30BF, 0x30C1, 0x30C4, 0x30C6, 0x30C8, // ﾀﾁﾂﾃﾄ
    0x30CA, 0x30CB, 0x30CC, 0x30CD, 0x30CE, // ﾅﾆﾇﾈﾉ
    0x30CF, 0x30D2, 0x30D5, 0x30D8, 0x30DB, // ﾊﾋﾌﾍﾎ
    0x30DE, 0x30DF, 0x30E0, 0x30E1, 0x30E2, // ﾏﾐﾑﾒﾓ
    0x30E4, 0x30E6, 0x30E8, // ﾔﾕﾖ
    0x30E9, 0x30EA, 0x30EB, 0x30EC, 0x30ED, // ﾗﾘﾙﾚﾛ
    0x30EF, 0x30F3, // ﾜﾝ
    0x309B, 0x309C, // ﾞﾟ
};

// Folds one code point on its own (no combining with a following mark).
inline char32_t foldCodePoint(char32_t cp)
{
    if (cp < 0x80)
        return (cp >= 'A' && cp <= 'Z') ? cp + 0x20 : cp;
    if (cp < 0x100) {
        if (cp >= 0xC0 && cp <= 0xDE && cp != 0xD7)
            return cp + 0x20;
        return cp;
    }
    if (cp < 0x180) { // Latin Extended-A: upper and lower case alternate
        if (cp == 0x178)
            return 0xFF;
        if ((cp >= 0x100 && cp <= 0x137) || (cp >= 0x14A && cp <= 0x177))
            return cp | 1;
        if ((cp >= 0x139 && cp <= 0x148) || (cp >= 0x179 && cp <= 0x17E))
            return (cp & 1) ? cp + 1 : cp;
        return cp;
    }
    if (cp >= 0x391 && cp <= 0x3A9 && cp != 0x3A2)
        return cp + 0x20;
    if (cp >= 0x400 && cp <= 0x42F)
        return cp < 0x410 ? cp + 0x50 : cp + 0x20;
    if (cp == 0x3000)
        return ' ';
    if (cp >= 0x3041 && cp <= 0x3096)
        return cp + 0x60; // hiragana to katakana
    if (cp == 0x309D || cp == 0x309E)
        return cp + 0x60; // ゝゞ to ヽヾ
    if (cp >= 0xFF01 && cp <= 0xFF5E) {
        char32_t a = cp - 0xFEE0;
        return (a >= 'A' && a <= 'Z') ? a + 0x20 : a;
    }
    if (cp >= 0xFF61 && cp <= 0xFF9F)
        return kHalfKana[cp - 0xFF61];
    if (cp >= 0xFFE0 && cp <= 0xFFE6) {
        static constexpr char32_t wide[7] = {0xA2, 0xA3, 0xAC, 0xAF, 0xA6, 0xA5, 0x20A9};
        return wide[cp - 0xFFE0];
    }
    return cp;
}

// The voiced (mark 1) or semi-voiced (mark 2) form of a full-width katakana, or 0.
inline char32_t voiced(char32_t k, int mark)
{
    if (mark == 1) {
        if ((k >= 0x30AB && k <= 0x30C2 && (k - 0x30AB) % 2 == 0)
            || (k >= 0x30C4 && k <= 0x30C8 && (k - 0x30C4) % 2 == 0))
            return k + 1;
        if (k >= 0x30CF && k <= 0x30DB && (k - 0x30CF) % 3 == 0)
            return k + 1;
        if (k == 0x30A6)
            return 0x30F4; // ヴ
        if (k >= 0x30EF && k <= 0x30F2)
            return k + 8; // ヷヸヹヺ
        if (k == 0x30FD)
            return 0x30FE;
        return 0;
    }
    if (k >= 0x30CF && k <= 0x30DB && (k - 0x30CF) % 3 == 0)
        return k + 2;
    return 0;
}

// If the bytes at p are a voicing mark that combines with the preceding kana, its kind (1 voiced,
// 2 semi-voiced): half-width ﾞﾟ (EF BE 9E/9F) or combining U+3099/U+309A (E3 82 99/9A).
inline int markAt(const unsigned char* p, const unsigned char* end)
{
    if (end - p < 3)
        return 0;
    if (p[0] == 0xEF && p[1] == 0xBE && (p[2] == 0x9E || p[2] == 0x9F))
        return p[2] == 0x9E ? 1 : 2;
    if (p[0] == 0xE3 && p[1] == 0x82 && (p[2] == 0x99 || p[2] == 0x9A))
        return p[2] == 0x99 ? 1 : 2;
    return 0;
}

inline std::uint64_t lowerAscii8(std::uint64_t w)
{
    // Eight bytes below 0x80: a byte's top bit is set in ge when it is >= 'A', in gt when > 'Z'.
    constexpr std::uint64_t ones = 0x0101010101010101ull;
    const std::uint64_t ge = w + (0x80 - 'A') * ones;
    const std::uint64_t gt = w + (0x80 - 'Z' - 1) * ones;
    return w | (((ge & ~gt) & (0x80 * ones)) >> 2);
}

// Combines a voicing mark at p with the folded katakana f (advancing p past it) when they combine.
inline char32_t withMark(char32_t f, const unsigned char*& p, const unsigned char* end)
{
    if (f >= 0x30A1 && f <= 0x30FD) {
        if (int mark = markAt(p, end)) {
            if (char32_t v = voiced(f, mark)) {
                p += 3;
                return v;
            }
        }
    }
    return f;
}

} // namespace

std::size_t jetFoldKeyInto(std::string_view utf8, char* out)
{
    const auto* p = reinterpret_cast<const unsigned char*>(utf8.data());
    const auto* const end = p + utf8.size();
    char* __restrict o = out;
    while (p < end) {
        unsigned c = *p;
        if (c < 0x80) {
            // A run of ASCII: eight bytes at a time while they last, then one by one.
            while (end - p >= 8) {
                std::uint64_t w;
                std::memcpy(&w, p, 8);
                if (w & 0x8080808080808080ull)
                    break;
                w = lowerAscii8(w);
                std::memcpy(o, &w, 8);
                p += 8;
                o += 8;
            }
            while (p < end && (c = *p) < 0x80) {
                *o++ = char(c - 'A' < 26u ? c + 0x20 : c);
                ++p;
            }
            continue;
        }
        if (end - p >= 3 && (p[1] & 0xC0) == 0x80 && (p[2] & 0xC0) == 0x80 && c - 0xE3 <= 0xEE - 0xE3) {
            if (c != 0xE3) {
                // U+4000..U+EFFF (ideographs, Hangul, private use) fold to themselves and take no
                // voicing mark; a malformed sequence among them is kept byte for byte all the same.
                std::memcpy(o, p, 3);
                p += 3;
                o += 3;
                continue;
            }
            // U+3000..U+3FFF, most of a Japanese text: the ideographic space, hiragana, katakana.
            const char32_t cp = 0x3000 | (char32_t(p[1] & 0x3F) << 6) | (p[2] & 0x3F);
            p += 3;
            if (cp == 0x3000) {
                *o++ = ' ';
                continue;
            }
            char32_t f = cp - 0x3041 <= 0x3096 - 0x3041 || cp == 0x309D || cp == 0x309E ? cp + 0x60 : cp;
            // Only a katakana followed by a mark (EF BE 9E/9F, E3 82 99/9A) can combine.
            if (p < end && (*p == 0xEF || *p == 0xE3))
                f = withMark(f, p, end);
            o[0] = char(0xE3);
            o[1] = char(0x80 | ((f >> 6) & 0x3F));
            o[2] = char(0x80 | (f & 0x3F));
            o += 3;
            continue;
        }
        char32_t cp;
        const std::size_t n = utf8::decode(p, end, cp);
        if (n == 0) {
            *o++ = char(c);
            ++p;
            continue;
        }
        p += n;
        o = utf8::encode(withMark(foldCodePoint(cp), p, end), o);
    }
    return std::size_t(o - out);
}

std::string jetFoldKey(std::string_view utf8)
{
    std::string out(utf8.size(), '\0');
    out.resize(jetFoldKeyInto(utf8, out.data()));
    return out;
}

bool jetFoldStartsWithMark(std::string_view text)
{
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    return markAt(p, p + text.size()) != 0;
}

bool jetFoldTakesMark(std::string_view text)
{
    std::size_t last = text.size();
    while (last > 0 && text.size() - last < 4) {
        --last;
        if (!utf8::isContinuation(static_cast<unsigned char>(text[last])))
            break;
    }
    char32_t cp;
    if (last == text.size() || utf8::decode(text.substr(last), cp) != text.size() - last)
        return false;
    const char32_t f = foldCodePoint(cp);
    return f >= 0x30A1 && f <= 0x30FD && (voiced(f, 1) != 0 || voiced(f, 2) != 0);
}

namespace detail {

std::string jetFoldKeyPerCharacter(std::string_view utf8)
{
    const auto* p = reinterpret_cast<const unsigned char*>(utf8.data());
    const auto* end = p + utf8.size();
    std::string out;
    char buf[4];
    while (p < end) {
        char32_t cp;
        const std::size_t n = utf8::decode(p, end, cp);
        if (n == 0) {
            out += char(*p++);
            continue;
        }
        p += n;
        out.append(buf, utf8::encode(withMark(foldCodePoint(cp), p, end), buf));
    }
    return out;
}

char32_t jetFoldCodePoint(char32_t cp) { return foldCodePoint(cp); }

} // namespace detail

} // namespace orv
