#include "platform/reader/MdbReader.h"

#include "platform/reader/MdbCatalog.h"
#include "platform/reader/MdbReaderBytes.h"
#include "platform/reader/MdbReaderPages.h"
#include "platform/reader/MdbReaderRows.h"
#include "platform/reader/MdbReaderText.h"
#include "platform/reader/MdbReaderValues.h"

// libmdb's header includes glib inside its own extern "C" block; glib must come first in C++.
#include <glib.h>
#include <mdbtools.h>

#include <iconv.h>
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>

namespace orv {

namespace {

using mdbfile::fixedSize;
using mdbfile::formatJetDate;
using mdbfile::get16;
using mdbfile::get32;
using mdbfile::guidText;
using mdbfile::kindOf;
using mdbfile::kOffsetMask;
using mdbfile::numericToDouble;
using mdbfile::PageCache;
using mdbfile::readDouble;
using mdbfile::RowField;
using mdbfile::RowLayout;
using mdbfile::TextDecoder;

// Row-offset flags of a data page. libmdb's row API reads these two the other way round (it
// skips overflow rows and returns deleted ones); the scan below follows the file format.
constexpr int kDeletedRow = 0x8000;
constexpr int kOverflowRow = 0x4000;
constexpr int kMaxOverflowHops = 8;
// Jet allows 255 columns and 32 indexes per table; anything far beyond is a damaged definition.
constexpr unsigned kMaxColumns = 255;
constexpr unsigned kMaxIndexes = 256;

[[noreturn]] void throwUnrecognized(const std::string& path) { throw DbError::unrecognisedFormat(path); }

// A page that a table's usage map lists is not there, or is not one of that table's data pages:
// reading on would give part of the table as if it were all of it.
[[noreturn]] void throwMissingPage(const std::string& path, const std::string& table, std::uint64_t pg)
{
    throw DbError::missingPage(path, table, pg);
}
[[noreturn]] void throwForeignPage(const std::string& path, const std::string& table, std::uint64_t pg)
{
    throw DbError::foreignPage(path, table, pg);
}

struct HandleCloser {
    void operator()(MdbHandle* h) const { mdb_close(h); }
};
struct TableFreer {
    void operator()(MdbTableDef* t) const { mdb_free_tabledef(t); }
};
using HandlePtr = std::unique_ptr<MdbHandle, HandleCloser>;
using TablePtr = std::unique_ptr<MdbTableDef, TableFreer>;

// A table whose definition has been read and checked, ready to be scanned.
struct PreparedTable {
    TablePtr def;
    RowLayout layout;
    std::string name;
    std::vector<SourceColumn> columns;
    std::vector<std::uint32_t> dataPages;
};

class Reader {
public:
    Reader(std::string path, MdbHandle* mdb, std::uint32_t numPages, const std::string& codePage)
        : path_(std::move(path)), mdb_(mdb), numPages_(numPages), decoder_(IS_JET3(mdb), codePage),
          pages_(mdb, numPages)
    {}

    // Checks the table definition on page `pg` before libmdb follows its offsets.
    bool tableDefinitionLooksSound(std::uint32_t pg)
    {
        if (pg == 0 || pg >= numPages_)
            return false;
        if (mdb_read_pg(mdb_, pg) != mdb_->fmt->pg_size)
            return false;
        const unsigned char* b = mdb_->pg_buf;
        const MdbFormatConstants* f = mdb_->fmt;
        if (b[0] != MDB_PAGE_TABLE)
            return false;
        unsigned numVarCols = get16(b + f->tab_num_cols_offset - 2);
        unsigned numCols = get16(b + f->tab_num_cols_offset);
        std::uint32_t numIdxs = get32(b + f->tab_num_idxs_offset);
        std::uint32_t numRealIdxs = get32(b + f->tab_num_ridxs_offset);
        if (numCols > kMaxColumns || numVarCols > numCols || numIdxs > kMaxIndexes || numRealIdxs > kMaxIndexes)
            return false;
        for (int off : {int(f->tab_usage_map_offset), int(f->tab_free_map_offset)}) {
            std::uint32_t pgRow = get32(b + off);
            if ((pgRow >> 8) == 0 || (pgRow >> 8) >= numPages_)
                return false;
        }
        return usageMapLooksSound(get32(b + f->tab_usage_map_offset));
    }

