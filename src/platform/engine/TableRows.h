// The rows of a "SELECT * FROM t ..." statement, found the fastest way its plan allows: by the
// row plan alone where it expresses the whole statement, by SQL selecting the rows and the plan
// sorting them where it expresses the sort only, by SQL alone otherwise. The engine and the tests
// that hold the routes against each other call this one function.
#pragma once

#include "platform/jet/JetSql.h"

#include <cstdint>
#include <vector>

struct sqlite3;

namespace orv {

class TableStore;

// The routes, from least to most done by the plan.
enum class RowRoute { Sql, SqlSelectsPlanSorts, Plan };

// The furthest route a plan allows.
RowRoute routeOf(const RowPlan& plan);

struct TableRows {
    std::vector<std::uint32_t> rows; // 0-based, in result order
    RowRoute route = RowRoute::Sql; // the route taken
};

// The rows of q (a rowidsOnly query over table, read by db through the table module), by the
// furthest route its plan allows up to `furthest`; the plan's own route falls back to SQL
// selecting the rows where the table cannot keep what its condition needs. Only the statement
// that runs is prepared. Throws DbError when SQLite fails.
TableRows findTableRows(sqlite3* db, const TranslatedQuery& q, const TableStore& table,
                        RowRoute furthest = RowRoute::Plan);

} // namespace orv
