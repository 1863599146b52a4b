#include "platform/reader/MdbReaderRows.h"

#include "platform/reader/MdbReaderBytes.h"
#include "platform/reader/MdbReaderValues.h"

#include <algorithm>
#include <string>
#include <utility>

namespace orv::mdbfile {

namespace {

bool knownType(int type, bool jet3)
{
    switch (type) {
    case MDB_BOOL:
    case MDB_BYTE:
    case MDB_INT:
    case MDB_LONGINT:
    case MDB_MONEY:
    case MDB_FLOAT:
    case MDB_DOUBLE:
    case MDB_DATETIME:
    case MDB_BINARY:
    case MDB_TEXT:
    case MDB_OLE:
    case MDB_MEMO:
    case MDB_REPID: return true;
    case MDB_NUMERIC: return !jet3;
    default: return false;
    }
}

// Whether a column of this type may have this stored length, and the automatic numbering only a
// Long has.
bool fitsItsType(const MdbColumn& c, bool jet3)
{
    if (c.is_long_auto && c.col_type != MDB_LONGINT)
        return false;
    if (const int size = fixedSize(c.col_type))
        return c.col_size == size;
    switch (c.col_type) {
    case MDB_TEXT:
    case MDB_BINARY: return c.col_size >= 1 && c.col_size <= (jet3 ? 255 : 510); // 255 characters
    case MDB_MEMO:
    case MDB_OLE: return !c.is_fixed; // the row holds a 12-byte reference among its variable columns
    default: return true; // Yes/No: in the null mask
    }
}

// Whether the names (UTF-8, as libmdb decoded them) are names Jet gives columns: not empty, no
// control characters, no two alike but for case. A name's length read wrong runs names together
// (length bytes inside them) or leaves them empty.
bool namesFit(const MdbTableDef* def)
{
    std::vector<std::string> seen;
    for (unsigned i = 0; i < def->num_cols; ++i) {
        std::string name = static_cast<const MdbColumn*>(g_ptr_array_index(def->columns, i))->name;
        if (name.empty() || std::any_of(name.begin(), name.end(), [](char c) { return std::uint8_t(c) < 0x20; }))
            return false;
        std::transform(name.begin(), name.end(), name.begin(),
                       [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; });
        if (std::find(seen.begin(), seen.end(), name) != seen.end())
            return false;
        seen.push_back(std::move(name));
    }
    return true;
}

} // namespace

DefinitionHeader definitionHeader(const MdbHandle* mdb)
{
    const unsigned char* b = mdb->pg_buf;
    const int cols =
        mdb->fmt->tab_num_cols_offset; // after the type byte, the highest column number and the variable count
    return {b[cols - 5], get16(b + cols - 4)};
}

bool RowLayout::build(const MdbHandle* mdb, const MdbTableDef* def, const DefinitionHeader& header)
{
    jet3_ = IS_JET3(mdb);
    hasVariable_ = def->num_var_cols > 0;
    columns_.clear();
    const unsigned deleted = header.maxColumns >= def->num_cols ? header.maxColumns - def->num_cols : 0;
    if (def->num_cols > header.maxColumns || !namesFit(def))
        return false;
    // The largest row: alone on a data page, after the page header, the row count and its offset.
    const int countSize = jet3_ ? 1 : 2;
    const int largestFixedArea = int(mdb->fmt->pg_size) - mdb->fmt->row_count_offset - 4 - countSize;
    std::vector<bool> numbers(256), varIndexes(def->num_var_cols + deleted);
    std::vector<std::pair<int, int>> fixedBytes;
    unsigned variable = 0;
    for (unsigned i = 0; i < def->num_cols; ++i) {
        const auto* c = static_cast<const MdbColumn*>(g_ptr_array_index(def->columns, i));
        if (!knownType(c->col_type, jet3_) || !fitsItsType(*c, jet3_))
            return false;
        const unsigned number = unsigned(c->col_num);
        if (number >= header.maxColumns || number >= numbers.size() || numbers[number])
            return false;
        numbers[number] = true;
        Column col{number, c->is_fixed != 0, c->col_type != MDB_BOOL, c->fixed_offset, c->col_size, c->var_col_num};
        if (col.fixed && col.hasBytes) {
            if (col.fixedOffset < 0 || col.fixedOffset + col.size > largestFixedArea)
                return false;
            fixedBytes.emplace_back(col.fixedOffset, col.fixedOffset + col.size);
        } else if (!col.fixed) {
            // Deleted columns keep their entries among a row's offsets.
            if (col.varIndex >= varIndexes.size() || varIndexes[col.varIndex])
                return false;
            varIndexes[col.varIndex] = true;
            ++variable;
        }
        columns_.push_back(col);
    }
    if (variable > def->num_var_cols || def->num_var_cols > variable + deleted)
        return false;
    std::sort(fixedBytes.begin(), fixedBytes.end());
    for (std::size_t i = 1; i < fixedBytes.size(); ++i)
        if (fixedBytes[i].first < fixedBytes[i - 1].second)
            return false;
    return true;
}

// The row's variable-column offsets into offsets_ (count entries and the end of the last), from
// the table at its end: Jet 4 two bytes each; Jet 3 one byte each, with a table of the entries
// where the offsets pass another 256 bytes. fixedEnd: where the variable columns start.
bool RowLayout::variableOffsets(const unsigned char* row, int size, int maskStart, unsigned& count, int& fixedEnd)
{
    const int countSize = jet3_ ? 1 : 2;
    int tableStart = 0;
    if (jet3_) {
        if (maskStart - 1 < countSize)
            return false;
        count = row[maskStart - 1];
        int jumps = (size - 1) / 256;
        const int last = maskStart - 2 - jumps; // the first entry's place; later entries below it
        tableStart = last - int(count);
        if (tableStart < countSize)
            return false;
        // A row just past a multiple of 256 bytes may carry one jump entry that stands for nothing.
        if ((last - int(count)) / 256 < jumps)
            --jumps;
        offsets_.resize(count + 1);
        int used = 0;
        for (unsigned i = 0; i <= count; ++i) {
            while (used < jumps && row[maskStart - 2 - used] == i)
                ++used;
            offsets_[i] = row[last - int(i)] + 256 * used;
        }
    } else {
        if (maskStart - 2 < countSize)
            return false;
        count = get16(row + maskStart - 2);
        tableStart = maskStart - 2 - 2 * (int(count) + 1);
        if (tableStart < countSize)
            return false;
        offsets_.resize(count + 1);
        for (unsigned i = 0; i <= count; ++i)
            offsets_[i] = get16(row + maskStart - 4 - 2 * int(i));
    }
    if (offsets_[0] < countSize || offsets_[count] > tableStart)
        return false;
    for (unsigned i = 0; i < count; ++i)
        if (offsets_[i] > offsets_[i + 1])
            return false;
    fixedEnd = offsets_[0];
    return true;
}

bool RowLayout::crack(const unsigned char* page, int start, int size, RowField* fields)
{
    const unsigned char* row = page + start;
    const int countSize = jet3_ ? 1 : 2;
    if (size < countSize)
        return false;
    const unsigned rowColumns = jet3_ ? row[0] : get16(row);
    const int maskStart = size - int(rowColumns + 7) / 8;
    if (maskStart < countSize)
        return false;
    const unsigned char* mask = row + maskStart;
    unsigned rowVariable = 0;
    int fixedEnd = maskStart;
    if (hasVariable_ && !variableOffsets(row, size, maskStart, rowVariable, fixedEnd))
        return false;
    for (std::size_t i = 0; i < columns_.size(); ++i) {
        const Column& c = columns_[i];
        RowField& f = fields[i];
        f = RowField{};
        if (c.number >= rowColumns)
            continue;
        f.null = !(mask[c.number / 8] & (1u << (c.number % 8)));
        if (c.fixed) {
            if (!c.hasBytes)
                continue;
            const int at = countSize + c.fixedOffset;
            if (at + c.size > fixedEnd)
                return false;
            f.start = start + at;
            f.size = c.size;
        } else {
            if (c.varIndex >= rowVariable)
                return false;
            f.start = start + offsets_[c.varIndex];
            f.size = offsets_[c.varIndex + 1] - offsets_[c.varIndex];
        }
    }
    return true;
}

} // namespace orv::mdbfile
