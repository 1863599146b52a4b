// Nero images (.nrg): the sectors first, then a list of chunks found from the footer ("NER5" and a
// 64-bit offset, or "NERO" and a 32-bit one). A disc-at-once chunk (DAOX, DAOI) or a
// track-at-once one (ETN2, ETNF) gives each track's start, mode and sector size.
#pragma once

#include "platform/disc/SectorImage.h"

#include <string_view>

namespace orv {

// The first data track of a Nero image of fileSize bytes whose last tail.size() bytes are tail
// (the chunk list must lie within them). track->file is left as it is. false for a footer or chunk
// list that is not whole and consistent: an offset outside the image, an unknown mode, a sector
// size that does not fit its mode, tracks overlapping or reaching into the chunk list.
bool ParseNeroImage(std::string_view tail, std::uint64_t fileSize, DataTrack* track);

} // namespace orv
