// Jet's LIKE patterns, matched against texts folded as Jet compares them (JetFold.h).
#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace orv {

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

} // namespace orv
