// The catalogue engine: the catalogue file copied into an in-memory SQLite database and queried
// in the Jet dialect, with DAO-style read-only snapshots.
#pragma once

#include "platform/jet/JetSql.h"
#include "platform/reader/CatalogueSource.h"
#include "platform/reader/DbTypes.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace orv {

class Recordset;
class TableStore;
struct Connection;

class Database {
public:
    ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    // Copies the catalogue file at path (Jet 3 / Jet 4 .mdb, or an SQLite database) into memory,
    // as the source reads it; the file is never written. Throws the source's DbError (3024
    // missing, 3343 not a database, ...).
    static std::unique_ptr<Database> open(const std::string& path, const CatalogueSource& source);

    // Runs a Jet SQL SELECT statement and returns its read-only snapshot. Throws DbError (7 when
    // memory runs out).
    std::unique_ptr<Recordset> OpenRecordset(const std::string& statement);

    const CatalogSchema& schema() const { return schema_; }

    // Writes the in-memory copy to an SQLite file that open() reads back with the same tables,
    // names and kinds.
    void saveSnapshot(const std::string& path) const;

private:
    friend class Recordset;
    Database();
    std::unique_ptr<Recordset> runStatement(const std::string& statement);
    std::shared_ptr<Connection> conn_;
    CatalogSchema schema_;
};

// Workspace.OpenDatabase(Name, Options, ReadOnly, Connect), the file read through `source`: the
// catalogue is always opened shared and read-only; the other arguments are accepted for the
// callers' sake.
std::unique_ptr<Database> OpenDatabase(const CatalogueSource& source, const std::string& name, bool exclusive = false,
                                       bool readOnly = true, const std::string& connect = {});

// A static, read-only result with the DAO cursor. Positions are 0-based.
class Recordset {
public:
    ~Recordset();
    Recordset(const Recordset&) = delete;
    Recordset& operator=(const Recordset&) = delete;

    long RecordCount() const { return rowCount_; }
    // Moves throw DbError 3021 where DAO does (MoveFirst/MoveLast on an empty set, MoveNext at
    // EOF, MovePrevious at BOF).
    void MoveFirst();
    void MoveLast();
    void MoveNext();
    void MovePrevious();
    bool BOF() const { return rowCount_ == 0 || pos_ < 0; }
    bool IsEOF() const { return rowCount_ == 0 || pos_ >= rowCount_; }
    // -1 without a current row.
    long AbsolutePosition() const { return (pos_ >= 0 && pos_ < rowCount_) ? pos_ : -1; }
    // Makes row the current row (grid clicks); out of range is ignored.
    void SetAbsolutePosition(long row);

    int FieldCount() const { return static_cast<int>(fieldNames_.size()); }
    const std::string& FieldName(int i) const { return fieldNames_.at(static_cast<size_t>(i)); }
    // Index of a field by name without regard to case; -1 when there is none.
    int FieldIndex(const std::string& name) const;
    const std::vector<std::string>& FieldNames() const { return fieldNames_; }
    // Current row's value; throws DbError 3021 without a current row, 3265 for an unknown field.
    Value Fields(int index) const;
    Value Fields(const std::string& name) const;

    // Any row's value, for the grid; Null out of range.
    Value ValueAt(long row, int column) const;

private:
    friend class Database;
    Recordset() = default;
    Value valueAt(long row, int column) const;

    std::vector<std::string> fieldNames_;
    long rowCount_ = 0;
    long pos_ = -1;
    // A result over one catalogue table: its rows in result order, values read from the table.
    std::shared_ptr<const TableStore> table_;
    std::vector<std::uint32_t> tableRows_;
    // Any other result: the values themselves.
    std::vector<std::vector<Value>> rows_;
};

} // namespace orv