    // libmdb walks a table's usage map without bounds checks when it reads the catalogue.
    bool usageMapLooksSound(std::uint32_t pgRow)
    {
        const unsigned char* map = nullptr;
        size_t len = 0;
        if (!pages_.row(pgRow >> 8, pgRow & 0xff, map, len) || len == 0)
            return false;
        if (map[0] == 1) {
            for (size_t k = 0; k < (len - 1) / 4; ++k)
                if (get32(map + 1 + 4 * k) >= numPages_)
                    return false;
        }
        return true;
    }

    // Every page the usage map of the table defined on page `tdef` lists must be one of its data
    // pages. libmdb reads the system catalogue by the same map and passes over pages it cannot
    // read, which would drop tables without a word.
    void checkListedPages(std::uint32_t tdef, const std::string& name)
    {
        if (mdb_read_pg(mdb_, tdef) != mdb_->fmt->pg_size)
            throwUnrecognized(path_);
        const std::uint32_t pgRow = get32(mdb_->pg_buf + mdb_->fmt->tab_usage_map_offset);
        const unsigned char* map = nullptr;
        size_t len = 0;
        if (!pages_.row(pgRow >> 8, pgRow & 0xff, map, len))
            throwUnrecognized(path_);
        const std::vector<unsigned char> copy(map, map + len); // the cache may reuse its slot
        for (std::uint32_t pg : listedPages(copy.data(), copy.size(), name))
            if (!isDataPageOf(pg, tdef))
                throwForeignPage(path_, name, pg);
    }

    // The header of the definition on page pg (checked by tableDefinitionLooksSound), which must
    // be of the kind of table the system catalogue lists there: a system table's definition read
    // as a user table's would show another table's columns and rows under its name.
    mdbfile::DefinitionHeader definitionOf(std::uint32_t pg, unsigned char tableType, const std::string& name)
    {
        if (mdb_read_pg(mdb_, pg) != mdb_->fmt->pg_size)
            throwUnrecognized(path_);
        const mdbfile::DefinitionHeader header = mdbfile::definitionHeader(mdb_);
        if (header.tableType != tableType)
            throw DbError::foreignDefinition(path_, name, pg);
        return header;
    }

    // The column entries of the definition on page pg must agree with each other before any row
    // is read by them.
    void checkColumns(const MdbTableDef& def, const mdbfile::DefinitionHeader& header, std::uint32_t pg,
                      const std::string& name, RowLayout& layout)
    {
        if (!layout.build(mdb_, &def, header))
            throw DbError::damagedDefinition(path_, name, pg);
    }

    // The list of tables from the system catalogue, defined on page 2, whose definition and pages
    // are checked as a table's are.
    void readSystemCatalogue()
    {
        const std::string name = "MSysObjects";
        if (!tableDefinitionLooksSound(2))
            throwUnrecognized(path_);
        const mdbfile::DefinitionHeader header = definitionOf(2, mdbfile::kSystemTable, name);
        checkListedPages(2, name);
        RowLayout layout;
        if (!mdbfile::readTableCatalogue(mdb_,
                                         [&](const MdbTableDef& def) { checkColumns(def, header, 2, name, layout); })
            || mdb_->num_catalog == 0)
            throwUnrecognized(path_);
    }

