// The CloneCD description parser on any text: a data track it takes lies inside the .img.
#include "SheetFuzz.h"
#include "platform/disc/CloneCd.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    orv::DataTrack track;
    if (orv::ParseCloneCd(text, "CD008", sheetfuzz::lookup(), &track)) {
        if (track.file != "CD008.img" || track.sectorSize != 2352)
            std::abort();
        sheetfuzz::checkNamedTrack(track);
    }
    return 0;
}
