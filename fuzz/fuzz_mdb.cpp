// Arbitrary bytes as a catalogue file, read in this process (not in the child reader) so that
// a fault in the reader or in libmdb shows up here. A read either delivers tables or throws a
// DbError; what it delivers keeps the sink's contract.
#include "platform/reader/MdbReader.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

namespace {

const std::string& mdbPath()
{
    static const std::string path = [] {
        char tmpl[] = "/tmp/fuzz_mdb.XXXXXX";
        if (!::mkdtemp(tmpl))
            std::abort();
        static const std::string dir = tmpl;
        std::atexit([] { std::filesystem::remove_all(dir); });
        return dir + "/catalogue.mdb";
    }();
    return path;
}

[[noreturn]] void finding(const char* what)
{
    std::fprintf(stderr, "%s\n", what);
    std::abort();
}

class CountingSink : public orv::TableSink {
public:
    void beginTable(const std::string&, const std::vector<orv::SourceColumn>& columns) override
    {
        if (open_)
            finding("table begun inside a table");
        open_ = true;
        columns_ = columns.size();
        ++tables_;
    }
    void addRow(std::vector<orv::Value>& row) override
    {
        if (!open_ || row.size() != columns_)
            finding("row outside a table or of the wrong width");
        for (const orv::Value& v : row)
            bytes_ += v.isText() ? std::get<std::string>(v.v).size() : 8;
        ++rows_;
    }
    void endTable() override
    {
        if (!open_)
            finding("table ended without beginning");
        open_ = false;
    }
    bool open() const { return open_; }

private:
    bool open_ = false;
    size_t columns_ = 0;
    size_t tables_ = 0;
    size_t rows_ = 0;
    size_t bytes_ = 0;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    {
        std::ofstream out(mdbPath(), std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), std::streamsize(size));
    }
    CountingSink sink;
    try {
        orv::readMdbFile(mdbPath(), sink);
        if (sink.open())
            finding("read ended inside a table");
    } catch (const orv::DbError& e) {
        if (e.number <= 0 || e.description().empty())
            finding("error without number or description");
    }
    return 0;
}