    std::vector<PreparedTable> prepareTables()
    {
        std::vector<PreparedTable> tables;
        for (unsigned i = 0; i < mdb_->num_catalog; ++i) {
            auto* entry = static_cast<MdbCatalogEntry*>(g_ptr_array_index(mdb_->catalog, i));
            if (entry->object_type != MDB_TABLE || !mdb_is_user_table(entry))
                continue;
            if (g_ascii_strncasecmp(entry->object_name, "MSys", 4) == 0)
                continue;
            const auto pg = std::uint32_t(entry->table_pg);
            if (entry->table_pg >= numPages_ || !tableDefinitionLooksSound(pg))
                throwUnrecognized(path_);
            PreparedTable t;
            t.name = entry->object_name;
            const mdbfile::DefinitionHeader header = definitionOf(pg, mdbfile::kUserTable, t.name);
            t.def.reset(mdb_read_table(entry));
            if (!t.def)
                throwUnrecognized(path_);
            if (!mdb_read_columns(t.def.get()) || t.def->columns->len != t.def->num_cols)
                throwUnrecognized(path_);
            checkColumns(*t.def, header, pg, t.name, t.layout);
            for (unsigned c = 0; c < t.def->num_cols; ++c) {
                auto* col = static_cast<MdbColumn*>(g_ptr_array_index(t.def->columns, c));
                t.columns.push_back({col->name, kindOf(col->col_type)});
            }
            if (!t.def->usage_map)
                throwUnrecognized(path_);
            t.dataPages = listedPages(t.def->usage_map, size_t(t.def->map_sz), t.name);
            tables.push_back(std::move(t));
        }
        return tables;
    }

    // Streams the table's rows, checked against what the file itself declares: each row within
    // its page's data area, and as many rows as the table's definition records. A damaged page
    // would otherwise add rows of garbage or drop some without a word.
    void deliver(PreparedTable& t, TableSink& sink)
    {
        MdbTableDef* def = t.def.get();
        const unsigned numCols = def->num_cols;
        std::vector<RowField> fields(std::max(1u, numCols));
        std::vector<Value> row(numCols);
        const int pgSize = int(mdb_->fmt->pg_size);
        const std::uint32_t owner = std::uint32_t(def->entry->table_pg);
        std::uint64_t delivered = 0;

        table_ = &t.name;
        sink.beginTable(t.name, t.columns);
        for (std::uint32_t pg : t.dataPages) {
            if (!isDataPageOf(pg, owner))
                throwForeignPage(path_, t.name, pg);
            if (numCols == 0)
                continue;
            page_ = pg;
            checkRowOffsets();
            const unsigned rows = rowCount();
            for (unsigned r = 0; r < rows; ++r) {
                if (!readRow(t.layout, r, owner, fields.data()))
                    continue;
                for (unsigned c = 0; c < numCols; ++c) {
                    auto* col = static_cast<MdbColumn*>(g_ptr_array_index(def->columns, c));
                    convert(col, fields[c], row[c]);
                }
                // The row may have come from an overflow page; later rows are on `pg`.
                page_ = pg;
                if (mdb_->cur_pg != pg && mdb_read_pg(mdb_, pg) != pgSize)
                    damagedRow();
                sink.addRow(row);
                row.resize(numCols);
                ++delivered;
            }
        }
        if (numCols != 0 && delivered != def->num_rows)
            throw DbError::rowCountMismatch(path_, t.name, def->num_rows, delivered);
        sink.endTable();
    }

private:
    bool isDataPageOf(std::uint32_t pg, std::uint32_t owner)
    {
        if (mdb_read_pg(mdb_, pg) != mdb_->fmt->pg_size)
            return false;
        return mdb_->pg_buf[0] == MDB_PAGE_DATA && get32(mdb_->pg_buf + 4) == owner;
    }

    // Damage found in a row of page_ of the table being delivered.
    [[noreturn]] void damagedRow() const { throw DbError::damagedRow(path_, *table_, page_); }

    // The row count of the data page in pg_buf.
    unsigned rowCount() const { return get16(mdb_->pg_buf + mdb_->fmt->row_count_offset); }

