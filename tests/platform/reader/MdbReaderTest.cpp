#include "MdbTestFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <sys/stat.h>

using namespace orv;
using orvtest::expectRefused;
using orvtest::get32;
using orvtest::kPage;
using orvtest::put16;
using orvtest::put32;
using orvtest::readAll;
using orvtest::RecordedTable;
using orvtest::Recorder;

namespace {

const RecordedTable& tableNamed(const std::vector<RecordedTable>& tables, const std::string& name)
{
    for (auto& t : tables)
        if (t.name == name)
            return t;
    throw std::runtime_error("no table " + name);
}

int dbErrorOf(const std::string& path, Recorder& r)
{
    try {
        readMdbFile(path, r);
    } catch (const DbError& e) {
        return e.number;
    }
    return 0;
}

// Compares a recorded table with fixture CSV rows: Null against \N, text exactly.
void expectMatchesCsv(const RecordedTable& t, const std::vector<orvtest::CsvRow>& csv, size_t firstCsvRow = 0)
{
    ASSERT_EQ(t.rows.size() + firstCsvRow, csv.size());
    for (size_t r = 0; r < t.rows.size(); ++r) {
        const auto& want = csv[r + firstCsvRow];
        for (size_t c = 0; c < want.size() && c < t.rows[r].size(); ++c) {
            const Value& got = t.rows[r][c];
            if (!want[c])
                EXPECT_TRUE(got.isNull()) << "row " << r + 1 << " col " << c;
            else
                EXPECT_EQ(got, Value::text(*want[c])) << "row " << r + 1 << " col " << c;
        }
    }
}

} // namespace

TEST(MdbReader, DetectsFormatsFromTheFirstBytes)
{
    orvtest::TempDir dir;
    orvtest::writeFileBytes(dir.file("lite.db"), std::string("SQLite format 3\0rest", 20));
    EXPECT_EQ(detectFileFormat(orvtest::dataPath("tevox20.mdb")), FileFormat::Jet4);
    EXPECT_EQ(detectFileFormat(orvtest::dataPath("real/nwind.mdb")), FileFormat::Jet3);
    EXPECT_EQ(detectFileFormat(orvtest::dataPath("real/ASampleDatabase.accdb")), FileFormat::Ace);
    EXPECT_EQ(detectFileFormat(dir.file("lite.db")), FileFormat::SQLite);
    EXPECT_EQ(detectFileFormat(orvtest::dataPath("bad/text.mdb")), FileFormat::Unknown);
    EXPECT_EQ(detectFileFormat(orvtest::dataPath("bad/empty.mdb")), FileFormat::Unknown);
    EXPECT_EQ(detectFileFormat(dir.file("absent.mdb")), FileFormat::Missing);
    // Nothing but a regular file is opened: a FIFO nobody writes to would block for ever.
    EXPECT_EQ(detectFileFormat(dir.path().string()), FileFormat::NotAFile);
    ASSERT_EQ(::mkfifo(dir.file("fifo.mdb").c_str(), 0600), 0);
    EXPECT_EQ(detectFileFormat(dir.file("fifo.mdb")), FileFormat::NotAFile);
    EXPECT_EQ(detectFileFormat("/dev/zero"), FileFormat::NotAFile);
}

TEST(MdbReader, Tevox20MatchesItsCsvExactly)
{
    std::vector<std::string> header;
    const auto csv = orvtest::readFixtureCsv("tevox20.csv", &header);
    const auto tables = readAll(orvtest::dataPath("tevox20.mdb"));
    ASSERT_EQ(tables.size(), 1u);
    const RecordedTable& t = tables[0];
    EXPECT_EQ(t.name, "tevoxB");
    ASSERT_EQ(t.columns.size(), header.size());
    for (size_t c = 0; c < header.size(); ++c) {
        EXPECT_EQ(t.columns[c].name, header[c]);
        EXPECT_EQ(t.columns[c].kind, ColumnKind::Text);
    }
    expectMatchesCsv(t, csv);
    // Empty text and Null must stay apart, and the long memo must come through whole.
    EXPECT_EQ(t.rows[1][1], Value::text(""));
    EXPECT_TRUE(t.rows[2][1].isNull());
    EXPECT_EQ(t.rows[50][5].toText().size(), csv[50][5]->size());
}

