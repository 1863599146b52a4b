// The engine end to end: catalogue files read into memory, Jet statements, DAO cursor semantics,
// bad, damaged and hostile files, and reading in a child process.
#include "platform/engine/Engine.h"
#include "platform/engine/EngineIsolation.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace orv;
using orvtest::dataPath;

namespace {

std::vector<std::vector<std::optional<std::string>>> allRows(Recordset& rs)
{
    std::vector<std::vector<std::optional<std::string>>> out;
    for (long r = 0; r < rs.RecordCount(); ++r) {
        std::vector<std::optional<std::string>> row;
        for (int c = 0; c < rs.FieldCount(); ++c) {
            const Value v = rs.ValueAt(r, c);
            row.push_back(v.isNull() ? std::nullopt : std::optional<std::string>(v.toText()));
        }
        out.push_back(row);
    }
    return out;
}

int errorOf(const std::function<void()>& f)
{
    try {
        f();
    } catch (const DbError& e) {
        return e.number;
    }
    return 0;
}

std::string errorText(const std::function<void()>& f)
{
    try {
        f();
    } catch (const DbError& e) {
        return e.description();
    }
    return {};
}

std::string executable(const orvtest::TempDir& dir, const std::string& name, const std::string& script)
{
    const std::string path = dir.file(name);
    orvtest::writeFileBytes(path, script);
    std::filesystem::permissions(path, std::filesystem::perms::owner_all);
    return path;
}

const InProcessCatalogue inProcess;
const IsolatedCatalogue isolated(ORV_QUERY_EXE);

std::unique_ptr<Database> OpenDatabase(const std::string& path) { return orv::OpenDatabase(inProcess, path); }

// Runs each test twice: reading in this process, and through the child reader.
class EngineTest : public ::testing::TestWithParam<bool> {
protected:
    std::unique_ptr<Database> OpenDatabase(const std::string& path) const
    {
        return orv::OpenDatabase(GetParam() ? static_cast<const CatalogueSource&>(isolated) : inProcess, path);
    }
};

} // namespace

TEST_P(EngineTest, CatalogueValuesEqualTheCsvWithNullKeptApart)
{
    std::vector<std::string> header;
    const auto expected = orvtest::readFixtureCsv("tevox20.csv", &header);
    auto db = OpenDatabase(dataPath("tevox20.mdb"));
    auto rs = db->OpenRecordset("SELECT * FROM tevoxB;");
    ASSERT_EQ(rs->FieldNames(), header);
    const auto got = allRows(*rs);
    ASSERT_EQ(got.size(), 80u);
    for (size_t r = 0; r < got.size(); ++r)
        ASSERT_EQ(got[r], expected[r]) << "row " << r + 1;
    EXPECT_EQ(got[1][1], std::optional<std::string>("")); // row 2: empty text
    EXPECT_EQ(got[2][1], std::nullopt); // row 3: Null
}

TEST_P(EngineTest, TypedCatalogueGivesNumbersAndDates)
{
    auto db = OpenDatabase(dataPath("tevox20-typed.mdb"));
    auto rs = db->OpenRecordset("SELECT * FROM tevoxB ORDER BY gt_cdno;");
    ASSERT_EQ(rs->RecordCount(), 20);
    EXPECT_TRUE(rs->Fields("gt_cdno").isInteger());
    EXPECT_EQ(rs->Fields("gt_cdno").toText(), "0");
    EXPECT_TRUE(rs->Fields("gt_cdnod").isNull());
    rs->MoveNext();
    EXPECT_EQ(rs->Fields("gt_cdno").toText(), "1");
    EXPECT_EQ(rs->Fields("gt_cdnod").toText(), "1997/04/01");
    // The volume list reads a numeric CD number as text.
    auto vols = db->OpenRecordset("SELECT gt_cdno, COUNT(*) as cnt FROM tevoxB GROUP BY gt_cdno ORDER BY gt_cdno ;");
    ASSERT_EQ(vols->RecordCount(), 6);
    EXPECT_EQ(vols->ValueAt(5, 0).toText(), "5");
    EXPECT_EQ(vols->ValueAt(5, 1).toText(), "3");
    auto like = db->OpenRecordset("SELECT * FROM tevoxB WHERE (gt_cdno LIKE '*3*');");
    EXPECT_EQ(like->RecordCount(), 4);
}

