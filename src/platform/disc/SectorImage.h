// Disc images other than plain ISO 9660 files: raw sector dumps and the sheets that CD tools of the
// late 1990s wrote beside them (CUE, CloneCD, Alcohol) or into them (Nero). The first data track's
// 2048-byte user data is handed to the ISO 9660 reader as if it were an .iso, so that the child
// reader, its limits and whole-or-nothing copies apply to every format alike.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct archive;

namespace orv {

enum class ImageFormat {
    None, // not a disc image by its name
    Iso, // plain 2048-byte sectors (.iso)
    CueSheet, // .cue, naming its data files
    CloneCd, // .ccd over the .img beside it
    Alcohol, // .mds over the .mdf it names
    Nero, // .nrg, its track list at its end
    RawData, // .bin, .img, .mdf: sectors alone, their size told by their contents
};

// The format a file's name says, by its extension in any letter case.
ImageFormat ImageFormatOfName(std::string_view name);

// Formats whose file only describes the disc and names the files that hold its sectors.
inline bool IsSheetFormat(ImageFormat f)
{
    return f == ImageFormat::CueSheet || f == ImageFormat::CloneCd || f == ImageFormat::Alcohol;
}

enum class TrackMode { Audio, Mode1, Mode2 };

inline constexpr std::uint32_t kUserDataSize = 2048;

// Where the first data track's sectors lie in a file.
struct DataTrack {
    std::string file;
    std::uint64_t start = 0; // byte offset of the track's first sector
    std::uint32_t sectorSize = 0; // bytes a sector takes in the file
    std::uint32_t dataOffset = 0; // where the 2048 bytes of user data lie in a sector
    std::uint64_t sectors = 0; // sectors of the track the file holds
};

// Bounds on what a sheet may be: its size (and the end of a Nero image read for its track list),
// and its tracks.
inline constexpr std::size_t kMaxSheetBytes = 1u << 20;
inline constexpr int kMaxTracks = 99;

// Where a sector of the mode and size holds its 2048 bytes of user data: 2048 (Mode 1, or a Mode 2
// form 1 sector without its header) at 0, 2336 (Mode 2 without sync and header) at 8, 2352 (a raw
// sector) and 2448 (a raw sector and 96 bytes of subchannel) at 16 for Mode 1 and 24 for Mode 2
// (after the XA subheader). nullopt for audio and for any other size.
std::optional<std::uint32_t> UserDataOffset(TrackMode mode, std::uint32_t sectorSize);

// Whether the track has a known layout and lies inside a file of fileSize bytes, with at least the
// sectors up to the ISO 9660 volume descriptor (sector 16).
bool TrackFits(const DataTrack& track, std::uint64_t fileSize);

// A file that a sheet names, found beside the sheet.
struct NamedFile {
    std::string path;
    std::uint64_t size = 0;
};
using FileLookup = std::function<std::optional<NamedFile>(std::string_view name)>;

// Whether a name a sheet gives may be looked for beside it: a plain name, without a separator
// ('/' or '\'), a drive (':'), NUL, and neither "." nor "..".
bool IsPlainFileName(std::string_view name);

// The regular file beside dir's sheet that a sheet names, letter case ignored; a name that is not
// valid UTF-8 is tried as CP932 too. nullopt for a refused name, a file that is not there, a
// link that leads out of dir, or another sheet.
std::optional<NamedFile> FindBeside(const std::string& dir, std::string_view name);

// The first data track of an image of any format; false for anything that does not describe one
// whole and consistently (the image is then damaged). Reads the sheet (at most kMaxSheetBytes) and
// looks at the files it names: call it in the reader child.
bool FindDataTrack(const std::string& image, DataTrack* track);

// The data file's track from its first sectors (head, at least the first 17 sectors when the
// file has them): 2048-byte sectors, or raw ones (told by the sync pattern and their mode byte),
// 2448 or 2336 bytes, whichever puts the ISO 9660 volume descriptor at sector 16.
bool DetectRawTrack(std::string_view head, std::uint64_t fileSize, DataTrack* track);

// The paths of the files a sheet names that are there beside it; empty for other formats.
// Reads at most kMaxSheetBytes of the sheet; the program calls it to tell which files belong to
// a sheet and what a copy depends on.
std::vector<std::string> SheetDataFiles(const std::string& sheet);

// Opens the archive over the image's first data track through read, skip and seek callbacks: an
// archive_read_open result; ARCHIVE_FATAL when the image holds no data track to read.
int OpenSectorImage(archive* a, const std::string& image);

} // namespace orv
