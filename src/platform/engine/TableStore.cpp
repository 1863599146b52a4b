#include "platform/engine/TableStore.h"

#include "platform/jet/JetText.h"
#include "platform/reader/SqliteStatement.h"

#include <sqlite3.h>

#include <algorithm>
#include <cmath>
#include <new>
#include <stdexcept>
#include <unordered_map>

namespace orv {

namespace {

// What a table may hold in all: offsets are 32-bit, and a value's size has 29 bits.
constexpr std::size_t kMaxArenaBytes = std::size_t(0xFFFFFFFF);
constexpr std::size_t kMaxCells = std::size_t(1) << 28;

[[noreturn]] void tooLarge() { throw DbError::catalogueTooLarge(); }

// Whether SQLite keeps the value as it is in a column of the affinity. (A NaN becomes Null.)
bool keptAsIs(SqlAffinity a, const Value& v)
{
    if (v.isNull() || v.isBinary() || a == SqlAffinity::Blob)
        return !(v.isReal() && std::isnan(std::get<double>(v.v)));
    switch (a) {
    case SqlAffinity::Text: return v.isText();
    case SqlAffinity::Integer: return v.isInteger();
    case SqlAffinity::Real: return v.isReal() && !std::isnan(std::get<double>(v.v));
    default: return true;
    }
}

} // namespace

// Values whose type the column's affinity changes (a number in a text column, a text in a number
// column) go through SQLite itself, so that they are kept exactly as a stored row would keep them.
// Catalogues rarely have any.
class TableStore::AffinityConverter {
public:
    AffinityConverter()
    {
        if (sqlite3_open_v2(":memory:", &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr)
                != SQLITE_OK
            || sqlite3_exec(db_, "CREATE TABLE a (t TEXT, i INTEGER, r REAL); INSERT INTO a VALUES (NULL, NULL, NULL);",
                            nullptr, nullptr, nullptr)
                != SQLITE_OK)
            fail();
        static const char* const columns[] = {"t", "i", "r"};
        for (int k = 0; k < 3; ++k) {
            const std::string set = std::string("UPDATE a SET ") + columns[k] + " = ?1";
            const std::string get = std::string("SELECT ") + columns[k] + " FROM a";
            if (sqlite3_prepare_v2(db_, set.c_str(), -1, &set_[k], nullptr) != SQLITE_OK
                || sqlite3_prepare_v2(db_, get.c_str(), -1, &get_[k], nullptr) != SQLITE_OK)
                fail();
        }
    }
    ~AffinityConverter()
    {
        for (int k = 0; k < 3; ++k) {
            sqlite3_finalize(set_[k]);
            sqlite3_finalize(get_[k]);
        }
        sqlite3_close_v2(db_);
    }

    Value convert(SqlAffinity a, const Value& v)
    {
        const int k = a == SqlAffinity::Text ? 0 : a == SqlAffinity::Integer ? 1 : 2;
        sqlite3_stmt* set = set_[k];
        sqlite3_reset(set);
        bindSqliteValue(set, 1, SqliteValueView::of(v));
        if (sqlite3_step(set) != SQLITE_DONE)
            fail();
        sqlite3_reset(set);
        sqlite3_clear_bindings(set);
        sqlite3_stmt* get = get_[k];
        sqlite3_reset(get);
        if (sqlite3_step(get) != SQLITE_ROW)
            fail();
        Value out = sqliteColumnValue(get, 0);
        sqlite3_reset(get);
        return out;
    }

private:
    [[noreturn]] void fail() { throw DbError::engineFailure(db_ ? sqlite3_errmsg(db_) : "?"); }

