#include "platform/jet/JetSql.h"
#include "platform/jet/JetText.h"
#include "support/TestSupport.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <functional>
#include <optional>
#include <random>
#include <set>

using namespace orv;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

namespace {

using Row = std::vector<std::optional<std::string>>;

void bindText(sqlite3_stmt* st, int parameter, const std::string& text)
{
    sqlite3_bind_text(st, parameter, text.data(), int(text.size()), SQLITE_TRANSIENT);
}

// A table in the engine's in-memory layout (layoutTable), held in plain SQLite tables.
class JetDb {
public:
    JetDb(const std::string& tableName, const std::vector<std::pair<std::string, ColumnKind>>& fields,
          const std::vector<Row>& rows)
    {
        EXPECT_EQ(sqlite3_open(":memory:", &db_), SQLITE_OK);
        registerJetFunctions(db_);
        std::vector<SourceColumn> columns;
        for (const auto& [name, kind] : fields)
            columns.push_back({name, kind});
        CatalogTable t = layoutTable(tableName, 0, columns);
        exec("CREATE TABLE \"" + t.sqlName + "\" (" + sqlColumnList(t.columns) + ")");
        const std::vector<SqlColumn> declared = sqlColumns(t.columns);
        std::string insert = "INSERT INTO \"" + t.sqlName + "\" VALUES (?";
        for (std::size_t i = 1; i < declared.size(); ++i)
            insert += ", ?";
        sqlite3_stmt* st = nullptr;
        EXPECT_EQ(sqlite3_prepare_v2(db_, (insert + ")").c_str(), -1, &st, nullptr), SQLITE_OK);
        for (const Row& r : rows) {
            sqlite3_reset(st);
            int p = 1;
            for (const SqlColumn& c : declared) {
                const auto& v = r[std::size_t(c.column)];
                if (!v)
                    sqlite3_bind_null(st, p++);
                else if (c.key)
                    bindText(st, p++, jetFoldKey(*v));
                else if (fields[std::size_t(c.column)].second == ColumnKind::Integer)
                    sqlite3_bind_int64(st, p++, std::stoll(*v));
                else
                    bindText(st, p++, *v);
            }
            EXPECT_EQ(sqlite3_step(st), SQLITE_DONE);
        }
        sqlite3_finalize(st);
        schema.tables.push_back(std::move(t));
    }
    ~JetDb() { sqlite3_close(db_); }

