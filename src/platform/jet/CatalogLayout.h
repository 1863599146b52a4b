// The layout of the catalogue in memory: its tables and columns, the names they go by in SQL,
// and which columns carry a comparison key. The engine builds it, the translator and the row
// planner read it; tests build theirs the same way.
#pragma once

#include "platform/reader/CatalogueSource.h"
#include "platform/reader/DbTypes.h"

#include <cstddef>
#include <string>
#include <vector>

namespace orv {

struct CatalogColumn {
    std::string name; // as in the catalogue file
    ColumnKind kind;
    std::string sqlName; // column name in the in-memory database
    std::string keyName; // column holding jetFoldKey(value) for Text columns; empty otherwise
    // Whether a value may start with a voicing mark, which folds together with a kana that ends
    // a text joined before it; the importer clears it when no value does.
    bool mayStartWithMark = true;
};

struct CatalogTable {
    std::string name; // as in the catalogue file
    std::string sqlName; // table name in the in-memory database
    std::vector<CatalogColumn> columns; // file order
};

// A table of the catalogue file that is not in memory: more columns than the engine can hold.
struct LeftOutTable {
    std::string name;
    std::size_t columns;
};

struct CatalogSchema {
    std::vector<CatalogTable> tables;
    std::vector<LeftOutTable> leftOut;
    // Jet matches names without regard to case.
    const CatalogTable* findTable(const std::string& name) const;
    const LeftOutTable* findLeftOut(const std::string& name) const;
};

// Only texts compare by their folded keys: the statements compare other kinds by value.
bool hasFoldKey(ColumnKind kind);

// The layout of the index-th table of a catalogue: table tN, columns cI, keys kI.
CatalogTable layoutTable(const std::string& name, std::size_t index, const std::vector<SourceColumn>& columns);

// The type affinity of a column of the kind in SQL: texts, booleans and dates are TEXT.
enum class SqlAffinity { Text, Integer, Real, Blob };
SqlAffinity affinityOf(ColumnKind kind);
const char* sqlAffinity(ColumnKind kind); // "TEXT", "INTEGER", "REAL", "BLOB"

// One column of a table in SQL: a catalogue column's value (cI) or its key (kI).
struct SqlColumn {
    int column; // in CatalogTable::columns
    bool key;
};

// The columns of a table in SQL, in order: each catalogue column's value, followed by its key
// when it has one.
std::vector<SqlColumn> sqlColumns(const std::vector<CatalogColumn>& columns);

// Those columns as CREATE TABLE declares them ("c0" TEXT, "k0" TEXT, "c1" INTEGER, ...); a table
// without columns declares the one column c_none, as SQL has no table without columns.
std::string sqlColumnList(const std::vector<CatalogColumn>& columns);

} // namespace orv
