#include "platform/JetSql.h"

#include "platform/AsciiText.h"
#include "platform/JetText.h"
#include "platform/SqlQuote.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <set>
#include <string_view>

namespace orv {

const CatalogTable* CatalogSchema::findTable(const std::string& name) const
{
    const std::string key = jetFoldKey(name);
    for (const CatalogTable& t : tables)
        if (jetFoldKey(t.name) == key)
            return &t;
    return nullptr;
}

namespace {

// Deeper expressions are refused: the parser recurses per level and SQLite has its own limit.
constexpr int kMaxNesting = 200;
constexpr int kMaxTreeDepth = 250;
constexpr std::size_t kMaxFields = 255;
constexpr std::size_t kMaxQuotedExpression = 2000;

// --- messages ----------------------------------------------------------------------------------

std::string clip(std::string_view s)
{
    if (s.size() <= kMaxQuotedExpression)
        return std::string(s);
    std::size_t n = kMaxQuotedExpression;
    while (n > 0 && (static_cast<unsigned char>(s[n]) & 0xC0) == 0x80)
        --n;
    return std::string(s.substr(0, n)) + "...";
}

[[noreturn]] void failExpression(std::string_view expr)
{
    throw DbError::missingOperator(clip(expr));
}
[[noreturn]] void failFrom() { throw DbError::syntaxInFrom(); }
[[noreturn]] void failStatement()
{
    throw DbError::syntaxInStatement();
}
[[noreturn]] void failNotSelect()
{
    throw DbError::invalidStatement();
}
[[noreturn]] void failAfterEnd()
{
    throw DbError::charactersAfterEnd();
}

// Words that are never taken as names unless bracketed.
bool isReserved(std::string_view w)
{
    static constexpr std::string_view words[] = {
        "SELECT", "FROM", "WHERE", "GROUP", "BY", "HAVING", "ORDER", "AND", "OR", "NOT", "LIKE", "IS",
        "NULL", "IN", "BETWEEN", "AS", "ASC", "DESC", "DISTINCT", "DISTINCTROW", "ALL", "TRUE", "FALSE",
        "UNION", "JOIN", "INNER", "LEFT", "RIGHT", "ON", "TOP", "XOR", "EQV", "IMP", "MOD"};
    for (std::string_view k : words)
        if (AsciiEqualNoCase(w, k))
            return true;
    return false;
}

// --- tokens ------------------------------------------------------------------------------------

enum class Tk { Ident, Bracket, Number, String, Sym, End, Bad };

struct Token {
    Tk kind;
    std::string text;   // identifier, unquoted literal, number or symbol
    std::size_t begin;
    std::size_t end;
};

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
        if ((c >= '0' && c <= '9') || (c == '.' && !afterName && i + 1 < s.size() && s[i + 1] >= '0' && s[i + 1] <= '9')) {
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

// --- syntax tree -------------------------------------------------------------------------------

enum class Op { Column, Text, Number, Null, Bool, Neg, Not, Arith, Amp, Cmp, Like, In, Between, IsNull, And, Or, Func, Agg, CountStar };
enum class Kind { Text, Number, Null, Other };

struct Node;
using NodeP = std::unique_ptr<Node>;

struct Node {
    Op op;
    std::string text;        // literal value, number, operator, upper-case function name or field name
    std::string qualifier;   // table part of table.field
    std::vector<NodeP> kids;
    bool negated = false;    // NOT LIKE, NOT IN, NOT BETWEEN, IS NOT NULL
    std::size_t begin = 0, end = 0;
    int depth = 1;
    const CatalogColumn* column = nullptr;
    Kind kind = Kind::Other;
};

struct SelectItem {
    bool star = false;
    std::string qualifier;   // of table.*
    NodeP expr;
    std::string alias;
    bool hasAlias = false;
};

struct OrderItem {
    NodeP expr;
    bool desc = false;
};

struct Statement {
    bool distinct = false;
    std::vector<SelectItem> items;
    std::string table;
    std::string alias;
    NodeP where;
    std::vector<NodeP> groupBy;
    NodeP having;
    std::vector<OrderItem> orderBy;
};

Kind kindOf(ColumnKind k)
{
    switch (k) {
    case ColumnKind::Text: return Kind::Text;
    case ColumnKind::Integer: case ColumnKind::Real: case ColumnKind::Boolean: return Kind::Number;
    default: return Kind::Other;   // dates and binary values compare as stored
    }
}

bool isFunctionName(const std::string& u, int& minArgs, int& maxArgs, bool& aggregate)
{
    struct F { const char* name; int minArgs, maxArgs; bool agg; };
    static constexpr F fns[] = {
        {"COUNT", 1, 1, true}, {"MIN", 1, 1, true}, {"MAX", 1, 1, true}, {"SUM", 1, 1, true}, {"AVG", 1, 1, true},
        {"UCASE", 1, 1, false}, {"LCASE", 1, 1, false}, {"LEN", 1, 1, false}, {"LEFT", 2, 2, false},
        {"RIGHT", 2, 2, false}, {"MID", 2, 3, false}, {"TRIM", 1, 1, false}, {"LTRIM", 1, 1, false},
        {"RTRIM", 1, 1, false}, {"ISNULL", 1, 1, false}};
    for (const F& f : fns)
        if (u == f.name) {
            minArgs = f.minArgs;
            maxArgs = f.maxArgs;
            aggregate = f.agg;
            return true;
        }
    return false;
}

// --- parser ------------------------------------------------------------------------------------

class Parser {
public:
    explicit Parser(const std::string& sql) : src_(sql), toks_(tokenize(sql)) {}
    Statement parse();

private:
    const Token& tok() const { return toks_[pos_]; }
    const Token& peek(std::size_t n = 1) const { return toks_[std::min(pos_ + n, toks_.size() - 1)]; }
    bool isWord(const Token& t, std::string_view w) const { return t.kind == Tk::Ident && AsciiEqualNoCase(t.text, w); }
    bool word(std::string_view w) const { return isWord(tok(), w); }
    bool sym(std::string_view s) const { return tok().kind == Tk::Sym && tok().text == s; }
    bool isName(const Token& t) const { return t.kind == Tk::Bracket || (t.kind == Tk::Ident && !isReserved(t.text)); }
    void next() { if (pos_ + 1 < toks_.size()) ++pos_; }
    bool startsOperand(const Token& t) const
    {
        return t.kind == Tk::Bracket || t.kind == Tk::Number || t.kind == Tk::String || t.kind == Tk::Bad
            || (t.kind == Tk::Ident && !isClauseWord(t.text))
            || (t.kind == Tk::Sym && t.text == "(");
    }

    [[noreturn]] void fail() const;
    NodeP make(Op op, std::size_t startTok, std::vector<NodeP> kids = {});
    // A node over left and right, with the operator's text where the kind needs it.
    NodeP binary(Op op, std::size_t startTok, NodeP left, NodeP right, std::string text = {});
    NodeP parseExpr();
    NodeP parseChain(std::string_view keyword, Op op, NodeP (Parser::*operand)());
    NodeP parseOr();
    NodeP parseAnd();
    NodeP parseNot();
    NodeP parseCompare();
    NodeP parseAmp();
    NodeP parseAdd();
    NodeP parseMul();
    NodeP parseUnary();
    NodeP parsePrimary();
    NodeP parseClauseExpr();

    struct Nest {
        Parser& p;
        explicit Nest(Parser& parser) : p(parser) { if (++p.nesting_ > kMaxNesting) p.fail(); }
        ~Nest() { --p.nesting_; }
    };

    const std::string& src_;
    std::vector<Token> toks_;
    std::size_t pos_ = 0;
    std::size_t clauseStart_ = 0;
    int nesting_ = 0;
};

// Reports the expression being parsed: from its start to the end of its clause or list item.
void Parser::fail() const
{
    std::size_t i = clauseStart_;
    std::size_t last = i;
    bool any = false;
    int depth = 0;
    for (; i < toks_.size(); ++i) {
        const Token& t = toks_[i];
        if (t.kind == Tk::End)
            break;
        if (depth <= 0 && ((t.kind == Tk::Sym && (t.text == "," || t.text == ";")) || (t.kind == Tk::Ident && isClauseWord(t.text))))
            break;
        if (t.kind == Tk::Sym && t.text == "(")
            ++depth;
        if (t.kind == Tk::Sym && t.text == ")")
            --depth;
        last = i;
        any = true;
    }
    if (!any)
        failExpression({});
    std::size_t b = toks_[clauseStart_].begin;
    failExpression(std::string_view(src_).substr(b, toks_[last].end - b));
}

NodeP Parser::binary(Op op, std::size_t startTok, NodeP left, NodeP right, std::string text)
{
    std::vector<NodeP> kids;
    kids.push_back(std::move(left));
    kids.push_back(std::move(right));
    NodeP n = make(op, startTok, std::move(kids));
    n->text = std::move(text);
    return n;
}

NodeP Parser::make(Op op, std::size_t startTok, std::vector<NodeP> kids)
{
    auto n = std::make_unique<Node>();
    n->op = op;
    n->begin = toks_[startTok].begin;
    n->end = toks_[pos_ > startTok ? pos_ - 1 : startTok].end;
    for (const NodeP& k : kids)
        n->depth = std::max(n->depth, k->depth + 1);
    n->kids = std::move(kids);
    if (n->depth > kMaxTreeDepth)
        fail();
    return n;
}

NodeP Parser::parseExpr() { return parseOr(); }

// A run of operands joined by one keyword becomes one node over all of them.
NodeP Parser::parseChain(std::string_view keyword, Op op, NodeP (Parser::*operand)())
{
    std::size_t start = pos_;
    NodeP left = (this->*operand)();
    if (!word(keyword))
        return left;
    std::vector<NodeP> kids;
    kids.push_back(std::move(left));
    while (word(keyword)) {
        next();
        kids.push_back((this->*operand)());
    }
    return make(op, start, std::move(kids));
}

NodeP Parser::parseOr() { return parseChain("OR", Op::Or, &Parser::parseAnd); }

NodeP Parser::parseAnd() { return parseChain("AND", Op::And, &Parser::parseNot); }

NodeP Parser::parseNot()
{
    if (!word("NOT"))
        return parseCompare();
    Nest nest(*this);
    std::size_t start = pos_;
    next();
    std::vector<NodeP> kids;
    kids.push_back(parseNot());
    return make(Op::Not, start, std::move(kids));
}

NodeP Parser::parseCompare()
{
    std::size_t start = pos_;
    NodeP left = parseAmp();
    while (true) {
        const Token& t = tok();
        if (t.kind == Tk::Sym && (t.text == "=" || t.text == "<>" || t.text == "<" || t.text == ">" || t.text == "<=" || t.text == ">=")) {
            std::string op = t.text;
            next();
            left = binary(Op::Cmp, start, std::move(left), parseAmp(), op);
            continue;
        }
        if (word("IS")) {
            next();
            bool negated = false;
            if (word("NOT")) {
                negated = true;
                next();
            }
            if (!word("NULL"))
                fail();
            next();
            std::vector<NodeP> kids;
            kids.push_back(std::move(left));
            left = make(Op::IsNull, start, std::move(kids));
            left->negated = negated;
            continue;
        }
        bool negated = false;
        if (word("NOT") && (isWord(peek(), "LIKE") || isWord(peek(), "IN") || isWord(peek(), "BETWEEN"))) {
            negated = true;
            next();
        }
        if (word("LIKE")) {
            next();
            left = binary(Op::Like, start, std::move(left), parseAmp());
            left->negated = negated;
            continue;
        }
        if (word("IN")) {
            next();
            if (!sym("("))
                fail();
            next();
            std::vector<NodeP> kids;
            kids.push_back(std::move(left));
            {
                Nest nest(*this);
                while (true) {
                    kids.push_back(parseExpr());
                    if (sym(",")) {
                        next();
                        continue;
                    }
                    break;
                }
                if (!sym(")"))
                    fail();
                next();
            }
            left = make(Op::In, start, std::move(kids));
            left->negated = negated;
            continue;
        }
        if (word("BETWEEN")) {
            next();
            std::vector<NodeP> kids;
            kids.push_back(std::move(left));
            kids.push_back(parseAmp());
            if (!word("AND"))
                fail();
            next();
            kids.push_back(parseAmp());
            left = make(Op::Between, start, std::move(kids));
            left->negated = negated;
            continue;
        }
        return left;
    }
}

NodeP Parser::parseAmp()
{
    std::size_t start = pos_;
    NodeP left = parseAdd();
    while (sym("&")) {
        next();
        left = binary(Op::Amp, start, std::move(left), parseAdd());
    }
    return left;
}

NodeP Parser::parseAdd()
{
    std::size_t start = pos_;
    NodeP left = parseMul();
    while (sym("+") || sym("-")) {
        std::string op = tok().text;
        next();
        left = binary(Op::Arith, start, std::move(left), parseMul(), op);
    }
    return left;
}

NodeP Parser::parseMul()
{
    std::size_t start = pos_;
    NodeP left = parseUnary();
    while (sym("*") || sym("/")) {
        std::string op = tok().text;
        next();
        left = binary(Op::Arith, start, std::move(left), parseUnary(), op);
    }
    return left;
}

NodeP Parser::parseUnary()
{
    if (sym("-") || sym("+")) {
        Nest nest(*this);
        std::size_t start = pos_;
        bool minus = sym("-");
        next();
        NodeP operand = parseUnary();
        if (!minus)
            return operand;
        std::vector<NodeP> kids;
        kids.push_back(std::move(operand));
        return make(Op::Neg, start, std::move(kids));
    }
    return parsePrimary();
}

NodeP Parser::parsePrimary()
{
    const std::size_t start = pos_;
    const Token& t = tok();
    switch (t.kind) {
    case Tk::Number: {
        next();
        NodeP n = make(Op::Number, start);
        n->text = toks_[start].text;
        return n;
    }
    case Tk::String: {
        next();
        NodeP n = make(Op::Text, start);
        n->text = toks_[start].text;
        return n;
    }
    case Tk::Sym:
        if (t.text == "(") {
            Nest nest(*this);
            next();
            NodeP inner = parseExpr();
            if (!sym(")"))
                fail();
            next();
            inner->begin = toks_[start].begin;
            inner->end = toks_[pos_ - 1].end;
            return inner;
        }
        fail();
    case Tk::Ident:
        if (AsciiEqualNoCase(t.text, "NULL")) {
            next();
            return make(Op::Null, start);
        }
        if (AsciiEqualNoCase(t.text, "TRUE") || AsciiEqualNoCase(t.text, "FALSE")) {
            next();
            NodeP n = make(Op::Bool, start);
            n->text = AsciiEqualNoCase(t.text, "TRUE") ? "-1" : "0";
            return n;
        }
        if (peek().kind == Tk::Sym && peek().text == "(" && (!isReserved(t.text) || AsciiEqualNoCase(t.text, "LEFT") || AsciiEqualNoCase(t.text, "RIGHT"))) {
            Nest nest(*this);
            std::string name = upper(t.text);
            next();
            next();
            if (name == "COUNT" && sym("*") && peek().kind == Tk::Sym && peek().text == ")") {
                next();
                next();
                NodeP n = make(Op::CountStar, start);
                n->text = name;
                return n;
            }
            std::vector<NodeP> args;
            if (!sym(")")) {
                while (true) {
                    args.push_back(parseExpr());
                    if (sym(",")) {
                        next();
                        continue;
                    }
                    break;
                }
            }
            if (!sym(")"))
                fail();
            next();
            int minArgs = 0, maxArgs = 0;
            bool aggregate = false;
            bool known = isFunctionName(name, minArgs, maxArgs, aggregate);
            if (known && (int(args.size()) < minArgs || int(args.size()) > maxArgs))
                fail();
            NodeP n = make(aggregate ? Op::Agg : Op::Func, start, std::move(args));
            n->text = name;
            return n;
        }
        if (isReserved(t.text))
            fail();
        [[fallthrough]];
    case Tk::Bracket: {
        std::string name = t.text;
        std::string qualifier;
        next();
        if (sym(".")) {
            next();
            if (!isName(tok()))
                fail();
            qualifier = std::move(name);
            name = tok().text;
            next();
        }
        NodeP n = make(Op::Column, start);
        n->text = std::move(name);
        n->qualifier = std::move(qualifier);
        return n;
    }
    default:
        fail();
    }
}

// An expression that makes up a clause or list item: whatever follows it must end the item.
NodeP Parser::parseClauseExpr()
{
    clauseStart_ = pos_;
    NodeP e = parseExpr();
    if (startsOperand(tok()) || (tok().kind == Tk::Sym && tok().text == ")"))
        fail();
    return e;
}

Statement Parser::parse()
{
    Statement st;
    if (!word("SELECT"))
        failNotSelect();
    next();
    if (word("DISTINCT")) {
        st.distinct = true;
        next();
    } else if (word("DISTINCTROW") || word("ALL")) {
        next();
    }

    // Select list.
    while (true) {
        SelectItem item;
        if (sym("*")) {
            item.star = true;
            next();
        } else if (isName(tok()) && peek().kind == Tk::Sym && peek().text == "." && peek(2).kind == Tk::Sym && peek(2).text == "*") {
            item.star = true;
            item.qualifier = tok().text;
            next();
            next();
            next();
        } else {
            if (tok().kind == Tk::End || sym(";") || word("FROM"))
                failStatement();
            clauseStart_ = pos_;
            item.expr = parseExpr();
            if (word("AS")) {
                next();
                if (!isName(tok()))
                    fail();
                item.alias = tok().text;
                item.hasAlias = true;
                next();
            }
            if (startsOperand(tok()) || (tok().kind == Tk::Sym && tok().text == ")"))
                fail();
        }
        st.items.push_back(std::move(item));
        if (st.items.size() > kMaxFields)
            throw DbError::tooManyFields();
        if (sym(",")) {
            next();
            continue;
        }
        break;
    }
    if (!word("FROM"))
        failStatement();
    next();

    // One table, optionally with an alias.
    if (!isName(tok()))
        failFrom();
    st.table = tok().text;
    next();
    if (word("AS")) {
        next();
        if (!isName(tok()))
            failFrom();
        st.alias = tok().text;
        next();
    } else if (isName(tok())) {
        st.alias = tok().text;
        next();
    }
    if (tok().kind != Tk::End && !sym(";") && !(tok().kind == Tk::Ident && isClauseWord(tok().text)))
        failFrom();

    int stage = 0;   // clauses come in this order, each at most once
    while (tok().kind == Tk::Ident && isClauseWord(tok().text)) {
        if (word("WHERE") && stage < 1) {
            stage = 1;
            next();
            st.where = parseClauseExpr();
        } else if (word("GROUP") && stage < 2) {
            stage = 2;
            next();
            if (!word("BY"))
                failStatement();
            next();
            while (true) {
                st.groupBy.push_back(parseClauseExpr());
                if (!sym(","))
                    break;
                next();
            }
        } else if (word("HAVING") && stage < 3) {
            stage = 3;
            next();
            st.having = parseClauseExpr();
        } else if (word("ORDER") && stage < 4) {
            stage = 4;
            next();
            if (!word("BY"))
                failStatement();
            next();
            while (true) {
                OrderItem o;
                clauseStart_ = pos_;
                o.expr = parseExpr();
                if (word("DESC")) {
                    o.desc = true;
                    next();
                } else if (word("ASC")) {
                    next();
                }
                if (startsOperand(tok()) || (tok().kind == Tk::Sym && tok().text == ")"))
                    fail();
                st.orderBy.push_back(std::move(o));
                if (!sym(","))
                    break;
                next();
            }
        } else {
            failStatement();
        }
    }
    if (sym(";")) {
        next();
        if (tok().kind != Tk::End)
            failAfterEnd();
    }
    if (tok().kind != Tk::End)
        failStatement();
    return st;
}

// --- names, kinds and checks -------------------------------------------------------------------

bool sameName(std::string_view a, std::string_view b) { return jetFoldKey(a) == jetFoldKey(b); }

template <class F>
void forEachNode(const Node& n, F&& f)
{
    f(n);
    for (const NodeP& k : n.kids)
        forEachNode(*k, f);
}

bool containsAggregate(const Node& n)
{
    bool found = false;
    forEachNode(n, [&](const Node& x) { found = found || x.op == Op::Agg || x.op == Op::CountStar; });
    return found;
}

bool isBoolean(const Node& n)
{
    switch (n.op) {
    case Op::Not: case Op::Cmp: case Op::Like: case Op::In: case Op::Between: case Op::IsNull: case Op::And: case Op::Or:
        return true;
    case Op::Func:
        return n.text == "ISNULL";
    default:
        return false;
    }
}

bool isLiteral(const Node& n)
{
    return n.op == Op::Text || n.op == Op::Number || n.op == Op::Null || n.op == Op::Bool;
}

bool sameTree(const Node& a, const Node& b)
{
    if (a.op != b.op || a.negated != b.negated || a.kids.size() != b.kids.size())
        return false;
    if (a.op == Op::Column) {
        if (a.column != b.column)
            return false;
    } else if (a.text != b.text) {
        return false;
    }
    for (std::size_t i = 0; i < a.kids.size(); ++i)
        if (!sameTree(*a.kids[i], *b.kids[i]))
            return false;
    return true;
}

class Analyzer {
public:
    Analyzer(const std::string& src, const CatalogTable& table, const std::string& alias)
        : src_(src), table_(table), alias_(alias) {}

    void resolve(Node& n)
    {
        for (NodeP& k : n.kids)
            resolve(*k);
        switch (n.op) {
        case Op::Column: {
            bool qualifierOk = n.qualifier.empty() || sameName(n.qualifier, table_.name)
                || (!alias_.empty() && sameName(n.qualifier, alias_));
            if (qualifierOk)
                for (const CatalogColumn& c : table_.columns)
                    if (sameName(c.name, n.text)) {
                        n.column = &c;
                        break;
                    }
            if (!n.column) {
                unknown_.insert(jetFoldKey(n.qualifier.empty() ? n.text : n.qualifier + "." + n.text));
                n.kind = Kind::Other;
                return;
            }
            n.kind = kindOf(n.column->kind);
            return;
        }
        case Op::Text: n.kind = Kind::Text; return;
        case Op::Number: case Op::Bool: n.kind = Kind::Number; return;
        case Op::Null: n.kind = Kind::Null; return;
        case Op::Neg: n.kind = Kind::Number; return;
        case Op::Arith:
            if (n.text == "+") {
                Kind a = n.kids[0]->kind, b = n.kids[1]->kind;
                if (a == Kind::Text || b == Kind::Text)
                    n.kind = Kind::Text;
                else if (a == Kind::Other || b == Kind::Other)
                    n.kind = Kind::Other;
                else
                    n.kind = Kind::Number;
            } else {
                n.kind = Kind::Number;
            }
            return;
        case Op::Amp: n.kind = Kind::Text; return;
        case Op::Cmp: case Op::In: case Op::Between:
            checkComparable(n);
            n.kind = Kind::Number;
            return;
        case Op::Not: case Op::Like: case Op::IsNull: case Op::And: case Op::Or: case Op::CountStar:
            n.kind = Kind::Number;
            return;
        case Op::Agg:
            n.kind = (n.text == "MIN" || n.text == "MAX") ? n.kids[0]->kind : Kind::Number;
            if (containsAggregate(*n.kids[0]))
                failExpression(span(n));
            return;
        case Op::Func: {
            int minArgs, maxArgs;
            bool aggregate;
            if (!isFunctionName(n.text, minArgs, maxArgs, aggregate))
                throw DbError::undefinedFunction(clip(originalName(n)));
            n.kind = (n.text == "LEN" || n.text == "ISNULL") ? Kind::Number : Kind::Text;
            return;
        }
        }
    }

    // Jet refuses to compare a text with a number.
    void checkComparable(const Node& n)
    {
        bool text = false, number = false;
        for (const NodeP& k : n.kids) {
            text = text || k->kind == Kind::Text;
            number = number || k->kind == Kind::Number;
        }
        if (text && number)
            throw DbError::typeMismatch();
    }

    void throwIfUnknown() const
    {
        if (!unknown_.empty())
            throw DbError::tooFewParameters(unknown_.size());
    }

    // In a grouped query every field outside an aggregate must be one of the grouped expressions.
    void checkGrouped(const Node& n, const std::vector<const Node*>& groups) const
    {
        if (n.op == Op::Agg || n.op == Op::CountStar || isLiteral(n))
            return;
        for (const Node* g : groups)
            if (sameTree(n, *g))
                return;
        if (n.op == Op::Column)
            throw DbError::notPartOfAggregate(clip(n.end > n.begin ? span(n) : n.text));
        for (const NodeP& k : n.kids)
            checkGrouped(*k, groups);
    }

    std::string span(const Node& n) const { return src_.substr(n.begin, n.end - n.begin); }

private:
    std::string originalName(const Node& n) const
    {
        std::string s = span(n);
        std::size_t paren = s.find('(');
        return paren == std::string::npos ? s : s.substr(0, paren);
    }

    const std::string& src_;
    const CatalogTable& table_;
    const std::string& alias_;
    std::set<std::string> unknown_;
};

// --- SQL generation ----------------------------------------------------------------------------

// SQLite takes at most 127 arguments per function call.
constexpr std::size_t kMaxJoinedParts = 100;

class Emitter {
public:
    // Grouped expressions of the part being written (select list, HAVING, ORDER BY of a grouped
    // query); null for rows before grouping.
    const std::vector<const Node*>* groups = nullptr;

    std::string value(const Node& n)
    {
        if (grouped(n)) {
            ++aggDepth_;
            std::string s = value(n);
            --aggDepth_;
            // Texts group ignoring case and width; the group shows one spelling of them.
            return n.kind == Kind::Text ? "MIN(" + s + ")" : s;
        }
        switch (n.op) {
        case Op::Column: return SqlIdentifier(n.column->sqlName);
        case Op::Text: return SqlLiteral(n.text);
        case Op::Number: return n.text;
        case Op::Null: return "NULL";
        case Op::Bool: return n.text;
        case Op::Neg: return "(- " + value(*n.kids[0]) + ")";
        case Op::Not: return "(NOT " + value(*n.kids[0]) + ")";
        case Op::Arith:
            if (n.text == "+" && n.kind == Kind::Text)
                return "(" + asText(*n.kids[0]) + " || " + asText(*n.kids[1]) + ")";
            if (n.text == "/")
                return "(CAST(" + value(*n.kids[0]) + " AS REAL) / " + value(*n.kids[1]) + ")";
            return "(" + value(*n.kids[0]) + " " + n.text + " " + value(*n.kids[1]) + ")";
        case Op::Amp: return "jet_amp(" + value(*n.kids[0]) + ", " + value(*n.kids[1]) + ")";
        case Op::Cmp: {
            bool text = n.kids[0]->kind == Kind::Text || n.kids[1]->kind == Kind::Text;
            return "(" + operand(*n.kids[0], text) + " " + n.text + " " + operand(*n.kids[1], text) + ")";
        }
        case Op::Like: {
            // A text joined with + (the keyword search's "gt_str1+' '+gt_str2") is matched as its
            // pieces: SQL would build the joined text again for every word.
            std::vector<std::string> parts;
            joinedKeys(*n.kids[0], parts);
            std::string s;
            if (parts.size() > 1 && parts.size() <= kMaxJoinedParts) {
                s = "jet_like_join(" + value(*n.kids[1]);
                for (const std::string& p : parts)
                    s += ", " + p;
                s += ")";
            } else {
                s = "jet_like(" + key(*n.kids[0]) + ", " + value(*n.kids[1]) + ")";
            }
            return n.negated ? "(NOT " + s + ")" : s;
        }
        case Op::In: {
            bool text = std::any_of(n.kids.begin(), n.kids.end(), [](const NodeP& k) { return k->kind == Kind::Text; });
            std::string s = "(" + operand(*n.kids[0], text) + (n.negated ? " NOT IN (" : " IN (");
            for (std::size_t i = 1; i < n.kids.size(); ++i)
                s += (i > 1 ? ", " : "") + operand(*n.kids[i], text);
            return s + "))";
        }
        case Op::Between: {
            bool text = std::any_of(n.kids.begin(), n.kids.end(), [](const NodeP& k) { return k->kind == Kind::Text; });
            return "(" + operand(*n.kids[0], text) + (n.negated ? " NOT BETWEEN " : " BETWEEN ")
                + operand(*n.kids[1], text) + " AND " + operand(*n.kids[2], text) + ")";
        }
        case Op::IsNull: return "(" + value(*n.kids[0]) + (n.negated ? " IS NOT NULL)" : " IS NULL)");
        case Op::And: return joinBalanced(n, 0, n.kids.size(), " AND ");
        case Op::Or: return joinBalanced(n, 0, n.kids.size(), " OR ");
        case Op::CountStar: return "COUNT(*)";
        case Op::Agg: {
            ++aggDepth_;
            std::string arg = value(*n.kids[0]);
            --aggDepth_;
            if ((n.text == "MIN" || n.text == "MAX") && n.kids[0]->kind == Kind::Text)
                arg += " COLLATE JET";
            return n.text + "(" + arg + ")";
        }
        case Op::Func: return function(n);
        }
        return "NULL";
    }

    // The comparison form: texts compare by their folded keys.
    std::string key(const Node& n)
    {
        if (grouped(n)) {
            ++aggDepth_;
            std::string s = key(n);
            --aggDepth_;
            return s;
        }
        switch (n.op) {
        case Op::Column:
            if (n.kind == Kind::Text && !n.column->keyName.empty())
                return SqlIdentifier(n.column->keyName);
            break;
        case Op::Text: return SqlLiteral(jetFoldKey(n.text));
        case Op::Null: return "NULL";
        case Op::Arith:
            if (n.text == "+" && n.kind == Kind::Text)
                return "(" + key(*n.kids[0]) + " || " + key(*n.kids[1]) + ")";
            break;
        case Op::Amp: return "jet_amp(" + key(*n.kids[0]) + ", " + key(*n.kids[1]) + ")";
        default: break;
        }
        return "jet_key(" + value(n) + ")";
    }

    // The keys of the texts n joins with +, in order; n's own key when it joins nothing.
    void joinedKeys(const Node& n, std::vector<std::string>& out)
    {
        if (!grouped(n) && n.op == Op::Arith && n.text == "+" && n.kind == Kind::Text) {
            joinedKeys(*n.kids[0], out);
            joinedKeys(*n.kids[1], out);
        } else {
            out.push_back(key(n));
        }
    }

    // A sort or grouping term. SQLite reads a term that is (or folds to, like "x AND 0") an
    // integer constant as a column position, so other terms are wrapped in an operation.
    std::string sortTerm(const Node& n)
    {
        if (n.kind == Kind::Text)
            return key(n);
        if (n.kind == Kind::Other)
            return "coalesce(" + value(n) + ", NULL)";
        return "(" + value(n) + ")+0";
    }

    std::string selectValue(const Node& n)
    {
        std::string v = value(n);
        return isBoolean(n) ? "(- " + v + ")" : v;   // Jet's True is -1
    }

private:
    const Node* grouped(const Node& n) const
    {
        if (!groups || aggDepth_ > 0 || isLiteral(n) || n.op == Op::Agg || n.op == Op::CountStar)
            return nullptr;
        for (const Node* g : *groups)
            if (sameTree(n, *g))
                return g;
        return nullptr;
    }

    std::string operand(const Node& n, bool text) { return text ? key(n) : value(n); }

    std::string asText(const Node& n)
    {
        if (n.kind == Kind::Number || n.kind == Kind::Other)
            return "jet_str(" + value(n) + ")";
        return value(n);
    }

    // a AND b AND c ... nested by halves, so long chains stay shallow for SQLite.
    std::string joinBalanced(const Node& n, std::size_t lo, std::size_t hi, const char* op)
    {
        if (hi - lo == 1)
            return value(*n.kids[lo]);
        std::size_t mid = lo + (hi - lo) / 2;
        return "(" + joinBalanced(n, lo, mid, op) + op + joinBalanced(n, mid, hi, op) + ")";
    }

    std::string function(const Node& n)
    {
        auto arg = [&](std::size_t i) { return value(*n.kids[i]); };
        const std::string& f = n.text;
        if (f == "UCASE") return "jet_ucase(" + arg(0) + ")";
        if (f == "LCASE") return "jet_lcase(" + arg(0) + ")";
        if (f == "LEN") return "length(jet_str(" + arg(0) + "))";
        if (f == "LEFT") return "substr(jet_str(" + arg(0) + "), 1, " + arg(1) + ")";
        if (f == "RIGHT") return "jet_right(jet_str(" + arg(0) + "), " + arg(1) + ")";
        if (f == "MID") {
            std::string s = "substr(jet_str(" + arg(0) + "), " + arg(1);
            return n.kids.size() == 3 ? s + ", " + arg(2) + ")" : s + ")";
        }
        if (f == "TRIM") return "trim(jet_str(" + arg(0) + "), ' ')";
        if (f == "LTRIM") return "ltrim(jet_str(" + arg(0) + "), ' ')";
        if (f == "RTRIM") return "rtrim(jet_str(" + arg(0) + "), ' ')";
        if (f == "ISNULL") return "(" + arg(0) + " IS NULL)";
        return "NULL";
    }

    int aggDepth_ = 0;
};

// The WHERE and ORDER BY of a "SELECT *" statement as a RowPlan, where every node is one the plan
// expresses; each node is given the meaning Emitter gives it in SQL.
class PlanBuilder {
public:
    explicit PlanBuilder(const CatalogTable& table) : table_(table) {}

    bool condition(const Node& n, PlanCondition& out) const
    {
        switch (n.op) {
        case Op::And:
        case Op::Or:
            out.op = n.op == Op::And ? PlanCondition::Op::And : PlanCondition::Op::Or;
            for (const NodeP& k : n.kids) {
                out.kids.emplace_back();
                if (!condition(*k, out.kids.back()))
                    return false;
            }
            return true;
        case Op::Not:
            out.op = PlanCondition::Op::Not;
            out.kids.emplace_back();
            return condition(*n.kids[0], out.kids.back());
        case Op::Like: {
            PlanCondition like;
            like.op = PlanCondition::Op::Like;
            if (!text(*n.kids[0], like.text))
                return false;
            if (n.kids[1]->op == Op::Text)
                like.pattern = n.kids[1]->text;
            else if (n.kids[1]->op == Op::Null)
                like.nullPattern = true;
            else
                return false;
            if (!n.negated) {
                out = std::move(like);
                return true;
            }
            out.op = PlanCondition::Op::Not;
            out.kids.push_back(std::move(like));
            return true;
        }
        case Op::Cmp: {
            // Compared as texts (by their keys) when either side is a text.
            if (n.kids[0]->kind != Kind::Text && n.kids[1]->kind != Kind::Text)
                return false;
            out.op = PlanCondition::Op::Compare;
            static constexpr std::pair<const char*, PlanCondition::Comparison> ops[] = {
                {"=", PlanCondition::Comparison::Equal}, {"<>", PlanCondition::Comparison::NotEqual},
                {"<", PlanCondition::Comparison::Less}, {">", PlanCondition::Comparison::Greater},
                {"<=", PlanCondition::Comparison::LessOrEqual}, {">=", PlanCondition::Comparison::GreaterOrEqual}};
            bool known = false;
            for (const auto& [text, comparison] : ops)
                if (n.text == text) {
                    out.comparison = comparison;
                    known = true;
                }
            return known && text(*n.kids[0], out.text) && text(*n.kids[1], out.other);
        }
        case Op::IsNull:
            if (n.kids[0]->op != Op::Column)
                return false;
            out.op = n.negated ? PlanCondition::Op::IsNotNull : PlanCondition::Op::IsNull;
            out.column = columnIndex(*n.kids[0]);
            return true;
        default:
            return false;
        }
    }

    // A text column (by its key), a text literal, Null, or such texts joined with '+'.
    bool text(const Node& n, PlanText& out) const
    {
        switch (n.op) {
        case Op::Column:
            if (n.kind != Kind::Text || n.column->keyName.empty())
                return false;
            out.parts.push_back({columnIndex(n), {}, false});
            return true;
        case Op::Text:
            out.parts.push_back({-1, jetFoldKey(n.text), false});
            return true;
        case Op::Null:
            out.parts.push_back({-1, {}, true});
            return true;
        case Op::Arith:
            return n.text == "+" && n.kind == Kind::Text && text(*n.kids[0], out) && text(*n.kids[1], out);
        default:
            return false;
        }
    }

    int columnIndex(const Node& column) const { return int(column.column - table_.columns.data()); }

private:
    const CatalogTable& table_;
};

std::string joinList(const std::vector<std::string>& parts)
{
    std::string r;
    for (const std::string& p : parts) {
        if (!r.empty())
            r += ", ";
        r += p;
    }
    return r;
}

} // namespace

TranslatedQuery translateJet(const std::string& statement, const CatalogSchema& schema)
{
    Parser parser(statement);
    Statement st = parser.parse();

    const CatalogTable* table = schema.findTable(st.table);
    if (!table)
        throw DbError::tableNotFound(clip(st.table));

    Analyzer an(statement, *table, st.alias);
    // Expand "*" into the table's fields; a qualified star must name the table.
    struct Out { const Node* expr; std::string name; };
    std::vector<NodeP> starFields;
    std::vector<Out> outs;
    bool starOnly = st.items.size() == 1 && st.items[0].star;
    int exprNumber = 1000;
    for (SelectItem& item : st.items) {
        if (item.star) {
            if (!item.qualifier.empty() && !sameName(item.qualifier, table->name)
                && !(!st.alias.empty() && sameName(item.qualifier, st.alias)))
                throw DbError::tableNotFound(clip(item.qualifier));
            for (const CatalogColumn& c : table->columns) {
                auto n = std::make_unique<Node>();
                n->op = Op::Column;
                n->text = c.name;
                n->column = &c;
                n->kind = kindOf(c.kind);
                outs.push_back({n.get(), c.name});
                starFields.push_back(std::move(n));
            }
            continue;
        }
        an.resolve(*item.expr);
        std::string name;
        if (item.hasAlias)
            name = item.alias;
        else if (item.expr->op == Op::Column && item.expr->column)
            name = item.expr->column->name;
        else
            name = "Expr" + std::to_string(exprNumber++);
        outs.push_back({item.expr.get(), name});
    }
    if (outs.size() > kMaxFields)
        throw DbError::tooManyFields();
    if (st.where)
        an.resolve(*st.where);
    for (NodeP& g : st.groupBy)
        an.resolve(*g);
    if (st.having)
        an.resolve(*st.having);
    for (OrderItem& o : st.orderBy)
        an.resolve(*o.expr);
    an.throwIfUnknown();

    if (st.where && containsAggregate(*st.where))
        throw DbError::aggregateInWhere(clip(an.span(*st.where)));
    for (const NodeP& g : st.groupBy)
        if (containsAggregate(*g))
            failExpression(an.span(*g));

    bool aggregate = !st.groupBy.empty() || st.having;
    for (const Out& o : outs)
        aggregate = aggregate || containsAggregate(*o.expr);
    for (const OrderItem& o : st.orderBy)
        aggregate = aggregate || containsAggregate(*o.expr);

    const std::string from = " FROM " + SqlIdentifier(table->sqlName);
    Emitter em;
    TranslatedQuery q;
    for (const Out& o : outs)
        q.fieldNames.push_back(o.name);

    if (aggregate) {
        std::vector<const Node*> groups;
        for (const NodeP& g : st.groupBy)
            groups.push_back(g.get());
        for (const Out& o : outs)
            an.checkGrouped(*o.expr, groups);
        if (st.having)
            an.checkGrouped(*st.having, groups);
        for (const OrderItem& o : st.orderBy)
            an.checkGrouped(*o.expr, groups);

        std::string where = st.where ? " WHERE " + em.value(*st.where) : "";
        if (groups.empty()) {
            // One row over the whole table. SQLite has no HAVING without GROUP BY for every such
            // query, so the row is computed inside and HAVING filters it outside.
            em.groups = &groups;
            std::string inner = "SELECT COUNT(*) AS \"_n\"";
            std::string outer;
            for (std::size_t i = 0; i < outs.size(); ++i) {
                std::string name = "\"_o" + std::to_string(i) + "\"";
                inner += ", " + em.selectValue(*outs[i].expr) + " AS " + name;
                outer += (i ? ", " : "") + name;
            }
            if (st.having)
                inner += ", " + em.value(*st.having) + " AS \"_h\"";
            q.sql = "SELECT " + outer + " FROM (" + inner + from + where + ")" + (st.having ? " WHERE \"_h\"" : "");
            return q;
        }
        std::vector<std::string> groupTerms;
        for (const Node* g : groups)
            groupTerms.push_back(em.sortTerm(*g));
        em.groups = &groups;
        std::vector<std::string> cols;
        for (const Out& o : outs)
            cols.push_back(em.selectValue(*o.expr));
        std::string sql = std::string(st.distinct ? "SELECT DISTINCT " : "SELECT ") + joinList(cols) + from + where;
        if (!groupTerms.empty())
            sql += " GROUP BY " + joinList(groupTerms);
        if (st.having)
            sql += " HAVING " + em.value(*st.having);
        // Groups come out in the order of their grouping terms, which also breaks ties.
        std::vector<std::string> order;
        for (const OrderItem& o : st.orderBy)
            order.push_back(em.sortTerm(*o.expr) + (o.desc ? " DESC" : ""));
        for (const std::string& g : groupTerms)
            if (std::find(order.begin(), order.end(), g) == order.end())
                order.push_back(g);
        if (!order.empty())
            sql += " ORDER BY " + joinList(order);
        q.sql = std::move(sql);
        return q;
    }

    std::string where = st.where ? " WHERE " + em.value(*st.where) : "";
    std::vector<std::string> order;
    if (st.distinct) {
        // Jet compares texts ignoring case and width here too: keep the first row of each set of
        // equal rows, and sort by the listed fields unless told otherwise.
        std::vector<std::string> keys;
        for (const Out& o : outs)
            keys.push_back(em.sortTerm(*o.expr));
        for (const OrderItem& o : st.orderBy) {
            bool listed = isLiteral(*o.expr)
                || std::any_of(outs.begin(), outs.end(), [&](const Out& x) { return sameTree(*x.expr, *o.expr); });
            if (!listed)
                throw DbError::orderByConflictsDistinct(clip(an.span(*o.expr)));
        }
        where = " WHERE rowid IN (SELECT MIN(rowid)" + from + where + " GROUP BY " + joinList(keys) + ")";
        if (st.orderBy.empty())
            order = keys;
    }
    for (const OrderItem& o : st.orderBy)
        order.push_back(em.sortTerm(*o.expr) + (o.desc ? " DESC" : ""));
    order.push_back("rowid");   // ties keep table order

    std::string cols;
    if (starOnly) {
        q.rowidsOnly = true;
        q.table = table;
        cols = "rowid";
        if (!st.distinct) {
            const PlanBuilder plan(*table);
            q.plan.usable = st.orderBy.empty();
            if (st.orderBy.size() == 1) {
                const Node& by = *st.orderBy[0].expr;
                if (by.op == Op::Column && by.kind == Kind::Text && !by.column->keyName.empty()) {
                    q.plan.usable = true;
                    q.plan.sortColumn = plan.columnIndex(by);
                    q.plan.descending = st.orderBy[0].desc;
                }
            }
            if (st.where) {
                q.plan.hasCondition = true;
                q.plan.conditionPlanned = plan.condition(*st.where, q.plan.condition);
                if (!q.plan.conditionPlanned)
                    q.plan.condition = PlanCondition();
            }
            q.selectSql = "SELECT rowid" + from + where + " ORDER BY rowid";
        }
    } else {
        std::vector<std::string> parts;
        for (const Out& o : outs)
            parts.push_back(em.selectValue(*o.expr));
        cols = joinList(parts);
    }
    q.sql = "SELECT " + cols + from + where + " ORDER BY " + joinList(order);
    return q;
}

} // namespace orv
