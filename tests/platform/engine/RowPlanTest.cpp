// The rows a statement selects without SQL must be exactly the rows its translated SQL selects
// over the same table store, in the same order: every case runs each route the engine's dispatch
// (findTableRows) takes, the plan alone, SQL selecting with the plan sorting, and SQL alone, and
// compares.
#include "platform/engine/CatalogImporter.h"
#include "platform/engine/RowPlanEval.h"
#include "platform/engine/StoreModule.h"
#include "platform/engine/TableRows.h"
#include "platform/engine/TableStore.h"
#include "platform/jet/JetSql.h"
#include "platform/jet/JetText.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <memory>
#include <optional>
#include <random>
#include <string>
#include <vector>

using namespace orv;

namespace {

using Row = std::vector<std::optional<std::string>>;

const char* const kFields[] = {"gt_pf", "gt_new", "gt_str1", "gt_str2", "gt_cdno"};

class PlanTable {
public:
    explicit PlanTable(const std::vector<Row>& rows)
    {
        std::vector<SourceColumn> columns;
        for (const char* field : kFields)
            columns.push_back({field, ColumnKind::Text});
        columns.push_back({"gt_size", ColumnKind::Integer});
        CatalogImporter importer(schema_, tables_);
        importer.beginTable("tevoxB", columns);
        std::int64_t n = 0;
        for (const Row& r : rows) {
            std::vector<Value> values;
            for (const auto& v : r)
                values.push_back(v ? Value::text(*v) : Value::null());
            values.push_back(Value::integer(n++));
            importer.addRow(values);
        }
        importer.endTable();
        EXPECT_EQ(sqlite3_open(":memory:", &db_), SQLITE_OK);
        registerJetFunctions(db_);
        registerTableModule(db_, &tables_);
        attachTable(db_, 0, *tables_[0]);
    }
    ~PlanTable() { sqlite3_close(db_); }

    const TableStore& store() const { return *tables_[0]; }

    // The rows by the route asked for, or a nearer one where the statement's plan stops short.
    TableRows find(const TranslatedQuery& q, RowRoute furthest = RowRoute::Plan) const
    {
        return findTableRows(db_, q, store(), furthest);
    }

    // Every route agrees with SQL alone, the plan's own and SQL selecting the rows for the plan
    // to sort; returns the rows.
    std::vector<std::uint32_t> same(const std::string& where, const std::string& order = "") const
    {
        const TranslatedQuery q = translateJet("SELECT * FROM tevoxB" + where + order + ";", schema_);
        const TableRows sql = find(q, RowRoute::Sql);
        const TableRows sorted = find(q, RowRoute::SqlSelectsPlanSorts);
        const TableRows planned = find(q);
        EXPECT_EQ(sql.route, RowRoute::Sql);
        EXPECT_EQ(sorted.route, RowRoute::SqlSelectsPlanSorts) << where << order;
        EXPECT_EQ(planned.route, RowRoute::Plan) << where << order;
        EXPECT_EQ(sorted.rows, sql.rows) << where << order;
        EXPECT_EQ(planned.rows, sql.rows) << where << order;
        return sql.rows;
    }

