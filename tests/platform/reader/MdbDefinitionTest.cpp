// Table definitions held against the system catalogue and against themselves, on damaged copies
// of the sample made here. (tevox20.mdb: tevoxB is defined on page 24, its column entries from
// byte 63, 25 bytes each in column order; MSysRelationships on page 5, MSysAccessStorage, a user
// table by its type byte, on page 15 with 3 rows; the system catalogue on page 2. nwind.mdb, Jet 3:
// Customers on page 77, its entries from byte 83, 18 bytes each; Employees on page 94.)
#include "MdbTestFiles.h"

#include <gtest/gtest.h>

using namespace orv;
using orvtest::expectRefused;
using orvtest::get32;
using orvtest::kPage;
using orvtest::put16;

namespace {

constexpr std::size_t kJet3Page = 2048;

std::string swapped(const std::string& whole, std::size_t pageSize, std::size_t a, std::size_t b)
{
    std::string bytes = whole;
    bytes.replace(a * pageSize, pageSize, whole, b * pageSize, pageSize);
    bytes.replace(b * pageSize, pageSize, whole, a * pageSize, pageSize);
    return bytes;
}

std::string changed(const std::string& whole, std::size_t at, unsigned char to)
{
    std::string bytes = whole;
    bytes[at] = char(to);
    return bytes;
}

// tevoxB's column entry c in tevox20.mdb and tevox20-typed.mdb: type at 0, column number at 5,
// variable-column index at 7, flags at 15, fixed offset at 21, length at 23.
constexpr std::size_t tevoxColumn(std::size_t c) { return 24 * kPage + 63 + 25 * c; }

// The first data page of the table defined on page tdef.
std::size_t firstDataPage(const std::string& bytes, std::size_t pageSize, std::uint32_t tdef)
{
    for (std::size_t p = 1; p < bytes.size() / pageSize; ++p)
        if (bytes[p * pageSize] == 1 && get32(bytes, p * pageSize + 4) == tdef)
            return p;
    return 0;
}

} // namespace

// Another table's definition where the catalogue names a table's is never read as that table's:
// a system table's by its type byte, a user table's by the owner its data pages name.
TEST(MdbDefinition, DefinitionPagesSwappedFailTheRead)
{
    const std::string sample = orvtest::readFileBytes(orvtest::dataPath("tevox20.mdb"));
    const std::string nwind = orvtest::readFileBytes(orvtest::dataPath("real/nwind.mdb"));
    const int damaged = dberr::DamagedFile;
    const struct {
        const char* what;
        std::string bytes;
        std::initializer_list<std::string> says;
    } cases[] = {
        // tevoxB would read as MSysRelationships: its 8 columns and no rows.
        {"tevoxB's and MSysRelationships' definitions swapped",
         swapped(sample, kPage, 24, 5),
         {"テーブル 'tevoxB' のページ 24 がこのテーブルの定義ではありません"}},
        {"tevoxB's and MSysAccessStorage's definitions swapped",
         swapped(sample, kPage, 24, 15),
         {"テーブル 'tevoxB' のページ 24 の定義が壊れています"}}, // a column type of its own
        {"the system catalogue's definition swapped with tevoxB's",
         swapped(sample, kPage, 2, 24),
         {"テーブル 'MSysObjects' のページ 2 がこのテーブルの定義ではありません"}},
        {"Jet 3: Customers' and MSysRelationships' definitions swapped",
         swapped(nwind, kJet3Page, 77, 5),
         {"テーブル 'Customers' のページ 77 がこのテーブルの定義ではありません"}},
        {"Jet 3: Customers' and Employees' definitions swapped",
         swapped(nwind, kJet3Page, 77, 94),
         {"がこのテーブルのデータではありません"}},
    };
    for (const auto& c : cases)
        expectRefused(c.what, c.bytes, damaged, c.says);
}

