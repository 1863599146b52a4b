#include "platform/jet/JetText.h"

#include "platform/reader/DbTypes.h"

#include <sqlite3.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

namespace orv {

namespace {

// Strict UTF-8 decoding: returns the sequence length, or 0 for a byte that does not start a
// well-formed sequence (overlong forms, surrogates and values past U+10FFFF included).
inline std::size_t decodeUtf8(const unsigned char* p, const unsigned char* end, char32_t& cp)
{
    const unsigned char c = p[0];
    if (c < 0x80) {
        cp = c;
        return 1;
    }
    auto cont = [&](std::size_t i) { return p + i < end && (p[i] & 0xC0) == 0x80; };
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
        if (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF))
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

inline char* encodeUtf8(char32_t cp, char* o)
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

// One character of a folded text: its code point, or a value past Unicode for a stray byte.
inline std::size_t charAt(std::string_view s, std::size_t pos, char32_t& cp)
{
    auto p = reinterpret_cast<const unsigned char*>(s.data()) + pos;
    auto end = reinterpret_cast<const unsigned char*>(s.data()) + s.size();
    std::size_t n = decodeUtf8(p, end, cp);
    if (n == 0) {
        cp = 0x110000 + *p;
        return 1;
    }
    return n;
}

std::string numberText(sqlite3_value* v)
{
    if (sqlite3_value_type(v) == SQLITE_INTEGER)
        return std::to_string(sqlite3_value_int64(v));
    return Value::real(sqlite3_value_double(v)).toText();
}

} // namespace

namespace {

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
    const auto* end = p + utf8.size();
    char* o = out;
    while (p < end) {
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
        if (p == end)
            break;
        const unsigned char c = *p;
        if (c < 0x80) {
            *o++ = char((c >= 'A' && c <= 'Z') ? c + 0x20 : c);
            ++p;
            continue;
        }
        char32_t f;
        if (c == 0xE3 && end - p >= 3 && (p[1] & 0xC0) == 0x80 && (p[2] & 0xC0) == 0x80) {
            // U+3000..U+3FFF, most of a Japanese text: the ideographic space, hiragana, katakana.
            const char32_t cp = 0x3000 | (char32_t(p[1] & 0x3F) << 6) | (p[2] & 0x3F);
            p += 3;
            if (cp == 0x3000) {
                *o++ = ' ';
                continue;
            }
            f = ((cp >= 0x3041 && cp <= 0x3096) || cp == 0x309D || cp == 0x309E) ? cp + 0x60 : cp;
        } else {
            char32_t cp;
            const std::size_t n = decodeUtf8(p, end, cp);
            if (n == 0) {
                *o++ = char(c);
                ++p;
                continue;
            }
            p += n;
            f = foldCodePoint(cp);
        }
        o = encodeUtf8(withMark(f, p, end), o);
    }
    return std::size_t(o - out);
}

std::string jetFoldKey(std::string_view utf8)
{
    std::string out(utf8.size(), '\0');
    out.resize(jetFoldKeyInto(utf8, out.data()));
    return out;
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
        const std::size_t n = decodeUtf8(p, end, cp);
        if (n == 0) {
            out += char(*p++);
            continue;
        }
        p += n;
        out.append(buf, encodeUtf8(withMark(foldCodePoint(cp), p, end), buf));
    }
    return out;
}

} // namespace detail

// A LIKE pattern compiled once: pieces between stars, each a list of items matching a fixed
// number of characters. Matching takes each piece at its leftmost place, which is optimal for
// star-separated pieces and keeps the cost linear in the text for literal pieces.
class LikePattern {
public:
    explicit LikePattern(std::string_view pattern);
    bool match(std::string_view key) const;
    // The text a key must hold somewhere, when the pattern is only that ("*max*").
    const std::string* soleLiteral() const
    {
        if (leadingStar_ && trailingStar_ && pieces_.size() == 1 && pieces_[0].literalOnly())
            return &pieces_[0].items[0].literal;
        return nullptr;
    }

private:
    struct Item {
        enum Kind { Literal, AnyChar, Digit, Set } kind;
        std::string literal; // folded, for Literal
        std::vector<std::pair<char32_t, char32_t>> ranges; // folded, for Set
        bool negated = false;
    };
    struct Piece {
        std::vector<Item> items;
        bool literalOnly() const { return items.size() == 1 && items[0].kind == Item::Literal; }
    };

