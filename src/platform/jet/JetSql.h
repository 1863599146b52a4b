// Translates the Jet SQL statements the program builds into SQLite statements over the
// in-memory copy of the catalogue.
#pragma once

#include "platform/jet/CatalogLayout.h"
#include "platform/jet/RowPlan.h"
#include "platform/reader/DbTypes.h"

#include <string>
#include <vector>

namespace orv {

struct TranslatedQuery {
    std::string sql; // the SQLite statement
    // true: "SELECT * FROM t ..." over one table; sql yields one column, the rowids of t's rows
    // in result order, and fields are t's columns.
    bool rowidsOnly = false;
    const CatalogTable* table = nullptr; // the table of a rowidsOnly query
    std::vector<std::string> fieldNames; // result field names in order
    // For a rowidsOnly query: the same rows in the same order without SQL, as far as plan.reach
    // says; selectSql yields its rows (rowids) in table order, for the plan to sort.
    RowPlan plan;
    std::string selectSql;
};

// Throws DbError (3075 syntax error in an expression, 3078 unknown table, 3061 unknown field,
// 3131 / 3141 / 3129 / 3142 statement errors, 3122 / 3093 / 3096 misplaced aggregates or fields,
// 3085 unknown function, 3464 text compared with a number) with a Japanese description.
TranslatedQuery translateJet(const std::string& statement, const CatalogSchema& schema);

} // namespace orv
