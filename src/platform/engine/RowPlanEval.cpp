#include "platform/engine/RowPlanEval.h"

#include "platform/engine/TableStore.h"
#include "platform/jet/JetText.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

#ifdef __SSE2__
#include <emmintrin.h>
#endif
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace orv {

namespace {

enum class Truth : std::uint8_t { False, True, Null };

// The table cannot keep what the plan needs (its texts joined would be too large).
struct NoPlan {};

// A PlanText over the rows of a table. A text of columns reads their keys joined, laid end to
// end (TableStore::joinedKeys), so that a pass over the rows reads memory in order; a text of
// literals alone is the same for every row.
class Text {
public:
    Text(const PlanText& text, const TableStore& table)
    {
        std::vector<JoinedKeys::Part> parts;
        bool columns = false;
        for (const PlanText::Part& p : text.parts) {
            null_ = null_ || p.null;
            columns = columns || p.column >= 0;
            if (p.column < 0)
                constant_ += p.literal;
            parts.push_back({p.column, p.literal});
        }
        if (!null_ && columns) {
            joined_ = table.joinedKeys(parts);
            if (!joined_)
                throw NoPlan();
        }
    }

    // The rows' texts, or null when the text is a constant (or Null).
    const JoinedKeys* rows() const { return joined_.get(); }

    // The row's text; false when it is Null.
    bool at(std::size_t row, std::string_view& out) const
    {
        if (null_)
            return false;
        if (!joined_) {
            out = constant_;
            return true;
        }
        if (joined_->isNull(row))
            return false;
        out = joined_->row(row);
        return true;
    }

private:
    bool null_ = false;
    std::string constant_;
    std::shared_ptr<const JoinedKeys> joined_;
};

// The first place of needle (not empty) in [p, end), or end. Candidates are the places where
// both the needle's first and last bytes fit, sixteen places at a time.
const char* findBytes(const char* p, const char* end, std::string_view needle)
{
    const std::size_t n = needle.size();
    if (std::size_t(end - p) < n)
        return end;
    if (n == 1) {
        const void* hit = std::memchr(p, static_cast<unsigned char>(needle[0]), std::size_t(end - p));
        return hit ? static_cast<const char*>(hit) : end;
    }
#ifdef __SSE2__
    const __m128i first = _mm_set1_epi8(needle[0]);
    const __m128i last = _mm_set1_epi8(needle[n - 1]);
    // A needle may start anywhere before `starts`; each block reads 16 + n - 1 bytes.
    const char* const starts = end - n + 1;
    for (; starts - p >= 16; p += 16) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + n - 1));
        auto mask =
            static_cast<unsigned>(_mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(a, first), _mm_cmpeq_epi8(b, last))));
        for (; mask; mask &= mask - 1) {
            const char* at = p + std::countr_zero(mask);
            if (std::memcmp(at + 1, needle.data() + 1, n - 2) == 0)
                return at;
        }
    }
#endif
    const std::size_t at = std::string_view(p, std::size_t(end - p)).find(needle);
    return at == std::string_view::npos ? end : p + at;
}

// Rows are decided a block at a time: every condition of a statement works through one block's
// texts while they are still in the processor's cache.
constexpr std::size_t kBlockRows = 2048;

// A set of rows of one block (rows first to first + count, first a multiple of 64), a bit each.
class RowSet {
public:
    RowSet(std::size_t first, std::size_t count, bool all = false) : first_(first), words_((count + 63) / 64)
    {
        std::fill(bits_.begin(), bits_.end(), 0);
        if (all) {
            std::fill(bits_.begin(), bits_.begin() + std::ptrdiff_t(words_), ~std::uint64_t(0));
            if (count % 64)
                bits_[words_ - 1] = (std::uint64_t(1) << (count % 64)) - 1;
        }
    }
    // An empty set over the same block.
    RowSet none() const { return RowSet(first_, words_ * 64); }

    bool has(std::size_t r) const { return bits_[(r - first_) / 64] >> (r % 64) & 1; }
    void add(std::size_t r) { bits_[(r - first_) / 64] |= std::uint64_t(1) << (r % 64); }
    bool empty() const
    {
        return std::all_of(bits_.begin(), bits_.begin() + std::ptrdiff_t(words_),
                           [](std::uint64_t w) { return w == 0; });
    }
    void clear() { std::fill(bits_.begin(), bits_.end(), 0); }