    static constexpr std::size_t npos = std::string_view::npos;
    std::size_t matchAt(const Piece& piece, std::string_view s, std::size_t pos) const;

    std::vector<Piece> pieces_;
    bool leadingStar_ = false;
    bool trailingStar_ = false;
    bool anyStar_ = false;
};

LikePattern::LikePattern(std::string_view pat)
{
    Piece current;
    std::string run; // raw literal characters, folded together so voiced marks combine
    auto flushRun = [&] {
        if (run.empty())
            return;
        std::string folded = jetFoldKey(run);
        run.clear();
        if (!current.items.empty() && current.items.back().kind == Item::Literal)
            current.items.back().literal += folded;
        else
            current.items.push_back(Item{Item::Literal, std::move(folded), {}, false});
    };
    auto closePiece = [&] {
        flushRun();
        if (!current.items.empty())
            pieces_.push_back(std::move(current));
        current = Piece{};
    };

    std::size_t i = 0;
    while (i < pat.size()) {
        char c = pat[i];
        if (c == '*') {
            if (pieces_.empty() && current.items.empty() && run.empty())
                leadingStar_ = true;
            anyStar_ = true;
            closePiece();
            ++i;
            trailingStar_ = true;
            continue;
        }
        trailingStar_ = false;
        if (c == '?' || c == '#') {
            flushRun();
            current.items.push_back(Item{c == '?' ? Item::AnyChar : Item::Digit, {}, {}, false});
            ++i;
            continue;
        }
        if (c == '[') {
            std::size_t close = pat.find(']', i + 1);
            // The first ']' closes the class. "[]" stands for the empty text (it consumes no
            // character) and "[!]" for any one character.
            if (close == std::string_view::npos) {
                run += c; // an unclosed bracket stands for itself
                ++i;
                continue;
            }
            flushRun();
            std::string_view body = pat.substr(i + 1, close - i - 1);
            i = close + 1;
            if (body.empty())
                continue;
            Item set{Item::Set, {}, {}, false};
            if (body[0] == '!') {
                set.negated = true;
                body.remove_prefix(1);
            }
            std::vector<char32_t> cps;
            for (std::size_t k = 0; k < body.size();) {
                char32_t cp;
                k += charAt(body, k, cp);
                cps.push_back(cp <= 0x10FFFF ? foldCodePoint(cp) : cp);
            }
            for (std::size_t k = 0; k < cps.size(); ++k) {
                if (k + 2 < cps.size() && cps[k + 1] == '-') {
                    set.ranges.emplace_back(cps[k], cps[k + 2]);
                    k += 2;
                } else {
                    set.ranges.emplace_back(cps[k], cps[k]);
                }
            }
            current.items.push_back(std::move(set));
            continue;
        }
        run += c;
        ++i;
    }
    flushRun();
    if (!current.items.empty() || !anyStar_)
        pieces_.push_back(std::move(current));
}

std::size_t LikePattern::matchAt(const Piece& piece, std::string_view s, std::size_t pos) const
{
    for (const Item& it : piece.items) {
        switch (it.kind) {
        case Item::Literal:
            if (s.size() - pos < it.literal.size() || s.compare(pos, it.literal.size(), it.literal) != 0)
                return npos;
            pos += it.literal.size();
            break;
        case Item::AnyChar: {
            if (pos >= s.size())
                return npos;
            char32_t cp;
            pos += charAt(s, pos, cp);
            break;
        }
        case Item::Digit:
            if (pos >= s.size() || s[pos] < '0' || s[pos] > '9')
                return npos;
            ++pos;
            break;
        case Item::Set: {
            if (pos >= s.size())
                return npos;
            char32_t cp;
            pos += charAt(s, pos, cp);
            bool in = std::any_of(it.ranges.begin(), it.ranges.end(),
                                  [cp](const auto& r) { return cp >= r.first && cp <= r.second; });
            if (in == it.negated)
                return npos;
            break;
        }
        }
    }
    return pos;
}

