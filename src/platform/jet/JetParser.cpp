#include "platform/jet/JetParser.h"

#include "platform/jet/JetLexer.h"
#include "platform/jet/JetNesting.h"
#include "platform/reader/DbError.h"
#include "platform/text/AsciiText.h"

#include <algorithm>

namespace orv::jet {

namespace {

// Deeper expressions are refused: the parser recurses per level of parentheses and operators.
// (How deep the translation may go is checkSqlNesting's to say.)
constexpr int kMaxNesting = 200;
constexpr int kMaxTreeDepth = 250;

[[noreturn]] void failTooComplex() { throw DbError::queryTooComplex(); }
[[noreturn]] void failFrom() { throw DbError::syntaxInFrom(); }
[[noreturn]] void failStatement() { throw DbError::syntaxInStatement(); }
[[noreturn]] void failNotSelect() { throw DbError::invalidStatement(); }
[[noreturn]] void failAfterEnd() { throw DbError::charactersAfterEnd(); }

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
    void next()
    {
        if (pos_ + 1 < toks_.size())
            ++pos_;
    }
    bool startsOperand(const Token& t) const
    {
        return t.kind == Tk::Bracket || t.kind == Tk::Number || t.kind == Tk::String || t.kind == Tk::Bad
            || (t.kind == Tk::Ident && !isClauseWord(t.text)) || (t.kind == Tk::Sym && t.text == "(");
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
    void parseSelectList(Statement& st);
    void parseFrom(Statement& st);
    void parseClauses(Statement& st);
    std::vector<OrderItem> parseOrderList();

    struct Nest {
        Parser& p;
        explicit Nest(Parser& parser) : p(parser)
        {
            if (++p.nesting_ > kMaxNesting)
                failTooComplex();
        }
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
        if (depth <= 0
            && ((t.kind == Tk::Sym && (t.text == "," || t.text == ";"))
                || (t.kind == Tk::Ident && isClauseWord(t.text))))
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
        failTooComplex();
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
        if (t.kind == Tk::Sym
            && (t.text == "=" || t.text == "<>" || t.text == "<" || t.text == ">" || t.text == "<="
                || t.text == ">=")) {
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
        if (peek().kind == Tk::Sym && peek().text == "("
            && (!isReserved(t.text) || AsciiEqualNoCase(t.text, "LEFT") || AsciiEqualNoCase(t.text, "RIGHT"))) {
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
    default: fail();
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

    parseSelectList(st);
    parseFrom(st);
    parseClauses(st);
    if (sym(";")) {
        next();
        if (tok().kind != Tk::End)
            failAfterEnd();
    }
    if (tok().kind != Tk::End)
        failStatement();
    checkSqlNesting(st);
    return st;
}

void Parser::parseSelectList(Statement& st)
{
    while (true) {
        SelectItem item;
        if (sym("*")) {
            item.star = true;
            next();
        } else if (isName(tok()) && peek().kind == Tk::Sym && peek().text == "." && peek(2).kind == Tk::Sym
                   && peek(2).text == "*") {
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
}

// FROM and one table, optionally with an alias.
void Parser::parseFrom(Statement& st)
{
    if (!word("FROM"))
        failStatement();
    next();
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
}

// WHERE, GROUP BY, HAVING, ORDER BY.
void Parser::parseClauses(Statement& st)
{
    int stage = 0; // clauses come in this order, each at most once
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
                if (st.groupBy.size() > kMaxFields) // as many as a recordset has fields
                    throw DbError::tooManyFields();
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
            st.orderBy = parseOrderList();
        } else {
            failStatement();
        }
    }
}

std::vector<OrderItem> Parser::parseOrderList()
{
    std::vector<OrderItem> items;
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
        items.push_back(std::move(o));
        if (items.size() > kMaxFields)
            throw DbError::tooManyFields();
        if (!sym(","))
            return items;
        next();
    }
}

} // namespace

Statement parseStatement(const std::string& sql) { return Parser(sql).parse(); }

} // namespace orv::jet
