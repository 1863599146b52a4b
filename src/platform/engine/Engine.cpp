#include "platform/engine/Engine.h"

#include "platform/engine/CatalogImporter.h"
#include "platform/engine/StoreModule.h"
#include "platform/engine/TableRows.h"
#include "platform/engine/TableStore.h"
#include "platform/jet/JetText.h"
#include "platform/reader/SqlQuote.h"
#include "platform/reader/SqliteReader.h"
#include "platform/reader/SqliteStatement.h"
#include "platform/text/AsciiText.h"

#include <sqlite3.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <new>
#include <stdexcept>

namespace orv {

// The table of a saved snapshot that records the catalogue's tables and columns, so that it
// reads back with its schema.
static constexpr const char* kSchemaTable = kSnapshotSchemaTable;

// The catalogue's tables in memory, and the SQLite connection that reads them through virtual
// tables. The connection closes before the tables go.
struct Connection {
    std::vector<std::shared_ptr<TableStore>> tables;
    sqlite3* db = nullptr;
    ~Connection()
    {
        if (db)
            sqlite3_close_v2(db);
    }
};

namespace {

void exec(sqlite3* db, const std::string& sql)
{
    char* err = nullptr;
    if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &err) != SQLITE_OK) {
        std::string msg = err ? err : "";
        sqlite3_free(err);
        throw DbError::engineFailure(msg);
    }
}

// The stored bytes outlive the step: no copies.
void bindSnapshotRow(sqlite3_stmt* st, const TableStore& t, const std::vector<SqlColumn>& columns, std::size_t r)
{
    int p = 1;
    for (const SqlColumn& c : columns)
        bindSqliteValue(st, p++, c.key ? t.sqlKey(c.column, r) : t.sqlValue(c.column, r));
}

