#include "platform/jet/JetAst.h"

#include "platform/jet/JetFold.h"
#include "platform/reader/DbError.h"
#include "platform/text/Utf8.h"

namespace orv::jet {

namespace {

constexpr std::size_t kMaxQuotedExpression = 2000;

} // namespace

std::string clip(std::string_view s)
{
    if (s.size() <= kMaxQuotedExpression)
        return std::string(s);
    std::size_t n = kMaxQuotedExpression;
    while (n > 0 && utf8::isContinuation(static_cast<unsigned char>(s[n])))
        --n;
    return std::string(s.substr(0, n)) + "...";
}

[[noreturn]] void failExpression(std::string_view expr) { throw DbError::missingOperator(clip(expr)); }

Kind kindOf(ColumnKind k)
{
    switch (k) {
    case ColumnKind::Text: return Kind::Text;
    case ColumnKind::Integer:
    case ColumnKind::Real:
    case ColumnKind::Boolean: return Kind::Number;
    default: return Kind::Other; // dates and binary values compare as stored
    }
}

bool isFunctionName(const std::string& u, int& minArgs, int& maxArgs, bool& aggregate)
{
    struct F {
        const char* name;
        int minArgs, maxArgs;
        bool agg;
    };
    static constexpr F fns[] = {{"COUNT", 1, 1, true},  {"MIN", 1, 1, true},    {"MAX", 1, 1, true},
                                {"SUM", 1, 1, true},    {"AVG", 1, 1, true},    {"UCASE", 1, 1, false},
                                {"LCASE", 1, 1, false}, {"LEN", 1, 1, false},   {"LEFT", 2, 2, false},
                                {"RIGHT", 2, 2, false}, {"MID", 2, 3, false},   {"TRIM", 1, 1, false},
                                {"LTRIM", 1, 1, false}, {"RTRIM", 1, 1, false}, {"ISNULL", 1, 1, false}};
    for (const F& f : fns)
        if (u == f.name) {
            minArgs = f.minArgs;
            maxArgs = f.maxArgs;
            aggregate = f.agg;
            return true;
        }
    return false;
}

bool sameName(std::string_view a, std::string_view b) { return jetFoldKey(a) == jetFoldKey(b); }

bool containsAggregate(const Node& n)
{
    bool found = false;
    forEachNode(n, [&](const Node& x) { found = found || x.op == Op::Agg || x.op == Op::CountStar; });
    return found;
}

bool isBoolean(const Node& n)
{
    switch (n.op) {
    case Op::Not:
    case Op::Cmp:
    case Op::Like:
    case Op::In:
    case Op::Between:
    case Op::IsNull:
    case Op::And:
    case Op::Or: return true;
    case Op::Func: return n.text == "ISNULL";
    default: return false;
    }
}

bool isLiteral(const Node& n) { return n.op == Op::Text || n.op == Op::Number || n.op == Op::Null || n.op == Op::Bool; }

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

bool isTextJoin(const Node& n)
{
    return (n.op == Op::Arith && n.text == "+" && n.kind == Kind::Text) || n.op == Op::Amp;
}

namespace {

struct JoinedPart {
    bool mayBeEmpty, startsWithMark, takesMark;
};

void joinedParts(const Node& n, std::vector<JoinedPart>& out)
{
    if (isTextJoin(n)) {
        for (const NodeP& k : n.kids)
            joinedParts(*k, out);
    } else if (n.op == Op::Text) {
        out.push_back({n.text.empty(), jetFoldStartsWithMark(n.text), jetFoldTakesMark(n.text)});
    } else if (n.op == Op::Null || n.op == Op::Bool || n.kind == Kind::Number) {
        out.push_back({true, false, false}); // nothing, or digits
    } else if (n.op == Op::Column && n.column) {
        out.push_back({true, n.column->mayStartWithMark, true});
    } else {
        out.push_back({true, true, true});
    }
}

} // namespace

bool foldsByParts(const Node& n)
{
    std::vector<JoinedPart> parts;
    joinedParts(n, parts);
    bool markWouldCombine = false; // a part before ends in a kana, with only empty parts since
    for (const JoinedPart& p : parts) {
        if (markWouldCombine && p.startsWithMark)
            return false;
        markWouldCombine = p.takesMark || (markWouldCombine && p.mayBeEmpty);
    }
    return true;
}

} // namespace orv::jet
