// The in-memory copy of one catalogue table, as the engine queries it: every value as SQLite
// would hold it in a column of the column's affinity, and for each text the comparison key
// (jetFoldKey) that searches and sorts use. Rows keep table order; row r is rowid r + 1 in SQL.
// Filled once while the catalogue is read, then only read; a column's keys are worked out the
// first time a statement compares or sorts by it (most columns of a catalogue never are).
#pragma once

#include "platform/engine/GrowingBuffer.h"
#include "platform/jet/CatalogLayout.h"
#include "platform/reader/DbTypes.h"
#include "platform/reader/SqliteStatement.h"

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace orv {

// The keys of some keyed columns joined with literal texts (as '+' joins them), for every row,
// laid end to end so that one scan searches them all.
struct JoinedKeys {
    struct Part {
        int column = -1; // a keyed column, or -1 for the literal
        std::string literal; // already a key
        bool operator==(const Part&) const = default;
    };
    std::vector<Part> parts;
    std::string bytes;
    std::vector<std::uint32_t> starts; // row r is bytes [starts[r], starts[r + 1])
    std::vector<std::uint64_t> nulls; // bit r: a column part of row r is Null (its text is empty)

    std::string_view row(std::size_t r) const { return {bytes.data() + starts[r], starts[r + 1] - starts[r]}; }
    bool isNull(std::size_t r) const { return nulls[r / 64] >> (r % 64) & 1; }
};

class TableStore {
public:
    // A value's type: SQLite's own.
    using Tag = SqliteValueView::Type;

    // columns: the catalogue's columns with their in-memory names; those with a keyName get keys.
    TableStore(std::string name, std::string sqlName, std::vector<CatalogColumn> columns);
    ~TableStore();
    TableStore(const TableStore&) = delete;
    TableStore& operator=(const TableStore&) = delete;

    const std::string& name() const { return name_; }
    const std::string& sqlName() const { return sqlName_; }
    const std::vector<CatalogColumn>& columns() const { return columns_; }
    int columnCount() const { return int(columns_.size()); }
    std::size_t rowCount() const { return rows_; }

    Tag tag(int column, std::size_t row) const { return Tag(cell(column, row).sizeTag >> kTagShift); }
    bool isNull(int column, std::size_t row) const { return tag(column, row) == Tag::Null; }
    // The bytes of a Text or Blob value.
    std::string_view bytes(int column, std::size_t row) const
    {
        const Cell& c = cell(column, row);
        return {arena_.data() + c.offset, c.sizeTag & kSizeMask};
    }
    std::int64_t integer(int column, std::size_t row) const { return payload<std::int64_t>(column, row); }
    double real(int column, std::size_t row) const { return payload<double>(column, row); }
    Value value(int column, std::size_t row) const;
    // The value as SQLite takes it, its bytes not copied.
    SqliteValueView sqlValue(int column, std::size_t row) const
    {
        SqliteValueView v;
        v.type = tag(column, row);
        switch (v.type) {
        case Tag::Integer: v.integer = integer(column, row); break;
        case Tag::Real: v.real = real(column, row); break;
        case Tag::Text:
        case Tag::Blob: v.bytes = bytes(column, row); break;
        case Tag::Null: break;
        }
        return v;
    }

    bool keyed(int column) const { return keyIndex_[std::size_t(column)] >= 0; }
    // The comparison key of a keyed column's value that is not Null. The first call for a column
    // works out the keys of all its rows; it throws DbError when they take more memory than the
    // system gives.
    std::string_view key(int column, std::size_t row) const
    {
        const ColumnKeys& k = keysOf(column);
        const std::uint32_t from = k.starts[row], to = k.starts[row + 1];
        if (from == to) // folding leaves the value as it is
            return bytes(column, row);
        return {k.bytes.get() + from, to - from};
    }

    // The key of a keyed column's value as SQLite takes it: Null for Null.
    SqliteValueView sqlKey(int column, std::size_t row) const
    {
        SqliteValueView v;
        if (!isNull(column, row)) {
            v.type = Tag::Text;
            v.bytes = key(column, row);
        }
        return v;
    }

    // For each row, the place of its key among the column's distinct keys in byte order (the
    // order of ORDER BY over the key), 1 and up; 0 for Null. Worked out on first use and kept.
    const std::vector<std::uint32_t>& sortRanks(int column) const;

    // The rows' keys of `parts` joined, kept for the last few texts asked for; null when they
    // would take more memory than is sensible to keep beside the table.
    std::shared_ptr<const JoinedKeys> joinedKeys(const std::vector<JoinedKeys::Part>& parts) const;

    // Adds a row as read (row.size() == column count). Throws DbError when memory runs out or a
    // value is too large to keep.
    void appendRow(std::vector<Value>& row);

private:
    struct Cell {
        std::uint32_t offset; // in the arena
        std::uint32_t sizeTag; // byte count, and the Tag in the top bits
    };
    static constexpr int kTagShift = 29;
    static constexpr std::uint32_t kSizeMask = (1u << kTagShift) - 1;

    // The keys of one column: row r's are bytes [starts[r], starts[r + 1]), none when it is the
    // value itself.
    struct ColumnKeys {
        std::unique_ptr<char[]> bytes;
        std::vector<std::uint32_t> starts;
    };

    const Cell& cell(int column, std::size_t row) const
    {
        return reinterpret_cast<const Cell*>(cells_.data())[row * columns_.size() + std::size_t(column)];
    }
    const ColumnKeys& keysOf(int column) const
    {
        const auto& slot = keys_[std::size_t(keyIndex_[std::size_t(column)])];
        return slot ? *slot : foldColumn(column);
    }
    const ColumnKeys& foldColumn(int column) const;
    template <class T> T payload(int column, std::size_t row) const
    {
        T v;
        std::memcpy(&v, arena_.data() + cell(column, row).offset, sizeof v);
        return v;
    }
    void store(const Value& stored, Cell& cell);

    class AffinityConverter;

    std::string name_;
    std::string sqlName_;
    std::vector<CatalogColumn> columns_;
    std::vector<int> keyIndex_; // per column: its place among the keyed columns, or -1
    std::size_t rows_ = 0;
    GrowingBuffer cells_; // Cell per column, row after row
    GrowingBuffer arena_; // each value's bytes
    // Per keyed column: the texts, as read, of the rows whose value SQLite's affinity changed
    // (their keys are of the text as read); then the column's keys, once asked for.
    std::vector<std::vector<std::pair<std::uint32_t, std::string>>> readTexts_;
    mutable std::vector<std::unique_ptr<ColumnKeys>> keys_;
    std::unique_ptr<AffinityConverter> converter_;
    mutable std::vector<std::unique_ptr<std::vector<std::uint32_t>>> ranks_;
    mutable std::vector<std::shared_ptr<const JoinedKeys>> joined_; // most recent first
};

} // namespace orv
