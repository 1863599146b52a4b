#include "platform/reader/SqliteReader.h"

#include "platform/reader/SqlQuote.h"
#include "platform/reader/SqliteStatement.h"

#include <sqlite3.h>
#include <sys/stat.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <map>

namespace orv {

namespace {

[[noreturn]] void unreadable(const std::string& path) { throw DbError::unrecognisedFormat(path); }

// A "file:" URI for the path, every byte but the unreserved ones percent-encoded.
std::string fileUri(const std::string& path)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string uri = path.starts_with('/') ? "file://" : "file:";
    for (unsigned char c : path) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '/'
            || c == '-' || c == '.' || c == '_' || c == '~';
        if (plain) {
            uri += char(c);
        } else {
            uri += '%';
            uri += kHex[c >> 4];
            uri += kHex[c & 15];
        }
    }
    return uri + "?mode=ro&immutable=1";
}

class Query {
public:
    Query(sqlite3* db, const std::string& sql, const std::string& path) : path_(path)
    {
        if (sqlite3_prepare_v2(db, sql.c_str(), int(sql.size()), &st_, nullptr) != SQLITE_OK)
            unreadable(path_);
    }
    ~Query() { sqlite3_finalize(st_); }
    Query(const Query&) = delete;
    Query& operator=(const Query&) = delete;

    sqlite3_stmt* get() const { return st_; }
    bool next()
    {
        const int rc = sqlite3_step(st_);
        if (rc == SQLITE_ROW)
            return true;
        if (rc != SQLITE_DONE)
            unreadable(path_);
        return false;
    }
    std::string text(int i) const
    {
        auto p = reinterpret_cast<const char*>(sqlite3_column_text(st_, i));
        return p ? std::string(p, size_t(sqlite3_column_bytes(st_, i))) : std::string();
    }

private:
    sqlite3_stmt* st_ = nullptr;
    const std::string& path_;
};

ColumnKind kindFromDeclared(std::string decl)
{
    std::transform(decl.begin(), decl.end(), decl.begin(), [](unsigned char c) { return char(std::toupper(c)); });
    auto has = [&](const char* part) { return decl.find(part) != std::string::npos; };
    if (has("INT"))
        return ColumnKind::Integer;
    if (has("REAL") || has("FLOA") || has("DOUB") || has("NUM") || has("DEC"))
        return ColumnKind::Real;
    if (has("DATE") || has("TIME"))
        return ColumnKind::DateTime;
    if (has("BLOB"))
        return ColumnKind::Binary;
    return ColumnKind::Text;
}

Value valueOf(sqlite3_stmt* st, int i, ColumnKind kind)
{
    Value v = sqliteColumnValue(st, i);
    // A text column keeps text even where SQLite stored a number in it.
    if (kind == ColumnKind::Text && (v.isInteger() || v.isReal()))
        v = Value::text(v.toText());
    return v;
}

class SqliteCatalogue {
public:
    SqliteCatalogue(const std::string& path, TableSink& sink) : path_(path), sink_(sink) {}
    ~SqliteCatalogue() { sqlite3_close_v2(db_); }

