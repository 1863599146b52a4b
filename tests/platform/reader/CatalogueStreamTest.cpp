// The stream between the child reader and the program: what the writer sends comes back whole,
// and the program's side takes nothing on trust.
#include "platform/reader/CatalogueStream.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace orv;

namespace {

struct Recorder : TableSink {
    std::string log;
    std::vector<std::vector<Value>> rows;
    void beginTable(const std::string& name, const std::vector<SourceColumn>& columns) override
    {
        log += "T" + name + ":" + std::to_string(columns.size());
        for (const auto& c : columns)
            log += "," + c.name + "/" + std::to_string(int(c.kind));
        log += ";";
    }
    void addRow(std::vector<Value>& row) override
    {
        log += "R" + std::to_string(row.size()) + ";";
        rows.push_back(row);
    }
    void endTable() override { log += "E;"; }
};

// Hands out the bytes in pieces of `piece` to exercise reads that straddle records.
struct BytesInput : StreamInput {
    std::string bytes;
    std::size_t at = 0, piece;
    explicit BytesInput(std::string b, std::size_t p = 7) : bytes(std::move(b)), piece(p) {}
    std::size_t read(char* buf, std::size_t capacity) override
    {
        const std::size_t n = std::min({capacity, piece, bytes.size() - at});
        std::memcpy(buf, bytes.data() + at, n);
        at += n;
        return n;
    }
};

std::string written(const std::function<void(CatalogueStreamWriter&)>& f)
{
    std::string out;
    CatalogueStreamWriter w([&](const char* p, std::size_t n) {
        out.append(p, n);
        return true;
    });
    f(w);
    return out;
}

std::string u32(std::uint32_t v) { return std::string(reinterpret_cast<const char*>(&v), 4); }
std::string str(const std::string& s) { return u32(std::uint32_t(s.size())) + s; }

int decodeError(const std::string& bytes, Recorder& r, std::uint64_t maxBytes = 1 << 20)
{
    BytesInput in(bytes);
    try {
        decodeCatalogueStream(in, r, "c.mdb", maxBytes);
    } catch (const DbError& e) {
        return e.number;
    }
    return 0;
}

} // namespace

TEST(CatalogueStream, EveryKindOfValueComesBackWhole)
{
    const std::vector<Value> values = {Value(),          Value::integer(-5),
                                       Value::real(2.5), Value::text(std::string("a\0b", 3)),
                                       Value::text(""),  Value::binary(std::string("\x15\x1c\0", 3)),
                                       Value::binary("")};
    std::vector<SourceColumn> columns;
    for (size_t i = 0; i < values.size(); ++i)
        columns.push_back({"c" + std::to_string(i), ColumnKind(i % 6)});
    const std::string bytes = written([&](CatalogueStreamWriter& w) {
        w.beginTable("tevoxB", columns);
        for (int i = 0; i < 3000; ++i) { // more than one block of the writer
            std::vector<Value> row = values;
            w.addRow(row);
        }
        w.endTable();
        w.beginTable("empty", {});
        w.endTable();
        EXPECT_TRUE(w.done());
    });
    Recorder r;
    BytesInput in(bytes, 4093);
    decodeCatalogueStream(in, r, "c.mdb", bytes.size());
    ASSERT_EQ(r.rows.size(), 3000u);
    EXPECT_EQ(r.rows[2999], values);
    EXPECT_EQ(r.log.substr(0, 51), "TtevoxB:7,c0/0,c1/1,c2/2,c3/3,c4/4,c5/5,c6/0;R7;R7;");
    EXPECT_EQ(r.log.substr(r.log.size() - 13), "E;Tempty:0;E;");
}

TEST(CatalogueStream, TheReadersFailureArrivesAsItsError)
{
    const std::string bytes = written([](CatalogueStreamWriter& w) {
        w.beginTable("t", {{"a", ColumnKind::Text}});
        std::vector<Value> row{Value::text("x")};
        w.addRow(row);
        w.failed(dberr::DamagedFile, "壊れています");
    });
    BytesInput in(bytes);
    Recorder r;
    try {
        decodeCatalogueStream(in, r, "c.mdb", 1 << 20);
        ADD_FAILURE();
    } catch (const DbError& e) {
        EXPECT_EQ(e.number, dberr::DamagedFile);
        EXPECT_EQ(e.description(), "壊れています");
    }
}

// Whatever the child sends, the sink sees a well-formed read or the open fails with 3343.
TEST(CatalogueStream, MalformedStreamsFailTheOpen)
{
    const std::string table = "T" + str("t") + u32(1) + "\x03" + str("a");
    const std::string row = "R\x03" + str("x");
    const struct {
        const char* what;
        std::string bytes;
    } cases[] = {
        {"nothing at all", ""},
        {"ends without its last record", table + row + "E"},
        {"ends inside a value", table + "R\x03" + u32(5) + "ab"},
        {"row outside a table", "R"},
        {"end outside a table", "E"},
        {"table inside a table", table + table},
        {"done inside a table", table + "D"},
        {"unknown record", "Q"},
        {"unknown value tag", table + "R\x09"},
        {"unknown column kind", "T" + str("t") + u32(1) + "\x06" + str("a")},
        {"too many columns", "T" + str("t") + u32(5000)},
        {"length beyond what may still come", table + "R\x03" + u32(0xfffffff0u)},
        {"error without a description", std::string("X") + u32(3343) + u32(0)},
        {"error numbered zero", std::string("X") + u32(0) + str("x")},
        {"error description starting with a zero byte", std::string("X") + u32(30004) + str(std::string("\0x", 2))},
    };
    for (const auto& c : cases) {
        Recorder r;
        EXPECT_EQ(decodeError(c.bytes, r), dberr::UnrecognizedFormat) << c.what;
    }
    // More in all than the file could hold: a loop in the file's structure.
    std::string flood = "T" + str("t") + u32(0);
    flood += std::string(5000, 'R') + "ED";
    Recorder r;
    EXPECT_EQ(decodeError(flood, r, 4096), dberr::UnrecognizedFormat);
    EXPECT_EQ(decodeError(flood, r, flood.size()), 0);
    EXPECT_EQ(maxStreamBytes(1 << 20), (8u << 20) + (16u << 20));
}