    // Rows fill a data page from its end down to the table of row offsets, each ending where the
    // one before it starts, deleted ones included: an offset outside that area or above the one
    // before it is damage (a row read from there would be garbage, or part of its neighbour).
    void checkRowOffsets() const
    {
        const int pgSize = int(mdb_->fmt->pg_size);
        const int rco = mdb_->fmt->row_count_offset;
        const unsigned rows = rowCount();
        const int dataStart = rco + 2 + 2 * int(rows);
        if (dataStart > pgSize)
            damagedRow();
        int end = pgSize;
        for (unsigned r = 0; r < rows; ++r) {
            const int start = get16(mdb_->pg_buf + rco + 2 + 2 * r) & kOffsetMask;
            if (start < dataStart || start > end)
                damagedRow();
            end = start;
        }
    }

    // Bounds of row `r` of the page in pg_buf (its offsets checked); its flags.
    bool rowBounds(unsigned r, int& start, int& size, int& flags) const
    {
        const int rco = mdb_->fmt->row_count_offset;
        if (r >= rowCount())
            return false;
        const int raw = get16(mdb_->pg_buf + rco + 2 + 2 * r);
        flags = raw & ~kOffsetMask;
        start = raw & kOffsetMask;
        size = (r == 0 ? int(mdb_->fmt->pg_size) : (get16(mdb_->pg_buf + rco + 2 * r) & kOffsetMask)) - start;
        return true;
    }

    // Cracks row r of the data page in pg_buf into fields, following overflow pointers. False
    // for a deleted or empty slot; throws when the row cannot be read.
    bool readRow(RowLayout& layout, unsigned r, std::uint32_t owner, RowField* fields)
    {
        int start = 0, size = 0, flags = 0;
        if (!rowBounds(r, start, size, flags))
            damagedRow();
        if (flags & kDeletedRow)
            return false;
        for (int hop = 0; flags & kOverflowRow; ++hop) {
            if (hop >= kMaxOverflowHops || size < 4)
                damagedRow();
            const unsigned char* p = mdb_->pg_buf + start;
            unsigned targetRow = p[0];
            std::uint32_t targetPg = std::uint32_t(p[1]) | (std::uint32_t(p[2]) << 8) | (std::uint32_t(p[3]) << 16);
            if (targetPg == 0 || targetPg >= numPages_ || !isDataPageOf(targetPg, owner))
                damagedRow();
            page_ = targetPg;
            checkRowOffsets();
            if (!rowBounds(targetRow, start, size, flags))
                damagedRow();
            // The flags on the row an overflow pointer leads to belong to the pointer's slot.
            flags &= kOverflowRow;
        }
        if (size == 0)
            return false;
        if (!layout.crack(mdb_->pg_buf, start, size, fields))
            damagedRow();
        return true;
    }