    void read()
    {
        struct stat st {};
        if (::stat(path_.c_str(), &st) != 0)
            unreadable(path_);
        if (sqlite3_open_v2(fileUri(path_).c_str(), &db_, SQLITE_OPEN_READONLY | SQLITE_OPEN_URI | SQLITE_OPEN_NOMUTEX,
                            nullptr)
            != SQLITE_OK)
            unreadable(path_);
        // The schema is the file's: nothing in it runs, and nothing in it may ask for more than
        // the file holds.
        sqlite3_db_config(db_, SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, nullptr);
        sqlite3_db_config(db_, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
        sqlite3_db_config(db_, SQLITE_DBCONFIG_ENABLE_TRIGGER, 0, nullptr);
        sqlite3_db_config(db_, SQLITE_DBCONFIG_ENABLE_VIEW, 0, nullptr);
        sqlite3_limit(db_, SQLITE_LIMIT_LENGTH,
                      int(std::clamp<std::uint64_t>(std::uint64_t(st.st_size), 1 << 16, INT_MAX)));

        findPlainTables();
        if (std::find(tables_.begin(), tables_.end(), kSnapshotSchemaTable) != tables_.end())
            readSnapshot();
        else
            for (const std::string& name : tables_)
                readTable(name, name, storedColumns_[name]);
    }

private:
    // Ordinary tables in the order they were made: no views, virtual tables or SQLite's own.
    void findPlainTables()
    {
        Query q(
            db_,
            "SELECT s.name FROM sqlite_master AS s JOIN pragma_table_list AS l ON l.schema = 'main' AND l.name = s.name"
            " WHERE s.type = 'table' AND l.type = 'table' AND s.name NOT LIKE 'sqlite\\_%' ESCAPE '\\'"
            " ORDER BY s.rowid",
            path_);
        while (q.next())
            tables_.push_back(q.text(0));
        Query cols(db_, "SELECT name, type FROM pragma_table_xinfo(?1) WHERE hidden = 0 ORDER BY cid", path_);
        for (const std::string& t : tables_) {
            sqlite3_reset(cols.get());
            sqlite3_bind_text(cols.get(), 1, t.data(), int(t.size()), SQLITE_STATIC);
            auto& stored = storedColumns_[t];
            while (cols.next())
                stored.push_back({cols.text(0), kindFromDeclared(cols.text(1))});
        }
    }

    // Rows of `sqlTable`'s columns (names as stored) delivered as table `name` with `columns`.
    void readTable(const std::string& name, const std::string& sqlTable, const std::vector<SourceColumn>& columns,
                   const std::vector<std::string>* sqlColumns = nullptr)
    {
        sink_.beginTable(name, columns);
        if (!columns.empty()) {
            std::string sql = "SELECT ";
            for (size_t i = 0; i < columns.size(); ++i)
                sql += (i ? ", " : "") + SqlIdentifier(sqlColumns ? (*sqlColumns)[i] : columns[i].name);
            // Table order: never an index's order.
            sql += " FROM " + SqlIdentifier(sqlTable) + " NOT INDEXED";
            Query q(db_, sql, path_);
            std::vector<Value> row(columns.size());
            while (q.next()) {
                for (size_t i = 0; i < columns.size(); ++i)
                    row[i] = valueOf(q.get(), int(i), columns[i].kind);
                sink_.addRow(row);
                row.resize(columns.size());
            }
        }
        sink_.endTable();
    }

    // A saved snapshot: its record names each catalogue table's own table and columns. Every name
    // it gives must be a stored column of an ordinary table of the file.
    void readSnapshot()
    {
        struct Table {
            std::string name, sqlName;
            std::vector<SourceColumn> columns;
            std::vector<std::string> sqlColumns;
        };
        std::vector<Table> tables;
        Query q(db_,
                std::string("SELECT table_name, table_sql, col_index, name, kind, sql_name FROM ")
                    + SqlIdentifier(kSnapshotSchemaTable) + " NOT INDEXED ORDER BY rowid",
                path_);
        while (q.next()) {
            const std::string name = q.text(0), sqlName = q.text(1);
            if (tables.empty() || tables.back().sqlName != sqlName || tables.back().name != name) {
                if (!storedColumns_.count(sqlName) || sqlName == kSnapshotSchemaTable)
                    unreadable(path_);
                tables.push_back({name, sqlName, {}, {}});
            }
            if (sqlite3_column_int64(q.get(), 2) < 0)
                continue;
            Table& t = tables.back();
            const std::string sqlColumn = q.text(5);
            const auto& stored = storedColumns_[sqlName];
            if (std::none_of(stored.begin(), stored.end(), [&](const SourceColumn& c) { return c.name == sqlColumn; }))
                unreadable(path_);
            ColumnKind kind;
            if (!snapshotKindFromName(q.text(4), kind))
                unreadable(path_);
            t.columns.push_back({q.text(3), kind});
            t.sqlColumns.push_back(sqlColumn);
        }
        for (const Table& t : tables)
            readTable(t.name, t.sqlName, t.columns, &t.sqlColumns);
    }

    const std::string& path_;
    TableSink& sink_;
    sqlite3* db_ = nullptr;
    std::vector<std::string> tables_;
    std::map<std::string, std::vector<SourceColumn>> storedColumns_;
};

} // namespace

const char* snapshotKindName(ColumnKind kind)
{
    switch (kind) {
    case ColumnKind::Text: return "text";
    case ColumnKind::Integer: return "integer";
    case ColumnKind::Real: return "real";
    case ColumnKind::Boolean: return "boolean";
    case ColumnKind::DateTime: return "datetime";
    case ColumnKind::Binary: return "binary";
    }
    return "text";
}

bool snapshotKindFromName(const std::string& name, ColumnKind& kind)
{
    for (ColumnKind k : {ColumnKind::Text, ColumnKind::Integer, ColumnKind::Real, ColumnKind::Boolean,
                         ColumnKind::DateTime, ColumnKind::Binary}) {
        if (name == snapshotKindName(k)) {
            kind = k;
            return true;
        }
    }
    return false;
}

void readSqliteFile(const std::string& path, TableSink& sink) { SqliteCatalogue(path, sink).read(); }

} // namespace orv
