// Little-endian integers and row offsets as Jet data pages store them.
#pragma once

#include <cstdint>

namespace orv::mdbfile {

// The offset bits of a data page's row-offset entry; the top bits are flags.
inline constexpr int kOffsetMask = 0x1fff;

inline std::uint16_t get16(const unsigned char* p) { return std::uint16_t(p[0] | (p[1] << 8)); }
inline std::uint32_t get32(const unsigned char* p)
{
    return std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16) | (std::uint32_t(p[3]) << 24);
}

} // namespace orv::mdbfile
