#include "platform/jet/JetFunctions.h"

#include "platform/jet/JetFold.h"
#include "platform/jet/JetLike.h"
#include "platform/reader/DbError.h"
#include "platform/reader/DbTypes.h"
#include "platform/text/Utf8.h"

#include <sqlite3.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <unordered_map>

namespace orv {

namespace {

std::string numberText(sqlite3_value* v)
{
    if (sqlite3_value_type(v) == SQLITE_INTEGER)
        return std::to_string(sqlite3_value_int64(v));
    return Value::real(sqlite3_value_double(v)).toText();
}

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
    const LikeMatcher& get(const char* text, std::size_t size)
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
            it = patterns_.emplace(std::string(pattern), LikeMatcher(pattern)).first;
        }
        slot = {text, &it->first, &it->second};
        return it->second;
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
        const LikeMatcher* pattern = nullptr;
    };
    std::unordered_map<std::string, LikeMatcher, Hash, std::equal_to<>> patterns_;
    std::array<Slot, kSlots> slots_{};
    std::string scratch_;
};

// The compiled form of a pattern argument (not Null); nullptr when memory ran out.
const LikeMatcher* likePattern(sqlite3_context* ctx, sqlite3_value* pattern)
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
    const LikeMatcher* compiled = likePattern(ctx, argv[1]);
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
    const LikeMatcher* compiled = argc >= 2 ? likePattern(ctx, argv[0]) : nullptr;
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
        while (start > 0 && utf8::isContinuation(static_cast<unsigned char>(s[start])))
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
        std::size_t n = utf8::decode(p, end, cp);
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
        out.append(buf, utf8::encode(cp, buf));
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
