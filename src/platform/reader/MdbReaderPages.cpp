#include "platform/reader/MdbReaderPages.h"

#include "platform/reader/MdbReaderBytes.h"

#include <cstring>

namespace orv::mdbfile {

bool PageCache::row(std::uint32_t pg, unsigned row, const unsigned char*& data, std::size_t& len)
{
    const unsigned char* page = load(pg);
    if (!page || page[0] != MDB_PAGE_DATA)
        return false;
    const int pgSize = int(mdb_->fmt->pg_size);
    const int rco = mdb_->fmt->row_count_offset;
    const unsigned rows = get16(page + rco);
    // Rows lie between the table of row offsets and the end of the page.
    const int dataStart = rco + 2 + 2 * int(rows);
    if (row >= rows || dataStart > pgSize)
        return false;
    int start = get16(page + rco + 2 + 2 * row) & kOffsetMask;
    int end = row == 0 ? pgSize : (get16(page + rco + 2 * row) & kOffsetMask);
    if (start < dataStart || start > end || end > pgSize)
        return false;
    data = page + start;
    len = std::size_t(end - start);
    return true;
}

bool PageCache::longValueRow(std::uint32_t pg, unsigned row, const unsigned char*& data, std::size_t& len)
{
    // Long-value pages name no table as their owner but this mark.
    const unsigned char* page = load(pg);
    return page && std::memcmp(page + 4, "LVAL", 4) == 0 && this->row(pg, row, data, len);
}

const unsigned char* PageCache::load(std::uint32_t pg)
{
    if (pg == 0 || pg >= numPages_)
        return nullptr;
    for (auto& s : slots_)
        if (s.pg == pg && !s.bytes.empty())
            return s.bytes.data();
    if (mdb_read_alt_pg(mdb_, pg) != mdb_->fmt->pg_size)
        return nullptr;
    Slot& s = slots_[next_];
    next_ = (next_ + 1) % slots_.size();
    s.pg = pg;
    s.bytes.assign(mdb_->alt_pg_buf, mdb_->alt_pg_buf + mdb_->fmt->pg_size);
    return s.bytes.data();
}

} // namespace orv::mdbfile
