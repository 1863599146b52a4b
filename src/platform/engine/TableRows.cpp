#include "platform/engine/TableRows.h"

#include "platform/engine/RowPlanEval.h"
#include "platform/reader/SqliteStatement.h"

#include <sqlite3.h>

#include <algorithm>

namespace orv {

namespace {

// The rowids sql yields, as rows.
std::vector<std::uint32_t> rowsBySql(sqlite3* db, const std::string& sql)
{
    std::vector<std::uint32_t> rows;
    SqliteStatement st(db, sql);
    while (st.next())
        rows.push_back(std::uint32_t(sqlite3_column_int64(st.get(), 0) - 1));
    return rows;
}

} // namespace

RowRoute routeOf(const RowPlan& plan)
{
    switch (plan.reach) {
    case RowPlan::Reach::None: return RowRoute::Sql;
    case RowPlan::Reach::Order: return RowRoute::SqlSelectsPlanSorts;
    case RowPlan::Reach::AllRows:
    case RowPlan::Reach::Condition: return RowRoute::Plan;
    }
    return RowRoute::Sql;
}

TableRows findTableRows(sqlite3* db, const TranslatedQuery& q, const TableStore& table, RowRoute furthest)
{
    TableRows found;
    found.route = std::min(furthest, routeOf(q.plan));
    if (found.route == RowRoute::Sql) {
        found.rows = rowsBySql(db, q.sql);
        return found;
    }
    std::optional<std::vector<std::uint32_t>> selected;
    if (found.route == RowRoute::Plan)
        selected = selectRows(q.plan, table);
    if (selected) {
        found.rows = std::move(*selected);
    } else {
        found.route = RowRoute::SqlSelectsPlanSorts;
        found.rows = rowsBySql(db, q.selectSql);
    }
    if (q.plan.sortColumn >= 0)
        sortRows(found.rows, table, q.plan.sortColumn, q.plan.descending);
    return found;
}

} // namespace orv
