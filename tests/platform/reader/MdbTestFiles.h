// Catalogue files read whole in the tests, and damaged copies of them made by the tests.
#pragma once

#include "platform/reader/MdbReader.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

namespace orvtest {

struct RecordedTable {
    std::string name;
    std::vector<orv::SourceColumn> columns;
    std::vector<std::vector<orv::Value>> rows;
};

struct Recorder : orv::TableSink {
    std::vector<RecordedTable> tables;
    void beginTable(const std::string& name, const std::vector<orv::SourceColumn>& columns) override
    {
        tables.push_back({name, columns, {}});
    }
    void addRow(std::vector<orv::Value>& row) override
    {
        ASSERT_EQ(row.size(), tables.back().columns.size());
        tables.back().rows.push_back(std::move(row));
    }
    void endTable() override {}
};

inline std::vector<RecordedTable> readAll(const std::string& path)
{
    Recorder r;
    orv::readMdbFile(path, r);
    return r.tables;
}

inline std::uint32_t get32(const std::string& b, std::size_t at)
{
    return std::uint32_t(std::uint8_t(b[at])) | std::uint32_t(std::uint8_t(b[at + 1])) << 8
        | std::uint32_t(std::uint8_t(b[at + 2])) << 16 | std::uint32_t(std::uint8_t(b[at + 3])) << 24;
}
inline void put32(std::string& b, std::size_t at, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b[at + i] = char((v >> (8 * i)) & 0xff);
}
inline void put16(std::string& b, std::size_t at, std::uint16_t v)
{
    b[at] = char(v & 0xff);
    b[at + 1] = char(v >> 8);
}

// Jet 4 pages; Jet 3 pages are half as large.
constexpr std::size_t kPage = 4096;

// A file of these bytes is refused with the number, the description saying each of says.
inline void expectRefused(const std::string& what, const std::string& bytes, int number,
                          std::initializer_list<std::string> says)
{
    TempDir dir;
    writeFileBytes(dir.file("damaged.mdb"), bytes);
    Recorder r;
    try {
        orv::readMdbFile(dir.file("damaged.mdb"), r);
        ADD_FAILURE() << what << ": read " << (r.tables.empty() ? 0 : r.tables[0].rows.size()) << " rows";
    } catch (const orv::DbError& e) {
        EXPECT_EQ(e.number, number) << what << ": " << e.what();
        for (const std::string& part : says)
            EXPECT_NE(e.description().find(part), std::string::npos) << what << ": " << e.what();
    }
}

} // namespace orvtest
