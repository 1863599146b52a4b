#include "platform/jet/JetLexer.h"

#include "platform/text/AsciiText.h"

#include <cstring>

namespace orv::jet {

bool isReserved(std::string_view w)
{
    static constexpr std::string_view words[] = {
        "SELECT",   "FROM",        "WHERE", "GROUP", "BY",    "HAVING",  "ORDER", "AND",   "OR",
        "NOT",      "LIKE",        "IS",    "NULL",  "IN",    "BETWEEN", "AS",    "ASC",   "DESC",
        "DISTINCT", "DISTINCTROW", "ALL",   "TRUE",  "FALSE", "UNION",   "JOIN",  "INNER", "LEFT",
        "RIGHT",    "ON",          "TOP",   "XOR",   "EQV",   "IMP",     "MOD"};
    for (std::string_view k : words)
        if (AsciiEqualNoCase(w, k))
            return true;
    return false;
}

namespace {

bool identByte(unsigned char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c >= 0x80;
}

bool isIdeographicSpace(std::string_view s, std::size_t i)
{
    return s.size() - i >= 3 && s[i] == '\xE3' && s[i + 1] == '\x80' && s[i + 2] == '\x80';
}

bool isBlank(std::string_view s, std::size_t i)
{
    char c = s[i];
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v' || isIdeographicSpace(s, i);
}

} // namespace

std::vector<Token> tokenize(std::string_view s)
{
    std::vector<Token> out;
    std::size_t i = 0;
    auto bad = [&](std::size_t from) {
        out.push_back({Tk::Bad, {}, from, s.size()});
        out.push_back({Tk::End, {}, s.size(), s.size()});
        return out;
    };
    while (true) {
        while (i < s.size() && isBlank(s, i))
            i += isIdeographicSpace(s, i) ? 3 : 1;
        if (i >= s.size())
            break;
        const std::size_t b = i;
        const unsigned char c = static_cast<unsigned char>(s[i]);
        const bool afterName = !out.empty()
            && (out.back().kind == Tk::Bracket || (out.back().kind == Tk::Ident && !isReserved(out.back().text)));
        if ((c >= '0' && c <= '9')
            || (c == '.' && !afterName && i + 1 < s.size() && s[i + 1] >= '0' && s[i + 1] <= '9')) {
            while (i < s.size() && s[i] >= '0' && s[i] <= '9')
                ++i;
            if (i < s.size() && s[i] == '.') {
                ++i;
                while (i < s.size() && s[i] >= '0' && s[i] <= '9')
                    ++i;
            }
            if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
                std::size_t j = i + 1;
                if (j < s.size() && (s[j] == '+' || s[j] == '-'))
                    ++j;
                if (j < s.size() && s[j] >= '0' && s[j] <= '9') {
                    while (j < s.size() && s[j] >= '0' && s[j] <= '9')
                        ++j;
                    i = j;
                }
            }
            if (i < s.size() && identByte(static_cast<unsigned char>(s[i])) && !isIdeographicSpace(s, i))
                return bad(b);
            out.push_back({Tk::Number, std::string(s.substr(b, i - b)), b, i});
            continue;
        }
        if (identByte(c)) {
            while (i < s.size() && identByte(static_cast<unsigned char>(s[i])) && !isIdeographicSpace(s, i))
                ++i;
            out.push_back({Tk::Ident, std::string(s.substr(b, i - b)), b, i});
            continue;
        }
        if (c == '\'' || c == '"') {
            std::string value;
            ++i;
            while (true) {
                if (i >= s.size())
                    return bad(b);
                if (s[i] == char(c)) {
                    if (i + 1 < s.size() && s[i + 1] == char(c)) {
                        value += char(c);
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                value += s[i++];
            }
            out.push_back({Tk::String, std::move(value), b, i});
            continue;
        }
        if (c == '[') {
            std::size_t close = s.find(']', i + 1);
            if (close == std::string_view::npos || close == i + 1)
                return bad(b);
            out.push_back({Tk::Bracket, std::string(s.substr(i + 1, close - i - 1)), b, close + 1});
            i = close + 1;
            continue;
        }
        if (c == '<' && i + 1 < s.size() && (s[i + 1] == '>' || s[i + 1] == '=')) {
            out.push_back({Tk::Sym, std::string(s.substr(i, 2)), b, i + 2});
            i += 2;
            continue;
        }
        if (c == '>' && i + 1 < s.size() && s[i + 1] == '=') {
            out.push_back({Tk::Sym, ">=", b, i + 2});
            i += 2;
            continue;
        }
        if (std::strchr("(),.*+-/&=<>;", c) && c != 0) {
            out.push_back({Tk::Sym, std::string(1, char(c)), b, i + 1});
            ++i;
            continue;
        }
        return bad(b);
    }
    out.push_back({Tk::End, {}, s.size(), s.size()});
    return out;
}

std::string upper(std::string_view s)
{
    std::string r(s);
    for (char& c : r)
        c = AsciiUpper(c);
    return r;
}

bool isClauseWord(std::string_view w)
{
    return AsciiEqualNoCase(w, "FROM") || AsciiEqualNoCase(w, "WHERE") || AsciiEqualNoCase(w, "GROUP")
        || AsciiEqualNoCase(w, "HAVING") || AsciiEqualNoCase(w, "ORDER");
}

} // namespace orv::jet