    const CatalogSchema& schema() const { return schema_; }

private:
    std::vector<std::shared_ptr<TableStore>> tables_;
    CatalogSchema schema_;
    sqlite3* db_ = nullptr;
};

const std::vector<Row> kRows = {
    {"PC", "♪", "Max Life", "hp cheat", "001"},
    {std::nullopt, std::nullopt, "max life", std::nullopt, "001"}, // a Null part makes the joined text Null
    {"", "", "ＭＡＸ　ｌｉｆｅ", "ﾏｯｸｽ", "002"}, // full width, half-width kana
    {"ＰＣ", "♪", "まっくす", "マックス", "002"}, // hiragana against katakana
    {"SS", std::nullopt, "ma", "x", "003"}, // "max" only across the joining blank
    {"SS", "", "", "", "003"},
    {"PS", "♪", "ガード", "ｶﾞｰﾄﾞ", "010"},
    {"pc", std::nullopt, "life*max", "[a]", "010"},
};

TEST(RowPlan, KeywordConditionsAgreeWithSql)
{
    const PlanTable t(kRows);
    const std::string text = "gt_str1+' '+gt_str2";
    // Rows with a Null half are in no keyword result, not even a negated one.
    EXPECT_EQ(t.same(" WHERE " + text + " LIKE '*max*'"), (std::vector<std::uint32_t>{0, 2, 7}));
    EXPECT_EQ(t.same(" WHERE " + text + " NOT LIKE '*max*'"), (std::vector<std::uint32_t>{3, 4, 5, 6}));
    EXPECT_EQ(t.same(" WHERE " + text + " LIKE '*a x*'"), (std::vector<std::uint32_t>{4}));
    EXPECT_EQ(t.same(" WHERE " + text + " LIKE '*マックス*'"), (std::vector<std::uint32_t>{2, 3}));
    t.same(" WHERE " + text + " LIKE '*がーど*'");
    t.same(" WHERE gt_str1 LIKE '*'");
    t.same(" WHERE " + text + " LIKE '**'");
    t.same(" WHERE " + text + " LIKE 'max*'");
    t.same(" WHERE " + text + " LIKE '*[*]*'");
    t.same(" WHERE " + text + " LIKE '*[[]a]'");
    t.same(" WHERE " + text + " LIKE '*l?fe*' OR gt_cdno LIKE '*1#'");
    t.same(" WHERE " + text + " LIKE NULL OR gt_pf = 'SS'");
    t.same(" WHERE NOT (" + text + " LIKE NULL) OR gt_pf = 'SS'");
    t.same(" WHERE gt_str1 + NULL LIKE '*' OR gt_pf IS NULL");
    t.same(" WHERE (gt_pf IS NULL OR gt_pf='') OR (" + text + " LIKE '*max*' AND " + text + " LIKE '*life*' AND " + text
           + " LIKE '*a*' AND " + text + " LIKE '*e*')");
    t.same(" WHERE (gt_new <> '♪' OR gt_new is NULL) AND (gt_pf = 'PC' OR gt_pf = 'SS') AND (" + text
           + " LIKE '*max*' OR gt_str2 LIKE '*cheat*') AND (gt_str1 not LIKE '*life*' AND gt_str2 not LIKE '*x*')");
    t.same(" WHERE gt_new = '♪' AND (gt_cdno LIKE '*01*')");
    t.same(" WHERE gt_pf < 'q' AND gt_pf >= 'P' AND gt_pf <> 'ps'");
    // A bound equal to rows' keys (PC, ＰＣ, pc): each comparison on its right side of it.
    EXPECT_EQ(t.same(" WHERE gt_pf < 'PC'"), (std::vector<std::uint32_t>{2}));
    EXPECT_EQ(t.same(" WHERE gt_pf <= 'PC'"), (std::vector<std::uint32_t>{0, 2, 3, 7}));
    EXPECT_EQ(t.same(" WHERE gt_pf > 'PC'"), (std::vector<std::uint32_t>{4, 5, 6}));
    EXPECT_EQ(t.same(" WHERE gt_pf >= 'PC'"), (std::vector<std::uint32_t>{0, 3, 4, 5, 6, 7}));
    EXPECT_EQ(t.same(" WHERE 'PC' > gt_pf"), (std::vector<std::uint32_t>{2}));
    EXPECT_EQ(t.same(" WHERE gt_pf <> 'PC'"), (std::vector<std::uint32_t>{2, 4, 5, 6}));
    t.same(" WHERE gt_pf + gt_new > gt_cdno OR gt_str1 <= ''");
    t.same(" WHERE gt_str1+' '+gt_str2=''");
    t.same(" WHERE gt_pf IS NOT NULL AND NOT gt_new IS NULL");
}

TEST(RowPlan, SortsAgreeWithSqlOverTheSelectedRows)
{
    const PlanTable t(kRows);
    for (const char* field : kFields) {
        for (const char* dir : {"", " DESC"}) {
            t.same("", std::string(" ORDER BY ") + field + dir);
            t.same(" WHERE gt_str1 LIKE '*a*' OR gt_pf IS NULL", std::string(" ORDER BY ") + field + dir);
        }
    }
}

TEST(RowPlan, StatementsThePlanCannotExpressAreLeftToSql)
{
    const PlanTable t(kRows);
    for (const char* s : {"SELECT * FROM tevoxB ORDER BY gt_size;", "SELECT * FROM tevoxB ORDER BY gt_pf, gt_new;",
                          "SELECT DISTINCT * FROM tevoxB WHERE gt_pf = 'PC';", "SELECT gt_pf FROM tevoxB;"}) {
        const TranslatedQuery q = translateJet(s, t.schema());
        EXPECT_EQ(q.plan.reach, RowPlan::Reach::None) << s;
        if (q.rowidsOnly) {
            EXPECT_EQ(t.find(q).route, RowRoute::Sql) << s;
        }
    }
}

// A WHERE the plan cannot express leaves SQL to select the rows; the plan still sorts them.
TEST(RowPlan, ConditionsThePlanCannotExpressAreSelectedBySqlAndSortedByThePlan)
{
    const PlanTable t(kRows);
    for (const char* s :
         {"SELECT * FROM tevoxB WHERE gt_size > 3;", "SELECT * FROM tevoxB WHERE gt_size > 3 ORDER BY gt_pf;",
          "SELECT * FROM tevoxB WHERE gt_pf IN ('PC', 'ss') ORDER BY gt_str1 DESC;",
          "SELECT * FROM tevoxB WHERE gt_pf LIKE '*c' OR gt_size BETWEEN 2 AND 6 ORDER BY gt_cdno;"}) {
        const TranslatedQuery q = translateJet(s, t.schema());
        EXPECT_EQ(q.plan.reach, RowPlan::Reach::Order) << s;
        const TableRows found = t.find(q);
        EXPECT_EQ(found.route, RowRoute::SqlSelectsPlanSorts) << s;
        EXPECT_EQ(found.rows, t.find(q, RowRoute::Sql).rows) << s;
    }
    EXPECT_EQ(t.find(translateJet("SELECT * FROM tevoxB WHERE gt_size > 3 ORDER BY gt_pf;", t.schema())).rows,
              (std::vector<std::uint32_t>{7, 6, 4, 5})); // pc, PS, SS, SS
}

// Many rows: blocks of rows, runs of rows searched in one go, words that run on from one row's
// text into the next row's, and more texts in one statement than the table keeps joined.
TEST(RowPlan, LargeTablesAgreeWithSql)
{
    std::mt19937 rng(7);
    const char* const words[] = {"ma", "x", "max", "ＭＡ", "life", "ﾗｲﾌ", "らいふ", "e", "", " "};
    auto word = [&] { return std::string(words[rng() % 10]); };
    std::vector<Row> rows;
    for (int i = 0; i < 5000; ++i) {
        Row r;
        for (int f = 0; f < 5; ++f)
            r.push_back(rng() % 13 == 0 ? std::nullopt : std::optional<std::string>(word() + word()));
        rows.push_back(r);
    }
    const PlanTable t(rows);
    const std::string text = "gt_str1+' '+gt_str2";
    for (const char* w : {"max", "x", "ma", "xm", "life", "ライフ", "e m", "ee"}) {
        t.same(" WHERE " + text + " LIKE '*" + w + "*'");
        t.same(" WHERE gt_str2+gt_str1 LIKE '*" + std::string(w) + "*' AND gt_pf LIKE '*a*'");
        t.same(" WHERE gt_pf IS NULL OR " + text + " NOT LIKE '*" + w + "*'", " ORDER BY gt_str1 DESC");
    }
    std::string many;
    for (const char* a : kFields)
        for (const char* b : kFields)
            many += std::string(many.empty() ? "" : " OR ") + a + "+" + b + " LIKE '*xmax*'";
    t.same(" WHERE " + many);
}

// A table whose texts are all empty or Null holds no bytes at all.
TEST(RowPlan, TablesOfEmptyTextsAgreeWithSql)
{
    const PlanTable t({{"", "", "", std::nullopt, ""}, {std::nullopt, "", "", "", std::nullopt}});
    EXPECT_EQ(t.same(" WHERE gt_str1+' '+gt_str2 LIKE '* *'"), (std::vector<std::uint32_t>{1}));
    EXPECT_EQ(t.same(" WHERE gt_pf = '' OR gt_cdno LIKE '*x*'", " ORDER BY gt_str2 DESC"),
              (std::vector<std::uint32_t>{0}));
}

TEST(RowPlan, TextsTooLargeToJoinAreLeftToSql)
{
    const PlanTable t({{"PC", "", "a", "b", "001"}, {"SS", "", "c", "d", "002"}});
    const std::string huge(5000, 'z');
    const TranslatedQuery q =
        translateJet("SELECT * FROM tevoxB WHERE gt_str1+'" + huge + "' LIKE '*a*' ORDER BY gt_pf DESC;", t.schema());
    ASSERT_EQ(q.plan.reach, RowPlan::Reach::Condition);
    EXPECT_FALSE(selectRows(q.plan, t.store()).has_value());
    const TableRows found = t.find(q);
    EXPECT_EQ(found.route, RowRoute::SqlSelectsPlanSorts);
    EXPECT_EQ(found.rows, (std::vector<std::uint32_t>{0}));
}

} // namespace
