// SQLite statements and values, one way for every library that talks to SQLite: the catalogue
// reader, the table store, its virtual table and the engine.
#pragma once

#include "platform/reader/DbTypes.h"

#include <cstdint>
#include <string_view>

struct sqlite3;
struct sqlite3_stmt;
struct sqlite3_context;

namespace orv {

// Throws the DbError for db's last failure: out of memory (7), a value too long (14), a sum past
// 64 bits (3349), or for anything else DbError::engineFailure: what failed, and SQLite's message.
[[noreturn]] void sqliteFailure(sqlite3* db, const char* what);

// A prepared statement, finalized when it goes.
class SqliteStatement {
public:
    // Throws sqliteFailure's DbError when SQLite refuses sql.
    SqliteStatement(sqlite3* db, std::string_view sql);
    ~SqliteStatement();
    SqliteStatement(const SqliteStatement&) = delete;
    SqliteStatement& operator=(const SqliteStatement&) = delete;

    sqlite3_stmt* get() const { return st_; }
    // Steps once: true on a row, false when done. Throws sqliteFailure's DbError when the step fails.
    bool next();

private:
    sqlite3* db_;
    sqlite3_stmt* st_ = nullptr;
};

// A value to hand to SQLite as it is: its bytes are not copied, so they must last as long as
// SQLite reads them (the step of a bound statement, the statement of a virtual table's column).
struct SqliteValueView {
    enum class Type : std::uint8_t { Null, Integer, Real, Text, Blob };
    Type type = Type::Null;
    std::int64_t integer = 0;
    double real = 0;
    std::string_view bytes; // of a Text or Blob

    static SqliteValueView of(const Value& v);
};

// The column's value in the statement's current row.
Value sqliteColumnValue(sqlite3_stmt* st, int column);

// Binds the parameter (1-based) / sets a function's or a virtual table column's result.
void bindSqliteValue(sqlite3_stmt* st, int parameter, const SqliteValueView& v);
void resultSqliteValue(sqlite3_context* ctx, const SqliteValueView& v);

} // namespace orv
