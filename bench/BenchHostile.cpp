// What hostile and damaged catalogues cost when the program opens them: for each file, how long
// the open takes to succeed or fail, and the peak memory of the reader child.
// Usage: bench_hostile [FILE...]   (default: the files of tests/data/hostile)
//
// With --mutate N, each Jet file given is damaged N times by one byte (a third anywhere, a third
// in a data page's header and row offsets, a third in the first 512 bytes of a table definition,
// its column entries, or of a usage map) and each copy opened as the program opens it. Every
// table of a copy that opens must hold as many rows as its definition in that copy records, and
// the columns of the sound file's table of that name (one byte may change one column's name or
// kind): never another table's columns and rows under its name. Prints how many opened, how many
// were refused (by error number), how many opened with another row count or with a table's
// columns not its own (both must be none), and how many with values changed in more than one row
// of a table (shown, for a look: a byte no reader can check may be shared by many rows).
// Usage: bench_hostile --mutate N [--seed S] FILE...
#include "platform/engine/Engine.h"
#include "platform/engine/EngineIsolation.h"
#include "platform/reader/DbError.h"

// libmdb's header includes glib inside its own extern "C" block; glib must come first in C++.
#include <glib.h>
#include <mdbtools.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

std::string sizeText(const std::string& file)
{
    std::error_code ec;
    const std::uintmax_t size = fs::file_size(file, ec);
    return ec ? "no size: " + ec.message() : std::to_string(size) + " bytes";
}

// Special files (links to nothing, folders, FIFOs, devices) are reported like any other.
int openEach(const orv::IsolatedCatalogue& reader, const std::vector<std::string>& files)
{
    for (const std::string& file : files) {
        // Each open in a process of its own, so that the children's peak is this reader's alone.
        const pid_t pid = ::fork();
        if (pid == 0) {
            const auto t0 = std::chrono::steady_clock::now();
            std::string outcome;
            try {
                auto db = orv::OpenDatabase(reader, file);
                long rows = 0;
                for (const auto& t : db->schema().tables)
                    rows += db->OpenRecordset("SELECT * FROM [" + t.name + "];")->RecordCount();
                outcome = "opened, " + std::to_string(rows) + " rows";
            } catch (const orv::DbError& e) {
                outcome = "Err " + std::to_string(e.number) + "： " + e.description();
            } catch (const std::exception& e) {
                outcome = std::string("failed: ") + e.what();
            }
            const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
            rusage children{};
            ::getrusage(RUSAGE_CHILDREN, &children);
            std::error_code ec;
            const std::uintmax_t size = fs::file_size(file, ec);
            std::printf("%s (%s)\n  %.1f ms, reader peak RSS %.1f MiB (limit %.1f MiB): %s\n", file.c_str(),
                        sizeText(file).c_str(), ms, double(children.ru_maxrss) / 1024.0,
                        double(orv::ReaderMemoryLimit(ec ? 0 : size)) / (1024.0 * 1024.0), outcome.c_str());
            std::fflush(stdout);
            ::_exit(0);
        }
        int status = 0;
        ::waitpid(pid, &status, 0);
    }
    return 0;
}

// --- One-byte mutations ------------------------------------------------------------------------------

struct JetLayout {
    std::size_t pageSize = 0;
    std::size_t rowCountOffset = 0; // of a data page
    std::size_t numRowsOffset = 0; // of a table definition
    std::map<std::string, std::uint32_t> tables; // user table -> its definition's page
    std::vector<std::size_t> dataPages, definitionAndMapPages;
};

std::uint32_t get32(const std::string& b, std::size_t at)
{
    return std::uint32_t(std::uint8_t(b[at])) | std::uint32_t(std::uint8_t(b[at + 1])) << 8
        | std::uint32_t(std::uint8_t(b[at + 2])) << 16 | std::uint32_t(std::uint8_t(b[at + 3])) << 24;
}

