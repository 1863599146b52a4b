// The CUE sheet parser on any text: a data track it takes lies inside a file of a plain name.
#include "SheetFuzz.h"
#include "platform/disc/CueSheet.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    orv::DataTrack track;
    if (orv::ParseCueSheet(text, sheetfuzz::lookup(), &track))
        sheetfuzz::checkNamedTrack(track);
    if (orv::CueSheetFileNames(text).size() > std::size_t(orv::kMaxTracks))
        std::abort();
    return 0;
}
