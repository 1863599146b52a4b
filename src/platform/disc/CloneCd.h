// CloneCD images: the .ccd text ([TRACK n] sections with MODE= and INDEX 1=) over the raw
// 2352-byte sectors of the .img beside it; the .sub (subchannel data) is not needed.
#pragma once

#include "platform/disc/SectorImage.h"

#include <string>
#include <string_view>
#include <vector>

namespace orv {

// The first data track of the .ccd text, in the .img found through lookup as baseName + ".img"
// (baseName: the .ccd's own name without its extension). false for a description that is not
// whole and consistent, scrambled data tracks, or an .img that is not there.
bool ParseCloneCd(std::string_view text, const std::string& baseName, const FileLookup& lookup, DataTrack* track);

// The files of a CloneCD image beside its .ccd: baseName + ".img" and ".sub".
std::vector<std::string> CloneCdFileNames(const std::string& baseName);

} // namespace orv