// The sound file's tables, through libmdb, and its pages by kind.
bool layoutOf(const std::string& path, const std::string& bytes, JetLayout& out)
{
    MdbHandle* mdb = mdb_open(path.c_str(), MDB_NOFLAGS);
    if (!mdb)
        return false;
    out.pageSize = std::size_t(mdb->fmt->pg_size);
    out.rowCountOffset = mdb->fmt->row_count_offset;
    out.numRowsOffset = mdb->fmt->tab_num_rows_offset;
    if (mdb_read_catalog(mdb, MDB_TABLE))
        for (unsigned i = 0; i < mdb->num_catalog; ++i) {
            auto* e = static_cast<MdbCatalogEntry*>(g_ptr_array_index(mdb->catalog, i));
            if (e->object_type == MDB_TABLE && mdb_is_user_table(e))
                out.tables[e->object_name] = std::uint32_t(e->table_pg);
        }
    mdb_close(mdb);
    std::map<std::uint32_t, bool> owners;
    for (const auto& [name, page] : out.tables)
        owners[page] = true;
    for (std::size_t p = 1; p < bytes.size() / out.pageSize; ++p) {
        const std::size_t at = p * out.pageSize;
        if (bytes[at] == 1 && owners.count(get32(bytes, at + 4)))
            out.dataPages.push_back(p);
        else if ((bytes[at] == 2 && owners.count(std::uint32_t(p))) || bytes[at] == 5)
            out.definitionAndMapPages.push_back(p);
    }
    return !out.tables.empty();
}

// Every table a read delivers: its columns and its rows, each value as text (Null apart).
struct TableRecorder final : orv::TableSink {
    struct Table {
        std::vector<orv::SourceColumn> columns;
        std::vector<std::vector<std::string>> rows;
    };
    std::map<std::string, Table> tables;
    Table* current = nullptr;
    void beginTable(const std::string& name, const std::vector<orv::SourceColumn>& columns) override
    {
        current = &tables[name];
        *current = {columns, {}};
    }
    void addRow(std::vector<orv::Value>& row) override
    {
        std::vector<std::string>& out = current->rows.emplace_back();
        for (const orv::Value& v : row)
            out.push_back(v.isNull() ? std::string("\\N") : v.toText());
    }
    void endTable() override {}
};

// Whether a table read from a damaged copy has columns other than the sound file's table of that
// name: one byte can change one column's name or kind, not the count nor two columns.
bool columnsNotItsOwn(const TableRecorder::Table& read, const TableRecorder::Table& sound)
{
    if (read.columns.size() != sound.columns.size())
        return true;
    int differing = 0;
    for (std::size_t i = 0; i < read.columns.size(); ++i)
        differing += read.columns[i].name != sound.columns[i].name || read.columns[i].kind != sound.columns[i].kind;
    return differing > 1;
}

// How many rows (at the same place) hold other values than the sound file's.
std::size_t rowsChanged(const TableRecorder::Table& read, const TableRecorder::Table& sound)
{
    std::size_t changed = 0;
    for (std::size_t r = 0; r < read.rows.size(); ++r)
        changed += r >= sound.rows.size() || read.rows[r] != sound.rows[r];
    return changed;
}

struct Tally {
    int made = 0, opened = 0, wrongCount = 0, foreignColumns = 0, manyRowsChanged = 0;
    std::map<int, int> refused; // by error number
};

