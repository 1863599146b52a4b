// The engine end to end: catalogue files read into memory, Jet statements, DAO cursor semantics,
// bad files, and reading in a child process.
#include "platform/Engine.h"
#include "platform/EngineIsolation.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>

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

// Runs each test twice: reading in this process, and through the child reader.
class EngineTest : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override { SetCatalogueReader(GetParam() ? ORV_QUERY_EXE : ""); }
    void TearDown() override { SetCatalogueReader(""); }
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
    EXPECT_EQ(got[1][1], std::optional<std::string>(""));   // row 2: empty text
    EXPECT_EQ(got[2][1], std::nullopt);                     // row 3: Null
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
    EXPECT_EQ(errorOf([] { OpenDatabase(dataPath("bad/missing.mdb")); }), dberr::FileNotFound);
    for (const char* f : {"bad/empty.mdb", "bad/text.mdb", "bad/truncated.mdb", "bad/zeroed-page.mdb"})
        EXPECT_EQ(errorOf([&] { OpenDatabase(dataPath(f)); }), dberr::UnrecognizedFormat) << f;
    EXPECT_EQ(errorOf([] { OpenDatabase(dataPath("real/ASampleDatabase.accdb")); }), dberr::UnsupportedFormat);
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
    EXPECT_EQ(rs->Fields("GT_CDNO").toText(), "001");   // field names without regard to case
    EXPECT_EQ(errorOf([&] { rs->Fields("no_such_field"); }), 3265);

    auto empty = db->OpenRecordset("SELECT * FROM tevoxB WHERE gt_cdno = 'none';");
    EXPECT_EQ(empty->RecordCount(), 0);
    EXPECT_TRUE(empty->BOF());
    EXPECT_TRUE(empty->IsEOF());
    EXPECT_EQ(empty->AbsolutePosition(), -1);
    EXPECT_EQ(errorOf([&] { empty->MoveFirst(); }), dberr::NoCurrentRecord);
    EXPECT_EQ(errorOf([&] { empty->MoveLast(); }), dberr::NoCurrentRecord);
    EXPECT_EQ(empty->FieldCount(), 15);   // an empty result still has its fields
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

TEST(Engine, SnapshotAndSqliteCataloguesReadBackAsTheyAre)
{
    orvtest::TempDir dir;
    auto db = OpenDatabase(dataPath("tevox20.mdb"));
    db->saveSnapshot(dir.file("snap.sqlite"));
    auto again = OpenDatabase(dir.file("snap.sqlite"));
    auto a = db->OpenRecordset("SELECT * FROM tevoxB ORDER BY gt_maker;");
    auto b = again->OpenRecordset("SELECT * FROM tevoxB ORDER BY gt_maker;");
    EXPECT_EQ(allRows(*a), allRows(*b));

    // A plain SQLite catalogue (no schema record of ours) is read table by table.
    sqlite3* s = nullptr;
    ASSERT_EQ(sqlite3_open(dir.file("plain.db").c_str(), &s), SQLITE_OK);
    sqlite3_exec(s, "CREATE TABLE tevoxB (gt_cdno TEXT, gt_new TEXT, n INTEGER);"
                    "INSERT INTO tevoxB VALUES ('001', '♪', 5), ('002', NULL, 7), (3, 'x', NULL);",
                 nullptr, nullptr, nullptr);
    sqlite3_close(s);
    auto plain = OpenDatabase(dir.file("plain.db"));
    auto rs = plain->OpenRecordset("SELECT * FROM tevoxB WHERE gt_new = '♪' OR gt_new IS NULL;");
    EXPECT_EQ(rs->RecordCount(), 2);
    auto num = plain->OpenRecordset("SELECT * FROM tevoxB WHERE gt_cdno = '3';");
    ASSERT_EQ(num->RecordCount(), 1);   // a number stored in a text column reads as text
    EXPECT_TRUE(num->Fields("gt_cdno").isText());
}

#ifndef _WIN32
TEST(EngineIsolation, CrashingOrHangingReaderBecomesAnOpenFailure)
{
    orvtest::TempDir dir;
    const std::string crash = dir.file("crash.sh"), hang = dir.file("hang.sh"), flood = dir.file("flood.sh");
    orvtest::writeFileBytes(crash, "#!/bin/sh\nkill -SEGV $$\n");
    orvtest::writeFileBytes(hang, "#!/bin/sh\nexec sleep 30\n");
    // A reader that never stops sending rows (a loop in the file's page chain): a table of no
    // columns, then row after row.
    orvtest::writeFileBytes(flood, "#!/bin/sh\nprintf 'T\\001\\000\\000\\000t\\000\\000\\000\\000'\n"
                                   "exec yes R | tr -d '\\n'\n");
    std::filesystem::permissions(crash, std::filesystem::perms::owner_all);
    std::filesystem::permissions(hang, std::filesystem::perms::owner_all);
    std::filesystem::permissions(flood, std::filesystem::perms::owner_all);
    const std::string file = dataPath("tevox20.mdb");

    SetCatalogueReader(crash);
    EXPECT_EQ(errorOf([&] { OpenDatabase(file); }), dberr::UnrecognizedFormat);
    SetCatalogueReader(hang, 300);
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(errorOf([&] { OpenDatabase(file); }), dberr::UnrecognizedFormat);
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(10));
    SetCatalogueReader(flood);
    EXPECT_EQ(errorOf([&] { OpenDatabase(file); }), dberr::UnrecognizedFormat);
    // A reader that cannot be started: the file is read here instead.
    SetCatalogueReader(dir.file("no-such-program"));
    EXPECT_EQ(OpenDatabase(file)->OpenRecordset("SELECT * FROM tevoxB;")->RecordCount(), 80);
    SetCatalogueReader("");
}
#endif