bool LikePattern::match(std::string_view s) const
{
    if (!anyStar_)
        return matchAt(pieces_.front(), s, 0) == s.size();
    std::size_t pos = 0;
    std::size_t first = 0;
    std::size_t last = pieces_.size();
    if (!leadingStar_ && !pieces_.empty()) {
        pos = matchAt(pieces_[0], s, 0);
        if (pos == npos)
            return false;
        first = 1;
    }
    bool anchoredEnd = !trailingStar_ && last > first;
    if (anchoredEnd)
        --last;
    for (std::size_t k = first; k < last; ++k) {
        const Piece& piece = pieces_[k];
        if (piece.literalOnly()) {
            std::size_t at = s.find(piece.items[0].literal, pos);
            if (at == npos)
                return false;
            pos = at + piece.items[0].literal.size();
            continue;
        }
        std::size_t found = npos;
        for (std::size_t p = pos; p <= s.size();) {
            found = matchAt(piece, s, p);
            if (found != npos)
                break;
            if (p == s.size())
                break;
            char32_t cp;
            p += charAt(s, p, cp);
        }
        if (found == npos)
            return false;
        pos = found;
    }
    if (!anchoredEnd)
        return true;
    const Piece& tail = pieces_[last];
    if (tail.literalOnly()) {
        const std::string& lit = tail.items[0].literal;
        return s.size() - pos >= lit.size() && s.compare(s.size() - lit.size(), lit.size(), lit) == 0;
    }
    for (std::size_t p = pos; p <= s.size();) {
        if (matchAt(tail, s, p) == s.size())
            return true;
        if (p == s.size())
            break;
        char32_t cp;
        p += charAt(s, p, cp);
    }
    return false;
}

namespace {

// --- SQL functions ---------------------------------------------------------------------------

std::string_view textOf(sqlite3_value* v)
{
    auto p = reinterpret_cast<const char*>(sqlite3_value_text(v));
    return p ? std::string_view(p, std::size_t(sqlite3_value_bytes(v))) : std::string_view();
}

// The text a value shows as: numbers the way the catalogue shows them ("2.5", not "2.50").
std::string displayText(sqlite3_value* v)
{
    int t = sqlite3_value_type(v);
    if (t == SQLITE_INTEGER || t == SQLITE_FLOAT)
        return numberText(v);
    return std::string(textOf(v));
}

void resultText(sqlite3_context* ctx, const std::string& s)
{
    sqlite3_result_text64(ctx, s.data(), s.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
}

void sqlJetKey(sqlite3_context* ctx, int, sqlite3_value** argv)
{
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL)
        return sqlite3_result_null(ctx);
    resultText(ctx, jetFoldKey(displayText(argv[0])));
}

// The compiled LIKE patterns of one connection, by pattern text. (sqlite3_get_auxdata would keep
// them per statement, but looks each one up in a list of all of them: a search with n OR-ed words
// paid n steps for every word of every row.) A constant pattern keeps its address for the life of
// its statement, so a slot per address finds it again without hashing; the text is always
// compared, since another statement may later hold another pattern there.
class LikeCache {
public:
    const LikePattern& get(const char* text, std::size_t size)
    {
        const std::uint64_t mixed = std::uint64_t(reinterpret_cast<std::uintptr_t>(text)) * 0x9E3779B97F4A7C15ull;
        Slot& slot = slots_[mixed >> (64 - kSlotBits)];
        if (slot.text == text && slot.key && slot.key->size() == size && std::memcmp(slot.key->data(), text, size) == 0)
            return *slot.pattern;
        const std::string_view pattern(text, size);
        auto it = patterns_.find(pattern);
        if (it == patterns_.end()) {
            if (patterns_.size() >= kMaxPatterns) {
                patterns_.clear();
                slots_.fill(Slot{});
            }
            it = patterns_.emplace(std::string(pattern), std::make_unique<LikePattern>(pattern)).first;
        }
        slot = {text, &it->first, it->second.get()};
        return *it->second;
    }