    sqlite3* db_ = nullptr;
    sqlite3_stmt* set_[3] = {};
    sqlite3_stmt* get_[3] = {};
};

TableStore::TableStore(std::string name, std::string sqlName, std::vector<CatalogColumn> columns)
    : name_(std::move(name)), sqlName_(std::move(sqlName)), columns_(std::move(columns)),
      cells_(kMaxCells * sizeof(Cell)), arena_(kMaxArenaBytes), ranks_(columns_.size())
{
    for (const CatalogColumn& c : columns_) {
        keyIndex_.push_back(c.keyName.empty() ? -1 : int(keys_.size()));
        if (!c.keyName.empty())
            keys_.emplace_back();
    }
    readTexts_.resize(keys_.size());
}

TableStore::~TableStore() = default;

Value TableStore::value(int column, std::size_t row) const
{
    switch (tag(column, row)) {
    case Tag::Integer: return Value::integer(integer(column, row));
    case Tag::Real: return Value::real(real(column, row));
    case Tag::Text: return Value::text(std::string(bytes(column, row)));
    case Tag::Blob: return Value::binary(std::string(bytes(column, row)));
    default: return {};
    }
}

void TableStore::appendRow(std::vector<Value>& row)
{
    if (columns_.empty())
        return;
    try {
        auto* cells = reinterpret_cast<Cell*>(cells_.grow(columns_.size() * sizeof(Cell)));
        static const Value missing;
        for (std::size_t i = 0; i < columns_.size(); ++i) {
            const Value& v = i < row.size() ? row[i] : missing;
            const SqlAffinity a = affinityOf(columns_[i].kind);
            if (keptAsIs(a, v)) {
                store(v, cells[i]);
                continue;
            }
            if (!converter_)
                converter_ = std::make_unique<AffinityConverter>();
            const Value stored = converter_->convert(a, v);
            store(stored, cells[i]);
            // A text column's key is of the text as read, not as SQLite turned it.
            if (keyIndex_[i] >= 0 && !stored.isNull())
                readTexts_[std::size_t(keyIndex_[i])].emplace_back(std::uint32_t(rows_), v.toText());
        }
    } catch (const std::length_error&) {
        tooLarge();
    } catch (const std::bad_alloc&) {
        tooLarge();
    }
    ++rows_;
}

// Keeps `stored`, the value as SQLite holds it.
void TableStore::store(const Value& stored, Cell& cell)
{
    Tag tag = Tag::Null;
    std::string_view bytes;
    char number[8];
    if (auto s = std::get_if<std::string>(&stored.v)) {
        tag = Tag::Text;
        bytes = *s;
    } else if (auto b = std::get_if<Bytes>(&stored.v)) {
        tag = Tag::Blob;
        bytes = b->data;
    } else if (auto i = std::get_if<std::int64_t>(&stored.v)) {
        tag = Tag::Integer;
        std::memcpy(number, i, 8);
        bytes = std::string_view(number, 8);
    } else if (auto d = std::get_if<double>(&stored.v)) {
        tag = Tag::Real;
        std::memcpy(number, d, 8);
        bytes = std::string_view(number, 8);
    }
    if (bytes.size() > kSizeMask)
        tooLarge();
    const std::size_t offset = arena_.size();
    char* at = arena_.grow(bytes.size());
    if (!bytes.empty()) // an empty value may have no bytes to point at
        std::memcpy(at, bytes.data(), bytes.size());
    cell.offset = std::uint32_t(offset);
    cell.sizeTag = std::uint32_t(bytes.size()) | (std::uint32_t(tag) << kTagShift);
}

// A key for every value that is not Null: its text (as read) folded. Folding never lengthens a
// text; a key that is the value itself takes no bytes.
const TableStore::ColumnKeys& TableStore::foldColumn(int column) const
{
    const std::vector<std::pair<std::uint32_t, std::string>>& readTexts =
        readTexts_[std::size_t(keyIndex_[std::size_t(column)])];
    // The text a row's key is of: its own, its text as read, or a binary value's hexadecimal text.
    std::string scratch;
    auto next = readTexts.begin();
    const auto textOf = [&](std::size_t r) -> std::string_view {
        if (next != readTexts.end() && next->first == r)
            return (next++)->second;
        if (tag(column, r) == Tag::Text)
            return bytes(column, r);
        scratch = value(column, r).toText();
        return scratch;
    };
    try {
        std::size_t room = 0;
        for (std::size_t r = 0; r < rows_; ++r)
            if (!isNull(column, r))
                room += textOf(r).size();
        if (room > std::size_t(0xFFFFFFFF))
            tooLarge();
        auto keys = std::make_unique<ColumnKeys>();
        keys->bytes.reset(new char[std::max<std::size_t>(room, 1)]);
        keys->starts.resize(rows_ + 1);
        std::size_t at = 0;
        next = readTexts.begin();
        for (std::size_t r = 0; r < rows_; ++r) {
            keys->starts[r] = std::uint32_t(at);
            if (isNull(column, r))
                continue;
            const std::string_view text = textOf(r);
            char* key = keys->bytes.get() + at;
            const std::size_t length = jetFoldKeyInto(text, key);
            const std::string_view value = bytes(column, r);
            if (length != value.size() || (length != 0 && std::memcmp(key, value.data(), length) != 0))
                at += length;
        }
        keys->starts[rows_] = std::uint32_t(at);
        auto& slot = keys_[std::size_t(keyIndex_[std::size_t(column)])];
        slot = std::move(keys);
        return *slot;
    } catch (const std::bad_alloc&) {
        tooLarge();
    }
}

const std::vector<std::uint32_t>& TableStore::sortRanks(int column) const
{
    auto& slot = ranks_[std::size_t(column)];
    if (slot)
        return *slot;
    constexpr std::uint32_t none = 0xFFFFFFFF;
    // Each distinct key once, then the distinct keys in order.
    std::unordered_map<std::string_view, std::uint32_t> ids;
    std::vector<std::string_view> distinct;
    std::vector<std::uint32_t> idOf(rows_);
    for (std::size_t r = 0; r < rows_; ++r) {
        if (isNull(column, r)) {
            idOf[r] = none;
            continue;
        }
        const std::string_view k = key(column, r);
        auto [it, added] = ids.try_emplace(k, std::uint32_t(distinct.size()));
        if (added)
            distinct.push_back(k);
        idOf[r] = it->second;
    }
    std::vector<std::uint32_t> order(distinct.size());
    for (std::uint32_t i = 0; i < order.size(); ++i)
        order[i] = i;
    std::sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) { return distinct[a] < distinct[b]; });
    std::vector<std::uint32_t> rankOfId(distinct.size());
    for (std::uint32_t i = 0; i < order.size(); ++i)
        rankOfId[order[i]] = i + 1;
    auto ranks = std::make_unique<std::vector<std::uint32_t>>(rows_);
    for (std::size_t r = 0; r < rows_; ++r)
        (*ranks)[r] = idOf[r] == none ? 0 : rankOfId[idOf[r]];
    slot = std::move(ranks);
    return *slot;
}

