#include "platform/engine/Engine.h"

#include "platform/engine/CatalogImporter.h"
#include "platform/engine/RowPlanEval.h"
#include "platform/engine/StoreModule.h"
#include "platform/engine/TableStore.h"
#include "platform/jet/JetText.h"
#include "platform/reader/SqlQuote.h"
#include "platform/reader/SqliteReader.h"
#include "platform/text/AsciiText.h"

#include <sqlite3.h>

#include <algorithm>
#include <cstring>
#include <filesystem>

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

[[noreturn]] void engineFailure(sqlite3* db, const char* what)
{
    throw DbError::engineFailure(std::string(what) + ": " + (db ? sqlite3_errmsg(db) : "?"));
}

void exec(sqlite3* db, const std::string& sql)
{
    char* err = nullptr;
    if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &err) != SQLITE_OK) {
        std::string msg = err ? err : "";
        sqlite3_free(err);
        throw DbError::engineFailure(msg);
    }
}

class Statement {
public:
    Statement(sqlite3* db, const std::string& sql)
    {
        if (sqlite3_prepare_v2(db, sql.c_str(), static_cast<int>(sql.size()), &st_, nullptr) != SQLITE_OK)
            engineFailure(db, "prepare");
    }
    ~Statement() { sqlite3_finalize(st_); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    sqlite3_stmt* get() const { return st_; }
    sqlite3_stmt* release()
    {
        auto s = st_;
        st_ = nullptr;
        return s;
    }

private:
    sqlite3_stmt* st_ = nullptr;
};

Value columnValue(sqlite3_stmt* st, int i)
{
    switch (sqlite3_column_type(st, i)) {
    case SQLITE_INTEGER: return Value::integer(sqlite3_column_int64(st, i));
    case SQLITE_FLOAT: return Value::real(sqlite3_column_double(st, i));
    case SQLITE_TEXT: {
        auto p = reinterpret_cast<const char*>(sqlite3_column_text(st, i));
        return Value::text(std::string(p, static_cast<size_t>(sqlite3_column_bytes(st, i))));
    }
    case SQLITE_BLOB: {
        auto p = static_cast<const char*>(sqlite3_column_blob(st, i));
        return Value::binary(p ? std::string(p, static_cast<size_t>(sqlite3_column_bytes(st, i))) : std::string());
    }
    default: return Value::null();
    }
}

// The stored bytes outlive the step: no copies.
void bindSnapshotRow(sqlite3_stmt* st, const TableStore& t, std::size_t r)
{
    int p = 1;
    for (std::size_t i = 0; i < t.columns().size(); ++i) {
        const int c = int(i);
        const TableStore::Tag tag = t.tag(c, r);
        switch (tag) {
        case TableStore::Tag::Integer: sqlite3_bind_int64(st, p, t.integer(c, r)); break;
        case TableStore::Tag::Real: sqlite3_bind_double(st, p, t.real(c, r)); break;
        case TableStore::Tag::Text: {
            const std::string_view b = t.bytes(c, r);
            sqlite3_bind_text64(st, p, b.data(), b.size(), SQLITE_STATIC, SQLITE_UTF8);
            break;
        }
        case TableStore::Tag::Blob: {
            const std::string_view b = t.bytes(c, r);
            sqlite3_bind_blob64(st, p, b.data(), b.size(), SQLITE_STATIC);
            break;
        }
        default: sqlite3_bind_null(st, p); break;
        }
        ++p;
        if (!t.columns()[i].keyName.empty()) {
            if (tag == TableStore::Tag::Null) {
                sqlite3_bind_null(st, p++);
            } else {
                const std::string_view k = t.key(c, r);
                sqlite3_bind_text64(st, p++, k.data(), k.size(), SQLITE_STATIC, SQLITE_UTF8);
            }
        }
    }
}

// One table of a snapshot: its schema rows, its SQL table and its rows with their keys.
void copySnapshotTable(sqlite3* dst, sqlite3_stmt* meta, const TableStore& t)
{
    std::string create = "CREATE TABLE " + SqlIdentifier(t.sqlName()) + " (";
    std::string insert = "INSERT INTO " + SqlIdentifier(t.sqlName()) + " VALUES (";
    for (std::size_t i = 0; i < t.columns().size(); ++i) {
        const CatalogColumn& c = t.columns()[i];
        create += (i ? ", " : "") + SqlIdentifier(c.sqlName) + " " + sqlAffinity(c.kind);
        insert += i ? ",?" : "?";
        if (!c.keyName.empty()) {
            create += ", " + SqlIdentifier(c.keyName) + " TEXT";
            insert += ",?";
        }
        sqlite3_reset(meta);
        sqlite3_bind_text(meta, 1, t.name().c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(meta, 2, t.sqlName().c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_int(meta, 3, static_cast<int>(i));
        sqlite3_bind_text(meta, 4, c.name.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(meta, 5, snapshotKindName(c.kind), -1, SQLITE_STATIC);
        sqlite3_bind_text(meta, 6, c.sqlName.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(meta, 7, c.keyName.c_str(), -1, SQLITE_TRANSIENT);
        if (sqlite3_step(meta) != SQLITE_DONE)
            engineFailure(dst, "schema");
    }
    if (t.columns().empty()) {
        create += "c_none";
        sqlite3_reset(meta);
        sqlite3_bind_text(meta, 1, t.name().c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(meta, 2, t.sqlName().c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_int(meta, 3, -1);
        for (int k = 4; k <= 7; ++k)
            sqlite3_bind_text(meta, k, "", 0, SQLITE_STATIC);
        if (sqlite3_step(meta) != SQLITE_DONE)
            engineFailure(dst, "schema");
    }
    exec(dst, create + ")");
    if (t.columns().empty())
        return;
    Statement rows(dst, insert + ")");
    for (std::size_t r = 0; r < t.rowCount(); ++r) {
        sqlite3_reset(rows.get());
        bindSnapshotRow(rows.get(), t, r);
        if (sqlite3_step(rows.get()) != SQLITE_DONE)
            engineFailure(dst, "insert");
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
        engineFailure(conn_->db, "open");
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
        Statement meta(dst, std::string("INSERT INTO ") + kSchemaTable + " VALUES (?,?,?,?,?,?,?)");
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
    const TranslatedQuery q = translateJet(statement, schema_);
    std::unique_ptr<Recordset> rs(new Recordset());
    rs->fieldNames_ = q.fieldNames;
    sqlite3* db = conn_->db;
    Statement st(db, q.sql);
    int rc;
    if (q.rowidsOnly) {
        rs->table_ = conn_->tables[static_cast<std::size_t>(q.table - schema_.tables.data())];
        if (q.plan.usable) {
            // The rows without SQL where the condition allows, then the sort by the column's ranks.
            std::optional<std::vector<std::uint32_t>> selected;
            if (!q.plan.hasCondition || q.plan.conditionPlanned)
                selected = selectRows(q.plan, *rs->table_);
            if (selected) {
                rs->tableRows_ = std::move(*selected);
            } else {
                Statement select(db, q.selectSql);
                while ((rc = sqlite3_step(select.get())) == SQLITE_ROW)
                    rs->tableRows_.push_back(static_cast<std::uint32_t>(sqlite3_column_int64(select.get(), 0) - 1));
                if (rc != SQLITE_DONE)
                    engineFailure(db, "query");
            }
            if (q.plan.sortColumn >= 0)
                sortRows(rs->tableRows_, *rs->table_, q.plan.sortColumn, q.plan.descending);
        } else {
            while ((rc = sqlite3_step(st.get())) == SQLITE_ROW)
                rs->tableRows_.push_back(static_cast<std::uint32_t>(sqlite3_column_int64(st.get(), 0) - 1));
            if (rc != SQLITE_DONE)
                engineFailure(db, "query");
        }
        rs->rowCount_ = static_cast<long>(rs->tableRows_.size());
    } else {
        const int n = sqlite3_column_count(st.get());
        while ((rc = sqlite3_step(st.get())) == SQLITE_ROW) {
            std::vector<Value> row;
            row.reserve(static_cast<size_t>(n));
            for (int i = 0; i < n; ++i)
                row.push_back(columnValue(st.get(), i));
            rs->rows_.push_back(std::move(row));
        }
        if (rc != SQLITE_DONE)
            engineFailure(db, "query");
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
