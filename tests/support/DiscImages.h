// Disc images in the formats of CD tools of the late 1990s, written for the tests from an ISO image
// (IsoImage.h): raw sectors, CUE sheets, CloneCD, Alcohol and Nero images. Each holds the ISO as its
// first track, followed by made-up audio tracks where asked.
#pragma once

#include <string>

namespace orvtest {

// How a data track's sectors are stored: cooked (2048 bytes of user data), raw (2352: sync, BCD
// address and mode, the Mode 2 XA subheader, EDC/ECC), Mode 2 without sync and header (2336), raw
// with 96 bytes of subchannel (2448).
enum class Sectors { Mode1Cooked, Mode2Cooked, Mode1Raw, Mode2Raw, Mode2Headerless, Mode1Sub, Mode2Sub };

int sectorSize(Sectors layout);

// The ISO's 2048-byte sectors stored as the layout says, numbered from lba. The EDC and ECC bytes
// are wrong on purpose: readers must not check them (images in the wild carry wrong ones).
std::string storeSectors(const std::string& iso, Sectors layout, int lba = 0);

// count sectors of made-up audio, 2352 bytes each (2448 with subchannel).
std::string audioSectors(int count, int size = 2352);

// Audio tracks after the data track: a 2-second pregap (150 sectors) and 300 sectors each.
inline constexpr int kPregap = 150;
inline constexpr int kAudioSectors = 300;

struct CueOptions {
    std::string mode = "MODE1/2352"; // the data track's TRACK type
    int audioTracks = 0;
    bool multiFile = false; // one FILE a track ("base (Track n).bin")
    bool pregapInPreviousFile = false; // multiFile: each audio pregap at the end of the file before
    std::string dataFile; // the data file's name as the sheet writes it (default base + ".bin")
};

// Writes dir/base.cue and the file or files it names; returns the sheet's path.
std::string writeBinCue(const std::string& dir, const std::string& base, const std::string& iso,
                        const CueOptions& options = {});

// Writes dir/base.ccd, .img (raw sectors) and .sub; returns the .ccd's path.
std::string writeCloneCd(const std::string& dir, const std::string& base, const std::string& iso, bool mode2 = false,
                         int audioTracks = 1);

// Writes dir/base.mds and .mdf with raw sectors of 2352 or 2448 bytes; returns the .mds's path.
std::string writeAlcohol(const std::string& dir, const std::string& base, const std::string& iso, int size = 2352,
                         bool mode2 = false, int audioTracks = 1);

struct NeroOptions {
    int version = 2; // 1: NERO footer, CUES, DAOI or ETNF; 2: NER5, CUEX, DAOX or ETN2
    bool discAtOnce = true; // false: track at once
    Sectors layout = Sectors::Mode1Cooked; // the data track's
    int audioTracks = 1;
};

// Writes dir/base.nrg; returns its path.
std::string writeNero(const std::string& dir, const std::string& base, const std::string& iso,
                      const NeroOptions& options = {});

} // namespace orvtest
