// Alcohol images: the .mds descriptor (signature "MEDIA DESCRIPTOR"; a session block, then a block
// per track with its mode, sector size and start in the data file) over the .mdf it names.
#pragma once

#include "platform/disc/SectorImage.h"

#include <string>
#include <string_view>
#include <vector>

namespace orv {

// The first data track of the first session, in the file found through lookup (the descriptor's
// "*.mdf" meaning baseName + ".mdf", baseName being the .mds's own name without its extension).
// false for a descriptor that is not whole and consistent: blocks or names outside it, an unknown
// layout, a track outside its file or overlapping the next.
bool ParseAlcoholMds(std::string_view bytes, const std::string& baseName, const FileLookup& lookup, DataTrack* track);

// The names of the data files the descriptor's tracks name, "*.mdf" made baseName + ".mdf".
std::vector<std::string> AlcoholMdsFileNames(std::string_view bytes, const std::string& baseName);

} // namespace orv
