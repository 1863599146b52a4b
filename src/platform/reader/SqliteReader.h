// Reads an SQLite catalogue: any SQLite database, or a snapshot the engine saved.
#pragma once

#include "platform/reader/CatalogueSource.h"

#include <string>

namespace orv {

// The table of a saved snapshot that records its catalogue tables and their columns:
// (table_name, table_sql, col_index, name, kind, sql_name, key_name); col_index -1 stands for a
// table without columns.
inline constexpr const char* kSnapshotSchemaTable = "__orv_schema";

// A column kind as the snapshot record spells it, and back (false for an unknown spelling).
const char* snapshotKindName(ColumnKind kind);
bool snapshotKindFromName(const std::string& name, ColumnKind& kind);

// Opens the file read-only as a file that does not change (no journal is read, nothing is
// locked), with its schema untrusted, and delivers the ordinary tables only and of them the
// stored columns only, rows in table order: views, triggers, virtual tables and generated
// columns are never evaluated, and no value is longer than the file. A snapshot gives back the
// tables, names and kinds it was saved with. Throws DbError 3343 when the file cannot be read as
// a catalogue (a snapshot whose record does not match its tables included).
void readSqliteFile(const std::string& path, TableSink& sink);

} // namespace orv