// One byte of a column entry changed so that the rows would be read wrong: a column Null in
// every row, or read from another column's bytes. (gt_pf is column 2, text of 50 characters, its
// variable-column index 2 of 15; gt_effect, column 5, a memo; gt_effecttmp the last, column 14.)
TEST(MdbDefinition, ColumnEntriesThatDisagreeFailTheRead)
{
    const std::string sample = orvtest::readFileBytes(orvtest::dataPath("tevox20.mdb"));
    const std::string typed = orvtest::readFileBytes(orvtest::dataPath("tevox20-typed.mdb"));
    const std::string nwind = orvtest::readFileBytes(orvtest::dataPath("real/nwind.mdb"));
    const std::size_t gtPf = tevoxColumn(2);
    const struct {
        const char* what;
        std::string bytes;
        const char* table;
        const char* says;
    } cases[] = {
        {"a type Jet does not write", changed(sample, gtPf, 0x0D), "tevoxB", "ページ 24 の定義が壊れています"},
        {"an Access 2007 type", changed(sample, gtPf, 0x12), "tevoxB", "ページ 24 の定義が壊れています"},
        {"a column number twice", changed(sample, gtPf + 5, 3), "tevoxB", "ページ 24 の定義が壊れています"},
        {"a column number past the count", changed(sample, tevoxColumn(14) + 5, 15), "tevoxB",
         "ページ 24 の定義が壊れています"},
        {"a variable-column index past the count", changed(sample, gtPf + 7, 15), "tevoxB",
         "ページ 24 の定義が壊れています"},
        {"a variable-column index twice", changed(sample, gtPf + 7, 3), "tevoxB", "ページ 24 の定義が壊れています"},
        {"a text longer than 255 characters", changed(sample, gtPf + 24, 2), "tevoxB",
         "ページ 24 の定義が壊れています"},
        {"a text of 511 bytes, half a character more", changed(changed(sample, gtPf + 23, 0xFF), gtPf + 24, 1),
         "tevoxB", "ページ 24 の定義が壊れています"},
        {"a memo stored as fixed", changed(sample, tevoxColumn(5) + 15, 0x03), "tevoxB",
         "ページ 24 の定義が壊れています"},
        {"the variable-column count lowered", changed(sample, 24 * kPage + 43, 14), "tevoxB",
         "ページ 24 の定義が壊れています"},
        // In tevox20-typed.mdb gt_cdno is a Long at fixed offset 0, gt_cdnod a date at 4.
        {"a fixed column over another", changed(typed, tevoxColumn(0) + 21, 2), "tevoxB",
         "ページ 24 の定義が壊れています"},
        {"a fixed offset past the largest row", changed(typed, tevoxColumn(0) + 22, 0x10), "tevoxB",
         "ページ 24 の定義が壊れています"},
        {"a Long four bytes longer", changed(typed, tevoxColumn(0) + 23, 8), "tevoxB",
         "ページ 24 の定義が壊れています"},
        {"a text column numbered automatically", changed(sample, gtPf + 15, 0x06), "tevoxB",
         "ページ 24 の定義が壊れています"},
        // The names follow the entries, each a length and UTF-16: gt_cdno's 14 bytes read as 15.
        {"a column's name run into the next", changed(sample, tevoxColumn(15), 15), "tevoxB",
         "ページ 24 の定義が壊れています"},
        // The system catalogue's Id (its seventh entry, from byte 87) past the largest row.
        {"the system catalogue's column", changed(sample, 2 * kPage + 87 + 25 * 6 + 22, 0x10), "MSysObjects",
         "ページ 2 の定義が壊れています"},
        {"Jet 3: a type Jet does not write", changed(nwind, 77 * kJet3Page + 83, 0x0D), "Customers",
         "ページ 77 の定義が壊れています"},
        {"Jet 3: a Decimal, which only Jet 4 writes", changed(nwind, 77 * kJet3Page + 83 + 18, 0x10), "Customers",
         "ページ 77 の定義が壊れています"},
    };
    for (const auto& c : cases)
        expectRefused(c.what, c.bytes, dberr::DamagedFile, {"テーブル '" + std::string(c.table) + "'", c.says});
}

// A row read by a sound definition must fit it: a fixed column inside the row's fixed area, an
// entry among the variable-column offsets for every column the row holds, long values on
// long-value pages.
TEST(MdbDefinition, RowsThatContradictTheirDefinitionFailTheRead)
{
    const std::string sample = orvtest::readFileBytes(orvtest::dataPath("tevox20.mdb"));
    const std::string typed = orvtest::readFileBytes(orvtest::dataPath("tevox20-typed.mdb"));
    const std::string nwind = orvtest::readFileBytes(orvtest::dataPath("real/nwind.mdb"));
    const std::size_t typedData = firstDataPage(typed, kPage, 24);
    const std::size_t customers = firstDataPage(nwind, kJet3Page, 77);
    ASSERT_NE(typedData, 0u);
    ASSERT_NE(customers, 0u);
    // The long-value page that holds row 51's gt_effect, a memo of 728 bytes on one page: its
    // header is the length with flag 0x40 in the top byte, then the page and row.
    const std::size_t memo = sample.find(std::string("\xD8\x02\x00\x40", 4));
    ASSERT_NE(memo, std::string::npos);
    const std::size_t longValues = get32(sample, memo + 4) >> 8;
    ASSERT_EQ(sample.compare(longValues * kPage + 4, 4, "LVAL"), 0);
    std::string notLongValues = sample;
    notLongValues.replace(longValues * kPage + 4, 4, std::string("\x18\0\0\0", 4)); // tevoxB's own
    std::string offsetsBackwards = sample;
    // Row 0 of page 26 ends the page: its null mask (2 bytes), variable count (2) and offsets.
    put16(offsetsBackwards, 27 * kPage - 8, 0x0FFF); // the second column's start past the third's
    const struct {
        const char* what;
        std::string bytes;
        std::string says;
    } cases[] = {
        // Right after gt_cdnod, where the variable columns start: their bytes would be read as a Long.
        {"a fixed offset past the row's fixed area", changed(typed, tevoxColumn(0) + 21, 12),
         "ページ " + std::to_string(typedData) + " の行が壊れています"},
        {"a row's variable count lowered", changed(sample, 27 * kPage - 4, 14), "ページ 26 の行が壊れています"},
        {"a row's variable-column offsets running backwards", offsetsBackwards, "ページ 26 の行が壊れています"},
        {"a memo's page not a long-value page", notLongValues, "の行が壊れています"},
    };
    for (const auto& c : cases)
        expectRefused(c.what, c.bytes, dberr::DamagedFile, {"テーブル 'tevoxB'", c.says});
    // Jet 3: a Customers row (11 columns, of 2048-byte pages) whose variable count leaves out Fax.
    expectRefused("Jet 3: a row's variable count lowered", changed(nwind, (customers + 1) * kJet3Page - 3, 10),
                  dberr::DamagedFile, {"テーブル 'Customers'", "の行が壊れています"});
}
