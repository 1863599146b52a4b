#include "platform/Engine.h"

#include "platform/AsciiText.h"
#include "platform/JetText.h"
#include "platform/SqlQuote.h"
#include "platform/SqliteReader.h"

#include <sqlite3.h>

#include <algorithm>
#include <cstring>
#include <filesystem>

namespace orv {

// The table in the in-memory database that records the catalogue's tables and columns, so that
// a saved snapshot reads back with its schema.
static constexpr const char* kSchemaTable = kSnapshotSchemaTable;

struct Connection {
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
    sqlite3_stmt* release() { auto s = st_; st_ = nullptr; return s; }
private:
    sqlite3_stmt* st_ = nullptr;
};

const char* affinity(ColumnKind k)
{
    switch (k) {
    case ColumnKind::Integer: return "INTEGER";
    case ColumnKind::Real: return "REAL";
    case ColumnKind::Binary: return "BLOB";
    default: return "TEXT";
    }
}

// Texts compare folded; booleans and dates are texts as the views show them.
bool hasKey(ColumnKind k) { return k == ColumnKind::Text || k == ColumnKind::Boolean || k == ColumnKind::DateTime; }

void bindValue(sqlite3_stmt* st, int index, const Value& v)
{
    if (auto s = std::get_if<std::string>(&v.v))
        sqlite3_bind_text(st, index, s->data(), static_cast<int>(s->size()), SQLITE_STATIC);
    else if (auto i = std::get_if<std::int64_t>(&v.v))
        sqlite3_bind_int64(st, index, *i);
    else if (auto d = std::get_if<double>(&v.v))
        sqlite3_bind_double(st, index, *d);
    else if (auto b = std::get_if<Bytes>(&v.v))
        sqlite3_bind_blob64(st, index, b->data.data(), b->data.size(), SQLITE_STATIC);
    else
        sqlite3_bind_null(st, index);
}

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

} // namespace

// Copies tables delivered by a reader into the in-memory database, adding the fold-key column
// of every text column so that searches and sorts compare without folding at query time.
class CatalogueImporter : public TableSink {
public:
    explicit CatalogueImporter(Database& d) : d_(d), db_(d.conn_->db) {}
    ~CatalogueImporter() override { sqlite3_finalize(insert_); }

    void beginTable(const std::string& name, const std::vector<SourceColumn>& columns) override
    {
        CatalogTable t;
        t.name = name;
        t.sqlName = "t" + std::to_string(d_.schema_.tables.size());
        std::string create = "CREATE TABLE " + SqlIdentifier(t.sqlName) + " (";
        std::string insert = "INSERT INTO " + SqlIdentifier(t.sqlName) + " VALUES (";
        int params = 0;
        for (size_t i = 0; i < columns.size(); ++i) {
            CatalogColumn c;
            c.name = columns[i].name;
            c.kind = columns[i].kind;
            c.sqlName = "c" + std::to_string(i);
            create += (i ? ", " : "") + SqlIdentifier(c.sqlName) + " " + affinity(c.kind);
            insert += (params++ ? ",?" : "?");
            if (hasKey(c.kind)) {
                c.keyName = "k" + std::to_string(i);
                create += ", " + SqlIdentifier(c.keyName) + " TEXT";
                insert += ",?";
                ++params;
            }
            t.columns.push_back(std::move(c));
        }
        if (columns.empty())
            create += "c_none";
        exec(db_, create + ")");
        sqlite3_finalize(insert_);
        insert_ = nullptr;
        if (!columns.empty()) {
            Statement st(db_, insert + ")");
            insert_ = st.release();
        }
        Statement meta(db_, std::string("INSERT INTO ") + kSchemaTable + " VALUES (?,?,?,?,?,?,?)");
        for (size_t i = 0; i < t.columns.size(); ++i) {
            const auto& c = t.columns[i];
            sqlite3_reset(meta.get());
            sqlite3_bind_text(meta.get(), 1, t.name.c_str(), -1, SQLITE_TRANSIENT);
            sqlite3_bind_text(meta.get(), 2, t.sqlName.c_str(), -1, SQLITE_TRANSIENT);
            sqlite3_bind_int(meta.get(), 3, static_cast<int>(i));
            sqlite3_bind_text(meta.get(), 4, c.name.c_str(), -1, SQLITE_TRANSIENT);
            sqlite3_bind_text(meta.get(), 5, snapshotKindName(c.kind), -1, SQLITE_STATIC);
            sqlite3_bind_text(meta.get(), 6, c.sqlName.c_str(), -1, SQLITE_TRANSIENT);
            sqlite3_bind_text(meta.get(), 7, c.keyName.c_str(), -1, SQLITE_TRANSIENT);
            if (sqlite3_step(meta.get()) != SQLITE_DONE)
                engineFailure(db_, "schema");
        }
        if (t.columns.empty()) {
            sqlite3_reset(meta.get());
            sqlite3_bind_text(meta.get(), 1, t.name.c_str(), -1, SQLITE_TRANSIENT);
            sqlite3_bind_text(meta.get(), 2, t.sqlName.c_str(), -1, SQLITE_TRANSIENT);
            sqlite3_bind_int(meta.get(), 3, -1);
            for (int k = 4; k <= 7; ++k)
                sqlite3_bind_text(meta.get(), k, "", 0, SQLITE_STATIC);
            if (sqlite3_step(meta.get()) != SQLITE_DONE)
                engineFailure(db_, "schema");
        }
        d_.schema_.tables.push_back(std::move(t));
    }