TEST_P(EngineTest, BadFilesGiveTheirErrors)
{
    EXPECT_EQ(errorOf([&] { OpenDatabase(dataPath("bad/missing.mdb")); }), dberr::FileNotFound);
    for (const char* f : {"bad/empty.mdb", "bad/text.mdb", "bad/truncated.mdb", "bad/zeroed-page.mdb"})
        EXPECT_EQ(errorOf([&] { OpenDatabase(dataPath(f)); }), dberr::UnrecognizedFormat) << f;
    EXPECT_EQ(errorOf([&] { OpenDatabase(dataPath("real/ASampleDatabase.accdb")); }), dberr::UnsupportedFormat);
    auto noTable = OpenDatabase(dataPath("bad/no-table.mdb"));
    EXPECT_EQ(errorOf([&] { noTable->OpenRecordset("SELECT * FROM tevoxB;"); }), dberr::TableNotFound);
    EXPECT_EQ(noTable->OpenRecordset("SELECT * FROM other;")->RecordCount(), 3);
    EXPECT_EQ(OpenDatabase(dataPath("bad/rows0.mdb"))->OpenRecordset("SELECT * FROM tevoxB;")->RecordCount(), 0);
    EXPECT_EQ(OpenDatabase(dataPath("bad/fields14.mdb"))->OpenRecordset("SELECT * FROM tevoxB;")->FieldCount(), 14);
    auto f16 = OpenDatabase(dataPath("bad/fields16.mdb"))->OpenRecordset("SELECT * FROM tevoxB;");
    ASSERT_EQ(f16->FieldCount(), 16);
    EXPECT_EQ(f16->FieldName(15), "gt_extra");
    EXPECT_EQ(f16->Fields(15).toText(), "extra-001");
}

// Opening a catalogue named like one that is not a regular file fails at once: a FIFO nobody
// writes to would otherwise block the program for ever.
TEST_P(EngineTest, OnlyRegularFilesAreOpened)
{
    orvtest::TempDir dir;
    ASSERT_EQ(::mkfifo(dir.file("tevox20.mdb").c_str(), 0600), 0);
    for (const std::string& path : {dir.file("tevox20.mdb"), dir.path().string(), std::string("/dev/zero")}) {
        EXPECT_EQ(errorOf([&] { OpenDatabase(path); }), dberr::UnrecognizedFormat) << path;
        EXPECT_EQ(errorText([&] { OpenDatabase(path); }), "'" + path + "' は通常のファイルではありません。");
    }
}

// A Jet file cut short or with a page overwritten fails the open instead of showing part of
// the list as if it were all of it.
TEST_P(EngineTest, DamagedCatalogueFailsTheOpen)
{
    const std::string whole = orvtest::readFileBytes(dataPath("tevox20.mdb"));
    std::string foreign = whole;
    foreign[29 * 4096] = 2; // one of tevoxB's data pages made a table definition
    orvtest::TempDir dir;
    for (const std::string& bytes : {whole.substr(0, 33 * 4096), whole.substr(0, 29 * 4096), foreign}) {
        orvtest::writeFileBytes(dir.file("tevox20.mdb"), bytes);
        EXPECT_EQ(errorOf([&] { OpenDatabase(dir.file("tevox20.mdb")); }), dberr::DamagedFile);
    }
}