    void convert(const MdbColumn* col, const RowField& f, Value& out)
    {
        const unsigned char* p = mdb_->pg_buf + f.start;
        if (col->col_type == MDB_BOOL) {
            // A Yes/No value lives in the null mask: a set bit is Yes.
            out = Value::text(f.null ? "False" : "True");
            return;
        }
        if (f.null) {
            out = Value::null();
            return;
        }
        int need = fixedSize(col->col_type);
        if (need && f.size < need)
            damagedRow();
        switch (col->col_type) {
        case MDB_TEXT: setText(out, p, size_t(f.size)); return;
        case MDB_MEMO:
            if (readLongValue(p, f.size))
                setText(out, longValue_.data(), longValue_.size());
            else
                out = Value::text({});
            return;
        case MDB_OLE:
            out = Value::binary(readLongValue(p, f.size) ? std::string(longValue_.begin(), longValue_.end())
                                                         : std::string());
            return;
        case MDB_BINARY: out = Value::binary(std::string(reinterpret_cast<const char*>(p), size_t(f.size))); return;
        case MDB_BYTE: out = Value::integer(p[0]); return;
        case MDB_INT: out = Value::integer(std::int16_t(get16(p))); return;
        case MDB_LONGINT:
        case MDB_COMPLEX: out = Value::integer(std::int32_t(get32(p))); return;
        case MDB_FLOAT: {
            std::uint32_t bits = get32(p);
            float v;
            std::memcpy(&v, &bits, 4);
            out = Value::real(v);
            return;
        }
        case MDB_DOUBLE: out = Value::real(readDouble(p)); return;
        case MDB_MONEY: {
            std::uint64_t bits = std::uint64_t(get32(p)) | (std::uint64_t(get32(p + 4)) << 32);
            out = Value::real(double(std::int64_t(bits)) / 10000.0);
            return;
        }
        case MDB_NUMERIC: out = Value::real(numericToDouble(p, col->col_scale)); return;
        case MDB_DATETIME: {
            double d = readDouble(p);
            if (!std::isfinite(d) || std::fabs(d) > 1e9)
                out = Value::null();
            else
                out = Value::text(formatJetDate(d));
            return;
        }
        case MDB_REPID: out = Value::text(guidText(p)); return;
        default:
            out = Value::null(); // kinds Jet 3 and Jet 4 files do not hold
            return;
        }
    }

    void setText(Value& out, const unsigned char* p, size_t n)
    {
        std::string* s = std::get_if<std::string>(&out.v);
        if (!s) {
            out = Value::text({});
            s = std::get_if<std::string>(&out.v);
        }
        decoder_.decode(p, n, *s);
    }

    // A memo or OLE field in the row is a 12-byte header: length with flags in the top byte, then
    // the page and row of the first long-value part; inline values follow the header directly.
    // Leaves the stored bytes in longValue_; false for a field of no bytes.
    bool readLongValue(const unsigned char* p, int siz)
    {
        longValue_.clear();
        if (siz == 0)
            return false;
        if (siz < MDB_MEMO_OVERHEAD)
            damagedRow(); // not even the header: the column's type or offsets are not what was written
        std::uint32_t header = get32(p);
        std::uint32_t pgRow = get32(p + 4);
        if (header & 0x80000000u) {
            longValue_.assign(p + MDB_MEMO_OVERHEAD, p + siz);
            return true;
        }
        const unsigned char* data = nullptr;
        size_t len = 0;
        if (header & 0x40000000u) {
            if (!pages_.longValueRow(pgRow >> 8, pgRow & 0xff, data, len))
                damagedRow();
            longValue_.assign(data, data + len);
            return true;
        }
        if (header & 0xff000000u)
            damagedRow();
        const size_t total = header & 0x00ffffffu;
        longValue_.reserve(total);
        for (std::uint32_t parts = 0; pgRow != 0 && longValue_.size() < total; ++parts) {
            if (parts >= numPages_ || !pages_.longValueRow(pgRow >> 8, pgRow & 0xff, data, len) || len < 4)
                damagedRow();
            std::uint32_t next = get32(data);
            size_t take = std::min(len - 4, total - longValue_.size());
            longValue_.insert(longValue_.end(), data + 4, data + 4 + take);
            pgRow = next;
        }
        return true;
    }

