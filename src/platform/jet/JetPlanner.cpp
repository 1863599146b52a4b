#include "platform/jet/JetPlanner.h"

#include "platform/jet/JetText.h"

#include <utility>

namespace orv::jet {

namespace {

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
                {"=", PlanCondition::Comparison::Equal},        {"<>", PlanCondition::Comparison::NotEqual},
                {"<", PlanCondition::Comparison::Less},         {">", PlanCondition::Comparison::Greater},
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
        default: return false;
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
        case Op::Text: out.parts.push_back({-1, jetFoldKey(n.text), false}); return true;
        case Op::Null: out.parts.push_back({-1, {}, true}); return true;
        case Op::Arith:
            return n.text == "+" && n.kind == Kind::Text && foldsByParts(n) && text(*n.kids[0], out)
                && text(*n.kids[1], out);
        default: return false;
        }
    }

    int columnIndex(const Node& column) const { return int(column.column - table_.columns.data()); }

private:
    const CatalogTable& table_;
};

} // namespace

RowPlan planRows(const Statement& st, const Analysis& a)
{
    RowPlan p;
    // Rows of the table as they are only; DISTINCT keeps the first of equal rows, which SQL works out.
    if (!a.starOnly || a.aggregate || st.distinct)
        return p;
    const PlanBuilder plan(*a.table);
    if (st.orderBy.size() == 1) {
        const Node& by = *st.orderBy[0].expr;
        if (by.op != Op::Column || by.kind != Kind::Text || by.column->keyName.empty())
            return p;
        p.sortColumn = plan.columnIndex(by);
        p.descending = st.orderBy[0].desc;
    } else if (!st.orderBy.empty()) {
        return p;
    }
    if (!st.where) {
        p.reach = RowPlan::Reach::AllRows;
    } else if (plan.condition(*st.where, p.condition)) {
        p.reach = RowPlan::Reach::Condition;
    } else {
        p.condition = PlanCondition();
        p.reach = RowPlan::Reach::Order;
    }
    return p;
}

} // namespace orv::jet