TEST(MdbReader, TypedColumnsGiveIntegersAndDateText)
{
    const auto csv = orvtest::readFixtureCsv("tevox20-typed.csv");
    const auto tables = readAll(orvtest::dataPath("tevox20-typed.mdb"));
    ASSERT_EQ(tables.size(), 1u);
    const RecordedTable& t = tables[0];
    EXPECT_EQ(t.columns[0].kind, ColumnKind::Integer);
    EXPECT_EQ(t.columns[10].kind, ColumnKind::DateTime);
    ASSERT_EQ(t.rows.size(), csv.size());
    for (size_t r = 0; r < csv.size(); ++r) {
        EXPECT_EQ(t.rows[r][0], Value::integer(std::stoll(*csv[r][0])));
        if (!csv[r][10]) {
            EXPECT_TRUE(t.rows[r][10].isNull());
        } else {
            std::string date = csv[r][10]->substr(0, 10); // "YYYY-MM-DD 00:00:00"
            std::replace(date.begin(), date.end(), '-', '/');
            EXPECT_EQ(t.rows[r][10], Value::text(date));
        }
    }
    auto textOnly = csv;
    for (auto& row : textOnly)
        row[0] = row[10] = std::nullopt;
    RecordedTable rest = t;
    for (auto& row : rest.rows)
        row[0] = row[10] = Value::null();
    expectMatchesCsv(rest, textOnly);
}

TEST(MdbReader, DatesOutsideTheTwentiethCenturyAndMemoLineBreaks)
{
    const auto tables = readAll(orvtest::dataPath("real/DateTestDatabase.mdb"));
    const RecordedTable& t = tableNamed(tables, "DateTest");
    ASSERT_EQ(t.rows.size(), 6u);
    EXPECT_EQ(t.rows[0][1], Value::text("2021/12/02"));
    EXPECT_EQ(t.rows[1][1], Value::text("9999/01/01"));
    EXPECT_EQ(t.rows[2][1], Value::text("1898/01/01"));
    EXPECT_EQ(t.rows[2][2], Value::text("1899/01/01"));
    EXPECT_EQ(t.rows[2][3], Value::text("1900/01/01"));
    EXPECT_EQ(t.rows[3][1], Value::text("0632/01/01"));
    EXPECT_EQ(t.rows[5][4], Value::text("New line\r\nin field"));
}

// Day counts before 1899-12-30 count back whole days while the time of day still counts forward.
TEST(MdbReader, DateTextFromStoredDayCounts)
{
    std::string bytes = orvtest::readFileBytes(orvtest::dataPath("tevox20-typed.mdb"));
    const double volume1 = 35521.0; // 1997/04/01, stored on four rows
    std::string pattern(reinterpret_cast<const char*>(&volume1), 8);
    const double stored[] = {-1.25, 0.5, 36526.75, -657434.0};
    const char* shown[] = {"1899/12/29 06:00:00", "1899/12/30 12:00:00", "2000/01/01 18:00:00", "0100/01/01"};
    size_t at = 0;
    for (double d : stored) {
        at = bytes.find(pattern, at);
        ASSERT_NE(at, std::string::npos);
        bytes.replace(at, 8, reinterpret_cast<const char*>(&d), 8);
    }
    orvtest::TempDir dir;
    orvtest::writeFileBytes(dir.file("dates.mdb"), bytes);
    const auto tables = readAll(dir.file("dates.mdb"));
    std::vector<Value> dates;
    for (auto& row : tables.at(0).rows)
        dates.push_back(row[10]);
    for (const char* text : shown)
        EXPECT_EQ(std::count(dates.begin(), dates.end(), Value::text(text)), 1) << text;
}