    // this = f(this, other) word by word.
    template <class F> void combine(const RowSet& other, F f)
    {
        for (std::size_t i = 0; i < words_; ++i)
            bits_[i] = f(bits_[i], other.bits_[i]);
    }
    template <class F> void combine(const RowSet& a, const RowSet& b, F f)
    {
        for (std::size_t i = 0; i < words_; ++i)
            bits_[i] = f(a.bits_[i], b.bits_[i]);
    }
    // Removes (keeps only) the rows set in a bit array over the whole table.
    void removeBits(const std::vector<std::uint64_t>& bits)
    {
        for (std::size_t i = 0; i < words_; ++i)
            bits_[i] &= ~bits[first_ / 64 + i];
    }
    void keepBits(const std::vector<std::uint64_t>& bits)
    {
        for (std::size_t i = 0; i < words_; ++i)
            bits_[i] &= bits[first_ / 64 + i];
    }

    template <class F> void forEach(F f) const
    {
        for (std::size_t i = 0; i < words_; ++i)
            for (std::uint64_t w = bits_[i]; w; w &= w - 1)
                f(first_ + i * 64 + std::size_t(std::countr_zero(w)));
    }

    // f(first, end) for runs of rows that cover the set, in order: rows of the set, with gaps of
    // fewer than `gap` rows not in the set between them.
    template <class F> void forEachRun(std::size_t gap, F f) const
    {
        std::size_t first = 0, end = 0;
        bool any = false;
        forEach([&](std::size_t r) {
            if (!any || r >= end + gap) {
                if (any)
                    f(first, end);
                first = r;
                any = true;
            }
            end = r + 1;
        });
        if (any)
            f(first, end);
    }

private:
    std::size_t first_;
    std::size_t words_;
    std::array<std::uint64_t, kBlockRows / 64> bits_;
};

// A condition decides for the rows it is asked about (care) which are true and which Null; every
// other row of care is false. Rows outside care are left out of both sets.
class Condition {
public:
    virtual ~Condition() = default;
    virtual void eval(const RowSet& care, RowSet& isTrue, RowSet& isNull) const = 0;
};

// A condition decided row by row.
class RowCondition : public Condition {
public:
    void eval(const RowSet& care, RowSet& isTrue, RowSet& isNull) const override
    {
        isTrue.clear();
        isNull.clear();
        care.forEach([&](std::size_t r) {
            const Truth t = row(r);
            if (t == Truth::True)
                isTrue.add(r);
            else if (t == Truth::Null)
                isNull.add(r);
        });
    }
    virtual Truth row(std::size_t r) const = 0;
};

using ConditionP = std::unique_ptr<Condition>;
ConditionP compile(const PlanCondition& c, const TableStore& table);

class And final : public Condition {
public:
    And(const PlanCondition& c, const TableStore& table)
    {
        for (const PlanCondition& k : c.kids)
            kids_.push_back(compile(k, table));
    }
    // False wins, then Null: each kid is asked only about the rows no earlier kid made false.
    void eval(const RowSet& care, RowSet& isTrue, RowSet& isNull) const override
    {
        RowSet alive = care, nullSeen = care.none(), t = care.none(), n = care.none();
        for (const ConditionP& k : kids_) {
            if (alive.empty())
                break;
            k->eval(alive, t, n);
            alive.combine(t, n, [](std::uint64_t a, std::uint64_t b) { return a | b; });
            nullSeen.combine(n, [](std::uint64_t a, std::uint64_t b) { return a | b; });
        }
        isTrue.combine(alive, nullSeen, [](std::uint64_t a, std::uint64_t b) { return a & ~b; });
        isNull.combine(alive, nullSeen, [](std::uint64_t a, std::uint64_t b) { return a & b; });
    }

private:
    std::vector<ConditionP> kids_;
};