// OLE objects read as binary values, not Null: every employee of nwind.mdb has a photo.
TEST_P(EngineTest, BinaryFieldsAreBinaryValues)
{
    auto db = OpenDatabase(dataPath("real/nwind.mdb"));
    auto photos = db->OpenRecordset("SELECT * FROM Employees WHERE Photo IS NOT NULL;");
    EXPECT_EQ(photos->RecordCount(), db->OpenRecordset("SELECT * FROM Employees;")->RecordCount());
    ASSERT_GT(photos->RecordCount(), 0);
    const Value photo = photos->Fields("Photo");
    ASSERT_TRUE(photo.isBinary());
    EXPECT_GT(std::get<Bytes>(photo.v).data.size(), 1000u);
    EXPECT_EQ(photo.toText().substr(0, 6), "0x151C");
    auto picture = db->OpenRecordset("SELECT CategoryName, Picture FROM Categories;");
    EXPECT_TRUE(picture->Fields(1).isBinary());
}

// A plain SQLite catalogue is read table by table; a snapshot of ours reads back as it was
// saved.
TEST_P(EngineTest, SnapshotAndSqliteCataloguesReadBack)
{
    orvtest::TempDir dir;
    auto db = orv::OpenDatabase(inProcess, dataPath("tevox20.mdb"));
    db->saveSnapshot(dir.file("snap.sqlite"));
    auto again = OpenDatabase(dir.file("snap.sqlite"));
    auto a = db->OpenRecordset("SELECT * FROM tevoxB ORDER BY gt_maker;");
    auto b = again->OpenRecordset("SELECT * FROM tevoxB ORDER BY gt_maker;");
    EXPECT_EQ(b->FieldNames(), a->FieldNames());
    EXPECT_EQ(allRows(*a), allRows(*b));
    auto typed = orv::OpenDatabase(inProcess, dataPath("tevox20-typed.mdb"));
    typed->saveSnapshot(dir.file("typed.sqlite"));
    auto typedAgain = OpenDatabase(dir.file("typed.sqlite"))->OpenRecordset("SELECT * FROM tevoxB ORDER BY gt_cdno;");
    EXPECT_TRUE(typedAgain->Fields("gt_cdno").isInteger());
    EXPECT_EQ(typedAgain->ValueAt(1, 10).toText(), "1997/04/01");

    sqlite3* s = nullptr;
    ASSERT_EQ(sqlite3_open(dir.file("plain.db").c_str(), &s), SQLITE_OK);
    sqlite3_exec(s,
                 "CREATE TABLE tevoxB (gt_cdno TEXT, gt_new TEXT, n INTEGER, pic BLOB);"
                 "INSERT INTO tevoxB VALUES ('001', '♪', 5, x'00FF'), ('002', NULL, 7, NULL), (3, 'x', NULL, NULL);",
                 nullptr, nullptr, nullptr);
    sqlite3_close(s);
    auto plain = OpenDatabase(dir.file("plain.db"));
    auto rs = plain->OpenRecordset("SELECT * FROM tevoxB WHERE gt_new = '♪' OR gt_new IS NULL;");
    EXPECT_EQ(rs->RecordCount(), 2);
    EXPECT_EQ(rs->Fields("pic"), Value::binary(std::string("\0\xff", 2)));
    auto num = plain->OpenRecordset("SELECT * FROM tevoxB WHERE gt_cdno = '3';");
    ASSERT_EQ(num->RecordCount(), 1); // a number stored in a text column reads as text
    EXPECT_TRUE(num->Fields("gt_cdno").isText());
}

