#include "platform/jet/JetEmitter.h"

#include "platform/jet/JetText.h"
#include "platform/reader/SqlQuote.h"

#include <algorithm>

namespace orv::jet {

namespace {

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
            if (foldsByParts(*n.kids[0]))
                joinedKeys(*n.kids[0], parts);
            else
                parts.push_back(key(*n.kids[0]));
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
        // A joined text is folded whole where its parts' keys would not join to its key.
        case Op::Arith:
            if (n.text == "+" && n.kind == Kind::Text && foldsByParts(n))
                return "(" + key(*n.kids[0]) + " || " + key(*n.kids[1]) + ")";
            break;
        case Op::Amp:
            if (foldsByParts(n))
                return "jet_amp(" + key(*n.kids[0]) + ", " + key(*n.kids[1]) + ")";
            break;
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
        return isBoolean(n) ? "(- " + v + ")" : v; // Jet's True is -1
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
        if (f == "UCASE")
            return "jet_ucase(" + arg(0) + ")";
        if (f == "LCASE")
            return "jet_lcase(" + arg(0) + ")";
        if (f == "LEN")
            return "length(jet_str(" + arg(0) + "))";
        if (f == "LEFT")
            return "substr(jet_str(" + arg(0) + "), 1, " + arg(1) + ")";
        if (f == "RIGHT")
            return "jet_right(jet_str(" + arg(0) + "), " + arg(1) + ")";
        if (f == "MID") {
            std::string s = "substr(jet_str(" + arg(0) + "), " + arg(1);
            return n.kids.size() == 3 ? s + ", " + arg(2) + ")" : s + ")";
        }
        if (f == "TRIM")
            return "trim(jet_str(" + arg(0) + "), ' ')";
        if (f == "LTRIM")
            return "ltrim(jet_str(" + arg(0) + "), ' ')";
        if (f == "RTRIM")
            return "rtrim(jet_str(" + arg(0) + "), ' ')";
        if (f == "ISNULL")
            return "(" + arg(0) + " IS NULL)";
        return "NULL";
    }

    int aggDepth_ = 0;
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

// One row over the whole table. SQLite has no HAVING without GROUP BY for every such query, so
// the row is computed inside and HAVING filters it outside.
std::string wholeTableSql(const Statement& st, const Analysis& a, const std::string& from)
{
    Emitter em;
    std::string where = st.where ? " WHERE " + em.value(*st.where) : "";
    em.groups = &a.groups;
    std::string inner = "SELECT COUNT(*) AS \"_n\"";
    std::string outer;
    for (std::size_t i = 0; i < a.outs.size(); ++i) {
        std::string name = "\"_o" + std::to_string(i) + "\"";
        inner += ", " + em.selectValue(*a.outs[i].expr) + " AS " + name;
        outer += (i ? ", " : "") + name;
    }
    if (st.having)
        inner += ", " + em.value(*st.having) + " AS \"_h\"";
    return "SELECT " + outer + " FROM (" + inner + from + where + ")" + (st.having ? " WHERE \"_h\"" : "");
}

std::string groupedSql(const Statement& st, const Analysis& a, const std::string& from)
{
    Emitter em;
    std::string where = st.where ? " WHERE " + em.value(*st.where) : "";
    std::vector<std::string> groupTerms;
    for (const Node* g : a.groups)
        groupTerms.push_back(em.sortTerm(*g));
    em.groups = &a.groups;
    std::vector<std::string> cols;
    for (const OutputField& o : a.outs)
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
    return sql;
}

void emitRows(const Statement& st, const Analysis& a, const std::string& from, TranslatedQuery& q)
{
    Emitter em;
    std::string where = st.where ? " WHERE " + em.value(*st.where) : "";
    std::vector<std::string> order;
    if (st.distinct) {
        // Jet compares texts ignoring case and width here too: keep the first row of each set of
        // equal rows, and sort by the listed fields unless told otherwise.
        std::vector<std::string> keys;
        for (const OutputField& o : a.outs)
            keys.push_back(em.sortTerm(*o.expr));
        where = " WHERE rowid IN (SELECT MIN(rowid)" + from + where + " GROUP BY " + joinList(keys) + ")";
        if (st.orderBy.empty())
            order = keys;
    }
    for (const OrderItem& o : st.orderBy)
        order.push_back(em.sortTerm(*o.expr) + (o.desc ? " DESC" : ""));
    order.push_back("rowid"); // ties keep table order

    std::string cols;
    if (a.starOnly) {
        q.rowidsOnly = true;
        q.table = a.table;
        cols = "rowid";
        if (!st.distinct)
            q.selectSql = "SELECT rowid" + from + where + " ORDER BY rowid";
    } else {
        std::vector<std::string> parts;
        for (const OutputField& o : a.outs)
            parts.push_back(em.selectValue(*o.expr));
        cols = joinList(parts);
    }
    q.sql = "SELECT " + cols + from + where + " ORDER BY " + joinList(order);
}

} // namespace

TranslatedQuery emitQuery(const Statement& st, const Analysis& a)
{
    const std::string from = " FROM " + SqlIdentifier(a.table->sqlName);
    TranslatedQuery q;
    for (const OutputField& o : a.outs)
        q.fieldNames.push_back(o.name);
    if (!a.aggregate)
        emitRows(st, a, from, q);
    else if (a.groups.empty())
        q.sql = wholeTableSql(st, a, from);
    else
        q.sql = groupedSql(st, a, from);
    return q;
}

} // namespace orv::jet