// One table of a snapshot: its schema rows, its SQL table and its rows with their keys.
void copySnapshotTable(sqlite3* dst, sqlite3_stmt* meta, const TableStore& t)
{
    for (std::size_t i = 0; i < t.columns().size(); ++i) {
        const CatalogColumn& c = t.columns()[i];
        sqlite3_reset(meta);
        sqlite3_bind_text(meta, 1, t.name().c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(meta, 2, t.sqlName().c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_int(meta, 3, static_cast<int>(i));
        sqlite3_bind_text(meta, 4, c.name.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(meta, 5, snapshotKindName(c.kind), -1, SQLITE_STATIC);
        sqlite3_bind_text(meta, 6, c.sqlName.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(meta, 7, c.keyName.c_str(), -1, SQLITE_TRANSIENT);
        if (sqlite3_step(meta) != SQLITE_DONE)
            sqliteFailure(dst, "schema");
    }
    if (t.columns().empty()) {
        sqlite3_reset(meta);
        sqlite3_bind_text(meta, 1, t.name().c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(meta, 2, t.sqlName().c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_int(meta, 3, -1);
        for (int k = 4; k <= 7; ++k)
            sqlite3_bind_text(meta, k, "", 0, SQLITE_STATIC);
        if (sqlite3_step(meta) != SQLITE_DONE)
            sqliteFailure(dst, "schema");
    }
    exec(dst, "CREATE TABLE " + SqlIdentifier(t.sqlName()) + " (" + sqlColumnList(t.columns()) + ")");
    if (t.columns().empty())
        return;
    const std::vector<SqlColumn> columns = sqlColumns(t.columns());
    std::string insert = "INSERT INTO " + SqlIdentifier(t.sqlName()) + " VALUES (?";
    for (std::size_t i = 1; i < columns.size(); ++i)
        insert += ",?";
    SqliteStatement rows(dst, insert + ")");
    for (std::size_t r = 0; r < t.rowCount(); ++r) {
        sqlite3_reset(rows.get());
        bindSnapshotRow(rows.get(), t, columns, r);
        if (sqlite3_step(rows.get()) != SQLITE_DONE)
            sqliteFailure(dst, "insert");
    }
}

} // namespace

Database::Database() : conn_(std::make_shared<Connection>())
{
    // Memory statistics take a lock on every allocation; the engine never reads them.
    static const bool configured = [] {
        sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0);
        return true;
    }();
    (void)configured;
    if (sqlite3_open_v2(":memory:", &conn_->db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                        nullptr)
        != SQLITE_OK)
        sqliteFailure(conn_->db, "open");
    // Sorts and groupings keep to memory, as the tables do: no temporary file to run out of room.
    exec(conn_->db, "PRAGMA temp_store=MEMORY");
    registerJetFunctions(conn_->db);
    registerTableModule(conn_->db, &conn_->tables);
}

Database::~Database() = default;

std::unique_ptr<Database> Database::open(const std::string& path, const CatalogueSource& source)
{
    std::unique_ptr<Database> d(new Database());
    {
        CatalogImporter importer(d->schema_, d->conn_->tables,
                                 std::size_t(sqlite3_limit(d->conn_->db, SQLITE_LIMIT_COLUMN, -1)));
        source.read(path, importer);
    }
    for (std::size_t i = 0; i < d->conn_->tables.size(); ++i)
        attachTable(d->conn_->db, i, *d->conn_->tables[i]);
    return d;
}

void Database::saveSnapshot(const std::string& path) const
{
    std::error_code ec;
    std::filesystem::remove(path, ec);
    sqlite3* dst = nullptr;
    auto cannotWrite = [&] {
        sqlite3_close_v2(dst);
        return DbError::snapshotNotWritten(path);
    };
    if (sqlite3_open_v2(path.c_str(), &dst, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) != SQLITE_OK)
        throw cannotWrite();
    try {
        exec(dst, "PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF; BEGIN");
        exec(dst,
             std::string("CREATE TABLE ") + kSchemaTable
                 + " (table_name TEXT, table_sql TEXT, col_index INTEGER, name TEXT, kind TEXT, sql_name TEXT, "
                   "key_name TEXT)");
        SqliteStatement meta(dst, std::string("INSERT INTO ") + kSchemaTable + " VALUES (?,?,?,?,?,?,?)");
        for (const auto& table : conn_->tables)
            copySnapshotTable(dst, meta.get(), *table);
        exec(dst, "COMMIT");
    } catch (const DbError&) {
        throw cannotWrite();
    }
    if (sqlite3_close_v2(dst) != SQLITE_OK)
        throw DbError::snapshotNotWritten(path);
}

std::unique_ptr<Recordset> Database::OpenRecordset(const std::string& statement)
{
    // Results and row lists as large as memory allows, and no larger.
    try {
        return runStatement(statement);
    } catch (const std::bad_alloc&) {
        throw DbError::outOfMemory();
    } catch (const std::length_error&) {
        throw DbError::outOfMemory();
    }
}

std::unique_ptr<Recordset> Database::runStatement(const std::string& statement)
{
    const TranslatedQuery q = translateJet(statement, schema_);
    std::unique_ptr<Recordset> rs(new Recordset());
    rs->fieldNames_ = q.fieldNames;
    if (q.rowidsOnly) {
        rs->table_ = conn_->tables[static_cast<std::size_t>(q.table - schema_.tables.data())];
        rs->tableRows_ = findTableRows(conn_->db, q, *rs->table_).rows;
        rs->rowCount_ = static_cast<long>(rs->tableRows_.size());
    } else {
        SqliteStatement st(conn_->db, q.sql);
        const int n = sqlite3_column_count(st.get());
        while (st.next()) {
            std::vector<Value> row;
            row.reserve(static_cast<size_t>(n));
            for (int i = 0; i < n; ++i)
                row.push_back(sqliteColumnValue(st.get(), i));
            rs->rows_.push_back(std::move(row));
        }
        rs->rowCount_ = static_cast<long>(rs->rows_.size());
    }
    rs->pos_ = rs->rowCount_ > 0 ? 0 : -1;
    return rs;
}

std::unique_ptr<Database> OpenDatabase(const CatalogueSource& source, const std::string& name, bool, bool,
                                       const std::string&)
{
    return Database::open(name, source);
}

// --- Recordset --------------------------------------------------------------------------------

Recordset::~Recordset() = default;

void Recordset::MoveFirst()
{
    if (rowCount_ == 0)
        throw DbError::noCurrentRecord();
    pos_ = 0;
}

void Recordset::MoveLast()
{
    if (rowCount_ == 0)
        throw DbError::noCurrentRecord();
    pos_ = rowCount_ - 1;
}

void Recordset::MoveNext()
{
    if (IsEOF())
        throw DbError::noCurrentRecord();
    ++pos_;
}

void Recordset::MovePrevious()
{
    if (BOF())
        throw DbError::noCurrentRecord();
    --pos_;
}

void Recordset::SetAbsolutePosition(long row)
{
    if (row >= 0 && row < rowCount_)
        pos_ = row;
}

int Recordset::FieldIndex(const std::string& name) const
{
    for (size_t i = 0; i < fieldNames_.size(); ++i) {
        if (AsciiEqualNoCase(fieldNames_[i], name))
            return static_cast<int>(i);
    }
    return -1;
}

Value Recordset::valueAt(long row, int column) const
{
    if (table_)
        return table_->value(column, tableRows_[static_cast<std::size_t>(row)]);
    return rows_[static_cast<std::size_t>(row)][static_cast<std::size_t>(column)];
}

Value Recordset::ValueAt(long row, int column) const
{
    if (row < 0 || row >= rowCount_ || column < 0 || column >= FieldCount())
        return {};
    return valueAt(row, column);
}

Value Recordset::Fields(int index) const
{
    if (index < 0 || index >= FieldCount())
        throw DbError::itemNotFound();
    if (AbsolutePosition() < 0)
        throw DbError::noCurrentRecord();
    return valueAt(pos_, index);
}

Value Recordset::Fields(const std::string& name) const
{
    const int i = FieldIndex(name);
    if (i < 0)
        throw DbError::itemNotFound();
    return Fields(i);
}

} // namespace orv
