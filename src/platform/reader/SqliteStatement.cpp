#include "platform/reader/SqliteStatement.h"

#include <sqlite3.h>

#include <cstring>
#include <string>

namespace orv {

namespace {

// SQLite takes a null pointer for Null: an empty text or blob needs an address of its own.
const char* bytesOf(const SqliteValueView& v) { return v.bytes.data() ? v.bytes.data() : ""; }

} // namespace

void sqliteFailure(sqlite3* db, const char* what)
{
    // What a statement can meet, in the catalogue's own words; anything else is a fault of the
    // engine's own making.
    switch (db ? sqlite3_errcode(db) : SQLITE_NOMEM) {
    case SQLITE_NOMEM: throw DbError::outOfMemory();
    case SQLITE_TOOBIG: throw DbError::outOfStringSpace();
    default: break;
    }
    // sum() over whole numbers is the one arithmetic SQLite refuses rather than turning to real;
    // its message is documented.
    if (std::strcmp(sqlite3_errmsg(db), "integer overflow") == 0)
        throw DbError::numericOverflow();
    throw DbError::engineFailure(std::string(what) + ": " + sqlite3_errmsg(db));
}

SqliteStatement::SqliteStatement(sqlite3* db, std::string_view sql) : db_(db)
{
    if (sqlite3_prepare_v2(db, sql.data(), int(sql.size()), &st_, nullptr) != SQLITE_OK)
        sqliteFailure(db, "prepare");
}

SqliteStatement::~SqliteStatement() { sqlite3_finalize(st_); }

bool SqliteStatement::next()
{
    const int rc = sqlite3_step(st_);
    if (rc == SQLITE_ROW)
        return true;
    if (rc != SQLITE_DONE)
        sqliteFailure(db_, "query");
    return false;
}

SqliteValueView SqliteValueView::of(const Value& v)
{
    SqliteValueView out;
    if (auto s = std::get_if<std::string>(&v.v)) {
        out.type = Type::Text;
        out.bytes = *s;
    } else if (auto i = std::get_if<std::int64_t>(&v.v)) {
        out.type = Type::Integer;
        out.integer = *i;
    } else if (auto d = std::get_if<double>(&v.v)) {
        out.type = Type::Real;
        out.real = *d;
    } else if (auto b = std::get_if<Bytes>(&v.v)) {
        out.type = Type::Blob;
        out.bytes = b->data;
    }
    return out;
}

Value sqliteColumnValue(sqlite3_stmt* st, int column)
{
    switch (sqlite3_column_type(st, column)) {
    case SQLITE_INTEGER: return Value::integer(sqlite3_column_int64(st, column));
    case SQLITE_FLOAT: return Value::real(sqlite3_column_double(st, column));
    case SQLITE_TEXT: {
        // The text first, then its length in that form.
        auto p = reinterpret_cast<const char*>(sqlite3_column_text(st, column));
        return Value::text(p ? std::string(p, std::size_t(sqlite3_column_bytes(st, column))) : std::string());
    }
    case SQLITE_BLOB: {
        auto p = static_cast<const char*>(sqlite3_column_blob(st, column));
        return Value::binary(p ? std::string(p, std::size_t(sqlite3_column_bytes(st, column))) : std::string());
    }
    default: return Value::null();
    }
}

void bindSqliteValue(sqlite3_stmt* st, int parameter, const SqliteValueView& v)
{
    switch (v.type) {
    case SqliteValueView::Type::Integer: sqlite3_bind_int64(st, parameter, v.integer); break;
    case SqliteValueView::Type::Real: sqlite3_bind_double(st, parameter, v.real); break;
    case SqliteValueView::Type::Text:
        sqlite3_bind_text64(st, parameter, bytesOf(v), v.bytes.size(), SQLITE_STATIC, SQLITE_UTF8);
        break;
    case SqliteValueView::Type::Blob:
        sqlite3_bind_blob64(st, parameter, bytesOf(v), v.bytes.size(), SQLITE_STATIC);
        break;
    case SqliteValueView::Type::Null: sqlite3_bind_null(st, parameter); break;
    }
}

void resultSqliteValue(sqlite3_context* ctx, const SqliteValueView& v)
{
    switch (v.type) {
    case SqliteValueView::Type::Integer: sqlite3_result_int64(ctx, v.integer); break;
    case SqliteValueView::Type::Real: sqlite3_result_double(ctx, v.real); break;
    case SqliteValueView::Type::Text:
        sqlite3_result_text64(ctx, bytesOf(v), v.bytes.size(), SQLITE_STATIC, SQLITE_UTF8);
        break;
    case SqliteValueView::Type::Blob: sqlite3_result_blob64(ctx, bytesOf(v), v.bytes.size(), SQLITE_STATIC); break;
    case SqliteValueView::Type::Null: sqlite3_result_null(ctx); break;
    }
}

} // namespace orv
