#include "platform/settings/NumberText.h"

#include <charconv>
#include <climits>
#include <cmath>
#include <cstdint>
#include <string_view>

namespace orv {

namespace {

constexpr std::int64_t kMinWhole = INT32_MIN;
constexpr std::int64_t kMaxWhole = INT32_MAX;

bool isBlank(char c) { return c == ' ' || c == '\t'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

std::string_view trimBlanks(std::string_view s)
{
    while (!s.empty() && isBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && isBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

// Splits signed decimal text into sign, integer digits and fraction digits; false when the text
// is not of that form (at least one digit, at most one point).
bool splitDecimal(std::string_view s, bool& negative, std::string_view& whole, std::string_view& fraction)
{
    negative = false;
    if (!s.empty() && (s.front() == '-' || s.front() == '+')) {
        negative = s.front() == '-';
        s.remove_prefix(1);
    }
    size_t i = 0;
    while (i < s.size() && isDigit(s[i]))
        ++i;
    whole = s.substr(0, i);
    fraction = {};
    if (i < s.size() && s[i] == '.') {
        size_t j = i + 1;
        while (j < s.size() && isDigit(s[j]))
            ++j;
        fraction = s.substr(i + 1, j - i - 1);
        i = j;
    }
    return i == s.size() && (!whole.empty() || !fraction.empty());
}

} // namespace

std::optional<long> ParseWhole(const std::string& text)
{
    bool negative;
    std::string_view whole, fraction;
    if (!splitDecimal(trimBlanks(text), negative, whole, fraction))
        return std::nullopt;

    // Exact decimal rounding: a double would turn "2.50000000000000001" into a tie.
    std::int64_t magnitude = 0;
    for (char c : whole) {
        magnitude = magnitude * 10 + (c - '0');
        if (magnitude > kMaxWhole + 2)
            return std::nullopt;
    }
    if (!fraction.empty()) {
        const char first = fraction.front();
        const bool restNonZero = fraction.substr(1).find_first_not_of('0') != std::string_view::npos;
        if (first > '5' || (first == '5' && (restNonZero || magnitude % 2 == 1)))
            ++magnitude;
    }
    const std::int64_t value = negative ? -magnitude : magnitude;
    if (value < kMinWhole || value > kMaxWhole)
        return std::nullopt;
    return static_cast<long>(value);
}

std::optional<float> ParseSingle(const std::string& text)
{
    std::string_view s = trimBlanks(text);
    // The mantissa must be plain decimal text; an exponent may follow.
    size_t end = s.find_first_of("eE");
    bool negative;
    std::string_view whole, fraction;
    if (!splitDecimal(s.substr(0, end), negative, whole, fraction))
        return std::nullopt;
    if (end != std::string_view::npos) {
        std::string_view exp = s.substr(end + 1);
        if (!exp.empty() && (exp.front() == '+' || exp.front() == '-'))
            exp.remove_prefix(1);
        if (exp.empty() || exp.find_first_not_of("0123456789") != std::string_view::npos)
            return std::nullopt;
    }
    if (!s.empty() && s.front() == '+')
        s.remove_prefix(1);
    float value = 0;
    // from_chars ignores the locale, unlike strtof.
    auto [ptr, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
    if (ec != std::errc() || ptr != s.data() + s.size() || !std::isfinite(value))
        return std::nullopt;
    return value;
}

std::string WholeText(long value) { return std::to_string(value); }

std::string SingleText(float value)
{
    if (!std::isfinite(value))
        return std::isnan(value) ? "NaN" : (value > 0 ? "Inf" : "-Inf");
    if (value == 0)
        return "0";

    // Fewest significant digits (at most seven) that read back as the same single.
    char buf[64];
    std::to_chars_result res{};
    for (int digits = 1; digits <= 7; ++digits) {
        res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific, digits - 1);
        float back = 0;
        std::from_chars(buf, res.ptr, back);
        if (back == value)
            break;
    }
    // buf holds "[-]d[.ddd]e±XX": take the digits and the exponent apart.
    std::string_view sci(buf, static_cast<size_t>(res.ptr - buf));
    const bool negative = sci.front() == '-';
    if (negative)
        sci.remove_prefix(1);
    const size_t ePos = sci.find('e');
    std::string digits;
    for (char c : sci.substr(0, ePos))
        if (c != '.')
            digits += c;
    while (digits.size() > 1 && digits.back() == '0')
        digits.pop_back();
    int exponent = 0;
    std::string_view expText = sci.substr(ePos + 1);
    if (!expText.empty() && expText.front() == '+')
        expText.remove_prefix(1);
    std::from_chars(expText.data(), expText.data() + expText.size(), exponent);

    std::string out = negative ? "-" : "";
    if (exponent >= 7 || exponent < -5) {
        // Too large or too small for plain text: "1.234568E+07".
        out += digits.substr(0, 1);
        if (digits.size() > 1)
            out += "." + digits.substr(1);
        out += exponent < 0 ? "E-" : "E+";
        const int absExp = exponent < 0 ? -exponent : exponent;
        if (absExp < 10)
            out += '0';
        out += std::to_string(absExp);
    } else if (exponent < 0) {
        out += "0." + std::string(static_cast<size_t>(-exponent - 1), '0') + digits;
    } else {
        const size_t intDigits = static_cast<size_t>(exponent) + 1;
        if (digits.size() <= intDigits)
            out += digits + std::string(intDigits - digits.size(), '0');
        else
            out += digits.substr(0, intDigits) + "." + digits.substr(intDigits);
    }
    return out;
}

std::string BoolText(bool value) { return value ? "True" : "False"; }

long RoundHalfEven(double value)
{
    if (std::isnan(value))
        return 0;
    double r = std::floor(value);
    const double diff = value - r;
    if (diff > 0.5 || (diff == 0.5 && std::fmod(r, 2.0) != 0))
        r += 1;
    if (r <= static_cast<double>(LONG_MIN))
        return LONG_MIN;
    if (r >= static_cast<double>(LONG_MAX))
        return LONG_MAX;
    return static_cast<long>(r);
}

} // namespace orv
