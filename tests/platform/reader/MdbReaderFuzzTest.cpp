// Damaged catalogues that fuzzing the reader turned up (fuzz/corpus/mdb: mutated copies of the
// test catalogues that reach the reader's guards): each is read or refused in this process
// (3343; 30003 where the damage hits the version byte, 30004 where it hits a listed page), and
// what is delivered before a refusal keeps the sink's contract.
#include "platform/reader/MdbReader.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace orv;

namespace {

struct ContractSink : TableSink {
    bool open = false;
    size_t columns = 0, tables = 0, rows = 0;
    void beginTable(const std::string&, const std::vector<SourceColumn>& cols) override
    {
        EXPECT_FALSE(open);
        open = true;
        columns = cols.size();
        ++tables;
    }
    void addRow(std::vector<Value>& row) override
    {
        EXPECT_TRUE(open);
        EXPECT_EQ(row.size(), columns);
        ++rows;
    }
    void endTable() override
    {
        EXPECT_TRUE(open);
        open = false;
    }
};

} // namespace

TEST(MdbReaderFuzz, DamagedFilesAreReadOrRefusedWithoutHarm)
{
    const auto dir = orvtest::dataDir().parent_path().parent_path() / "fuzz" / "corpus" / "mdb";
    size_t files = 0, refused = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        ++files;
        ContractSink sink;
        try {
            readMdbFile(entry.path().string(), sink);
            EXPECT_FALSE(sink.open) << entry.path();
        } catch (const DbError& e) {
            EXPECT_TRUE(e.number == dberr::UnrecognizedFormat || e.number == dberr::UnsupportedFormat
                        || e.number == dberr::DamagedFile)
                << entry.path() << ": " << e.number << " " << e.what();
            ++refused;
        }
    }
    EXPECT_GE(files, 10u);
    EXPECT_GT(refused, 0u);
}
