#include "platform/jet/JetNesting.h"

#include "platform/reader/DbError.h"

#include <algorithm>

namespace orv::jet {

namespace {

// SQLite's parser has a stack of 100 entries; the statement around an expression takes some.
constexpr int kMaxSqlNesting = 80;

// How much of SQLite's parser stack the expression's translation takes, about: each operation
// adds what its SQL form needs there, a function call most (LEFT becomes substr(jet_str(...)),
// & and LIKE calls with two arguments), a chain of AND or OR the depth of its halves.
int sqlNesting(const Node& n)
{
    int deepest = 0;
    for (const NodeP& k : n.kids)
        deepest = std::max(deepest, sqlNesting(*k));
    switch (n.op) {
    case Op::Column:
    case Op::Text:
    case Op::Number:
    case Op::Null:
    case Op::Bool:
    case Op::CountStar: return deepest + 1;
    case Op::And:
    case Op::Or: {
        int halvings = 1;
        while ((std::size_t(1) << halvings) < n.kids.size())
            ++halvings;
        return deepest + 2 * halvings;
    }
    case Op::Agg: return deepest + 3;
    case Op::Arith: return deepest + 4;
    case Op::Like:
    case Op::Amp: return deepest + 6;
    case Op::Func:
        if (n.text == "ISNULL")
            return deepest + 2;
        return deepest + (n.text == "UCASE" || n.text == "LCASE" ? 4 : 7);
    default: return deepest + 2; // NOT, minus, comparisons, IN, BETWEEN, IS NULL
    }
}

void check(const Node* n)
{
    if (n && sqlNesting(*n) > kMaxSqlNesting)
        throw DbError::queryTooComplex();
}

} // namespace

void checkSqlNesting(const Statement& st)
{
    for (const SelectItem& item : st.items)
        check(item.expr.get());
    check(st.where.get());
    for (const NodeP& g : st.groupBy)
        check(g.get());
    check(st.having.get());
    for (const OrderItem& o : st.orderBy)
        check(o.expr.get());
}

} // namespace orv::jet
