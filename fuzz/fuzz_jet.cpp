// Arbitrary statement texts through the Jet translation and, when it succeeds, through SQLite
// over the engine's table store (all-text columns, and numeric volume with a date column), and
// every plan's rows against SQL's; the input split in two also goes through jetLike and
// jetFoldKey. Every outcome is a result or a DbError with a number and a description.
#include "platform/engine/CatalogImporter.h"
#include "platform/engine/StoreModule.h"
#include "platform/engine/TableRows.h"
#include "platform/jet/JetSql.h"
#include "platform/jet/JetText.h"

#include <sqlite3.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace {

using orv::ColumnKind;

const char* const kFields[15] = {"gt_cdno",   "gt_new",    "gt_pf",     "gt_game", "gt_maker",
                                 "gt_effect", "gt_file",   "gt_exeenv", "gt_f_s",  "gt_copyright",
                                 "gt_cdnod",  "gt_folder", "gt_str1",   "gt_str2", "gt_effecttmp"};

using Row = std::vector<std::optional<std::string>>;

// A few catalogue rows: Japanese and ASCII, Null and empty text, apostrophes, wildcard characters.
const std::vector<Row> kRows = {
    {"011", "new", "SS", "ぷにぷにパーク", "ソフトハウス雪月", "所持金・ポイント変更", "POINT.EXE", "Win95", "",
     "名無しの改造屋", "1998/02/01", "UTIL\\SS\\POINT", "ぷにぷにパーク ソフトハウス雪月",
     "所持金・ポイント変更 POINT.EXE", "03所持金・ポイント変更"},
    {"001", "", "PC-98", "月影の剣士", "アトリエ・ルミナ", "BGMテスト", "BGMTEST.EXE", "Win95/98", "F", "Mochi-P",
     "1997/04/01", "UTIL\\PC98\\BGMTEST", "月影の剣士 アトリエ・ルミナ", "BGMテスト BGMTEST.EXE", "08BGMテスト"},
    {"008", std::nullopt, "GB", "Miller's Orchard", "Pixel Foundry", "life max editor", "HPEDIT.EXE", "Win95/98", "S",
     "T.Aoba & M.Kise", "1997/11/01", "UTIL\\GB\\HPEDIT", "Miller's Orchard Pixel Foundry",
     "life max editor HPEDIT.EXE", "05life max editor"},
    {"004", "♪", "M'S BOX", "雪原の　ファンタジア", "ＭＡＸ Planet", "全武器の攻撃力*2", "SAVE EDIT.EXE", "", "",
     std::nullopt, "1997/07/01", "util\\msbox\\save edit", "雪原の　ファンタジア ＭＡＸ Planet",
     "全武器の攻撃力*2 SAVE EDIT.EXE", "02全武器の攻撃力*2"},
    {"0", std::nullopt, "", "ﾗｲﾌ･ｶﾞｰﾃﾞﾝ", "きつね堂", "謎の隠しコマンド? 解析", "PATCHER", "DOS", "F",
     "(C)1997, きつね堂", std::nullopt, "UTIL\\MISC\\PATCHER", "ﾗｲﾌ･ｶﾞｰﾃﾞﾝ きつね堂", "謎の隠しコマンド? 解析 PATCHER",
     "09謎の隠しコマンド? 解析"},
};

[[noreturn]] void finding(const char* what, std::string_view statement, const char* detail = "")
{
    std::fprintf(stderr, "%s: %s\nstatement: %.*s\n", what, detail, int(statement.size()), statement.data());
    std::abort();
}

// The rows in the engine's own table store (layoutTable's layout), read by SQLite through the
// table module.
struct Catalogue {
    sqlite3* db = nullptr;
    orv::CatalogSchema schema;
    std::vector<std::shared_ptr<orv::TableStore>> tables;

    explicit Catalogue(bool typed)
    {
        std::vector<orv::SourceColumn> columns;
        for (int i = 0; i < 15; ++i) {
            ColumnKind kind = ColumnKind::Text;
            if (typed && i == 0)
                kind = ColumnKind::Integer;
            if (typed && i == 10)
                kind = ColumnKind::DateTime;
            columns.push_back({kFields[i], kind});
        }
        orv::CatalogImporter importer(schema, tables);
        importer.beginTable("tevoxB", columns);
        for (const Row& r : kRows) {
            std::vector<orv::Value> values;
            for (int i = 0; i < 15; ++i) {
                const auto& v = r[size_t(i)];
                if (!v)
                    values.push_back(orv::Value::null());
                else if (columns[size_t(i)].kind == ColumnKind::Integer)
                    values.push_back(orv::Value::integer(std::atoll(v->c_str())));
                else
                    values.push_back(orv::Value::text(*v));
            }
            importer.addRow(values);
        }
        importer.endTable();
        if (sqlite3_open(":memory:", &db) != SQLITE_OK)
            std::abort();
        orv::registerJetFunctions(db);
        orv::registerTableModule(db, &tables);
        orv::attachTable(db, 0, *tables[0]);
        // A statement that would run for long is stopped, as an error.
        sqlite3_progress_handler(
            db, 1000, [](void* n) { return ++*static_cast<int*>(n) > 2000 ? 1 : 0; }, &steps);
    }

