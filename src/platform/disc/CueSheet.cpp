#include "platform/disc/CueSheet.h"

#include "platform/disc/SheetText.h"
#include "platform/text/AsciiText.h"

#include <array>

namespace orv {

namespace {

using sheet::nextWord;
using sheet::parseNumber;

struct TrackType {
    std::string_view name;
    bool data; // holds 2048-byte user data that may be an ISO 9660 file system
    TrackMode mode;
    std::uint32_t size;
};

// The types a TRACK line may give. Mode 2 form 2 (2324) and CD-i tracks hold no ISO 9660 data.
constexpr std::array<TrackType, 10> kTrackTypes{{
    {"AUDIO", false, TrackMode::Audio, 2352},
    {"CDG", false, TrackMode::Audio, 2448},
    {"MODE1/2048", true, TrackMode::Mode1, 2048},
    {"MODE1/2352", true, TrackMode::Mode1, 2352},
    {"MODE2/2048", true, TrackMode::Mode2, 2048},
    {"MODE2/2324", false, TrackMode::Mode2, 2324},
    {"MODE2/2336", true, TrackMode::Mode2, 2336},
    {"MODE2/2352", true, TrackMode::Mode2, 2352},
    {"CDI/2336", false, TrackMode::Mode2, 2336},
    {"CDI/2352", false, TrackMode::Mode2, 2352},
}};

struct CueFile {
    std::string name;
    bool binary = false; // bytes as they lie on the disc: not byte-swapped, not an audio file
};

struct CueTrack {
    std::uint64_t number;
    const TrackType* type;
};

struct CueIndex {
    std::size_t file; // the FILE it lies in (a pregap may lie in the file before its track's)
    std::size_t track;
    std::uint64_t number;
    std::uint64_t frames; // position in its file, in sectors
};

struct Sheet {
    std::vector<CueFile> files;
    std::vector<CueTrack> tracks;
    std::vector<CueIndex> indexes;
};

// mm:ss:ff, 75 frames a second.
bool parseTime(std::string_view s, std::uint64_t* frames)
{
    const std::size_t a = s.find(':');
    const std::size_t b = a == std::string_view::npos ? a : s.find(':', a + 1);
    std::uint64_t m = 0, sec = 0, f = 0;
    if (b == std::string_view::npos || !parseNumber(s.substr(0, a), 999, &m)
        || !parseNumber(s.substr(a + 1, b - a - 1), 59, &sec) || !parseNumber(s.substr(b + 1), 74, &f))
        return false;
    *frames = (m * 60 + sec) * 75 + f;
    return true;
}

bool readFile(std::string_view rest, Sheet* out)
{
    rest = sheet::trimmed(rest);
    CueFile file;
    std::string_view type;
    if (!rest.empty() && rest.front() == '"') {
        const std::size_t close = rest.find('"', 1);
        if (close == std::string_view::npos)
            return false;
        file.name = std::string(rest.substr(1, close - 1));
        rest.remove_prefix(close + 1);
        type = nextWord(rest);
    } else {
        // An unquoted name may hold blanks: the type is the last word.
        const std::size_t blank = rest.find_last_of(" \t");
        if (blank == std::string_view::npos)
            return false;
        file.name = std::string(sheet::trimmed(rest.substr(0, blank)));
        type = rest.substr(blank + 1);
        rest = {};
    }
    if (file.name.empty() || type.empty() || !sheet::trimmed(rest).empty()
        || out->files.size() >= std::size_t(kMaxTracks))
        return false;
    file.binary = AsciiEqualNoCase(type, "BINARY");
    out->files.push_back(std::move(file));
    return true;
}

bool readTrack(std::string_view rest, Sheet* out)
{
    CueTrack track{};
    if (out->files.empty() || out->tracks.size() >= std::size_t(kMaxTracks)
        || !parseNumber(nextWord(rest), std::uint64_t(kMaxTracks), &track.number) || track.number == 0
        || (!out->tracks.empty() && track.number <= out->tracks.back().number))
        return false;
    const std::string_view typeName = nextWord(rest);
    for (const TrackType& t : kTrackTypes)
        if (AsciiEqualNoCase(typeName, t.name))
            track.type = &t;
    if (!track.type || !sheet::trimmed(rest).empty())
        return false;
    out->tracks.push_back(track);
    return true;
}

bool readIndex(std::string_view rest, Sheet* out)
{
    CueIndex index{};
    if (out->tracks.empty() || !parseNumber(nextWord(rest), 99, &index.number)
        || !parseTime(nextWord(rest), &index.frames) || !sheet::trimmed(rest).empty())
        return false;
    index.file = out->files.size() - 1;
    index.track = out->tracks.size() - 1;
    // Indexes rise within a track, and positions within a file: anything else overlaps.
    for (auto it = out->indexes.rbegin(); it != out->indexes.rend(); ++it) {
        if (it->track == index.track && it->number >= index.number)
            return false;
        if (it->file == index.file) {
            if (it->frames > index.frames)
                return false;
            break;
        }
    }
    if (out->indexes.size() >= std::size_t(kMaxTracks) * 100)
        return false;
    out->indexes.push_back(index);
    return true;
}

// Reads the sheet's lines up to the first that cannot be read; false then.
bool readSheet(std::string_view text, Sheet* out)
{
    if (text.size() > kMaxSheetBytes)
        return false;
    return sheet::forEachLine(text, [out](std::string_view line) {
        std::string_view rest = line;
        const std::string_view keyword = nextWord(rest);
        if (AsciiEqualNoCase(keyword, "FILE"))
            return readFile(rest, out);
        if (AsciiEqualNoCase(keyword, "TRACK"))
            return readTrack(rest, out);
        if (AsciiEqualNoCase(keyword, "INDEX"))
            return readIndex(rest, out);
        if (AsciiEqualNoCase(keyword, "PREGAP") || AsciiEqualNoCase(keyword, "POSTGAP")) {
            std::uint64_t frames = 0;
            return !out->tracks.empty() && parseTime(nextWord(rest), &frames);
        }
        // REM, TITLE, PERFORMER, CATALOG, FLAGS, ISRC, CDTEXTFILE...: nothing about where sectors lie.
        return true;
    });
}

} // namespace

bool ParseCueSheet(std::string_view text, const FileLookup& lookup, DataTrack* track)
{
    Sheet s;
    if (!readSheet(text, &s))
        return false;
    // The first data track and its INDEX 01.
    std::size_t data = s.tracks.size();
    for (std::size_t t = 0; t < s.tracks.size() && data == s.tracks.size(); ++t)
        if (s.tracks[t].type->data)
            data = t;
    std::size_t start = s.indexes.size();
    for (std::size_t i = 0; i < s.indexes.size(); ++i)
        if (s.indexes[i].track == data && s.indexes[i].number == 1)
            start = i;
    if (start == s.indexes.size())
        return false;
    const TrackType& type = *s.tracks[data].type;
    const std::size_t file = s.indexes[start].file;
    if (!s.files[file].binary)
        return false;

    // Byte positions within the file: each stretch between two indexes has the sector size of the
    // track the first of them belongs to.
    std::uint64_t bytes = 0, startByte = 0, endByte = 0;
    bool begun = false, ended = false;
    const CueIndex* previous = nullptr;
    for (std::size_t i = 0; i < s.indexes.size() && !ended; ++i) {
        const CueIndex& index = s.indexes[i];
        if (index.file != file)
            continue;
        const std::uint64_t size = s.tracks[previous ? previous->track : index.track].type->size;
        bytes += (index.frames - (previous ? previous->frames : 0)) * size;
        if (i == start) {
            startByte = bytes;
            begun = true;
        } else if (begun && index.track > data) {
            endByte = bytes;
            ended = true;
        }
        previous = &index;
    }
    const std::optional<NamedFile> found = lookup(s.files[file].name);
    if (!found)
        return false;
    if (!ended)
        endByte = found->size;
    const std::optional<std::uint32_t> offset = UserDataOffset(type.mode, type.size);
    if (!offset || startByte > endByte || endByte > found->size)
        return false;
    DataTrack t;
    t.file = found->path;
    t.start = startByte;
    t.sectorSize = type.size;
    t.dataOffset = *offset;
    t.sectors = (endByte - startByte) / type.size;
    if (!TrackFits(t, found->size))
        return false;
    *track = std::move(t);
    return true;
}

std::vector<std::string> CueSheetFileNames(std::string_view text)
{
    Sheet s;
    readSheet(text, &s);
    std::vector<std::string> names;
    for (CueFile& f : s.files)
        names.push_back(std::move(f.name));
    return names;
}

} // namespace orv