    // The pages a usage map lists. Type 0 holds a bitmap from a base page; type 1 lists the map
    // pages that hold the bitmap. A listed page beyond the end of the file is a piece cut off.
    std::vector<std::uint32_t> listedPages(const unsigned char* map, size_t mapSize, const std::string& table)
    {
        std::vector<std::uint32_t> pages;
        if (mapSize >= 5 && map[0] == 0) {
            std::uint64_t base = get32(map + 1);
            for (size_t i = 0; i < (mapSize - 5) * 8; ++i) {
                if (!(map[5 + i / 8] & (1 << (i % 8))))
                    continue;
                if (base + i >= numPages_)
                    throwMissingPage(path_, table, base + i);
                pages.push_back(std::uint32_t(base + i));
            }
            return pages;
        }
        if (mapSize >= 1 && map[0] == 1) {
            const std::uint64_t bitsPerMapPage = std::uint64_t(mdb_->fmt->pg_size - 4) * 8;
            for (size_t k = 0; k < (mapSize - 1) / 4; ++k) {
                std::uint32_t mapPg = get32(map + 1 + 4 * k);
                if (mapPg == 0)
                    continue;
                if (mapPg >= numPages_)
                    throwMissingPage(path_, table, mapPg);
                if (mdb_read_alt_pg(mdb_, mapPg) != mdb_->fmt->pg_size || mdb_->alt_pg_buf[0] != MDB_PAGE_MAP)
                    throwForeignPage(path_, table, mapPg);
                const unsigned char* bits = mdb_->alt_pg_buf + 4;
                for (std::uint64_t i = 0; i < bitsPerMapPage; ++i) {
                    if (!(bits[i / 8] & (1 << (i % 8))))
                        continue;
                    std::uint64_t pg = k * bitsPerMapPage + i;
                    if (pg >= numPages_)
                        throwMissingPage(path_, table, pg);
                    pages.push_back(std::uint32_t(pg));
                }
            }
            return pages;
        }
        throwUnrecognized(path_); // no map, or of a type Jet does not write
    }

    std::string path_;
    MdbHandle* mdb_;
    std::uint32_t numPages_;
    TextDecoder decoder_;
    PageCache pages_;
    std::vector<unsigned char> longValue_;
    const std::string* table_ = nullptr; // the table being delivered
    std::uint32_t page_ = 0; // the page whose row is being read
};

std::string jet3CodePage(unsigned recorded)
{
    // Japanese Windows writes 932 or nothing; glibc's SHIFT-JIS would turn backslashes into yen
    // signs and lose the NEC and IBM extension characters.
    if (recorded == 0 || recorded == 932)
        return "CP932";
    return "CP" + std::to_string(recorded);
}

} // namespace

void readMdbFile(const std::string& path, TableSink& sink)
{
    switch (detectFileFormat(path)) {
    case FileFormat::Missing: throw DbError::fileNotFound(path);
    case FileFormat::Ace: throw DbError::unsupportedFormat();
    case FileFormat::Jet3:
    case FileFormat::Jet4: break;
    default: throwUnrecognized(path);
    }

    HandlePtr mdb(mdb_open(path.c_str(), MDB_NOFLAGS));
    if (!mdb)
        throwUnrecognized(path);
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        throwUnrecognized(path);
    // A page cut short at the end of the file is not a page: what lists it finds it missing.
    const auto pgSize = std::uint64_t(mdb->fmt->pg_size);
    const std::uint64_t pages = std::uint64_t(st.st_size) / pgSize;
    // Page 2 holds the definition of the system catalogue.
    if (pages <= 2 || pages > 0xffffffu)
        throwUnrecognized(path);

    std::string codePage;
    if (IS_JET3(mdb.get()))
        codePage = jet3CodePage(mdb->f->code_page);
    // libmdb decodes table and column names through iconv_in; make it produce UTF-8 from the
    // file's real encoding whatever the environment says.
    iconv_t names = iconv_open("UTF-8", IS_JET3(mdb.get()) ? codePage.c_str() : "UTF-16LE");
    if (names != iconv_t(-1)) {
        if (mdb->iconv_in != iconv_t(-1))
            iconv_close(mdb->iconv_in);
        mdb->iconv_in = names;
    }

    Reader reader(path, mdb.get(), std::uint32_t(pages), codePage);
    reader.readSystemCatalogue();

    std::vector<PreparedTable> tables = reader.prepareTables();
    for (PreparedTable& t : tables)
        reader.deliver(t, sink);
}

} // namespace orv