TEST(MdbReader, Jet3WesternFileKeepsItsCodePageAndKinds)
{
    const auto tables = readAll(orvtest::dataPath("real/nwind.mdb"));
    EXPECT_EQ(tables.size(), 9u);
    EXPECT_EQ(tableNamed(tables, "Umsätze").rows.size(), 830u);
    const RecordedTable& customers = tableNamed(tables, "Customers");
    EXPECT_EQ(customers.rows.size(), 91u);
    bool found = false;
    for (auto& row : customers.rows)
        found = found || row[1] == Value::text("HILARIÓN-Abastos");
    EXPECT_TRUE(found);

    const RecordedTable& products = tableNamed(tables, "Products");
    EXPECT_EQ(products.columns[5].kind, ColumnKind::Real); // Currency
    EXPECT_EQ(products.columns[9].kind, ColumnKind::Boolean);
    EXPECT_EQ(products.rows[0][5], Value::real(18.0));
    int yes = 0;
    for (auto& row : products.rows) {
        EXPECT_TRUE(row[9] == Value::text("True") || row[9] == Value::text("False"));
        yes += row[9] == Value::text("True");
    }
    EXPECT_EQ(yes, 8);
    const RecordedTable& categories = tableNamed(tables, "Categories");
    EXPECT_EQ(categories.columns[3].kind, ColumnKind::Binary);
}

// OLE objects come through whole as binary values: every employee has a photo, stored in the
// OLE container Access writes (its header starts 15 1C).
TEST(MdbReader, OleObjectsAreBinaryValues)
{
    const auto tables = readAll(orvtest::dataPath("real/nwind.mdb"));
    for (const char* name : {"Employees", "Categories"}) {
        const RecordedTable& t = tableNamed(tables, name);
        size_t column = 0;
        while (column < t.columns.size() && t.columns[column].kind != ColumnKind::Binary)
            ++column;
        ASSERT_LT(column, t.columns.size()) << name;
        ASSERT_FALSE(t.rows.empty());
        for (const auto& row : t.rows) {
            ASSERT_TRUE(row[column].isBinary()) << name;
            const std::string& bytes = std::get<Bytes>(row[column].v).data;
            ASSERT_GT(bytes.size(), 1000u) << name;
            EXPECT_EQ(bytes.substr(0, 2), "\x15\x1c") << name;
        }
    }
}

// A Jet 3 file that records code page 932, or none, is read as CP932, which keeps backslashes
// and NEC extension characters.
TEST(MdbReader, Jet3JapaneseTextIsReadAsCp932)
{
    for (std::uint16_t recorded : {std::uint16_t(932), std::uint16_t(0)}) {
        std::string bytes = orvtest::readFileBytes(orvtest::dataPath("real/nwind.mdb"));
        // The header is RC4 enciphered: flipping the same bits of the stored bytes changes the value.
        const std::uint16_t flip = 1252 ^ recorded;
        bytes[0x3C] = char(bytes[0x3C] ^ (flip & 0xff));
        bytes[0x3D] = char(bytes[0x3D] ^ (flip >> 8));
        const std::string from = "Speedy Express";
        const std::string to = "\x83\x65\x83\x58\x83\x67\\\x95\x5c\x87\x40"
                               "ABC"; // テスト\表①ABC
        ASSERT_EQ(from.size(), to.size());
        for (size_t at = bytes.find(from); at != std::string::npos; at = bytes.find(from, at))
            bytes.replace(at, from.size(), to);
        orvtest::TempDir dir;
        orvtest::writeFileBytes(dir.file("jp.mdb"), bytes);

        const auto tables = readAll(dir.file("jp.mdb"));
        EXPECT_EQ(tableNamed(tables, "Shippers").rows[0][1], Value::text("テスト\\表①ABC")) << recorded;
    }
}

TEST(MdbReader, BrokenFilesFailWithoutDeliveringAnything)
{
    for (const char* name : {"bad/empty.mdb", "bad/text.mdb", "bad/truncated.mdb", "bad/zeroed-page.mdb"}) {
        Recorder r;
        EXPECT_EQ(dbErrorOf(orvtest::dataPath(name), r), dberr::UnrecognizedFormat) << name;
        EXPECT_TRUE(r.tables.empty()) << name;
    }
    Recorder r;
    const std::string missing = orvtest::dataPath("bad/no-such-file.mdb");
    try {
        readMdbFile(missing, r);
        ADD_FAILURE();
    } catch (const DbError& e) {
        EXPECT_EQ(e.number, dberr::FileNotFound);
        EXPECT_EQ(e.description(), "ファイル '" + missing + "' が見つかりません。");
    }
    EXPECT_EQ(dbErrorOf(orvtest::dataPath("real/ASampleDatabase.accdb"), r), dberr::UnsupportedFormat);
    EXPECT_TRUE(r.tables.empty());
}

