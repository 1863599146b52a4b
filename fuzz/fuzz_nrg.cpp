// The Nero image parser and the detection of lone raw sectors on any bytes taken as a whole data
// file: a data track either takes lies inside the file (for a Nero image, before its chunk list).
#include "SheetFuzz.h"
#include "platform/disc/NeroImage.h"

#include <algorithm>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    orv::DataTrack track;
    track.file = "CD010.nrg";
    const std::string_view tail = bytes.substr(bytes.size() - std::min(bytes.size(), orv::kMaxSheetBytes));
    if (orv::ParseNeroImage(tail, size, &track)) {
        if (track.file != "CD010.nrg")
            std::abort();
        sheetfuzz::checkTrack(track, size);
    }
    orv::DataTrack raw;
    if (orv::DetectRawTrack(bytes, size, &raw))
        sheetfuzz::checkTrack(raw, size);
    return 0;
}