std::shared_ptr<const JoinedKeys> TableStore::joinedKeys(const std::vector<JoinedKeys::Part>& parts) const
{
    for (std::size_t i = 0; i < joined_.size(); ++i) {
        if (joined_[i]->parts == parts) {
            std::rotate(joined_.begin(), joined_.begin() + std::ptrdiff_t(i), joined_.begin() + std::ptrdiff_t(i) + 1);
            return joined_.front();
        }
    }
    // At most the table's own bytes: the keys are never more than that, the literals could be.
    std::size_t total = 0;
    for (std::size_t r = 0; r < rows_; ++r) {
        for (const JoinedKeys::Part& p : parts)
            total += p.column < 0 ? p.literal.size() : isNull(p.column, r) ? 0 : key(p.column, r).size();
        if (total > arena_.size() || total > kMaxArenaBytes)
            return nullptr;
    }
    auto j = std::make_shared<JoinedKeys>();
    try {
        j->parts = parts;
        j->bytes.resize(total);
        j->starts.resize(rows_ + 1);
        j->nulls.assign((rows_ + 63) / 64, 0);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    char* out = j->bytes.data();
    std::uint32_t at = 0;
    for (std::size_t r = 0; r < rows_; ++r) {
        j->starts[r] = at;
        bool null = false;
        for (const JoinedKeys::Part& p : parts)
            null = null || (p.column >= 0 && isNull(p.column, r));
        if (null) {
            j->nulls[r / 64] |= std::uint64_t(1) << (r % 64);
            continue;
        }
        for (const JoinedKeys::Part& p : parts) {
            const std::string_view k = p.column < 0 ? std::string_view(p.literal) : key(p.column, r);
            if (!k.empty())
                std::memcpy(out + at, k.data(), k.size());
            at += std::uint32_t(k.size());
        }
    }
    j->starts[rows_] = at;
    j->bytes.resize(at);
    joined_.insert(joined_.begin(), std::move(j));
    // A search asks for a few texts (the keyword fields, the platform, the volume). The most recent
    // are kept while they take at most half of what the table's values take (a search's texts
    // together, asked for again by every search of the same fields), so that memory stays a small
    // multiple of the file whatever fields are searched.
    std::size_t kept = 0;
    for (std::size_t i = 0; i < joined_.size(); ++i) {
        kept += joined_[i]->bytes.size() + joined_[i]->starts.size() * 4 + joined_[i]->nulls.size() * 8;
        if (i > 0 && kept > arena_.size() / 2) {
            joined_.resize(i);
            break;
        }
    }
    return joined_.front();
}

} // namespace orv