// The system catalogue's rows carry property blobs that nothing here reads; one found by fuzzing
// once made the library's property parser take gigabytes and minutes before any table was read.
TEST(MdbReader, DamagedPropertyBlobsInTheSystemCatalogueAreNeverParsed)
{
    Recorder r;
    EXPECT_EQ(dbErrorOf(orvtest::dataPath("bad/runaway-properties.mdb"), r), dberr::DamagedFile);
}

TEST(MdbReader, OddButSoundTablesReadFine)
{
    const auto csv = orvtest::readFixtureCsv("tevox20.csv");
    const auto other = readAll(orvtest::dataPath("bad/no-table.mdb"));
    ASSERT_EQ(other.size(), 1u);
    EXPECT_EQ(other[0].name, "other");
    ASSERT_EQ(other[0].columns.size(), 2u);
    EXPECT_EQ(other[0].columns[0].kind, ColumnKind::Integer);
    EXPECT_EQ(other[0].rows.size(), 3u);

    const auto f14 = readAll(orvtest::dataPath("bad/fields14.mdb"));
    EXPECT_EQ(f14.at(0).columns.size(), 14u);
    expectMatchesCsv(f14.at(0), csv);

    const auto f16 = readAll(orvtest::dataPath("bad/fields16.mdb"));
    ASSERT_EQ(f16.at(0).columns.size(), 16u);
    EXPECT_EQ(f16[0].columns[15].name, "gt_extra");
    expectMatchesCsv(f16[0], csv);
    EXPECT_EQ(f16[0].rows[79][15], Value::text("extra-080"));

    const auto rows0 = readAll(orvtest::dataPath("bad/rows0.mdb"));
    EXPECT_EQ(rows0.at(0).columns.size(), 15u);
    EXPECT_TRUE(rows0[0].rows.empty());
}

// A memo far longer than one page, stored as a chain of long-value pages: the reader appends
// such a chain to a copy of the catalogue and points row 51's gt_effect at it.
TEST(MdbReader, LongMemoSpanningManyPagesComesThroughWhole)
{
    std::string bytes = orvtest::readFileBytes(orvtest::dataPath("tevox20.mdb"));
    ASSERT_EQ(bytes.size() % kPage, 0u);
    const auto csv = orvtest::readFixtureCsv("tevox20.csv");
    // Row 51's effect is 364 characters of UTF-16: a single-page memo of 728 bytes.
    std::string header(4, '\0');
    put32(header, 0, 0x40000000u | 728u);
    const size_t at = bytes.find(header);
    ASSERT_NE(at, std::string::npos);
    ASSERT_EQ(bytes.find(header, at + 1), std::string::npos);

    std::u16string text;
    std::string expected;
    for (int i = 0; i < 35000; ++i) {
        text += i % 1000 == 999 ? u"\U00020BB7" : u"漢字"; // keeps a few surrogate pairs
        expected += i % 1000 == 999 ? "\U00020BB7" : "漢字";
    }
    ASSERT_EQ(text.size(), 70000u);
    std::string stored;
    for (char16_t u : text) {
        stored.push_back(char(u & 0xff));
        stored.push_back(char(u >> 8));
    }

    const size_t dataStart = 16, chunk = kPage - dataStart - 4;
    const std::uint32_t firstPage = std::uint32_t(bytes.size() / kPage);
    const size_t pages = (stored.size() + chunk - 1) / chunk;
    for (size_t p = 0; p < pages; ++p) {
        std::string page(kPage, '\0');
        page[0] = 1;
        page[1] = 1;
        page.replace(4, 4, "LVAL");
        put16(page, 12, 1); // one row
        put16(page, 14, std::uint16_t(dataStart));
        std::string part = stored.substr(p * chunk, chunk);
        const std::uint32_t next = p + 1 < pages ? (firstPage + std::uint32_t(p) + 1) << 8 : 0;
        put32(page, dataStart, next);
        page.replace(dataStart + 4, part.size(), part);
        bytes += page;
    }
    put32(bytes, at, std::uint32_t(stored.size())); // no flags: a chain of pages
    put32(bytes, at + 4, firstPage << 8);
    orvtest::TempDir dir;
    orvtest::writeFileBytes(dir.file("long.mdb"), bytes);

    const auto tables = readAll(dir.file("long.mdb"));
    ASSERT_EQ(tables.size(), 1u);
    const std::string got = tables[0].rows[50][5].toText();
    EXPECT_EQ(got.size(), expected.size());
    EXPECT_TRUE(got == expected);
    EXPECT_EQ(tables[0].rows[50][13], Value::text(*csv[50][13]));
}

