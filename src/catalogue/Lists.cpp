#include "catalogue/Lists.h"

#include <cctype>
#include <charconv>
#include <cmath>

namespace orv {

std::vector<std::string> SplitByDelimiter(const std::string& text, const std::string& delimiter)
{
    if (delimiter.empty())
        return {text};
    std::vector<std::string> pieces;
    std::size_t position = 0;
    for (;;) {
        const std::size_t found = text.find(delimiter, position);
        if (found == std::string::npos) {
            pieces.push_back(text.substr(position));
            return pieces;
        }
        pieces.push_back(text.substr(position, found - position));
        position = found + delimiter.size();
    }
}

namespace {

bool IsValBlank(char ch) { return ch == ' ' || ch == '\t' || ch == '\n'; }

double RadixNumber(const std::string& digits, int radix)
{
    double value = 0;
    for (char ch : digits) {
        int d;
        if (ch >= '0' && ch <= '9')
            d = ch - '0';
        else if (ch >= 'a' && ch <= 'f')
            d = ch - 'a' + 10;
        else if (ch >= 'A' && ch <= 'F')
            d = ch - 'A' + 10;
        else
            break;
        if (d >= radix)
            break;
        value = value * radix + d;
    }
    return value;
}

} // namespace

double LeadingNumber(const std::string& text)
{
    // Val drops blanks, tabs and line feeds wherever they stand ("1 2" reads 12).
    std::string s;
    s.reserve(text.size());
    for (char ch : text)
        if (!IsValBlank(ch))
            s += ch;

    if (s.size() >= 2 && s[0] == '&') {
        const char kind = static_cast<char>(std::toupper(static_cast<unsigned char>(s[1])));
        if (kind == 'H')
            return RadixNumber(s.substr(2), 16);
        if (kind == 'O')
            return RadixNumber(s.substr(2), 8);
        return RadixNumber(s.substr(1), 8);
    }

    // sign, digits, one decimal point, an exponent introduced by E or D.
    std::string number;
    std::size_t i = 0;
    if (i < s.size() && (s[i] == '+' || s[i] == '-'))
        number += s[i++];
    bool digits = false;
    while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) {
        number += s[i++];
        digits = true;
    }
    if (i < s.size() && s[i] == '.') {
        number += s[i++];
        while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) {
            number += s[i++];
            digits = true;
        }
    }
    if (!digits)
        return 0;
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E' || s[i] == 'd' || s[i] == 'D')) {
        std::size_t j = i + 1;
        std::string exponent = "e";
        if (j < s.size() && (s[j] == '+' || s[j] == '-'))
            exponent += s[j++];
        bool expDigits = false;
        while (j < s.size() && std::isdigit(static_cast<unsigned char>(s[j]))) {
            exponent += s[j++];
            expDigits = true;
        }
        if (expDigits)
            number += exponent;
    }
    // from_chars ignores the locale, which a Qt application sets from the environment.
    const char* first = number.c_str();
    if (*first == '+')
        ++first;
    double value = 0;
    if (std::from_chars(first, number.c_str() + number.size(), value).ec == std::errc::result_out_of_range) {
        if (number.find("e-") != std::string::npos)
            return 0;
        return number[0] == '-' ? -HUGE_VAL : HUGE_VAL;
    }
    return value;
}

std::string VolumeItemText(const std::string& cdno) { return LeadingNumber(cdno) != 0 ? "CD" + cdno : cdno; }

std::string CdFilterFromSelector(const std::string& text)
{
    if (text == "ALL")
        return {};
    if (text.compare(0, 2, "CD") == 0)
        return text.substr(2);
    return text;
}

} // namespace orv