    void run(const std::string& statement)
    {
        orv::TranslatedQuery q;
        try {
            q = orv::translateJet(statement, schema);
        } catch (const orv::DbError& e) {
            if (e.number <= 0 || e.description().empty())
                finding("error without number or description", statement);
            return;
        }
        sqlite3_stmt* st = nullptr;
        steps = 0;
        if (sqlite3_prepare_v2(db, q.sql.c_str(), int(q.sql.size()), &st, nullptr) != SQLITE_OK) {
            // Nesting is refused before SQLite's parser would refuse it, as too complex (3360).
            const std::string_view why = sqlite3_errmsg(db);
            if (why.find("stack overflow") != std::string_view::npos || why.find("too large") != std::string_view::npos)
                finding("SQLite's own depth limit reached", statement, sqlite3_errmsg(db));
            // The engine reports this as its own failure (30001); FUZZ_JET_REPORT lists such gaps.
            report("SQLite refuses the translation", statement, q.sql);
            sqlite3_finalize(st);
            return;
        }
        if (!sqlite3_stmt_readonly(st))
            finding("translation writes", statement, q.sql.c_str());
        const size_t columns = size_t(sqlite3_column_count(st));
        if (q.rowidsOnly ? (columns != 1 || !q.table) : columns != q.fieldNames.size())
            finding("result columns differ from the field names", statement, q.sql.c_str());
        std::vector<std::uint32_t> rows; // of a rowidsOnly query
        int rc;
        while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
            for (int i = 0; i < int(columns); ++i)
                (void)sqlite3_column_text(st, i);
            if (q.rowidsOnly)
                rows.push_back(std::uint32_t(sqlite3_column_int64(st, 0) - 1));
        }
        sqlite3_finalize(st);
        if (rc != SQLITE_DONE) {
            if (rc != SQLITE_INTERRUPT)
                report("the translation fails while running", statement, q.sql);
            return;
        }
        if (q.rowidsOnly) {
            // The plan's routes find exactly the rows SQL finds, in the same order.
            samePlannedRows(statement, q, rows, orv::RowRoute::SqlSelectsPlanSorts);
            samePlannedRows(statement, q, rows, orv::RowRoute::Plan);
        }
    }

    void samePlannedRows(const std::string& statement, const orv::TranslatedQuery& q,
                         const std::vector<std::uint32_t>& bySql, orv::RowRoute furthest)
    {
        steps = 0;
        orv::TableRows found;
        try {
            found = orv::findTableRows(db, q, *tables[0], furthest);
        } catch (const orv::DbError&) {
            if (sqlite3_errcode(db) == SQLITE_INTERRUPT)
                return;
            finding("SQL selecting the rows fails", statement, q.selectSql.c_str());
        }
        if (found.rows != bySql)
            finding(found.route == orv::RowRoute::Plan ? "the plan's rows differ from SQL's"
                                                       : "SQL's rows sorted by the plan differ from SQL's",
                    statement, q.sql.c_str());
    }

    void report(const char* what, std::string_view statement, const std::string& sql)
    {
        static const bool on = std::getenv("FUZZ_JET_REPORT") != nullptr;
        if (on)
            std::fprintf(stderr, "%s: %s\nstatement: %.*s\nsql: %s\n", what, sqlite3_errmsg(db), int(statement.size()),
                         statement.data(), sql.c_str());
    }

    int steps = 0;
};

bool hasWildcard(std::string_view s) { return s.find_first_of("*?#[") != std::string_view::npos; }

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static Catalogue textLayout(false);
    static Catalogue typedLayout(true);
    const std::string statement(reinterpret_cast<const char*>(data), size);
    textLayout.run(statement);
    typedLayout.run(statement);

    // Pattern and text: split at the first NUL, or in the middle.
    const std::string_view all(statement);
    const size_t cut = all.find('\0') != std::string_view::npos ? all.find('\0') : all.size() / 2;
    const std::string_view pattern = all.substr(0, cut);
    const std::string_view text = all.substr(std::min(all.size(), cut + 1));
    const bool like = orv::jetLike(pattern, text);
    const std::string pk = orv::jetFoldKey(pattern);
    const std::string tk = orv::jetFoldKey(text);
    if (!hasWildcard(pattern) && like != (pk == tk))
        finding("jetLike without wildcards differs from comparing keys", statement);
    if (!orv::jetLike("*", text))
        finding("'*' does not match", statement);
    if (!hasWildcard(text) && !orv::jetLike(text, text))
        finding("text does not match itself", statement);
    return 0;
}