// A deleted slot is skipped; an overflow slot leads to the row stored elsewhere.
TEST(MdbReader, FollowsRowFlagsOfTheDataPage)
{
    std::string bytes = orvtest::readFileBytes(orvtest::dataPath("tevox20.mdb"));
    const auto csv = orvtest::readFixtureCsv("tevox20.csv");
    const std::uint32_t tdefPage = 24;
    size_t first = 0;
    for (size_t p = 1; p < bytes.size() / kPage && !first; ++p)
        if (bytes[p * kPage] == 1 && get32(bytes, p * kPage + 4) == tdefPage)
            first = p;
    ASSERT_NE(first, 0u);
    const size_t base = first * kPage;
    auto slotAt = [&](int slot) { return base + 14 + 2 * size_t(slot); };
    auto startOf = [&](int slot) {
        return std::uint16_t(std::uint8_t(bytes[slotAt(slot)]) | std::uint8_t(bytes[slotAt(slot) + 1]) << 8);
    };
    const std::uint16_t start0 = startOf(0), start2 = startOf(2);
    // Slot 0 now points at the row of slot 2, which is marked deleted in its own place.
    bytes[base + start0] = 2;
    bytes[base + start0 + 1] = char(first & 0xff);
    bytes[base + start0 + 2] = char((first >> 8) & 0xff);
    bytes[base + start0 + 3] = char((first >> 16) & 0xff);
    put16(bytes, slotAt(0), std::uint16_t(start0 | 0x4000));
    put16(bytes, slotAt(2), std::uint16_t(start2 | 0x8000));
    put32(bytes, tdefPage * kPage + 16, 79); // the definition's row count, as Jet keeps it
    orvtest::TempDir dir;
    orvtest::writeFileBytes(dir.file("flags.mdb"), bytes);

    auto tables = readAll(dir.file("flags.mdb"));
    ASSERT_EQ(tables.size(), 1u);
    // Stored order: row 3 (through slot 0), row 2, then rows 4 to 80.
    ASSERT_EQ(tables[0].rows.size(), 79u);
    std::swap(tables[0].rows[0], tables[0].rows[1]);
    expectMatchesCsv(tables[0], csv, 1);
}