    void exec(const std::string& sql)
    {
        ASSERT_EQ(sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(db_);
    }

    // Runs a translated statement and returns every row as texts.
    std::vector<Row> rows(const std::string& jet, TranslatedQuery* out = nullptr)
    {
        TranslatedQuery q = translateJet(jet, schema);
        std::vector<Row> result;
        sqlite3_stmt* st = nullptr;
        EXPECT_EQ(sqlite3_prepare_v2(db_, q.sql.c_str(), int(q.sql.size()), &st, nullptr), SQLITE_OK)
            << sqlite3_errmsg(db_) << "\n"
            << q.sql;
        while (st && sqlite3_step(st) == SQLITE_ROW) {
            Row r;
            for (int i = 0; i < sqlite3_column_count(st); ++i)
                r.push_back(
                    sqlite3_column_type(st, i) == SQLITE_NULL
                        ? std::nullopt
                        : std::optional<std::string>(reinterpret_cast<const char*>(sqlite3_column_text(st, i))));
            result.push_back(std::move(r));
        }
        sqlite3_finalize(st);
        if (out)
            *out = q;
        return result;
    }

    // Rows of a "SELECT * ..." statement as table positions (1-based).
    std::vector<int> ids(const std::string& jet)
    {
        TranslatedQuery q;
        std::vector<int> r;
        for (const Row& row : rows(jet, &q))
            r.push_back(std::stoi(*row.at(0)));
        EXPECT_TRUE(q.rowidsOnly) << jet;
        return r;
    }

    bool prepares(const std::string& sql)
    {
        sqlite3_stmt* st = nullptr;
        int rc = sqlite3_prepare_v2(db_, sql.c_str(), int(sql.size()), &st, nullptr);
        if (rc != SQLITE_OK)
            ADD_FAILURE() << sqlite3_errmsg(db_);
        sqlite3_finalize(st);
        return rc == SQLITE_OK;
    }

    CatalogSchema schema;

private:
    sqlite3* db_ = nullptr;
};

std::vector<std::pair<std::string, ColumnKind>> catalogueFields(bool typed)
{
    std::vector<std::string> header;
    orvtest::readFixtureCsv("tevox20.csv", &header);
    std::vector<std::pair<std::string, ColumnKind>> f;
    for (const std::string& h : header)
        f.emplace_back(h,
                       typed && h == "gt_cdno"        ? ColumnKind::Integer
                           : typed && h == "gt_cdnod" ? ColumnKind::DateTime
                                                      : ColumnKind::Text);
    return f;
}

class Catalogue : public ::testing::Test {
protected:
    Catalogue() : db("tevoxB", catalogueFields(false), orvtest::readFixtureCsv("tevox20.csv")) {}
    int errorOf(const std::string& jet, std::string* message = nullptr)
    {
        try {
            translateJet(jet, db.schema);
        } catch (const DbError& e) {
            if (message)
                *message = e.description();
            return e.number;
        }
        return 0;
    }
    // Table positions whose given field matches the LIKE pattern, from the fixture itself.
    std::vector<int> where(const std::string& jetCondition)
    {
        return db.ids("SELECT * FROM tevoxB WHERE " + jetCondition + ";");
    }
    JetDb db;
};

std::vector<int> sorted(std::vector<int> v, std::vector<int> more = {})
{
    v.insert(v.end(), more.begin(), more.end());
    std::sort(v.begin(), v.end());
    return v;
}

TEST_F(Catalogue, WorkedSearchExampleFindsTwoRows)
{
    EXPECT_THAT(
        where("gt_new = '♪' AND (gt_pf = 'PC' OR gt_pf = 'MSX') AND (gt_str1 LIKE '*max*' AND gt_str1 LIKE '*life*')"
              " AND (gt_file not LIKE '*demo*') AND (gt_cdno LIKE '*012*')"),
        ElementsAre(69, 77));
}

TEST_F(Catalogue, KeywordsIgnoreCaseWidthAndKanaType)
{
    EXPECT_EQ(where("gt_game LIKE '*max*'"), sorted({14, 31, 29, 56, 25, 26}));
    EXPECT_EQ(where("gt_maker LIKE '*MAX*'"), sorted({32, 53, 57}, {5, 10, 22, 33, 36, 37, 61, 69, 72, 76, 77}));
    EXPECT_EQ(where("gt_effect LIKE '*ｍａｘ*'"), sorted({3, 11, 37, 41, 63, 18, 69, 75}, {10, 21}));
    EXPECT_EQ(where("gt_file LIKE '*Max*'"), sorted({28, 64, 77}, {33, 42, 65}));
    EXPECT_EQ(where("gt_maker LIKE '*life*'"), sorted({17, 35, 59, 62, 74}));
    EXPECT_EQ(where("gt_game LIKE '*ﾗｲﾌ*'"), sorted({8, 40, 71}));
    EXPECT_EQ(where("gt_effect LIKE '*らいふ*'"), sorted({8, 53, 71, 76}));
    EXPECT_EQ(where("gt_effect LIKE '*demo*'"), sorted({6, 13, 50}, {7, 68}));
    EXPECT_EQ(where("gt_file not LIKE '*demo*'").size(), 80u - 6u);
    // Game and maker joined by a blank, all four fields: the title by "MAX Planet" with "life".
    EXPECT_EQ(
        where("gt_str1+' '+gt_str2 LIKE '*life*' AND gt_str1+' '+gt_str2 LIKE '*planet*' AND gt_game LIKE 'island*'"),
        sorted({5, 37, 69, 72, 76, 77}));
    // A joined text matches across the joins and as a whole; a Null part makes it Null.
    EXPECT_EQ(where("gt_game+' '+gt_maker LIKE '*diary max*'"), sorted({5, 37, 69, 72, 76, 77}));
    EXPECT_EQ(where("gt_game+' '+gt_maker LIKE 'island*planet'"), sorted({5, 37, 69, 72, 76, 77}));
    EXPECT_EQ(where("gt_copyright+gt_game LIKE '*'").size(), 78u); // rows 17 and 30 have no author
    EXPECT_EQ(where("gt_copyright+gt_game not LIKE '*'").size(), 0u);
    // Literal wildcards inside the data.
    EXPECT_EQ(where("gt_effect LIKE '*[*]2*'"), std::vector<int>{54});
    EXPECT_EQ(where("gt_effect LIKE '*＊2*'"), std::vector<int>{54});
    EXPECT_EQ(where("gt_effect LIKE '*[?]*'"), std::vector<int>{20});
}

TEST_F(Catalogue, FilterClausesOfTheSearchPanel)
{
    EXPECT_THAT(where("(gt_pf IS NULL OR gt_pf='')"), ElementsAre(40, 50));
    EXPECT_TRUE(where("(gt_pf IS NULL OR gt_pf='') AND (gt_str1+' '+gt_str2='')").empty());
    EXPECT_EQ(where("gt_new = '♪'").size(), 27u);
    EXPECT_EQ(where("(gt_new <> '♪' OR gt_new is NULL)").size(), 53u);
    std::vector<int> oldPc;
    auto csv = orvtest::readFixtureCsv("tevox20.csv");
    for (std::size_t i = 0; i < csv.size(); ++i)
        if (csv[i][1] != std::optional<std::string>("♪") && csv[i][2] == "PC")
            oldPc.push_back(int(i) + 1);
    EXPECT_EQ(where("(gt_new <> '♪' OR gt_new is NULL) AND (gt_pf = 'PC')"), oldPc);
    EXPECT_EQ(where("gt_pf = 'ｐｃ'").size(), 13u);
    EXPECT_THAT(where("gt_game = 'Miller''s Orchard'"), ElementsAre(3, 9, 41));
    EXPECT_THAT(where("gt_game = \"Miller's Orchard\""), ElementsAre(3, 9, 41));
    EXPECT_EQ(where("(gt_cdno LIKE '*12*')").size(), 7u);
    EXPECT_EQ(where("gt_pf IN ('pc', 'MSX') AND gt_cdno BETWEEN '011' AND '012'").size(),
              where("(gt_pf = 'PC' OR gt_pf = 'MSX') AND (gt_cdno = '011' OR gt_cdno = '012')").size());
    EXPECT_THAT(where("gt_copyright IS NULL"), ElementsAre(17, 30));
    EXPECT_EQ(where("NOT gt_copyright IS NOT NULL"), where("gt_copyright IS NULL"));
    // An apostrophe the builder does not double breaks the statement, as in Jet.
    EXPECT_EQ(errorOf("SELECT * FROM tevoxB WHERE (gt_pf = 'M'S BOX');"), dberr::SyntaxInExpression);
}

TEST_F(Catalogue, SortKeepsTableOrderOnTies)
{
    auto byPf = db.ids("SELECT * FROM tevoxB ORDER BY gt_pf;");
    ASSERT_EQ(byPf.size(), 80u);
    EXPECT_EQ(byPf[0], 40);
    EXPECT_EQ(byPf[1], 50);
    auto desc = db.ids("SELECT * FROM tevoxB ORDER BY gt_pf DESC;");
    EXPECT_EQ(desc[78], 40);
    EXPECT_EQ(desc[79], 50);
    // Within a platform the rows stay in table order, in both directions.
    auto pcAsc = where("gt_pf = 'PC'");
    auto pcInDesc = std::vector<int>();
    for (int id : desc)
        if (std::find(pcAsc.begin(), pcAsc.end(), id) != pcAsc.end())
            pcInDesc.push_back(id);
    EXPECT_EQ(pcInDesc, pcAsc);

    // Null sorts first ascending and last descending.
    auto byNew = db.ids("SELECT * FROM tevoxB ORDER BY gt_new;");
    auto nulls = where("gt_new IS NULL");
    EXPECT_EQ(std::vector<int>(byNew.begin(), byNew.begin() + 47), nulls);
    EXPECT_THAT(std::vector<int>(byNew.begin() + 47, byNew.begin() + 53), ElementsAre(2, 6, 40, 48, 59, 1));
    auto byNewDesc = db.ids("SELECT * FROM tevoxB ORDER BY gt_new DESC;");
    EXPECT_EQ(std::vector<int>(byNewDesc.end() - 47, byNewDesc.end()), nulls);

    auto byEffect = db.ids("SELECT * FROM tevoxB ORDER BY gt_effecttmp;");
    EXPECT_THAT(std::vector<int>(byEffect.begin(), byEffect.begin() + 5), ElementsAre(17, 35, 9, 29, 56));
    EXPECT_EQ(db.ids("SELECT * FROM tevoxB WHERE gt_pf = 'PS' ORDER BY gt_game DESC;").size(), 11u);
    EXPECT_EQ(db.ids("SELECT * FROM tevoxB;").size(), 80u);
    EXPECT_EQ(db.ids("SELECT * FROM tevoxB ORDER BY 1, gt_cdno;"), db.ids("SELECT * FROM tevoxB ORDER BY gt_cdno;"));
}

TEST_F(Catalogue, VolumeAndPlatformLists)
{
    TranslatedQuery q;
    auto vols = db.rows("SELECT gt_cdno, COUNT(*) as cnt FROM tevoxB GROUP BY gt_cdno ORDER BY gt_cdno ;", &q);
    EXPECT_FALSE(q.rowidsOnly);
    EXPECT_THAT(q.fieldNames, ElementsAre("gt_cdno", "cnt"));
    ASSERT_EQ(vols.size(), 14u);
    EXPECT_EQ(vols[0], (Row{"0", "1"}));
    EXPECT_EQ(vols[1], (Row{"001", "7"}));
    EXPECT_EQ(vols[12], (Row{"012", "7"}));
    EXPECT_EQ(vols[13], (Row{"ABC", "1"}));

    auto pfs = db.rows("SELECT gt_pf, COUNT(*) as cnt FROM tevoxB GROUP BY gt_pf ORDER BY gt_pf ;");
    std::vector<Row> expected = {{"", "2"},    {"GB", "11"},    {"M'S BOX", "1"}, {"MSX", "13"}, {"N64", "11"},
                                 {"PC", "13"}, {"PC-98", "10"}, {"PS", "11"},     {"SS", "8"}};
    EXPECT_EQ(pfs, expected);

    auto distinct = db.rows("SELECT DISTINCT gt_pf FROM tevoxB WHERE gt_pf LIKE 'p*';");
    EXPECT_EQ(distinct, (std::vector<Row>{{"PC"}, {"PC-98"}, {"PS"}}));
    auto grouped = db.rows(
        "SELECT gt_pf, MAX(gt_cdno), SUM(1) FROM tevoxB GROUP BY gt_pf HAVING COUNT(*) > 11 ORDER BY COUNT(*) DESC;");
    EXPECT_EQ(grouped, (std::vector<Row>{{"MSX", "ABC", "13"}, {"PC", "012", "13"}}));
}

TEST(JetSql, GroupingAndComparingIgnoreCaseAndWidth)
{
    JetDb db("t", {{"name", ColumnKind::Text}, {"n", ColumnKind::Integer}},
             {{"Max", "1"},
              {"ＭＡＸ", "2"},
              {"max", "3"},
              {"ﾗｲﾌ", "4"},
              {"らいふ", "5"},
              {std::nullopt, "6"},
              {"ｶﾞ", "7"},
              {"ガ", "8"}});
    auto groups = db.rows("SELECT name, COUNT(*) AS c, MIN(n) FROM t GROUP BY name");
    ASSERT_EQ(groups.size(), 4u);
    EXPECT_EQ(groups[0], (Row{std::nullopt, "1", "6"}));
    EXPECT_EQ(groups[1][1], "3");
    EXPECT_EQ(groups[2][1], "2"); // ガ
    EXPECT_EQ(groups[3][1], "2"); // ライフ
    EXPECT_EQ(db.ids("SELECT * FROM t WHERE name = 'MAX'"), (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(db.ids("SELECT * FROM t WHERE name > 'm' ORDER BY name DESC, n"),
              (std::vector<int>{4, 5, 7, 8, 1, 2, 3}));
    EXPECT_EQ(db.ids("SELECT DISTINCT * FROM t WHERE name LIKE 'm*'"), (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(db.rows("SELECT DISTINCT name FROM t WHERE n < 4"), (std::vector<Row>{{"Max"}}));
    EXPECT_EQ(db.rows("SELECT MIN(name) FROM t WHERE n < 6"), (std::vector<Row>{{"Max"}}));
}

// Binary order would put 'B' before 'a'.
TEST(JetSql, MinAndMaxOfTextsFollowJetsOrder)
{
    JetDb db("t", {{"name", ColumnKind::Text}, {"g", ColumnKind::Text}}, {{"a", "x"}, {"B", "x"}});
    EXPECT_EQ(db.rows("SELECT MIN(name), MAX(name) FROM t"), (std::vector<Row>{{"a", "B"}}));
    EXPECT_EQ(db.rows("SELECT g, MIN(name), MAX(name) FROM t GROUP BY g"), (std::vector<Row>{{"x", "a", "B"}}));
}

TEST(JetSql, PlusJoinsTextsAndAddsNumbers)
{
    JetDb db("t", {{"a", ColumnKind::Text}, {"b", ColumnKind::Text}, {"n", ColumnKind::Integer}},
             {{"x", "y", "1"}, {"x", std::nullopt, "2"}, {std::nullopt, std::nullopt, std::nullopt}});
    auto r = db.rows("SELECT a + b, a & b, a + ' ' + b AS j, n + 1, n * 2 / 4, -n, a + n, Len(a & b) FROM t");
    ASSERT_EQ(r.size(), 3u);
    EXPECT_EQ(r[0], (Row{"xy", "xy", "x y", "2", "0.5", "-1", "x1", "2"}));
    EXPECT_EQ(r[1], (Row{std::nullopt, "x", std::nullopt, "3", "1.0", "-2", "x2", "1"}));
    EXPECT_EQ(r[2],
              (Row{std::nullopt, std::nullopt, std::nullopt, std::nullopt, std::nullopt, std::nullopt, std::nullopt,
                   std::nullopt}));
    EXPECT_EQ(db.ids("SELECT * FROM t WHERE a + b = 'XY'"), std::vector<int>{1});
    EXPECT_EQ(db.ids("SELECT * FROM t WHERE a & b = 'X'"), std::vector<int>{2});
    EXPECT_EQ(db.rows("SELECT UCase(a), LCase('AＢ'), Left('abc', 2), Right('abc', 2), Mid('abcd', 2, 2), Trim('  q  "
                      "'), n = 1 FROM t WHERE n = 1"),
              (std::vector<Row>{{"X", "aｂ", "ab", "bc", "bc", "q", "-1"}}));
    // Characters, not bytes, up to the whole text.
    EXPECT_EQ(db.rows("SELECT Right('漢字', 1), Right('漢字', 2), Right('漢字', 5) FROM t WHERE n = 1"),
              (std::vector<Row>{{"字", "漢字", "漢字"}}));
}

TEST_F(Catalogue, FieldNamesAndNames)
{
    TranslatedQuery q;
    db.rows("SELECT [GT_CDNO], gt_pf & 'x', t.gt_game AS [Game Name], Len(gt_game) FROM tevoxB AS t WHERE t.gt_cdno = "
            "'012'",
            &q);
    EXPECT_THAT(q.fieldNames, ElementsAre("gt_cdno", "Expr1000", "Game Name", "Expr1001"));
    db.rows("select * from [TEVOXB] where TEVOXB.GT_PF = 'pc'", &q);
    EXPECT_TRUE(q.rowidsOnly);
    ASSERT_NE(q.table, nullptr);
    EXPECT_EQ(q.table->name, "tevoxB");
    ASSERT_EQ(q.fieldNames.size(), 15u);
    EXPECT_EQ(q.fieldNames[14], "gt_effecttmp");
    EXPECT_EQ(db.ids("SELECT tevoxB.* FROM tevoxB WHERE gt_cdno = '0'"), std::vector<int>{16});
    EXPECT_EQ(db.ids("SELECT * FROM tevoxB WHERE gt_cdno = '0' ;"), std::vector<int>{16});
    EXPECT_EQ(db.ids("SELECT * FROM tevoxB\tWHERE\u3000gt_cdno = '0'"), std::vector<int>{16});
}

TEST_F(Catalogue, ErrorsCarryDaoNumbers)
{
    std::string msg;
    EXPECT_EQ(errorOf("SELECT * FROM ;", &msg), dberr::SyntaxInFrom);
    EXPECT_EQ(msg, "FROM 句の構文エラーです。");
    EXPECT_EQ(errorOf("SELECT * FROM nothere;", &msg), dberr::TableNotFound);
    EXPECT_EQ(msg, "入力テーブルまたはクエリ 'nothere' が見つかりません。");
    EXPECT_EQ(errorOf("SELECT * FROM tevoxB WHERE gt_gaem = 'x';", &msg), dberr::TooFewParameters);
    EXPECT_EQ(msg, "パラメータが少なすぎます。1 を指定してください。");
    EXPECT_EQ(errorOf("SELECT nope FROM tevoxB ORDER BY zz, Nope", &msg), dberr::TooFewParameters);
    EXPECT_THAT(msg, HasSubstr("2 を指定"));
    EXPECT_EQ(errorOf("SELECT * FROM tevoxB WHERE x.gt_pf = 'PC'"), dberr::TooFewParameters);
    // A field of a table the statement does not read is an unknown name, alias or not.
    for (const char* from : {"tevoxB", "tevoxB AS t"}) {
        const std::string tail = std::string(" FROM ") + from;
        EXPECT_EQ(errorOf("SELECT nosuch.gt_game" + tail), dberr::TooFewParameters) << from;
        EXPECT_EQ(errorOf("SELECT *" + tail + " WHERE nosuch.gt_game = 'x'"), dberr::TooFewParameters) << from;
        EXPECT_EQ(errorOf("SELECT *" + tail + " ORDER BY nosuch.gt_game"), dberr::TooFewParameters) << from;
        EXPECT_EQ(errorOf("SELECT nosuch.*" + tail, &msg), dberr::TableNotFound) << from;
        EXPECT_EQ(msg, "入力テーブルまたはクエリ 'nosuch' が見つかりません。");
    }
    EXPECT_EQ(errorOf("SELECT t.*, t.gt_game FROM tevoxB AS t WHERE t.gt_pf = 'PC'"), 0);
    EXPECT_EQ(errorOf("SELECT * FROM tevoxB WHERE gt_pf = = 'PC' ORDER BY gt_pf", &msg), dberr::SyntaxInExpression);
    // Each clause once, in its order.
    EXPECT_NE(errorOf("SELECT * FROM tevoxB WHERE gt_pf = 'PC' WHERE gt_pf = 'SS'"), 0);
    EXPECT_NE(errorOf("SELECT * FROM tevoxB ORDER BY gt_pf WHERE gt_pf = 'SS'"), 0);
    EXPECT_EQ(msg, "クエリ式 'gt_pf = = 'PC'' の 構文エラー : 演算子がありません。");
    EXPECT_EQ(errorOf("SELECT * FROM tevoxB WHERE gt_pf 'PC'"), dberr::SyntaxInExpression);
    EXPECT_EQ(errorOf("SELECT * FROM tevoxB WHERE gt_pf = 'PC"), dberr::SyntaxInExpression);
    EXPECT_EQ(errorOf("SELECT * FROM tevoxB WHERE (gt_pf = 'PC'"), dberr::SyntaxInExpression);
    EXPECT_EQ(errorOf("SELECT * FROM tevoxB WHERE gt_pf = #1997/04/01#"), dberr::SyntaxInExpression);
    EXPECT_EQ(errorOf("SELECT * FROM tevoxB WHERE"), dberr::SyntaxInExpression);
    EXPECT_EQ(errorOf("SELECT * FROM tevoxB WHERE Foo(gt_pf) = 1", &msg), dberr::UndefinedFunction);
    EXPECT_EQ(errorOf("SELECT * FROM tevoxB WHERE Left(gt_pf) = 'P'"), dberr::SyntaxInExpression);
    EXPECT_EQ(errorOf("SELECT * FROM tevoxB WHER gt_pf = 'PC'"), dberr::SyntaxInFrom);
    EXPECT_EQ(errorOf("SELECT * FROM tevoxB, other"), dberr::SyntaxInFrom);
    EXPECT_EQ(errorOf("SELECT * FROM tevoxB GROUP gt_pf"), dberr::SyntaxInStatement);
    EXPECT_EQ(errorOf("SELECT * FROM tevoxB ORDER BY gt_pf WHERE gt_pf = 'PC'"), dberr::SyntaxInStatement);
    EXPECT_EQ(errorOf("SELECT * tevoxB"), dberr::SyntaxInStatement);
    EXPECT_EQ(errorOf("SELECT FROM tevoxB"), dberr::SyntaxInStatement);
    EXPECT_EQ(errorOf("SELECT * FROM tevoxB; SELECT 1"), dberr::CharactersAfterEnd);
    EXPECT_EQ(errorOf("DELETE FROM tevoxB"), dberr::InvalidStatement);
    EXPECT_EQ(errorOf(""), dberr::InvalidStatement);
    EXPECT_EQ(errorOf("SELECT gt_pf, COUNT(*) FROM tevoxB"), dberr::NotPartOfAggregate);
    EXPECT_EQ(errorOf("SELECT gt_pf FROM tevoxB GROUP BY gt_pf ORDER BY gt_game"), dberr::NotPartOfAggregate);
    EXPECT_EQ(errorOf("SELECT * FROM tevoxB WHERE COUNT(*) > 1"), dberr::AggregateInWhere);
    EXPECT_EQ(errorOf("SELECT DISTINCT gt_pf FROM tevoxB ORDER BY gt_game"), dberr::OrderByConflictsDistinct);
    EXPECT_EQ(errorOf("SELECT * FROM tevoxB WHERE gt_cdno = 12"), dberr::TypeMismatch);
    EXPECT_EQ(errorOf("SELECT * FROM tevoxB WHERE gt_cdno = 1 + 2"), dberr::TypeMismatch) << "a sum is a number";
    EXPECT_EQ(errorOf("SELECT * FROM tevoxB WHERE gt_cdno LIKE 12"), 0);
}

// A statement gives at most 255 fields, "*" counting as the table's fifteen.
TEST_F(Catalogue, FieldLimit)
{
    auto fields = [](int n) {
        std::string list = "gt_pf";
        for (int i = 1; i < n; ++i)
            list += ", gt_pf";
        return list;
    };
    EXPECT_EQ(errorOf("SELECT " + fields(255) + " FROM tevoxB"), 0);
    EXPECT_EQ(errorOf("SELECT " + fields(256) + " FROM tevoxB"), dberr::TooManyFields);
    EXPECT_EQ(errorOf("SELECT *, " + fields(240) + " FROM tevoxB"), 0);
    EXPECT_EQ(errorOf("SELECT *, " + fields(241) + " FROM tevoxB"), dberr::TooManyFields);
    EXPECT_EQ(db.rows("SELECT " + fields(255) + " FROM tevoxB WHERE gt_cdno = '0'").at(0).size(), 255u);
}

TEST_F(Catalogue, DeepOrHugeInputIsRefusedNotCrashed)
{
    std::string deep = "SELECT * FROM tevoxB WHERE " + std::string(5000, '(') + "1" + std::string(5000, ')');
    EXPECT_EQ(errorOf(deep), dberr::QueryTooComplex);
    std::string nots = "SELECT * FROM tevoxB WHERE ";
    for (int i = 0; i < 5000; ++i)
        nots += "NOT -";
    EXPECT_EQ(errorOf(nots + "1"), dberr::SyntaxInExpression);
    std::string notNot = "SELECT * FROM tevoxB WHERE ";
    for (int i = 0; i < 5000; ++i)
        notNot += "NOT ";
    EXPECT_EQ(errorOf(notNot + "1"), dberr::QueryTooComplex);
    std::string chain = "SELECT * FROM tevoxB WHERE gt_pf = ''";
    for (int i = 0; i < 3000; ++i)
        chain += " + 'a'";
    EXPECT_EQ(errorOf(chain), dberr::QueryTooComplex);
    // Long OR chains, as a search over many platforms builds, stay usable.
    std::string ors = "SELECT * FROM tevoxB WHERE gt_pf = 'PC'";
    for (int i = 0; i < 3000; ++i)
        ors += " OR gt_pf = 'X" + std::to_string(i) + "'";
    EXPECT_EQ(where(ors.substr(std::string("SELECT * FROM tevoxB WHERE ").size())).size(), 13u);
}

// Nesting is limited before SQLite's parser (a stack of 100 entries) is reached: every shape is
// refused as too complex at some depth, and accepted up to there with SQL that SQLite takes, in
// every form of statement; mixtures of shapes too.
TEST_F(Catalogue, NestingTooDeepForSqliteIsTooComplex)
{
    const std::vector<std::pair<std::string, std::string>> shapes = {
        {"NOT ", ""},     {"-", ""},          {"LEFT(", ", 2)"},     {"Len(", ")"},
        {"UCase(", ")"},  {"'a' + (", ")"},   {"1 / (", ")"},        {"'a' & (", ")"},
        {"Trim(", ")"},   {"(", " IS NULL)"}, {"(gt_pf LIKE ", ")"}, {"(gt_pf OR (", ") AND gt_new)"},
        {"IsNull(", ")"}, {"1 + (2 * ", ")"},
    };
    const std::vector<std::string> forms = {
        "SELECT * FROM tevoxB WHERE %",    "SELECT DISTINCT gt_pf FROM tevoxB WHERE %",
        "SELECT %, gt_pf FROM tevoxB",     "SELECT gt_pf, COUNT(*) FROM tevoxB GROUP BY gt_pf HAVING %",
        "SELECT * FROM tevoxB ORDER BY %", "SELECT MIN(%) FROM tevoxB",
    };
    auto statement = [](const std::string& form, const std::string& expr) {
        std::string s = form;
        return s.replace(s.find('%'), 1, expr);
    };
    // 1: translated, and SQLite takes it; 0: too complex; -1: another error.
    auto check = [&](const std::string& jet) {
        try {
            const TranslatedQuery q = translateJet(jet, db.schema);
            EXPECT_TRUE(db.prepares(q.sql)) << jet;
            return 1;
        } catch (const DbError& e) {
            EXPECT_NE(e.number, dberr::EngineFailure) << jet;
            return e.number == dberr::QueryTooComplex ? 0 : -1;
        }
    };
    for (const auto& [open, close] : shapes) {
        int deepest = 0;
        for (int depth = 1; depth <= 60; ++depth) {
            std::string expr = "gt_pf";
            for (int i = 0; i < depth; ++i)
                expr = open + expr + close;
            const int outcome = check(statement(forms[0], expr));
            EXPECT_GE(outcome, 0) << statement(forms[0], expr);
            if (outcome == 1)
                deepest = depth;
        }
        EXPECT_GE(deepest, 10) << open;
        EXPECT_LT(deepest, 60) << open;
    }
    std::mt19937 rng(45);
    int translated = 0, tooComplex = 0;
    for (int n = 0; n < 600; ++n) {
        std::string expr = "gt_pf";
        const int depth = 5 + int(rng() % 40);
        for (int i = 0; i < depth; ++i) {
            const auto& [open, close] = shapes[rng() % shapes.size()];
            expr = open + expr + close;
        }
        const int outcome = check(statement(forms[rng() % forms.size()], expr));
        translated += outcome == 1;
        tooComplex += outcome == 0;
    }
    EXPECT_GT(translated, 50);
    EXPECT_GT(tooComplex, 50);
}

// Whatever the input, translation either refuses with a DbError or gives SQL that SQLite accepts.
TEST_F(Catalogue, RandomStatementsNeverCrash)
{
    std::mt19937 rng(20240607);
    auto pick = [&](std::initializer_list<const char*> xs) { return std::string(xs.begin()[rng() % xs.size()]); };
    std::function<std::string(int)> expr = [&](int depth) -> std::string {
        if (depth <= 0 || rng() % 3 == 0)
            return pick({"gt_pf", "gt_cdno", "[gt_game]", "t.gt_new", "'x'", "'it''s'", "\"q\"", "12", "1.5e3", "NULL",
                         "TRUE", "'*a?[b-c]#'", "'ｶﾞ'", "COUNT(*)", "nope"});
        switch (rng() % 6) {
        case 0:
            return expr(depth - 1)
                + pick({" + ", " - ", " * ", " / ", " & ", " = ", " <> ", " <= ", " AND ", " OR ", " LIKE ",
                        " NOT LIKE "})
                + expr(depth - 1);
        case 1: return "(" + expr(depth - 1) + ")";
        case 2: return pick({"NOT ", "-"}) + expr(depth - 1);
        case 3: return pick({"Len(", "UCase(", "MIN(", "MAX(", "SUM(", "Trim("}) + expr(depth - 1) + ")";
        case 4: return expr(depth - 1) + pick({" IS NULL", " IS NOT NULL"});
        default: return expr(depth - 1) + " IN (" + expr(depth - 1) + ", " + expr(depth - 1) + ")";
        }
    };
    int translated = 0;
    for (int n = 0; n < 4000; ++n) {
        std::string s = "SELECT " + pick({"", "DISTINCT "})
            + (rng() % 3 ? "*" : expr(2) + pick({"", " AS a"}) + ", " + expr(2)) + " FROM tevoxB" + pick({"", " t"});
        if (rng() % 2)
            s += " WHERE " + expr(4);
        if (rng() % 4 == 0)
            s += " GROUP BY " + expr(1);
        if (rng() % 5 == 0)
            s += " HAVING " + expr(2);
        if (rng() % 3 == 0)
            s += " ORDER BY " + expr(2) + pick({"", " DESC"}) + ", " + expr(1);
        s += pick({"", ";", " ;"});
        if (rng() % 4 == 0) { // damage it
            std::size_t at = rng() % s.size();
            s.erase(at, rng() % 6);
            s.insert(std::min(at, s.size()), pick({"(", ")", "'", ",", "\xFF", "[", "WHERE", ""}));
        }
        try {
            TranslatedQuery q = translateJet(s, db.schema);
            ++translated;
            EXPECT_TRUE(db.prepares(q.sql)) << s << "\n" << q.sql;
        } catch (const DbError& e) {
            EXPECT_GE(e.number, 3000);
        }
    }
    EXPECT_GT(translated, 400);
    for (int n = 0; n < 3000; ++n) {
        std::string s;
        int len = int(rng() % 64);
        for (int i = 0; i < len; ++i)
            s += char(rng() % 256);
        try {
            translateJet(s, db.schema);
        } catch (const DbError&) {}
    }
}

TEST(JetSql, NumericColumns)
{
    auto fields = catalogueFields(true);
    auto rows = orvtest::readFixtureCsv("tevox20-typed.csv");
    JetDb db("tevoxB", fields, rows);
    auto vols = db.rows("SELECT gt_cdno, COUNT(*) as cnt FROM tevoxB GROUP BY gt_cdno ORDER BY gt_cdno ;");
    EXPECT_EQ(vols, (std::vector<Row>{{"0", "1"}, {"1", "4"}, {"2", "4"}, {"3", "4"}, {"4", "4"}, {"5", "3"}}));
    EXPECT_EQ(db.ids("SELECT * FROM tevoxB WHERE (gt_cdno LIKE '*0*')"), std::vector<int>{7});
    EXPECT_EQ(db.ids("SELECT * FROM tevoxB WHERE gt_cdno >= 5").size(), 3u);
    auto desc = db.ids("SELECT * FROM tevoxB ORDER BY gt_cdno DESC");
    EXPECT_EQ(desc.back(), 7);
    EXPECT_EQ(db.ids("SELECT * FROM tevoxB WHERE gt_cdno IN (0, 5)").size(), 4u);
    EXPECT_EQ(db.ids("SELECT * FROM tevoxB WHERE gt_cdno > .5 AND gt_cdno < 1.5").size(), 4u);
    EXPECT_EQ(db.rows("SELECT COUNT(*), SUM(gt_cdno), MAX(gt_cdno) AS biggest FROM tevoxB WHERE gt_new = '♪'"),
              (std::vector<Row>{{"7", "25", "5"}}));
    EXPECT_TRUE(db.rows("SELECT COUNT(*) FROM tevoxB HAVING COUNT(*) > 20").empty());
}

// Only text columns carry a key column; statements over Yes/No and date fields must not need one.
TEST(JetSql, LayoutKeysTextColumnsOnly)
{
    const CatalogTable t = layoutTable("tevoxB", 3,
                                       {{"gt_str1", ColumnKind::Text},
                                        {"gt_pf", ColumnKind::Boolean},
                                        {"gt_date", ColumnKind::DateTime},
                                        {"gt_cdno", ColumnKind::Integer}});
    EXPECT_EQ(t.sqlName, "t3");
    ASSERT_EQ(t.columns.size(), 4u);
    EXPECT_EQ(t.columns[0].sqlName, "c0");
    EXPECT_EQ(t.columns[0].keyName, "k0");
    for (std::size_t i = 1; i < 4; ++i) {
        EXPECT_EQ(t.columns[i].sqlName, "c" + std::to_string(i));
        EXPECT_EQ(t.columns[i].keyName, "") << t.columns[i].name;
    }
    // In SQL each value is followed by its key, as the virtual table and snapshots declare them.
    EXPECT_EQ(sqlColumnList(t.columns), R"("c0" TEXT, "k0" TEXT, "c1" TEXT, "c2" TEXT, "c3" INTEGER)");
    EXPECT_EQ(sqlColumns(t.columns).size(), 5u);
    EXPECT_EQ(sqlColumnList({}), "c_none");

    JetDb db("t", {{"name", ColumnKind::Text}, {"ok", ColumnKind::Boolean}, {"made", ColumnKind::DateTime}},
             {{"b", "1", "1997/07/01"}, {"A", "0", "1996/12/24"}, {"c", std::nullopt, std::nullopt}});
    EXPECT_EQ(db.ids("SELECT * FROM t WHERE made LIKE '1997*' OR ok = 0 ORDER BY made"), (std::vector<int>{2, 1}));
    EXPECT_EQ(db.ids("SELECT * FROM t WHERE ok IS NULL ORDER BY ok, name"), (std::vector<int>{3}));
    EXPECT_EQ(db.ids("SELECT * FROM t ORDER BY made DESC, name"), (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(db.rows("SELECT ok, COUNT(*) FROM t GROUP BY ok"),
              (std::vector<Row>{{std::nullopt, "1"}, {"0", "1"}, {"1", "1"}}));
    EXPECT_EQ(db.rows("SELECT DISTINCT made FROM t WHERE name <> 'c'"),
              (std::vector<Row>{{"1996/12/24"}, {"1997/07/01"}}));
}

} // namespace