    void addRow(std::vector<Value>& row) override
    {
        if (!insert_)
            return;
        const auto& cols = d_.schema_.tables.back().columns;
        keys_.resize(cols.size());
        int p = 1;
        for (size_t i = 0; i < cols.size(); ++i) {
            const Value& v = i < row.size() ? row[i] : nullValue_;
            bindValue(insert_, p++, v);   // the row outlives the step: no copies
            if (!cols[i].keyName.empty()) {
                if (v.isNull()) {
                    sqlite3_bind_null(insert_, p++);
                } else {
                    std::string& key = keys_[i];
                    key = jetFoldKey(v.isText() ? std::get<std::string>(v.v) : v.toText());
                    sqlite3_bind_text(insert_, p++, key.data(), static_cast<int>(key.size()), SQLITE_STATIC);
                }
            }
        }
        if (sqlite3_step(insert_) != SQLITE_DONE)
            engineFailure(db_, "insert");
        sqlite3_reset(insert_);
    }

    void endTable() override {}

private:
    Database& d_;
    sqlite3* db_;
    sqlite3_stmt* insert_ = nullptr;
    std::vector<std::string> keys_;
    Value nullValue_;
};

Database::Database() : conn_(std::make_shared<Connection>())
{
    // Memory statistics take a lock on every allocation; the engine never reads them.
    static const bool configured = [] {
        sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0);
        return true;
    }();
    (void)configured;
    if (sqlite3_open_v2(":memory:", &conn_->db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                        nullptr) != SQLITE_OK)
        engineFailure(conn_->db, "open");
    registerJetFunctions(conn_->db);
}

Database::~Database() = default;

std::unique_ptr<Database> Database::open(const std::string& path, const CatalogueSource& source)
{
    std::unique_ptr<Database> d(new Database());
    sqlite3* db = d->conn_->db;
    exec(db, "PRAGMA page_size=8192; PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF; PRAGMA temp_store=MEMORY;");
    exec(db, std::string("CREATE TABLE ") + kSchemaTable
                 + " (table_name TEXT, table_sql TEXT, col_index INTEGER, name TEXT, kind TEXT, sql_name TEXT, key_name TEXT)");
    exec(db, "BEGIN");
    {
        CatalogueImporter importer(*d);
        source.read(path, importer);
    }
    exec(db, "COMMIT");
    return d;
}

void Database::saveSnapshot(const std::string& path) const
{
    std::error_code ec;
    std::filesystem::remove(path, ec);
    sqlite3* dst = nullptr;
    if (sqlite3_open_v2(path.c_str(), &dst, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) != SQLITE_OK) {
        sqlite3_close_v2(dst);
        throw DbError::snapshotNotWritten(path);
    }
    sqlite3_backup* b = sqlite3_backup_init(dst, "main", conn_->db, "main");
    const bool ok = b && sqlite3_backup_step(b, -1) == SQLITE_DONE;
    sqlite3_backup_finish(b);
    sqlite3_close_v2(dst);
    if (!ok)
        throw DbError::snapshotNotWritten(path);
}

std::unique_ptr<Recordset> Database::OpenRecordset(const std::string& statement)
{
    const TranslatedQuery q = translateJet(statement, schema_);
    std::unique_ptr<Recordset> rs(new Recordset());
    rs->fieldNames_ = q.fieldNames;
    rs->conn_ = conn_;
    sqlite3* db = conn_->db;
    Statement st(db, q.sql);
    int rc;
    if (q.rowidsOnly) {
        while ((rc = sqlite3_step(st.get())) == SQLITE_ROW)
            rs->rowids_.push_back(sqlite3_column_int64(st.get(), 0));
        if (rc != SQLITE_DONE)
            engineFailure(db, "query");
        std::string fetch = "SELECT ";
        for (size_t i = 0; i < q.table->columns.size(); ++i)
            fetch += (i ? "," : "") + SqlIdentifier(q.table->columns[i].sqlName);
        if (q.table->columns.empty())
            fetch += "NULL";
        fetch += " FROM " + SqlIdentifier(q.table->sqlName) + " WHERE rowid=?";
        Statement f(db, fetch);
        rs->fetch_ = f.release();
        rs->rowCount_ = static_cast<long>(rs->rowids_.size());
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

Recordset::~Recordset()
{
    sqlite3_finalize(fetch_);
}

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

const std::vector<Value>& Recordset::rowValues(long row) const
{
    if (!fetch_)
        return rows_[static_cast<size_t>(row)];
    if (cachedRow_ != row) {
        cache_.assign(fieldNames_.size(), Value());
        sqlite3_reset(fetch_);
        sqlite3_bind_int64(fetch_, 1, rowids_[static_cast<size_t>(row)]);
        if (sqlite3_step(fetch_) == SQLITE_ROW) {
            for (size_t i = 0; i < fieldNames_.size(); ++i)
                cache_[i] = columnValue(fetch_, static_cast<int>(i));
        }
        sqlite3_reset(fetch_);
        cachedRow_ = row;
    }
    return cache_;
}

Value Recordset::ValueAt(long row, int column) const
{
    if (row < 0 || row >= rowCount_ || column < 0 || column >= FieldCount())
        return {};
    return rowValues(row)[static_cast<size_t>(column)];
}

Value Recordset::Fields(int index) const
{
    if (index < 0 || index >= FieldCount())
        throw DbError::itemNotFound();
    if (AbsolutePosition() < 0)
        throw DbError::noCurrentRecord();
    return rowValues(pos_)[static_cast<size_t>(index)];
}

Value Recordset::Fields(const std::string& name) const
{
    const int i = FieldIndex(name);
    if (i < 0)
        throw DbError::itemNotFound();
    return Fields(i);
}

} // namespace orv
