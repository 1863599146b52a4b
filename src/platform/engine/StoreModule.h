// The SQLite virtual table through which translated statements read a TableStore: table tN with
// a column cN per catalogue column (its value, declared with the column's affinity) and, for the
// keyed ones, kN (its key, TEXT), as the translator names them. Rows come in table order, rowid
// r + 1 for row r; the table is read-only.
#pragma once

#include <cstddef>
#include <memory>
#include <vector>

struct sqlite3;

namespace orv {

class TableStore;

// Registers the module on the connection. `tables` must outlive the connection.
void registerTableModule(sqlite3* db, const std::vector<std::shared_ptr<TableStore>>* tables);

// Makes tables[index] readable in SQL under its sqlName. Throws DbError.
void attachTable(sqlite3* db, std::size_t index, const TableStore& table);

} // namespace orv