// Of an SQLite file only the stored columns of ordinary tables are copied, in table order:
// generated columns, views, triggers and virtual tables never run, and an index never decides
// the order.
TEST_P(EngineTest, SqliteCatalogueGivesStoredColumnsOfOrdinaryTablesOnly)
{
    orvtest::TempDir dir;
    sqlite3* s = nullptr;
    ASSERT_EQ(sqlite3_open(dir.file("shapes.db").c_str(), &s), SQLITE_OK);
    ASSERT_EQ(
        sqlite3_exec(s,
                     "CREATE TABLE tevoxB (gt_cdno TEXT, twice TEXT GENERATED ALWAYS AS (gt_cdno || gt_cdno) STORED,"
                     " gt_game TEXT, shout TEXT GENERATED ALWAYS AS (upper(gt_game)) VIRTUAL);"
                     "INSERT INTO tevoxB (gt_cdno, gt_game) VALUES ('002', 'b'), ('001', 'a'), ('003', 'c');"
                     "CREATE INDEX byGame ON tevoxB (gt_game DESC, gt_cdno);"
                     "CREATE TABLE pairs (k TEXT PRIMARY KEY, v INTEGER) WITHOUT ROWID;"
                     "INSERT INTO pairs VALUES ('y', 2), ('x', 1);"
                     "CREATE VIEW everything AS SELECT * FROM tevoxB;"
                     "CREATE TRIGGER noisy AFTER INSERT ON pairs BEGIN SELECT 1; END;"
                     "CREATE VIRTUAL TABLE words USING fts5(w);"
                     "INSERT INTO words VALUES ('max life');",
                     nullptr, nullptr, nullptr),
        SQLITE_OK)
        << sqlite3_errmsg(s);
    sqlite3_close(s);
    auto db = OpenDatabase(dir.file("shapes.db"));
    std::vector<std::string> tables;
    for (const auto& t : db->schema().tables)
        tables.push_back(t.name);
    EXPECT_EQ(tables, (std::vector<std::string>{"tevoxB", "pairs"}));
    auto rs = db->OpenRecordset("SELECT * FROM tevoxB;");
    EXPECT_EQ(rs->FieldNames(), (std::vector<std::string>{"gt_cdno", "gt_game"}));
    EXPECT_EQ(allRows(*rs),
              (std::vector<std::vector<std::optional<std::string>>>{{"002", "b"}, {"001", "a"}, {"003", "c"}}));
    EXPECT_EQ(db->OpenRecordset("SELECT * FROM pairs;")->ValueAt(0, 0).toText(), "x");
}