// Overflow pointers and row starts at the edges of what a data page holds: a pointer takes four
// bytes and leads to a row the page has; a row starts after the whole table of row offsets; a
// definition has no more variable columns than columns. (Data page 26 of tevox20.mdb holds 14
// rows, their offsets from byte 14 to 41; tevoxB's definition on page 24 has 15 columns.)
TEST(MdbReader, OverflowPointersAndRowStartsAtTheirBounds)
{
    const std::string whole = orvtest::readFileBytes(orvtest::dataPath("tevox20.mdb"));
    const size_t base = 26 * kPage;
    auto slotAt = [&](int slot) { return base + 14 + 2 * size_t(slot); };
    auto startOf = [&](int slot) {
        return std::uint16_t((std::uint8_t(whole[slotAt(slot)]) | std::uint8_t(whole[slotAt(slot) + 1]) << 8) & 0x1FFF);
    };
    ASSERT_EQ(std::uint8_t(whole[base + 12]), 14);
    // Slot 2 an overflow pointer of `size` bytes to row `target` of `page`; row 1, marked
    // deleted, starts right after it. A pointer of fewer than four bytes would read its last from
    // row 1, made 0 so that it would lead to page 26 all the same.
    auto pointer = [&](int size, unsigned target, char page = 26) {
        std::string b = whole;
        const std::uint16_t start2 = startOf(2);
        put16(b, slotAt(1), std::uint16_t((start2 + size) | 0x8000));
        put16(b, slotAt(2), std::uint16_t(start2 | 0x4000));
        b[base + start2] = char(target);
        b[base + start2 + 1] = page;
        b[base + start2 + 2] = 0;
        b[base + start2 + 3] = 0;
        put32(b, 24 * kPage + 16, 79); // one row fewer, as Jet would count it
        return b;
    };
    for (const unsigned target : {3u, 13u}) {
        orvtest::TempDir dir;
        orvtest::writeFileBytes(dir.file("pointer.mdb"), pointer(4, target));
        const auto tables = readAll(dir.file("pointer.mdb"));
        ASSERT_EQ(tables.at(0).rows.size(), 79u) << target;
        EXPECT_EQ(tables[0].rows[1], tables[0].rows[target - 1]) << "slot 2 shows row " << target;
    }
    {
        // To a row of the table's next data page, 28: that page's row 3, the 18th of the table.
        const auto original = readAll(orvtest::dataPath("tevox20.mdb"));
        orvtest::TempDir dir;
        orvtest::writeFileBytes(dir.file("next.mdb"), pointer(4, 3, 28));
        const auto tables = readAll(dir.file("next.mdb"));
        EXPECT_EQ(tables.at(0).rows.at(1), original.at(0).rows.at(17)) << "slot 2 shows page 28's row 3";
    }
    {
        // To a page of the table that its list of pages leaves out (page 35, added), whose row
        // offsets are damaged: the damage is found there, and named there.
        std::string b = pointer(4, 3, 35);
        std::string extra = whole.substr(28 * kPage, kPage);
        put16(extra, 14, 1); // row 0 starting inside the page's header
        b += extra;
        expectRefused("a pointer to a page with damaged offsets", b, dberr::DamagedFile,
                      {"ページ 35 の行が壊れています"});
    }
    const std::string says = "ページ 26 の行が壊れています";
    expectRefused("a pointer of three bytes", pointer(3, 3), dberr::DamagedFile, {says});
    expectRefused("a pointer to row 14 of 14", pointer(4, 14), dberr::DamagedFile, {says});
    expectRefused("a pointer to the system catalogue's page", pointer(4, 3, 14), dberr::DamagedFile, {says});
    expectRefused("a pointer to page 0", pointer(4, 3, 0), dberr::DamagedFile, {says});

    // The last row starting on the last entry of the table of offsets (byte 40), not after it:
    // its first two bytes (its own offset) would be its column count, the rest (zeros) a row of
    // Nulls.
    std::string inTable = whole;
    put16(inTable, slotAt(13), 40);
    std::fill(inTable.begin() + std::ptrdiff_t(base + 42), inTable.begin() + std::ptrdiff_t(base + startOf(12)), '\0');
    expectRefused("a row starting in the offsets", inTable, dberr::DamagedFile, {says});

    // 16 variable columns in a definition of 15 columns.
    std::string moreVariable = whole;
    put16(moreVariable, 24 * kPage + 43, 16);
    orvtest::TempDir dir;
    orvtest::writeFileBytes(dir.file("variable.mdb"), moreVariable);
    Recorder r;
    EXPECT_NE(dbErrorOf(dir.file("variable.mdb"), r), 0) << "read as sound";
}

// A damaged catalogue fails as a whole: a table's usage map lists pages that are cut off the end
// of the file, or that hold something else, and reading on would show part of the list as if it
// were all of it. (tevoxB's data pages in tevox20.mdb: 26, 28, 29, 30, 33, 34; the system
// catalogue's: 14.)
TEST(MdbReader, ListedPagesThatAreMissingOrForeignFailTheRead)
{
    const std::string whole = orvtest::readFileBytes(orvtest::dataPath("tevox20.mdb"));
    ASSERT_EQ(whole.size(), 35 * kPage);
    auto typeByte = [&](size_t page, char type) {
        std::string b = whole;
        b[page * kPage] = type;
        return b;
    };
    auto owner = [&](size_t page, std::uint32_t tdef) {
        std::string b = whole;
        put32(b, page * kPage + 4, tdef);
        return b;
    };
    const int damaged = dberr::DamagedFile;
    const struct {
        const char* what;
        std::string bytes;
        int number;
        const char* says;
    } cases[] = {
        {"cut at 33 pages", whole.substr(0, 33 * kPage), damaged,
         "テーブル 'tevoxB' のページ 33 がファイルにありません"},
        {"cut at 29 pages", whole.substr(0, 29 * kPage), damaged, "ページ 29 がファイルにありません"},
        {"cut inside page 31", whole.substr(0, 31 * kPage + kPage / 2), damaged, "ページ 33 がファイルにありません"},
        {"last page cut short", whole.substr(0, whole.size() - 1), damaged, "ページ 34 がファイルにありません"},
        // Page 25 holds tevoxB's usage map itself.
        {"cut inside page 25", whole.substr(0, 25 * kPage + kPage / 2), dberr::UnrecognizedFormat, "認識できません"},
        {"data page made a table definition", typeByte(29, 2), damaged,
         "ページ 29 がこのテーブルのデータではありません"},
        {"data page given to another table", owner(28, 15), damaged, "ページ 28 がこのテーブルのデータではありません"},
        {"system catalogue page given away", owner(14, 24), damaged, "テーブル 'MSysObjects' のページ 14"},
    };
    for (const auto& c : cases)
        expectRefused(c.what, c.bytes, c.number, {c.says});
    // Bytes after the last whole page that no table lists change nothing.
    orvtest::TempDir dir;
    orvtest::writeFileBytes(dir.file("tail.mdb"), whole + std::string(100, '\0'));
    EXPECT_EQ(readAll(dir.file("tail.mdb")).at(0).rows.size(), 80u);
}

