// The Alcohol descriptor parser on any bytes: a data track it takes lies inside a file of a plain
// name, and the names it lists are bounded.
#include "SheetFuzz.h"
#include "platform/disc/AlcoholMds.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    orv::DataTrack track;
    if (orv::ParseAlcoholMds(bytes, "CD009", sheetfuzz::lookup(), &track))
        sheetfuzz::checkNamedTrack(track);
    if (orv::AlcoholMdsFileNames(bytes, "CD009").size() > std::size_t(orv::kMaxTracks) * orv::kMaxTracks)
        std::abort();
    return 0;
}
