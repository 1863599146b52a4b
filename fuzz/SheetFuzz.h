// What the fuzz targets of the disc image sheets share: a lookup that finds every plain name
// (each with a size of its own) and the check that a track a parser accepts lies inside its file.
#pragma once

#include "platform/disc/SectorImage.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace sheetfuzz {

// Sizes from one sector short of the descriptor to about 700 MB, by the name.
inline std::uint64_t sizeOf(std::string_view name)
{
    std::uint64_t h = 1469598103934665603ull;
    for (unsigned char c : name)
        h = (h ^ c) * 1099511628211ull;
    return 2352ull * (16 + h % 300000) + h % 3000;
}

// As FindBeside answers: nothing for a name that is not plain.
inline orv::FileLookup lookup()
{
    return [](std::string_view name) -> std::optional<orv::NamedFile> {
        if (!orv::IsPlainFileName(name))
            return std::nullopt;
        return orv::NamedFile{std::string(name), sizeOf(name)};
    };
}

// A track taken must have a known layout and lie wholly inside the file.
inline void checkTrack(const orv::DataTrack& t, std::uint64_t fileSize)
{
    const std::uint32_t s = t.sectorSize;
    if (s != 2048 && s != 2336 && s != 2352 && s != 2448)
        std::abort();
    if (t.dataOffset + orv::kUserDataSize > s || t.sectors <= 16 || t.start > fileSize
        || t.sectors > (fileSize - t.start) / s)
        std::abort();
}

inline void checkNamedTrack(const orv::DataTrack& t)
{
    if (!orv::IsPlainFileName(t.file))
        std::abort();
    checkTrack(t, sizeOf(t.file));
}

} // namespace sheetfuzz
