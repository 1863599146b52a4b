#include "platform/jet/JetLike.h"

#include "platform/jet/JetFold.h"

#include <algorithm>
#include <utility>
#include <vector>

namespace orv {

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
                k += detail::jetCharAt(body, k, cp);
                cps.push_back(cp <= 0x10FFFF ? detail::jetFoldCodePoint(cp) : cp);
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
            pos += detail::jetCharAt(s, pos, cp);
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
            pos += detail::jetCharAt(s, pos, cp);
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
            p += detail::jetCharAt(s, p, cp);
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
        p += detail::jetCharAt(s, p, cp);
    }
    return false;
}

LikeMatcher::LikeMatcher(std::string_view pattern) : pattern_(std::make_unique<LikePattern>(pattern)) {}
LikeMatcher::~LikeMatcher() = default;
LikeMatcher::LikeMatcher(LikeMatcher&&) noexcept = default;
LikeMatcher& LikeMatcher::operator=(LikeMatcher&&) noexcept = default;
bool LikeMatcher::match(std::string_view key) const { return pattern_->match(key); }
const std::string* LikeMatcher::soleLiteral() const { return pattern_->soleLiteral(); }

bool jetLike(std::string_view pattern, std::string_view text) { return LikePattern(pattern).match(jetFoldKey(text)); }

} // namespace orv