// A damaged data page, usage map or table definition makes the rows read disagree with what the
// file declares: every row inside its page's data area, not over the row before it, and as many
// rows as the table's definition records. Each case is one byte changed. (tevoxB: definition on
// page 24, 80 rows; its usage map lists its data pages through map page 27; data page 26 holds
// 14 rows, their offsets from byte 14 on.)
TEST(MdbReader, RowsThatDisagreeWithTheFileFailTheReadNamingTheTable)
{
    const std::string whole = orvtest::readFileBytes(orvtest::dataPath("tevox20.mdb"));
    auto changed = [&](size_t at, char to) {
        std::string b = whole;
        b[at] = to;
        return b;
    };
    const size_t page26 = 26 * kPage;
    const struct {
        const char* what;
        std::string bytes;
        const char* says;
    } cases[] = {
        // Read as a 15th row: two bytes of free space as its offset (an all-Null row before).
        {"page's row count raised", changed(page26 + 12, 15), "ページ 26 の行が壊れています"},
        // Pages 32 to 39 dropped from the table: 26 rows fewer.
        {"usage map byte zeroed", changed(27 * kPage + 4 + 4, 0), "定義では 80 行ですが、54 行が読み取れました"},
        {"definition's row count lowered", changed(24 * kPage + 16, 79), "定義では 79 行ですが、80 行が読み取れました"},
        // Page 33's last row (of 15, offsets end at byte 44) moved into the offsets (0x0032 -> 0x0020).
        {"row offset before the data area", changed(33 * kPage + 42, 0x20), "ページ 33 の行が壊れています"},
        // The first row starting below the second one (0x0EE7 -> 0x00E7), the second row starting
        // past the first one's start (0x0DE6 -> 0x0FE6).
        {"rows overlapping", changed(page26 + 15, 0), "ページ 26 の行が壊れています"},
        {"rows overlapping", changed(page26 + 17, 0x0F), "ページ 26 の行が壊れています"},
        {"row offset past the page", changed(page26 + 15, 0x1F), "ページ 26 の行が壊れています"},
    };
    for (const auto& c : cases)
        expectRefused(c.what, c.bytes, dberr::DamagedFile, {"テーブル 'tevoxB'", c.says});
}

// The same checks on a Jet 3 file (2048-byte pages, row offsets from byte 10): Customers is
// defined on page 77 with 91 rows.
TEST(MdbReader, Jet3RowsAreCheckedAgainstTheirDefinition)
{
    constexpr size_t kJet3Page = 2048;
    const std::string whole = orvtest::readFileBytes(orvtest::dataPath("real/nwind.mdb"));
    ASSERT_EQ(get32(whole, 77 * kJet3Page + 12), 91u);
    size_t data = 0;
    for (size_t p = 1; p < whole.size() / kJet3Page && !data; ++p)
        if (whole[p * kJet3Page] == 1 && get32(whole, p * kJet3Page + 4) == 77)
            data = p * kJet3Page;
    ASSERT_NE(data, 0u);
    for (const size_t at : {size_t(77 * kJet3Page + 12), data + 8}) {
        std::string bytes = whole;
        bytes[at] = char(bytes[at] + 1);
        expectRefused("byte " + std::to_string(at) + " raised", bytes, dberr::DamagedFile, {"テーブル 'Customers'"});
    }
}
