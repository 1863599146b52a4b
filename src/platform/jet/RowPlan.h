// A "SELECT * FROM t [WHERE ...] [ORDER BY field [DESC]]" statement as the engine can run it
// over the table store without SQL: the WHERE as a tree of the few operations the search panel's
// statements are made of, over the keys of the table's text columns, and the sort as one keyed
// column. Every operation means exactly what its translated SQL means, Null included: a row is
// in the result when the condition is true (not false, not Null), and the translated SQL stays
// the reference the plan is tested against.
#pragma once

#include <string>
#include <vector>

namespace orv {

// A text joined from parts with '+': each part a column's key, a literal (already folded), or
// Null. The joined text is Null when any part is.
struct PlanText {
    struct Part {
        int column = -1; // a keyed column of the table, or -1 for a literal
        std::string literal;
        bool null = false; // the literal Null
    };
    std::vector<Part> parts;
};

struct PlanCondition {
    enum class Op {
        And, // kids, Jet's three-valued AND
        Or, // kids, three-valued OR
        Not, // kids[0]
        Like, // text LIKE pattern (Jet's wildcards, the pattern as written; null: a Null pattern)
        Compare, // text <compare> other, bytes of the keys in order
        IsNull, // column's value IS NULL (never Null itself)
        IsNotNull,
    };
    enum class Comparison { Equal, NotEqual, Less, Greater, LessOrEqual, GreaterOrEqual };

    Op op = Op::And;
    std::vector<PlanCondition> kids;
    PlanText text;
    PlanText other;
    std::string pattern;
    bool nullPattern = false;
    Comparison comparison = Comparison::Equal;
    int column = -1;
};

struct RowPlan {
    // How much of the statement the plan answers.
    enum class Reach {
        None, // SQL answers it: its rows are not one table's, or its order is not one keyed column
        Order, // SQL selects the rows (the WHERE has parts the plan does not express); the plan sorts
        AllRows, // no WHERE: every row, in the plan's order
        Condition, // the rows for which `condition` is true, in the plan's order
    };
    Reach reach = Reach::None;
    PlanCondition condition;
    int sortColumn = -1; // a keyed column, or -1 for table order
    bool descending = false;
};

} // namespace orv
