// SQLite catalogues read as data only: names with URI characters, declared kinds, and snapshot
// records that do not match their file.
#include "platform/reader/SqliteReader.h"
#include "platform/reader/SqliteStatement.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

using namespace orv;

namespace {

struct Recorder : TableSink {
    std::vector<std::string> names;
    std::vector<std::vector<SourceColumn>> columns;
    std::vector<std::vector<Value>> rows;
    void beginTable(const std::string& name, const std::vector<SourceColumn>& cols) override
    {
        names.push_back(name);
        columns.push_back(cols);
    }
    void addRow(std::vector<Value>& row) override { rows.push_back(row); }
    void endTable() override {}
};

void make(const std::string& path, const char* sql)
{
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    char* err = nullptr;
    const int rc = sqlite3_exec(db, sql, nullptr, nullptr, &err);
    EXPECT_EQ(rc, SQLITE_OK) << (err ? err : "");
    sqlite3_free(err);
    sqlite3_close(db);
}

int errorOf(const std::string& path)
{
    Recorder r;
    try {
        readSqliteFile(path, r);
    } catch (const DbError& e) {
        return e.number;
    }
    return 0;
}

const char* kSnapshot = "CREATE TABLE __orv_schema (table_name TEXT, table_sql TEXT, col_index INTEGER, name TEXT,"
                        " kind TEXT, sql_name TEXT, key_name TEXT);"
                        "CREATE TABLE t0 (c0 TEXT, k0 TEXT, c1 INTEGER, g TEXT GENERATED ALWAYS AS (c0) VIRTUAL);"
                        "INSERT INTO t0 (c0, k0, c1) VALUES ('a', 'A', 1), ('b', 'B', 2);";

} // namespace

TEST(SqliteReader, ReadsFilesWhoseNamesLookLikeUriParts)
{
    orvtest::TempDir dir;
    const std::string path = dir.file("cat?x=1#frag%20 ライフ.db");
    make(path,
         "CREATE TABLE t (a INTEGER, b REAL, c DATE, d BLOB, e VARCHAR(10), f, g);"
         "INSERT INTO t VALUES (1, 2.5, '1997/04/01', x'0102', 7, NULL, 8);");
    Recorder r;
    readSqliteFile(path, r);
    ASSERT_EQ(r.names, std::vector<std::string>{"t"});
    std::vector<ColumnKind> kinds;
    for (const auto& c : r.columns[0])
        kinds.push_back(c.kind);
    EXPECT_EQ(kinds,
              (std::vector<ColumnKind>{ColumnKind::Integer, ColumnKind::Real, ColumnKind::DateTime, ColumnKind::Binary,
                                       ColumnKind::Text, ColumnKind::Text, ColumnKind::Text}));
    // g has no type: SQLite keeps the number in it as a number; it is read as text all the same.
    EXPECT_EQ(r.rows.at(0),
              (std::vector<Value>{Value::integer(1), Value::real(2.5), Value::text("1997/04/01"),
                                  Value::binary("\x01\x02"), Value::text("7"), Value(), Value::text("8")}));
}

TEST(SqliteReader, SnapshotReadsBackUnderItsRecordedNames)
{
    orvtest::TempDir dir;
    make(dir.file("snap.db"),
         (std::string(kSnapshot)
          + "INSERT INTO __orv_schema VALUES"
            " ('tevoxB', 't0', 0, 'gt_cdno', 'text', 'c0', 'k0'),"
            " ('tevoxB', 't0', 1, 'n', 'integer', 'c1', ''),"
            " ('nothing', 't0', -1, '', '', '', '');")
             .c_str());
    Recorder r;
    readSqliteFile(dir.file("snap.db"), r);
    EXPECT_EQ(r.names, (std::vector<std::string>{"tevoxB", "nothing"}));
    ASSERT_EQ(r.columns[0].size(), 2u);
    EXPECT_EQ(r.columns[0][1].name, "n");
    EXPECT_TRUE(r.columns[1].empty());
    EXPECT_EQ(r.rows,
              (std::vector<std::vector<Value>>{{Value::text("a"), Value::integer(1)},
                                               {Value::text("b"), Value::integer(2)}}));
}

// The record names tables and columns; a name that is not a stored column of an ordinary
// table of the file, or a kind it does not know, makes the file unreadable.
TEST(SqliteReader, SnapshotRecordThatDoesNotMatchItsFileIsRefused)
{
    const char* rows[] = {
        "('tevoxB', 'missing', 0, 'gt_cdno', 'text', 'c0', '')",
        "('tevoxB', 't0', 0, 'gt_cdno', 'text', 'nosuch', '')",
        "('tevoxB', 't0', 0, 'gt_cdno', 'text', 'g', '')", // a generated column
        "('tevoxB', 't0', 0, 'gt_cdno', 'text', 'c0\"), (\"c1', '')",
        "('tevoxB', 't0', 0, 'gt_cdno', 'memo', 'c0', '')",
        "('tevoxB', '__orv_schema', 0, 'gt_cdno', 'text', 'name', '')",
    };
    orvtest::TempDir dir;
    int i = 0;
    for (const char* row : rows) {
        const std::string path = dir.file("snap" + std::to_string(i++) + ".db");
        make(path, (std::string(kSnapshot) + "INSERT INTO __orv_schema VALUES " + row + ";").c_str());
        EXPECT_EQ(errorOf(path), dberr::UnrecognizedFormat) << row;
    }
    orvtest::writeFileBytes(dir.file("cut.db"), orvtest::readFileBytes(dir.file("snap0.db")).substr(0, 600));
    EXPECT_EQ(errorOf(dir.file("cut.db")), dberr::UnrecognizedFormat);
}

// A statement's failure inside SQLite in the catalogue's own words: memory, a value too long, a
// sum past 64 bits. Only a fault of the engine's own making keeps SQLite's text.
TEST(SqliteStatement, FailuresAreTheCataloguesOwnErrors)
{
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(":memory:", &db), SQLITE_OK);
    sqlite3_create_function_v2(
        db, "no_memory", 0, SQLITE_UTF8, nullptr,
        [](sqlite3_context* ctx, int, sqlite3_value**) { sqlite3_result_error_nomem(ctx); }, nullptr, nullptr, nullptr);
    sqlite3_limit(db, SQLITE_LIMIT_LENGTH, 1000);
    const auto failure = [&](const char* sql) {
        try {
            SqliteStatement st(db, sql);
            while (st.next()) {}
        } catch (const DbError& e) {
            return std::to_string(e.number) + " " + e.description();
        }
        return std::string("none");
    };
    EXPECT_EQ(failure("SELECT no_memory()"), "7 メモリが不足しています。");
    EXPECT_EQ(failure("SELECT zeroblob(2000)"), "14 文字列領域が不足しています。");
    EXPECT_EQ(failure("SELECT sum(x) FROM (SELECT 9223372036854775807 AS x UNION ALL SELECT 1)"),
              "3349 数値フィールドのオーバーフローです。");
    EXPECT_EQ(failure("SELECT sum(x) FROM (SELECT 9223372036854775806 AS x UNION ALL SELECT 1)"), "none");
    EXPECT_EQ(failure("SELECT * FROM nowhere"),
              "30001 データベース エンジンのエラーです (prepare: no such table: nowhere)");
    sqlite3_close(db);
}
