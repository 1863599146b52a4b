// The table store's keys, worked out when a column is first compared or sorted: each the fold of
// the value's text as it was read, whatever SQLite made of the value.
#include "platform/engine/TableStore.h"
#include "platform/jet/JetFold.h"

#include <gtest/gtest.h>

using namespace orv;

namespace {

CatalogColumn column(const char* name, ColumnKind kind, const char* key)
{
    CatalogColumn c;
    c.name = name;
    c.kind = kind;
    c.sqlName = name;
    c.keyName = key;
    return c;
}

} // namespace

TEST(TableStore, KeysAreTheFoldOfEachTextAsRead)
{
    TableStore t("t", "t0",
                 {column("c0", ColumnKind::Text, "k0"), column("c1", ColumnKind::Integer, ""),
                  column("c2", ColumnKind::Text, "k2")});
    // Texts the fold changes and leaves alone, empty and Null, then values SQLite's text affinity
    // turns into text (a number as SQLite writes it, not as it was read) or keeps as a blob.
    const std::vector<Value> texts = {
        Value::text("ＡＢＣかなｶﾞ"), Value::text("abc"), Value::text(""),           Value::null(),
        Value::integer(12),          Value::real(1e20),  Value::binary("\x01\xFF"), Value::text("漢字")};
    for (std::size_t r = 0; r < texts.size(); ++r) {
        std::vector<Value> row = {texts[r], Value::integer(std::int64_t(r)), texts[texts.size() - 1 - r]};
        t.appendRow(row);
    }
    ASSERT_EQ(t.rowCount(), texts.size());
    EXPECT_EQ(t.value(0, 5), Value::text("1.0e+20")); // SQLite's text for the real
    for (int c : {0, 2}) {
        for (std::size_t r = 0; r < texts.size(); ++r) {
            const Value& read = texts[c == 0 ? r : texts.size() - 1 - r];
            if (read.isNull()) {
                EXPECT_TRUE(t.isNull(c, r));
                EXPECT_EQ(t.sqlKey(c, r).type, TableStore::Tag::Null);
                continue;
            }
            EXPECT_EQ(t.key(c, r), jetFoldKey(read.toText())) << "column " << c << " row " << r;
        }
    }
    EXPECT_EQ(t.key(0, 0), "abcカナガ");
    EXPECT_EQ(t.key(0, 5), "1e+20");
    EXPECT_EQ(t.key(0, 6), "0x01ff");
    EXPECT_FALSE(t.keyed(1));
    EXPECT_EQ(t.integer(1, 7), 7);
}