    // A buffer for joining texts, kept to save an allocation per call.
    std::string& scratch() { return scratch_; }

private:
    static constexpr std::size_t kMaxPatterns = 1 << 14;
    static constexpr int kSlotBits = 12;
    static constexpr std::size_t kSlots = std::size_t(1) << kSlotBits;
    struct Hash {
        using is_transparent = void;
        std::size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
    };
    struct Slot {
        const char* text = nullptr;
        const std::string* key = nullptr;
        const LikePattern* pattern = nullptr;
    };
    std::unordered_map<std::string, std::unique_ptr<LikePattern>, Hash, std::equal_to<>> patterns_;
    std::array<Slot, kSlots> slots_{};
    std::string scratch_;
};

// The compiled form of a pattern argument (not Null); nullptr when memory ran out.
const LikePattern* likePattern(sqlite3_context* ctx, sqlite3_value* pattern)
{
    try {
        auto* cache = static_cast<LikeCache*>(sqlite3_user_data(ctx));
        if (sqlite3_value_type(pattern) == SQLITE_TEXT) {
            const std::string_view text = textOf(pattern);
            return &cache->get(text.data(), text.size());
        }
        const std::string text = displayText(pattern);
        return &cache->get(text.data(), text.size());
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

// jet_like(key, pattern): key is already folded when it is text (a key column or jet_key()).
void sqlJetLike(sqlite3_context* ctx, int, sqlite3_value** argv)
{
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL || sqlite3_value_type(argv[1]) == SQLITE_NULL)
        return sqlite3_result_null(ctx);
    const LikePattern* compiled = likePattern(ctx, argv[1]);
    if (!compiled)
        return sqlite3_result_error_nomem(ctx);
    bool hit;
    if (sqlite3_value_type(argv[0]) == SQLITE_TEXT)
        hit = compiled->match(textOf(argv[0]));
    else
        hit = compiled->match(jetFoldKey(displayText(argv[0])));
    sqlite3_result_int(ctx, hit ? 1 : 0);
}

// jet_like_join(pattern, key1, key2, ...): jet_like(key1 || key2 || ..., pattern) without SQL
// building the joined text for every pattern it is matched against. Null when a part is Null,
// as || gives.
void sqlJetLikeJoin(sqlite3_context* ctx, int argc, sqlite3_value** argv)
{
    for (int i = 0; i < argc; ++i)
        if (sqlite3_value_type(argv[i]) == SQLITE_NULL)
            return sqlite3_result_null(ctx);
    const LikePattern* compiled = argc >= 2 ? likePattern(ctx, argv[0]) : nullptr;
    if (!compiled)
        return argc >= 2 ? sqlite3_result_error_nomem(ctx) : sqlite3_result_error(ctx, "jet_like_join: no text", -1);
    std::string& joined = static_cast<LikeCache*>(sqlite3_user_data(ctx))->scratch();
    joined.clear();
    try {
        for (int i = 1; i < argc; ++i)
            joined += textOf(argv[i]);
    } catch (const std::bad_alloc&) {
        return sqlite3_result_error_nomem(ctx);
    }
    sqlite3_result_int(ctx, compiled->match(joined) ? 1 : 0);
}

// a & b: texts joined with Null taken as empty; Null only when both are Null.
void sqlJetAmp(sqlite3_context* ctx, int, sqlite3_value** argv)
{
    bool n0 = sqlite3_value_type(argv[0]) == SQLITE_NULL;
    bool n1 = sqlite3_value_type(argv[1]) == SQLITE_NULL;
    if (n0 && n1)
        return sqlite3_result_null(ctx);
    std::string s = n0 ? std::string() : displayText(argv[0]);
    if (!n1)
        s += displayText(argv[1]);
    resultText(ctx, s);
}

// A value as text (Null stays Null), for joining a number to a text.
void sqlJetStr(sqlite3_context* ctx, int, sqlite3_value** argv)
{
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL)
        return sqlite3_result_null(ctx);
    resultText(ctx, displayText(argv[0]));
}

// Right(text, n): the last n characters.
void sqlJetRight(sqlite3_context* ctx, int, sqlite3_value** argv)
{
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL || sqlite3_value_type(argv[1]) == SQLITE_NULL)
        return sqlite3_result_null(ctx);
    std::string s = displayText(argv[0]);
    sqlite3_int64 n = sqlite3_value_int64(argv[1]);
    std::size_t start = s.size();
    while (n > 0 && start > 0) {
        --start;
        while (start > 0 && (static_cast<unsigned char>(s[start]) & 0xC0) == 0x80)
            --start;
        --n;
    }
    resultText(ctx, s.substr(start));
}