class Or final : public Condition {
public:
    Or(const PlanCondition& c, const TableStore& table)
    {
        for (const PlanCondition& k : c.kids)
            kids_.push_back(compile(k, table));
    }
    // True wins, then Null: each kid is asked only about the rows no earlier kid made true.
    void eval(const RowSet& care, RowSet& isTrue, RowSet& isNull) const override
    {
        RowSet open = care, nullSeen = care.none(), t = care.none(), n = care.none();
        isTrue.clear();
        for (const ConditionP& k : kids_) {
            if (open.empty())
                break;
            k->eval(open, t, n);
            isTrue.combine(t, [](std::uint64_t a, std::uint64_t b) { return a | b; });
            open.combine(t, [](std::uint64_t a, std::uint64_t b) { return a & ~b; });
            nullSeen.combine(n, [](std::uint64_t a, std::uint64_t b) { return a | b; });
        }
        isNull.combine(open, nullSeen, [](std::uint64_t a, std::uint64_t b) { return a & b; });
    }

private:
    std::vector<ConditionP> kids_;
};

class Not final : public Condition {
public:
    Not(const PlanCondition& c, const TableStore& table) : kid_(compile(c.kids.at(0), table)) {}
    void eval(const RowSet& care, RowSet& isTrue, RowSet& isNull) const override
    {
        RowSet t = care.none();
        kid_->eval(care, t, isNull);
        isTrue.combine(care, t, [](std::uint64_t a, std::uint64_t b) { return a & ~b; });
        isTrue.combine(isNull, [](std::uint64_t a, std::uint64_t b) { return a & ~b; });
    }

private:
    ConditionP kid_;
};

class Like final : public Condition {
public:
    Like(const PlanCondition& c, const TableStore& table)
        : text_(c.text, table), matcher_(c.pattern), null_(c.nullPattern)
    {
        if (const std::string* literal = matcher_.soleLiteral()) {
            contains_ = true;
            literal_ = *literal;
        }
    }

    void eval(const RowSet& care, RowSet& isTrue, RowSet& isNull) const override
    {
        isTrue.clear();
        isNull.clear();
        const JoinedKeys* j = text_.rows();
        if (null_ || !j) {
            // The same for every row.
            std::string_view s;
            if (null_ || !text_.at(0, s))
                isNull = care;
            else if (matcher_.match(s))
                isTrue = care;
            return;
        }
        RowSet known = care;
        known.removeBits(j->nulls);
        isNull.combine(care, known, [](std::uint64_t a, std::uint64_t b) { return a & ~b; });
        if (!contains_) {
            known.forEach([&](std::size_t r) {
                if (matcher_.match(j->row(r)))
                    isTrue.add(r);
            });
        } else if (literal_.empty()) {
            isTrue = known;
        } else {
            // Consecutive rows' texts lie end to end: each run of them is searched in one go, a few
            // rows between them that are not asked about included, as one scan costs less than two.
            known.forEachRun(8, [&](std::size_t first, std::size_t end) { scan(*j, known, first, end, isTrue); });
        }
    }

private:
    // Adds the rows of `rows` from first to end whose text holds the literal.
    void scan(const JoinedKeys& j, const RowSet& rows, std::size_t first, std::size_t end, RowSet& found) const
    {
        const char* base = j.bytes.data();
        const char* p = base + j.starts[first];
        const char* stop = base + j.starts[end];
        std::size_t row = first;
        while (p < stop) {
            const char* hit = findBytes(p, stop, literal_);
            if (hit == stop)
                break;
            const std::size_t at = std::size_t(hit - base);
            while (j.starts[row + 1] <= at)
                ++row;
            const std::size_t rowEnd = j.starts[row + 1];
            if (at + literal_.size() <= rowEnd) {
                if (rows.has(row))
                    found.add(row);
                p = base + rowEnd;
            } else {
                p = hit + 1; // runs on into the next row's text
            }
        }
    }

    Text text_;
    LikeMatcher matcher_;
    bool null_;
    bool contains_ = false;
    std::string literal_;
};

class Compare final : public RowCondition {
public:
    Compare(const PlanCondition& c, const TableStore& table)
        : left_(c.text, table), right_(c.other, table), comparison_(c.comparison)
    {}
    Truth row(std::size_t r) const override
    {
        std::string_view a, b;
        if (!left_.at(r, a) || !right_.at(r, b))
            return Truth::Null;
        const int c = a.compare(b);
        bool holds = false;
        switch (comparison_) {
        case PlanCondition::Comparison::Equal: holds = c == 0; break;
        case PlanCondition::Comparison::NotEqual: holds = c != 0; break;
        case PlanCondition::Comparison::Less: holds = c < 0; break;
        case PlanCondition::Comparison::Greater: holds = c > 0; break;
        case PlanCondition::Comparison::LessOrEqual: holds = c <= 0; break;
        case PlanCondition::Comparison::GreaterOrEqual: holds = c >= 0; break;
        }
        return holds ? Truth::True : Truth::False;
    }

private:
    Text left_;
    Text right_;
    PlanCondition::Comparison comparison_;
};

