#include "platform/engine/StoreModule.h"

#include "platform/engine/TableStore.h"
#include "platform/reader/SqlQuote.h"
#include "platform/reader/SqliteStatement.h"

#include <sqlite3.h>

#include <charconv>
#include <string>

namespace orv {

namespace {

constexpr const char* kModule = "orv_table";

struct Table : sqlite3_vtab {
    const TableStore* store = nullptr;
    std::vector<SqlColumn> columns; // as declared
};

struct Cursor : sqlite3_vtab_cursor {
    std::size_t row = 0;
};

int connect(sqlite3* db, void* aux, int argc, const char* const* argv, sqlite3_vtab** out, char** error)
{
    const auto* tables = static_cast<const std::vector<std::shared_ptr<TableStore>>*>(aux);
    std::size_t index = 0;
    const char* arg = argc > 3 ? argv[3] : "";
    const char* end = arg + std::char_traits<char>::length(arg);
    if (std::from_chars(arg, end, index).ptr != end || index >= tables->size()) {
        *error = sqlite3_mprintf("no catalogue table %s", arg);
        return SQLITE_ERROR;
    }
    auto t = std::make_unique<Table>();
    t->store = (*tables)[index].get();
    t->columns = sqlColumns(t->store->columns());
    const int rc = sqlite3_declare_vtab(db, ("CREATE TABLE x(" + sqlColumnList(t->store->columns()) + ")").c_str());
    if (rc != SQLITE_OK)
        return rc;
    *out = t.release();
    return SQLITE_OK;
}

int bestIndex(sqlite3_vtab* vtab, sqlite3_index_info* info)
{
    // Every read is a scan in table order: a statement's constraints are SQLite's to test.
    const double rows = double(static_cast<Table*>(vtab)->store->rowCount());
    info->estimatedCost = rows + 1;
    info->estimatedRows = sqlite3_int64(rows);
    if (info->nOrderBy == 1 && info->aOrderBy[0].iColumn < 0 && !info->aOrderBy[0].desc)
        info->orderByConsumed = 1;
    return SQLITE_OK;
}

int disconnect(sqlite3_vtab* vtab)
{
    delete static_cast<Table*>(vtab);
    return SQLITE_OK;
}

int open(sqlite3_vtab*, sqlite3_vtab_cursor** out)
{
    *out = new Cursor();
    return SQLITE_OK;
}

int close(sqlite3_vtab_cursor* cursor)
{
    delete static_cast<Cursor*>(cursor);
    return SQLITE_OK;
}

int filter(sqlite3_vtab_cursor* cursor, int, const char*, int, sqlite3_value**)
{
    static_cast<Cursor*>(cursor)->row = 0;
    return SQLITE_OK;
}

int next(sqlite3_vtab_cursor* cursor)
{
    ++static_cast<Cursor*>(cursor)->row;
    return SQLITE_OK;
}

int eof(sqlite3_vtab_cursor* cursor)
{
    const auto* c = static_cast<Cursor*>(cursor);
    return c->row >= static_cast<Table*>(c->pVtab)->store->rowCount();
}

int column(sqlite3_vtab_cursor* cursor, sqlite3_context* ctx, int i)
{
    const std::size_t row = static_cast<Cursor*>(cursor)->row;
    const auto* t = static_cast<Table*>(cursor->pVtab);
    if (i < 0 || std::size_t(i) >= t->columns.size())
        return SQLITE_OK; // c_none of a table without columns: Null
    const SqlColumn c = t->columns[std::size_t(i)];
    // The store outlives every statement of the connection: its bytes need no copy. A column's
    // keys are worked out when first read, and nothing may be thrown through SQLite.
    try {
        resultSqliteValue(ctx, c.key ? t->store->sqlKey(c.column, row) : t->store->sqlValue(c.column, row));
    } catch (const std::exception&) {
        sqlite3_result_error_nomem(ctx);
        return SQLITE_NOMEM;
    }
    return SQLITE_OK;
}

int rowid(sqlite3_vtab_cursor* cursor, sqlite3_int64* out)
{
    *out = sqlite3_int64(static_cast<Cursor*>(cursor)->row) + 1;
    return SQLITE_OK;
}

sqlite3_module makeModule()
{
    sqlite3_module m{};
    m.iVersion = 1;
    m.xCreate = connect;
    m.xConnect = connect;
    m.xBestIndex = bestIndex;
    m.xDisconnect = disconnect;
    m.xDestroy = disconnect;
    m.xOpen = open;
    m.xClose = close;
    m.xFilter = filter;
    m.xNext = next;
    m.xEof = eof;
    m.xColumn = column;
    m.xRowid = rowid;
    return m;
}

const sqlite3_module kTableModule = makeModule();

[[noreturn]] void failed(sqlite3* db) { throw DbError::engineFailure(sqlite3_errmsg(db)); }

} // namespace

void registerTableModule(sqlite3* db, const std::vector<std::shared_ptr<TableStore>>* tables)
{
    if (sqlite3_create_module_v2(db, kModule, &kTableModule, const_cast<void*>(static_cast<const void*>(tables)),
                                 nullptr)
        != SQLITE_OK)
        failed(db);
}

void attachTable(sqlite3* db, std::size_t index, const TableStore& table)
{
    const std::string sql = "CREATE VIRTUAL TABLE " + SqlIdentifier(table.sqlName()) + " USING " + kModule + "("
        + std::to_string(index) + ")";
    if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK)
        failed(db);
}

} // namespace orv
