// Arbitrary bytes as a catalogue file, read in this process (not in the child reader) so that
// a fault in the reader or in libmdb shows up here. A read either delivers tables or throws a
// DbError; what it delivers keeps the sink's contract, and a table delivered whole holds as many
// rows as its definition in the file records.
#include "platform/reader/MdbCatalog.h"
#include "platform/reader/MdbReader.h"

// libmdb's header includes glib inside its own extern "C" block; glib must come first in C++.
#include <glib.h>
#include <mdbtools.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

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
        rowsPerTable_.push_back(columns.empty() ? ~std::uint64_t(0) : 0);
    }
    void addRow(std::vector<orv::Value>& row) override
    {
        if (!open_ || row.size() != columns_)
            finding("row outside a table or of the wrong width");
        for (const orv::Value& v : row)
            bytes_ += v.isText() ? std::get<std::string>(v.v).size() : 8;
        ++rows_;
        if (columns_ != 0)
            ++rowsPerTable_.back();
    }
    void endTable() override
    {
        if (!open_)
            finding("table ended without beginning");
        open_ = false;
    }
    bool open() const { return open_; }
    // Rows delivered, per table in the order delivered (all ones for a table without columns,
    // which delivers none whatever its definition says).
    const std::vector<std::uint64_t>& rowsPerTable() const { return rowsPerTable_; }

private:
    std::vector<std::uint64_t> rowsPerTable_;
    bool open_ = false;
    size_t columns_ = 0;
    size_t tables_ = 0;
    size_t rows_ = 0;
    size_t bytes_ = 0;
};

// The row counts the definitions of the user tables record, in the catalogue's order (the
// order the reader delivers them in), read through libmdb as the reader did before.
std::vector<std::uint64_t> declaredRowCounts(const std::string& path)
{
    std::vector<std::uint64_t> counts;
    MdbHandle* mdb = mdb_open(path.c_str(), MDB_NOFLAGS);
    if (!mdb)
        finding("a file the reader read cannot be opened again");
    if (orv::mdbfile::readTableCatalogue(mdb, [](const MdbTableDef&) {}))
        for (unsigned i = 0; i < mdb->num_catalog; ++i) {
            auto* e = static_cast<MdbCatalogEntry*>(g_ptr_array_index(mdb->catalog, i));
            if (e->object_type != MDB_TABLE || !mdb_is_user_table(e)
                || g_ascii_strncasecmp(e->object_name, "MSys", 4) == 0)
                continue;
            MdbTableDef* t = mdb_read_table(e);
            counts.push_back(t ? t->num_rows : ~std::uint64_t(0));
            if (t)
                mdb_free_tabledef(t);
        }
    mdb_close(mdb);
    return counts;
}

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
        const std::vector<std::uint64_t> declared = declaredRowCounts(mdbPath());
        const std::vector<std::uint64_t>& read = sink.rowsPerTable();
        if (declared.size() != read.size())
            finding("tables delivered differ from the catalogue's");
        for (size_t i = 0; i < read.size(); ++i)
            if (read[i] != declared[i] && read[i] != ~std::uint64_t(0))
                finding("a table read with a row count other than its definition's");
    } catch (const orv::DbError& e) {
        if (e.number <= 0 || e.description().empty())
            finding("error without number or description");
    }
    return 0;
}
