#include "platform/jet/JetAnalyser.h"

#include "platform/jet/JetFold.h"
#include "platform/reader/DbError.h"

#include <algorithm>
#include <set>

namespace orv::jet {

namespace {

class Analyzer {
public:
    Analyzer(const std::string& src, const CatalogTable& table, const std::string& alias)
        : src_(src), table_(table), alias_(alias)
    {}

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
        case Op::Number:
        case Op::Bool: n.kind = Kind::Number; return;
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
        case Op::Cmp:
        case Op::In:
        case Op::Between:
            checkComparable(n);
            n.kind = Kind::Number;
            return;
        case Op::Not:
        case Op::Like:
        case Op::IsNull:
        case Op::And:
        case Op::Or:
        case Op::CountStar: n.kind = Kind::Number; return;
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

} // namespace

Analysis analyse(const std::string& statement, Statement& st, const CatalogSchema& schema)
{
    Analysis a;
    const CatalogTable* table = schema.findTable(st.table);
    if (!table) {
        if (const LeftOutTable* wide = schema.findLeftOut(st.table))
            throw DbError::tableLeftOut(clip(wide->name), wide->columns);
        throw DbError::tableNotFound(clip(st.table));
    }
    a.table = table;

    Analyzer an(statement, *table, st.alias);
    // Expand "*" into the table's fields; a qualified star must name the table.
    a.starOnly = st.items.size() == 1 && st.items[0].star;
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
                a.outs.push_back({n.get(), c.name});
                a.starFields.push_back(std::move(n));
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
        a.outs.push_back({item.expr.get(), name});
    }
    if (a.outs.size() > kMaxFields)
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

    a.aggregate = !st.groupBy.empty() || st.having;
    for (const OutputField& o : a.outs)
        a.aggregate = a.aggregate || containsAggregate(*o.expr);
    for (const OrderItem& o : st.orderBy)
        a.aggregate = a.aggregate || containsAggregate(*o.expr);

    if (a.aggregate) {
        for (const NodeP& g : st.groupBy)
            a.groups.push_back(g.get());
        for (const OutputField& o : a.outs)
            an.checkGrouped(*o.expr, a.groups);
        if (st.having)
            an.checkGrouped(*st.having, a.groups);
        for (const OrderItem& o : st.orderBy)
            an.checkGrouped(*o.expr, a.groups);
    } else if (st.distinct) {
        // Rows are told apart by the listed fields: the sort may only use those.
        for (const OrderItem& o : st.orderBy) {
            bool listed = isLiteral(*o.expr) || std::any_of(a.outs.begin(), a.outs.end(), [&](const OutputField& x) {
                              return sameTree(*x.expr, *o.expr);
                          });
            if (!listed)
                throw DbError::orderByConflictsDistinct(clip(an.span(*o.expr)));
        }
    }
    return a;
}

} // namespace orv::jet
