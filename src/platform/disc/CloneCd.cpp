#include "platform/disc/CloneCd.h"

#include "platform/disc/SheetText.h"
#include "platform/text/AsciiText.h"

namespace orv {

namespace {

// CloneCD keeps every sector raw, subchannel apart.
constexpr std::uint32_t kRawSector = 2352;
// No CD holds more sectors than this (99 minutes).
constexpr std::uint64_t kMaxSector = 99ull * 60 * 75;

struct CcdTrack {
    std::uint64_t number = 0;
    std::uint64_t mode = 3; // 0 audio, 1 Mode 1, 2 Mode 2; 3 until given
    std::optional<std::uint64_t> index0, index1;
};

struct Ccd {
    std::vector<CcdTrack> tracks;
    bool scrambled = false;
};

enum class Section { Other, Disc, Track };

bool readCcd(std::string_view text, Ccd* out)
{
    if (text.size() > kMaxSheetBytes)
        return false;
    Section section = Section::Other;
    return sheet::forEachLine(text, [&](std::string_view line) {
        if (line.empty() || line.front() == ';')
            return true;
        if (line.front() == '[') {
            if (line.back() != ']')
                return false;
            std::string_view name = line.substr(1, line.size() - 2);
            const std::string_view word = sheet::nextWord(name);
            section = Section::Other;
            if (AsciiEqualNoCase(word, "Disc"))
                section = Section::Disc;
            if (!AsciiEqualNoCase(word, "TRACK"))
                return true;
            CcdTrack track;
            if (out->tracks.size() >= std::size_t(kMaxTracks)
                || !sheet::parseNumber(sheet::trimmed(name), std::uint64_t(kMaxTracks), &track.number)
                || track.number == 0 || (!out->tracks.empty() && track.number <= out->tracks.back().number))
                return false;
            out->tracks.push_back(track);
            section = Section::Track;
            return true;
        }
        const std::size_t eq = line.find('=');
        if (eq == std::string_view::npos)
            return false;
        const std::string_view key = sheet::trimmed(line.substr(0, eq));
        const std::string_view value = sheet::trimmed(line.substr(eq + 1));
        if (section == Section::Disc && AsciiEqualNoCase(key, "DataTracksScrambled"))
            out->scrambled = value != "0";
        if (section != Section::Track)
            return true;
        CcdTrack& track = out->tracks.back();
        std::uint64_t v = 0;
        const bool isIndex0 = AsciiEqualNoCase(key, "INDEX 0"), isIndex1 = AsciiEqualNoCase(key, "INDEX 1");
        if (AsciiEqualNoCase(key, "MODE"))
            return sheet::parseNumber(value, 2, &track.mode);
        if (!isIndex0 && !isIndex1)
            return true;
        if (!sheet::parseNumber(value, kMaxSector, &v))
            return false;
        (isIndex0 ? track.index0 : track.index1) = v;
        return true;
    });
}

} // namespace

bool ParseCloneCd(std::string_view text, const std::string& baseName, const FileLookup& lookup, DataTrack* track)
{
    Ccd ccd;
    if (!readCcd(text, &ccd) || ccd.scrambled)
        return false;
    for (const CcdTrack& t : ccd.tracks)
        if (t.mode > 2 || !t.index1 || (t.index0 && *t.index0 > *t.index1))
            return false;
    std::size_t data = 0;
    while (data < ccd.tracks.size() && ccd.tracks[data].mode == 0)
        ++data;
    if (data == ccd.tracks.size())
        return false;
    const std::optional<NamedFile> img = lookup(baseName + ".img");
    if (!img)
        return false;
    const std::uint64_t start = *ccd.tracks[data].index1;
    std::uint64_t end = img->size / kRawSector;
    if (data + 1 < ccd.tracks.size()) {
        const CcdTrack& next = ccd.tracks[data + 1];
        end = next.index0 ? *next.index0 : *next.index1;
        if (end < start || end > img->size / kRawSector)
            return false;
    }
    DataTrack t;
    t.file = img->path;
    t.start = start * kRawSector;
    t.sectorSize = kRawSector;
    t.dataOffset = *UserDataOffset(ccd.tracks[data].mode == 1 ? TrackMode::Mode1 : TrackMode::Mode2, kRawSector);
    t.sectors = end > start ? end - start : 0;
    if (!TrackFits(t, img->size))
        return false;
    *track = std::move(t);
    return true;
}

std::vector<std::string> CloneCdFileNames(const std::string& baseName)
{
    return {baseName + ".img", baseName + ".sub"};
}

} // namespace orv