class IsNull final : public Condition {
public:
    IsNull(const PlanCondition& c, const TableStore& table)
        : table_(table), column_(c.column), negated_(c.op == PlanCondition::Op::IsNotNull)
    {
        if (table.keyed(column_)) {
            nulls_ = table.joinedKeys({{column_, {}}});
            if (!nulls_)
                throw NoPlan();
        }
    }
    void eval(const RowSet& care, RowSet& isTrue, RowSet& isNull) const override
    {
        isNull.clear();
        if (nulls_) {
            // The Null bits of the column's keys.
            isTrue = care;
            if (negated_)
                isTrue.removeBits(nulls_->nulls);
            else
                isTrue.keepBits(nulls_->nulls);
            return;
        }
        isTrue.clear();
        care.forEach([&](std::size_t r) {
            if (table_.isNull(column_, r) != negated_)
                isTrue.add(r);
        });
    }

private:
    const TableStore& table_;
    int column_;
    bool negated_;
    std::shared_ptr<const JoinedKeys> nulls_;
};

ConditionP compile(const PlanCondition& c, const TableStore& table)
{
    switch (c.op) {
    case PlanCondition::Op::And: return std::make_unique<And>(c, table);
    case PlanCondition::Op::Or: return std::make_unique<Or>(c, table);
    case PlanCondition::Op::Not: return std::make_unique<Not>(c, table);
    case PlanCondition::Op::Like: return std::make_unique<Like>(c, table);
    case PlanCondition::Op::Compare: return std::make_unique<Compare>(c, table);
    case PlanCondition::Op::IsNull:
    case PlanCondition::Op::IsNotNull: return std::make_unique<IsNull>(c, table);
    }
    return nullptr;
}

} // namespace

std::optional<std::vector<std::uint32_t>> selectRows(const RowPlan& plan, const TableStore& table)
{
    std::vector<std::uint32_t> rows;
    const std::size_t n = table.rowCount();
    if (plan.reach == RowPlan::Reach::AllRows) {
        rows.resize(n);
        for (std::size_t r = 0; r < n; ++r)
            rows[r] = std::uint32_t(r);
        return rows;
    }
    ConditionP condition;
    try {
        condition = compile(plan.condition, table);
    } catch (const NoPlan&) {
        return std::nullopt;
    }
    for (std::size_t first = 0; first < n; first += kBlockRows) {
        const RowSet all(first, std::min(kBlockRows, n - first), true);
        RowSet isTrue = all.none(), isNull = all.none();
        condition->eval(all, isTrue, isNull);
        isTrue.forEach([&](std::size_t r) { rows.push_back(std::uint32_t(r)); });
    }
    return rows;
}

void sortRows(std::vector<std::uint32_t>& rows, const TableStore& table, int column, bool descending)
{
    const std::vector<std::uint32_t>& ranks = table.sortRanks(column);
    std::uint32_t top = 0;
    for (std::uint32_t r : ranks)
        top = std::max(top, r);
    // Ranks in the order wanted; equal ranks keep the rows' (table) order.
    auto place = [&](std::uint32_t row) { return descending ? top - ranks[row] : ranks[row]; };
    if (rows.size() < std::size_t(top) / 8) {
        std::stable_sort(rows.begin(), rows.end(),
                         [&](std::uint32_t a, std::uint32_t b) { return place(a) < place(b); });
        return;
    }
    // A counting sort: one pass to count each rank, one to place the rows.
    std::vector<std::uint32_t> start(std::size_t(top) + 2, 0);
    for (std::uint32_t row : rows)
        ++start[place(row) + 1];
    for (std::size_t i = 1; i < start.size(); ++i)
        start[i] += start[i - 1];
    std::vector<std::uint32_t> sorted(rows.size());
    for (std::uint32_t row : rows)
        sorted[start[place(row)]++] = row;
    rows.swap(sorted);
}

} // namespace orv
