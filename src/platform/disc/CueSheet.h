// CUE sheets: FILE lines naming the files that hold a disc's sectors, TRACK lines with each
// track's mode and sector size, INDEX lines with where it starts in its file.
#pragma once

#include "platform/disc/SectorImage.h"

#include <string>
#include <string_view>
#include <vector>

namespace orv {

// The first data track the sheet describes, its file found through lookup. false for a sheet that
// is not whole and consistent: an unknown track type, tracks or indexes out of order or
// overlapping, a data track outside its file, a file that is not there.
bool ParseCueSheet(std::string_view text, const FileLookup& lookup, DataTrack* track);

// The names of the FILE lines, as written, up to the first line that cannot be read.
std::vector<std::string> CueSheetFileNames(std::string_view text);

} // namespace orv
