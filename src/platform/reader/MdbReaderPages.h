// Pages of a Jet file read aside from the table scan.
#pragma once

// libmdb's header includes glib inside its own extern "C" block; glib must come first in C++.
#include <glib.h>
#include <mdbtools.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace orv::mdbfile {

// Pages read aside from the scan (long values, usage maps), through libmdb so that they are
// decrypted when needed. A few are kept: neighbouring rows usually keep their memos on the
// same long-value page.
class PageCache {
public:
    // numPages: the whole pages the file holds; nothing at or past it is read.
    PageCache(MdbHandle* mdb, std::uint32_t numPages) : mdb_(mdb), numPages_(numPages) {}

    // The bytes of row `row` of data page `pg`, or false when they cannot be found. They stay
    // valid until the eighth page loaded after this one.
    bool row(std::uint32_t pg, unsigned row, const unsigned char*& data, std::size_t& len);
    // The same for a part of a long value (memo or OLE object), which only a long-value page holds.
    bool longValueRow(std::uint32_t pg, unsigned row, const unsigned char*& data, std::size_t& len);

private:
    const unsigned char* load(std::uint32_t pg);

    struct Slot {
        std::uint32_t pg = 0;
        std::vector<unsigned char> bytes;
    };
    MdbHandle* mdb_;
    std::uint32_t numPages_;
    std::array<Slot, 8> slots_;
    std::size_t next_ = 0;
};

} // namespace orv::mdbfile