void mutateFile(const orv::IsolatedCatalogue& reader, const std::string& path, int count, std::mt19937& rng,
                const fs::path& work, Tally& all)
{
    std::ifstream in(path, std::ios::binary);
    const std::string sound((std::istreambuf_iterator<char>(in)), {});
    JetLayout jet;
    if (!layoutOf(path, sound, jet) || jet.dataPages.empty()) {
        std::printf("%s: not a Jet file with tables, left out\n", path.c_str());
        return;
    }
    TableRecorder soundTables;
    try {
        reader.read(path, soundTables);
    } catch (const orv::DbError& e) {
        std::printf("%s: the sound file is refused (%d), left out\n", path.c_str(), e.number);
        return;
    }
    Tally here;
    const std::string copy = (work / fs::path(path).filename()).string();
    for (int i = 0; i < count; ++i) {
        std::size_t at = 0;
        switch (i % 3) {
        case 0: at = rng() % sound.size(); break;
        case 1: {
            const std::size_t page = jet.dataPages[rng() % jet.dataPages.size()] * jet.pageSize;
            const std::size_t rows = std::uint8_t(sound[page + jet.rowCountOffset]);
            at = page + rng() % (jet.rowCountOffset + 4 + 2 * rows);
            break;
        }
        default: {
            const auto& pages = jet.definitionAndMapPages.empty() ? jet.dataPages : jet.definitionAndMapPages;
            at = pages[rng() % pages.size()] * jet.pageSize + rng() % 512;
            break;
        }
        }
        std::string bytes = sound;
        // Counts are most often off by one; other bytes take any other value.
        const int step = rng() % 4 == 0 ? 1 + int(rng() % 255) : (rng() % 2 ? 1 : -1);
        bytes[at] = char(std::uint8_t(bytes[at]) + step);
        std::ofstream(copy, std::ios::binary | std::ios::trunc).write(bytes.data(), std::streamsize(bytes.size()));
        ++here.made;
        TableRecorder read;
        try {
            reader.read(copy, read);
        } catch (const orv::DbError& e) {
            ++here.refused[e.number];
            continue;
        }
        ++here.opened;
        for (const auto& [name, table] : read.tables) {
            const auto t = jet.tables.find(name);
            const std::uint64_t declared = t == jet.tables.end()
                ? ~std::uint64_t(0)
                : get32(bytes, std::size_t(t->second) * jet.pageSize + jet.numRowsOffset);
            const std::uint64_t rows = table.rows.size();
            if (rows != declared) {
                ++here.wrongCount;
                std::printf("  byte %zu %+d: table '%s' read with %ju rows, its definition records %jd\n", at, step,
                            name.c_str(), std::uintmax_t(rows), std::intmax_t(declared));
            }
            const auto own = soundTables.tables.find(name);
            if (own == soundTables.tables.end() || columnsNotItsOwn(table, own->second)) {
                ++here.foreignColumns;
                std::printf("  byte %zu %+d: table '%s' read with %zu columns not its own\n", at, step, name.c_str(),
                            table.columns.size());
            } else if (const std::size_t changed = rowsChanged(table, own->second); changed > 1) {
                ++here.manyRowsChanged;
                std::printf("  byte %zu %+d: table '%s' read with %zu of %zu rows changed\n", at, step, name.c_str(),
                            changed, table.rows.size());
            }
        }
    }
    std::printf("%s: %d mutations, %d opened, %d refused (", path.c_str(), here.made, here.opened,
                here.made - here.opened);
    for (const auto& [number, n] : here.refused)
        std::printf(" %d×%d", number, n);
    std::printf(" ), %d read with a row count other than the definition's, %d with a table's columns not its "
                "own, %d with values changed in more than one row of a table\n",
                here.wrongCount, here.foreignColumns, here.manyRowsChanged);
    std::fflush(stdout);
    all.made += here.made;
    all.opened += here.opened;
    all.wrongCount += here.wrongCount;
    all.foreignColumns += here.foreignColumns;
    all.manyRowsChanged += here.manyRowsChanged;
    for (const auto& [number, n] : here.refused)
        all.refused[number] += n;
}

int mutateEach(const orv::IsolatedCatalogue& reader, int count, unsigned seed, const std::vector<std::string>& files)
{
    char tmpl[] = "/tmp/bench_hostile.XXXXXX";
    if (!::mkdtemp(tmpl))
        return 1;
    std::mt19937 rng(seed);
    Tally all;
    for (const std::string& file : files)
        mutateFile(reader, file, count, rng, tmpl, all);
    fs::remove_all(tmpl);
    std::printf("all: %d mutations, %d opened, %d refused, %d read with a row count other than the definition's, "
                "%d with a table's columns not its own, %d with values changed in more than one row of a table\n",
                all.made, all.opened, all.made - all.opened, all.wrongCount, all.foreignColumns, all.manyRowsChanged);
    return all.wrongCount == 0 && all.foreignColumns == 0 ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    const fs::path exe = fs::absolute(fs::path(argv[0]).parent_path() / ".." / "orvantis-query");
    if (!fs::exists(exe)) {
        std::fprintf(stderr, "no %s: build orvantis-query first\n", exe.c_str());
        return 1;
    }
    const orv::IsolatedCatalogue reader(fs::canonical(exe).string());
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() >= 2 && args[0] == "--mutate") {
        const int count = std::atoi(args[1].c_str());
        unsigned seed = 20;
        args.erase(args.begin(), args.begin() + 2);
        if (args.size() >= 2 && args[0] == "--seed") {
            seed = unsigned(std::strtoul(args[1].c_str(), nullptr, 10));
            args.erase(args.begin(), args.begin() + 2);
        }
        return mutateEach(reader, count, seed, args);
    }
    if (args.empty())
        for (const auto& e : fs::directory_iterator(fs::path(ORV_SOURCE_DIR) / "tests" / "data" / "hostile"))
            if (e.path().extension() == ".sqlite")
                args.push_back(e.path().string());
    return openEach(reader, args);
}