template <bool Upper> void sqlJetCase(sqlite3_context* ctx, int, sqlite3_value** argv)
{
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL)
        return sqlite3_result_null(ctx);
    std::string s = displayText(argv[0]);
    std::string out;
    out.reserve(s.size());
    auto p = reinterpret_cast<const unsigned char*>(s.data());
    auto end = p + s.size();
    char buf[4];
    while (p < end) {
        char32_t cp;
        std::size_t n = decodeUtf8(p, end, cp);
        if (n == 0) {
            out += char(*p++);
            continue;
        }
        p += n;
        if (Upper) {
            if ((cp >= 'a' && cp <= 'z') || (cp >= 0xFF41 && cp <= 0xFF5A) || (cp >= 0xE0 && cp <= 0xFE && cp != 0xF7))
                cp -= 0x20;
        } else {
            if ((cp >= 'A' && cp <= 'Z') || (cp >= 0xFF21 && cp <= 0xFF3A) || (cp >= 0xC0 && cp <= 0xDE && cp != 0xD7))
                cp += 0x20;
        }
        out.append(buf, encodeUtf8(cp, buf));
    }
    resultText(ctx, out);
}

int jetCollate(void*, int n1, const void* a, int n2, const void* b)
{
    std::string ka = jetFoldKey(std::string_view(static_cast<const char*>(a), std::size_t(n1)));
    std::string kb = jetFoldKey(std::string_view(static_cast<const char*>(b), std::size_t(n2)));
    int c = ka.compare(kb);
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

} // namespace

LikeMatcher::LikeMatcher(std::string_view pattern) : pattern_(std::make_unique<LikePattern>(pattern)) {}
LikeMatcher::~LikeMatcher() = default;
LikeMatcher::LikeMatcher(LikeMatcher&&) noexcept = default;
LikeMatcher& LikeMatcher::operator=(LikeMatcher&&) noexcept = default;
bool LikeMatcher::match(std::string_view key) const { return pattern_->match(key); }
const std::string* LikeMatcher::soleLiteral() const { return pattern_->soleLiteral(); }

bool jetLike(std::string_view pattern, std::string_view text) { return LikePattern(pattern).match(jetFoldKey(text)); }

void registerJetFunctions(sqlite3* db)
{
    const int flags = SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_INNOCUOUS;
    struct Fn {
        const char* name;
        int args;
        void (*fn)(sqlite3_context*, int, sqlite3_value**);
    };
    static constexpr Fn fns[] = {
        {"jet_key", 1, sqlJetKey},     {"jet_amp", 2, sqlJetAmp},          {"jet_str", 1, sqlJetStr},
        {"jet_right", 2, sqlJetRight}, {"jet_ucase", 1, sqlJetCase<true>}, {"jet_lcase", 1, sqlJetCase<false>},
    };
    auto failed = [&](DbError (*error)(const std::string&)) { throw error(sqlite3_errmsg(db)); };
    for (const Fn& f : fns) {
        if (sqlite3_create_function_v2(db, f.name, f.args, flags, nullptr, f.fn, nullptr, nullptr, nullptr)
            != SQLITE_OK)
            failed(DbError::functionsNotRegistered);
    }
    // Both LIKE functions share the connection's pattern cache; jet_like owns it (SQLite destroys
    // it with the connection, or at once when the registration fails).
    auto cache = std::make_unique<LikeCache>();
    if (sqlite3_create_function_v2(db, "jet_like_join", -1, flags, cache.get(), sqlJetLikeJoin, nullptr, nullptr,
                                   nullptr)
        != SQLITE_OK)
        failed(DbError::functionsNotRegistered);
    if (sqlite3_create_function_v2(db, "jet_like", 2, flags, cache.release(), sqlJetLike, nullptr, nullptr,
                                   [](void* p) { delete static_cast<LikeCache*>(p); })
        != SQLITE_OK)
        failed(DbError::functionsNotRegistered);
    if (sqlite3_create_collation_v2(db, "JET", SQLITE_UTF8, nullptr, jetCollate, nullptr) != SQLITE_OK)
        failed(DbError::collationNotRegistered);
}

} // namespace orv