// A table with more columns than the engine holds (a text column takes two, its value and its
// key) is left out: the other tables open, and a statement naming it gets the unknown-table
// error, saying why.
TEST_P(EngineTest, TablesTooWideToHoldAreLeftOut)
{
    orvtest::TempDir dir;
    auto make = [&](const std::string& file, int tevoxColumns, int wideColumns) {
        sqlite3* s = nullptr;
        ASSERT_EQ(sqlite3_open(dir.file(file).c_str(), &s), SQLITE_OK);
        auto table = [&](const std::string& name, int columns) {
            std::string create = "CREATE TABLE " + name + " (";
            for (int i = 0; i < columns; ++i)
                create += (i ? ", c" : "c") + std::to_string(i) + " TEXT";
            create += "); INSERT INTO " + name + " (c0) VALUES ('x');";
            ASSERT_EQ(sqlite3_exec(s, create.c_str(), nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(s);
        };
        table("tevoxB", tevoxColumns);
        if (wideColumns)
            table("wide", wideColumns);
        sqlite3_close(s);
    };
    make("other.db", 15, 1001);
    make("tevox.db", 2000, 0);
    make("edge.db", 15, 1000);

    auto db = OpenDatabase(dir.file("other.db"));
    EXPECT_EQ(db->OpenRecordset("SELECT * FROM tevoxB")->RecordCount(), 1);
    EXPECT_EQ(errorOf([&] { db->OpenRecordset("SELECT * FROM wide"); }), dberr::TableNotFound);
    EXPECT_EQ(errorText([&] { db->OpenRecordset("SELECT * FROM WIDE"); }),
              "入力テーブル 'wide' は列が多すぎるため (1001 列) 読み込まれていません。");
    auto tevox = OpenDatabase(dir.file("tevox.db"));
    EXPECT_EQ(errorOf([&] { tevox->OpenRecordset("SELECT * FROM tevoxB"); }), dberr::TableNotFound);
    EXPECT_NE(errorText([&] { tevox->OpenRecordset("SELECT c0 FROM tevoxB"); }).find("'tevoxB' は列が多すぎる"),
              std::string::npos);
    auto edge = OpenDatabase(dir.file("edge.db"))->OpenRecordset("SELECT c0, c999 FROM wide");
    EXPECT_EQ(edge->Fields("c0").toText(), "x");
    EXPECT_TRUE(edge->Fields("c999").isNull());
}

// Catalogues made to hang or exhaust the program when read (tests/data/hostile, see
// make-hostile.py there) open at once with their plain contents, or fail.
TEST_P(EngineTest, HostileSqliteCataloguesNeitherHangNorGrow)
{
    std::vector<std::string> fields;
    orvtest::readFixtureCsv("tevox20.csv", &fields);
    // A generated column costing a second and 100 MB per entry, a recursive view, a trigger.
    auto slow = OpenDatabase(dataPath("hostile/generated-slow.sqlite"))->OpenRecordset("SELECT * FROM tevoxB;");
    EXPECT_EQ(slow->RecordCount(), 1000);
    EXPECT_EQ(slow->FieldNames(), fields);
    EXPECT_EQ(slow->Fields("gt_game").toText(), "Game 0");
    // A generated column of 900 MB per entry.
    auto huge = OpenDatabase(dataPath("hostile/generated-huge.sqlite"))->OpenRecordset("SELECT * FROM tevoxB;");
    EXPECT_EQ(huge->RecordCount(), 3);
    EXPECT_EQ(huge->FieldNames(), fields);
    // A snapshot whose record names a column with a recursive query that never ends: the names
    // a file gives are names, never SQL.
    EXPECT_EQ(errorOf([&] {
                  OpenDatabase(dataPath("hostile/recursive-name.sqlite"))->OpenRecordset("SELECT * FROM tevoxB;");
              }),
              dberr::UnrecognizedFormat);
}

INSTANTIATE_TEST_SUITE_P(InProcessAndChild, EngineTest, ::testing::Bool());

TEST(Engine, CursorSemanticsAtBothEndsAndOnEmptyResults)
{
    auto db = OpenDatabase(dataPath("tevox20.mdb"));
    auto rs = db->OpenRecordset("SELECT * FROM tevoxB WHERE gt_cdno = '001';");
    ASSERT_EQ(rs->RecordCount(), 7);
    EXPECT_EQ(rs->AbsolutePosition(), 0);
    EXPECT_FALSE(rs->BOF());
    rs->MovePrevious();
    EXPECT_TRUE(rs->BOF());
    EXPECT_EQ(rs->AbsolutePosition(), -1);
    EXPECT_EQ(errorOf([&] { rs->Fields("gt_game"); }), dberr::NoCurrentRecord);
    EXPECT_EQ(errorOf([&] { rs->MovePrevious(); }), dberr::NoCurrentRecord);
    rs->MoveLast();
    EXPECT_EQ(rs->AbsolutePosition(), 6);
    rs->MoveNext();
    EXPECT_TRUE(rs->IsEOF());
    EXPECT_EQ(errorOf([&] { rs->MoveNext(); }), dberr::NoCurrentRecord);
    rs->MoveFirst();
    EXPECT_EQ(rs->Fields("GT_CDNO").toText(), "001"); // field names without regard to case
    EXPECT_EQ(errorOf([&] { rs->Fields("no_such_field"); }), 3265);

    auto empty = db->OpenRecordset("SELECT * FROM tevoxB WHERE gt_cdno = 'none';");
    EXPECT_EQ(empty->RecordCount(), 0);
    EXPECT_TRUE(empty->BOF());
    EXPECT_TRUE(empty->IsEOF());
    EXPECT_EQ(empty->AbsolutePosition(), -1);
    EXPECT_EQ(errorOf([&] { empty->MoveFirst(); }), dberr::NoCurrentRecord);
    EXPECT_EQ(errorOf([&] { empty->MoveLast(); }), dberr::NoCurrentRecord);
    EXPECT_EQ(empty->FieldCount(), 15); // an empty result still has its fields
}

// A text joined with + or & folds as one text: a voicing mark starting one part combines with
// the kana ending the part before it, as inside one text, whether the rows are picked from the
// store or by SQLite. (gt_new is empty text on 5 rows and Null on 47; gt_f_s empty on 14.)
TEST(Engine, JoinedTextsFoldAsOneText)
{
    auto db = OpenDatabase(dataPath("tevox20.mdb"));
    auto count = [&](const std::string& where) {
        return db->OpenRecordset("SELECT * FROM tevoxB WHERE " + where)->RecordCount();
    };
    EXPECT_EQ(count("'ｶ'+'ﾞ' = 'ｶﾞ'"), 80);
    EXPECT_EQ(count("'ｶ' & 'ﾞ' = 'ガ'"), 80);
    EXPECT_EQ(count("'は' + 'ﾟ' LIKE 'ﾊﾟ'"), 80);
    EXPECT_EQ(count("'ｶ' + gt_new + 'ﾞ' = 'ガ'"), 5);
    EXPECT_EQ(count("gt_pf + 'ｶ' + gt_f_s + 'ﾞ' LIKE '*ガ'"), 14);
    EXPECT_EQ(count("'ｶﾞ' + 'ﾞ' = 'ガ' + '゛'"), 80) << "a mark already taken";
    EXPECT_EQ(count("'ｶ' + ' ' + 'ﾞ' = 'ガ'"), 0);
    EXPECT_EQ(db->OpenRecordset("SELECT gt_pf FROM tevoxB WHERE 'ｶ'+'ﾞ' = 'ｶﾞ'")->RecordCount(), 80);
    // Parts that cannot meet that way still match through their keys: the search's own join.
    EXPECT_EQ(count("gt_str1+' '+gt_str2 LIKE '*ライフ*'"),
              count("gt_str1 LIKE '*ライフ*' OR gt_str2 LIKE '*ライフ*'"));

    // Columns whose values start with a mark.
    orvtest::TempDir dir;
    sqlite3* s = nullptr;
    ASSERT_EQ(sqlite3_open(dir.file("marks.db").c_str(), &s), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(s,
                           "CREATE TABLE tevoxB (a TEXT, b TEXT);"
                           "INSERT INTO tevoxB VALUES ('ｶ', 'ﾞ'), ('ｶ', 'x'), ('は', 'ﾟﾟ'), ('', 'ﾞ');",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(s);
    auto marks = OpenDatabase(dir.file("marks.db"));
    EXPECT_EQ(marks->OpenRecordset("SELECT * FROM tevoxB WHERE a + b = 'ガ'")->RecordCount(), 1);
    EXPECT_EQ(marks->OpenRecordset("SELECT * FROM tevoxB WHERE a & b LIKE 'パ*'")->RecordCount(), 1);
    EXPECT_EQ(marks->OpenRecordset("SELECT * FROM tevoxB WHERE b + a + b LIKE '*ガ*'")->RecordCount(), 1);
}

// An expression nested deeper than SQLite's parser takes is the engine's own error, whether the
// planner or SQLite would run the statement; a little less nesting runs. (38 NOT: no negation.)
TEST(Engine, ExpressionsTooDeepForSqliteAreTooComplex)
{
    auto db = OpenDatabase(dataPath("tevox20.mdb"));
    std::string nots;
    for (int i = 0; i < 45; ++i)
        nots += "NOT ";
    for (const std::string select : {"SELECT * FROM tevoxB WHERE ", "SELECT gt_pf FROM tevoxB WHERE "}) {
        const std::string deep = select + nots + "gt_pf = 'PC'";
        EXPECT_EQ(errorOf([&] { db->OpenRecordset(deep); }), dberr::QueryTooComplex) << select;
        EXPECT_EQ(errorText([&] { db->OpenRecordset(deep); }), "クエリが複雑すぎます。");
        EXPECT_EQ(db->OpenRecordset(select + nots.substr(0, 38 * 4) + "gt_pf = 'PC'")->RecordCount(), 13) << select;
    }
}

// What a statement can meet inside SQLite comes in the catalogue's own words, never SQLite's: a
// sum past 64 bits, more sort or group fields than a recordset has fields.
TEST(Engine, EngineFailuresAreTheCataloguesOwnErrors)
{
    auto db = OpenDatabase(dataPath("tevox20-typed.mdb")); // 20 rows
    const auto overflow = [&] { db->OpenRecordset("SELECT SUM(9223372036854775807) FROM tevoxB;"); };
    EXPECT_EQ(errorOf(overflow), dberr::NumericOverflow);
    EXPECT_EQ(errorText(overflow), "数値フィールドのオーバーフローです。");
    auto sum = db->OpenRecordset("SELECT SUM(461168601842738790) FROM tevoxB;");
    EXPECT_EQ(sum->Fields(0).toText(), "9223372036854775800"); // just below the largest
    std::string fields = "gt_pf";
    for (int i = 1; i < 255; ++i)
        fields += ", gt_pf";
    for (const std::string clause : {" GROUP BY ", " ORDER BY "}) {
        EXPECT_EQ(db->OpenRecordset("SELECT gt_pf FROM tevoxB" + clause + fields)->FieldCount(), 1) << clause;
        const auto tooMany = [&] { db->OpenRecordset("SELECT gt_pf FROM tevoxB" + clause + fields + ", gt_new"); };
        EXPECT_EQ(errorOf(tooMany), dberr::TooManyFields) << clause;
        EXPECT_EQ(errorText(tooMany), "定義されているフィールドが多すぎます。") << clause;
    }
}

TEST(Engine, RecordsetOutlivesItsDatabase)
{
    std::unique_ptr<Recordset> rs;
    {
        auto db = OpenDatabase(dataPath("tevox20.mdb"));
        rs = db->OpenRecordset("SELECT * FROM tevoxB ORDER BY gt_game DESC;");
    }
    EXPECT_EQ(rs->RecordCount(), 80);
    EXPECT_FALSE(rs->Fields("gt_game").isNull());
}

TEST(EngineIsolation, CrashingOrHangingReaderBecomesAnOpenFailure)
{
    orvtest::TempDir dir;
    const std::string crash = executable(dir, "crash.sh", "#!/bin/sh\nkill -SEGV $$\n");
    const std::string hang = executable(dir, "hang.sh", "#!/bin/sh\nexec sleep 30\n");
    // A reader that never stops sending rows (a loop in the file's page chain): a table of no
    // columns, then row after row.
    const std::string flood = executable(dir, "flood.sh",
                                         "#!/bin/sh\nprintf 'T\\001\\000\\000\\000t\\000\\000\\000\\000'\n"
                                         "exec yes R | tr -d '\\n'\n");
    const std::string file = dataPath("tevox20.mdb");

    EXPECT_EQ(errorOf([&] { orv::OpenDatabase(IsolatedCatalogue(crash), file); }), dberr::UnrecognizedFormat);
    EXPECT_EQ(errorText([&] { orv::OpenDatabase(IsolatedCatalogue(hang, 300), file); }),
              "データベース '" + file + "' の読み取りが応答しなくなったため中止しました。");
    EXPECT_EQ(errorOf([&] { orv::OpenDatabase(IsolatedCatalogue(flood), file); }), dberr::UnrecognizedFormat);
}

// A read the program no longer waits for (it is closing) ends at once, its child with it: the
// stop descriptor turns readable while a reader child works on, long before any of its limits.
TEST(EngineIsolation, AStopEndsTheReadAndItsChild)
{
    orvtest::TempDir dir;
    // The reader says it has started through a pipe, then works on for longer than the read's
    // limit (a read not stopped ends at that limit, with another error).
    const std::string started = dir.file("started");
    ASSERT_EQ(::mkfifo(started.c_str(), 0600), 0);
    const std::string slow = executable(dir, "slow.sh", "#!/bin/sh\necho $$ > '" + started + "'\nexec sleep 120\n");
    int stop[2];
    ASSERT_EQ(::pipe(stop), 0);
    pid_t child = 0;
    std::thread signal([&] {
        std::ifstream said(started);
        said >> child;
        [[maybe_unused]] const auto n = ::write(stop[1], "x", 1);
    });
    const std::string file = dataPath("tevox20.mdb");
    EXPECT_EQ(errorOf([&] { orv::OpenDatabase(IsolatedCatalogue(slow, 60000, stop[0]), file); }), dberr::ReadStopped);
    signal.join();
    ASSERT_GT(child, 0);
    EXPECT_NE(::kill(child, 0), 0) << "the reader child is gone";
    // Once stopped, later reads stop at once too.
    EXPECT_EQ(errorOf([&] { orv::OpenDatabase(IsolatedCatalogue(ORV_QUERY_EXE, 60000, stop[0]), file); }),
              dberr::ReadStopped);
    ::close(stop[0]);
    ::close(stop[1]);
}

// A reader that cannot be started fails the open: the untrusted file is never read in the
// program's own process instead.
TEST(EngineIsolation, ReaderThatCannotStartFailsTheOpen)
{
    orvtest::TempDir dir;
    orvtest::writeFileBytes(dir.file("not-executable"), "#!/bin/sh\nexit 0\n");
    const std::string file = dataPath("tevox20.mdb");
    for (const std::string& exe : {dir.file("no-such-program"), dir.file("not-executable"), std::string()}) {
        EXPECT_EQ(errorOf([&] { orv::OpenDatabase(IsolatedCatalogue(exe), file); }), dberr::ReaderFailure) << exe;
        EXPECT_NE(errorText([&] { orv::OpenDatabase(IsolatedCatalogue(exe), file); }).find("起動できません"),
                  std::string::npos);
    }
}

// Ctrl+C in a terminal signals the whole foreground process group; the program then closes in
// good order once its load is done, so the reader must not be in that group to die mid-read.
TEST(EngineIsolation, ReaderIsInAProcessGroupOfItsOwn)
{
    orvtest::TempDir dir;
    const std::string reader = executable(dir, "own-group.sh",
                                          "#!/bin/sh\n"
                                          "mine=$(cut -d' ' -f5 /proc/$$/stat)\n"
                                          "theirs=$(cut -d' ' -f5 /proc/$PPID/stat)\n"
                                          "[ \"$mine\" != \"$theirs\" ] || exit 1\n"
                                          "exec '" ORV_QUERY_EXE "' \"$@\"\n");
    EXPECT_EQ(errorOf([&] { orv::OpenDatabase(IsolatedCatalogue(reader), dataPath("tevox20.mdb")); }), 0);
}

#if defined(__SANITIZE_ADDRESS__)
#define ORV_TEST_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ORV_TEST_ASAN 1
#endif
#endif

// The reader of a 143 KB file may take 256 MB and 16 times the file, no more: a reader that
// needs 400 MB to read it is stopped.
TEST(EngineIsolation, ReaderMemoryIsLimitedByTheFileSize)
{
    EXPECT_EQ(ReaderMemoryLimit(0), 256u << 20);
    EXPECT_EQ(ReaderMemoryLimit(3u << 20), (256u << 20) + (48u << 20));
#ifdef ORV_TEST_ASAN
    GTEST_SKIP() << "no address-space limit under AddressSanitizer";
#else
    orvtest::TempDir dir;
    const std::string greedy = executable(dir, "greedy.sh",
                                          "#!/bin/sh\n"
                                          "dd if=/dev/zero of=/dev/null bs=400M count=1 2>/dev/null || exit 1\n"
                                          "printf D\n");
    const std::string modest = executable(dir, "modest.sh",
                                          "#!/bin/sh\n"
                                          "dd if=/dev/zero of=/dev/null bs=100M count=1 2>/dev/null || exit 1\n"
                                          "printf D\n");
    const std::string file = dataPath("tevox20.mdb");
    EXPECT_EQ(errorOf([&] { orv::OpenDatabase(IsolatedCatalogue(greedy), file); }), dberr::UnrecognizedFormat);
    EXPECT_EQ(errorOf([&] { orv::OpenDatabase(IsolatedCatalogue(modest), file); }), 0);
#endif
}
