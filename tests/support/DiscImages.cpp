#include "support/DiscImages.h"

#include "support/TestSupport.h"

#include <cstdint>
#include <cstdio>
#include <stdexcept>
#include <vector>

namespace orvtest {

namespace {

constexpr int kUser = 2048;

bool isMode2(Sectors s)
{
    return s == Sectors::Mode2Cooked || s == Sectors::Mode2Raw || s == Sectors::Mode2Headerless
        || s == Sectors::Mode2Sub;
}

unsigned char bcd(int v) { return static_cast<unsigned char>((v / 10) * 16 + v % 10); }

// A raw 2352-byte sector holding 2048 bytes of user data.
std::string rawSector(const char* data, int lba, bool mode2)
{
    std::string s(2352, '\xEE'); // EDC and ECC left wrong
    s[0] = '\0';
    for (int i = 1; i <= 10; ++i)
        s[std::size_t(i)] = '\xFF';
    s[11] = '\0';
    const int a = lba + 150;
    s[12] = char(bcd(a / 4500));
    s[13] = char(bcd(a / 75 % 60));
    s[14] = char(bcd(a % 75));
    s[15] = mode2 ? 2 : 1;
    if (mode2) {
        // XA subheader, twice: file, channel, submode (data, form 1), coding.
        const char sub[8] = {0, 0, 0x08, 0, 0, 0, 0x08, 0};
        s.replace(16, 8, sub, 8);
        s.replace(24, kUser, data, kUser);
    } else {
        s.replace(16, kUser, data, kUser);
        s.replace(2068, 8, 8, '\0');
    }
    return s;
}

std::string subchannel(int lba) { return std::string(96, char(0x40 + lba % 16)); }

std::string msf(int frames)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", frames / 4500, frames / 75 % 60, frames % 75);
    return buf;
}

void put(std::string& b, std::size_t at, std::uint64_t v, int n, bool bigEndian)
{
    if (b.size() < at + std::size_t(n))
        b.resize(at + std::size_t(n), '\0');
    for (int i = 0; i < n; ++i) {
        const int shift = 8 * (bigEndian ? n - 1 - i : i);
        b[at + std::size_t(i)] = char((v >> shift) & 0xFF);
    }
}
void le(std::string& b, std::size_t at, std::uint64_t v, int n) { put(b, at, v, n, false); }
void be(std::string& b, std::size_t at, std::uint64_t v, int n) { put(b, at, v, n, true); }
void append(std::string& b, std::uint64_t v, int n) { be(b, b.size(), v, n); }

int sectorsOf(const std::string& iso)
{
    if (iso.size() % kUser != 0)
        throw std::invalid_argument("an ISO image is whole 2048-byte sectors");
    return int(iso.size() / kUser);
}

std::string dirFile(const std::string& dir, const std::string& name) { return dir + "/" + name; }

} // namespace

int sectorSize(Sectors layout)
{
    switch (layout) {
    case Sectors::Mode1Cooked:
    case Sectors::Mode2Cooked: return 2048;
    case Sectors::Mode2Headerless: return 2336;
    case Sectors::Mode1Raw:
    case Sectors::Mode2Raw: return 2352;
    case Sectors::Mode1Sub:
    case Sectors::Mode2Sub: return 2448;
    }
    return 0;
}

std::string storeSectors(const std::string& iso, Sectors layout, int lba)
{
    const int count = sectorsOf(iso);
    if (sectorSize(layout) == kUser)
        return iso;
    std::string out;
    out.reserve(std::size_t(count) * std::size_t(sectorSize(layout)));
    for (int i = 0; i < count; ++i) {
        const std::string raw = rawSector(iso.data() + std::size_t(i) * kUser, lba + i, isMode2(layout));
        if (layout == Sectors::Mode2Headerless)
            out += raw.substr(16);
        else
            out += raw;
        if (sectorSize(layout) == 2448)
            out += subchannel(lba + i);
    }
    return out;
}

std::string audioSectors(int count, int size)
{
    std::string out(std::size_t(count) * std::size_t(size), '\0');
    std::uint32_t x = 2463534242u;
    for (char& c : out) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        c = char(x);
    }
    return out;
}

std::string writeBinCue(const std::string& dir, const std::string& base, const std::string& iso, const CueOptions& o)
{
    const std::pair<const char*, Sectors> modes[] = {{"MODE1/2048", Sectors::Mode1Cooked},
                                                     {"MODE1/2352", Sectors::Mode1Raw},
                                                     {"MODE2/2352", Sectors::Mode2Raw},
                                                     {"MODE2/2336", Sectors::Mode2Headerless}};
    Sectors layout = Sectors::Mode1Raw;
    for (const auto& [name, l] : modes)
        if (o.mode == name)
            layout = l;
    const int dataSectors = sectorsOf(iso);
    const auto fileName = [&](int track) {
        if (track == 1 && !o.dataFile.empty())
            return o.dataFile;
        return o.multiFile ? base + " (Track " + std::to_string(track) + ").bin" : base + ".bin";
    };
    std::string sheet = "REM made for the tests\r\nFILE \"" + fileName(1) + "\" BINARY\r\n  TRACK 01 " + o.mode
        + "\r\n    INDEX 01 00:00:00\r\n";
    std::vector<std::string> files{storeSectors(iso, layout)};
    int position = dataSectors; // in the current file, in sectors
    for (int t = 2; t < 2 + o.audioTracks; ++t) {
        char track[32];
        std::snprintf(track, sizeof track, "  TRACK %02d AUDIO\r\n", t);
        if (!o.multiFile) {
            sheet += track + ("    INDEX 00 " + msf(position) + "\r\n    INDEX 01 " + msf(position + kPregap) + "\r\n");
            files.back() += audioSectors(kPregap + kAudioSectors);
            position += kPregap + kAudioSectors;
        } else if (o.pregapInPreviousFile) {
            sheet += track + ("    INDEX 00 " + msf(position) + "\r\nFILE \"" + fileName(t) + "\" BINARY\r\n")
                + "    INDEX 01 00:00:00\r\n";
            files.back() += audioSectors(kPregap);
            files.push_back(audioSectors(kAudioSectors));
            position = kAudioSectors;
        } else {
            sheet += "FILE \"" + fileName(t) + "\" BINARY\r\n" + track + "    INDEX 00 00:00:00\r\n    INDEX 01 "
                + msf(kPregap) + "\r\n";
            files.push_back(audioSectors(kPregap + kAudioSectors));
            position = kPregap + kAudioSectors;
        }
    }
    for (std::size_t i = 0; i < files.size(); ++i)
        writeFileBytes(dirFile(dir, fileName(int(i) + 1)), files[i]);
    const std::string path = dirFile(dir, base + ".cue");
    writeFileBytes(path, sheet);
    return path;
}

std::string writeCloneCd(const std::string& dir, const std::string& base, const std::string& iso, bool mode2,
                         int audioTracks)
{
    const int dataSectors = sectorsOf(iso);
    std::string img = storeSectors(iso, mode2 ? Sectors::Mode2Raw : Sectors::Mode1Raw);
    img += audioSectors(audioTracks * (kPregap + kAudioSectors));
    const int total = dataSectors + audioTracks * (kPregap + kAudioSectors);
    std::string sub;
    for (int i = 0; i < total; ++i)
        sub += subchannel(i);
    std::string ccd = "[CloneCD]\r\nVersion=3\r\n[Disc]\r\nTocEntries=" + std::to_string(3 + 1 + audioTracks)
        + "\r\nSessions=1\r\nDataTracksScrambled=0\r\nCDTextLength=0\r\n[Session 1]\r\nPreGapMode="
        + (mode2 ? "2" : "1") + "\r\nPreGapSubC=0\r\n";
    const auto entry = [&](int n, const char* point, int control, int plba) {
        ccd += "[Entry " + std::to_string(n) + "]\r\nSession=1\r\nPoint=" + point
            + "\r\nADR=0x01\r\nControl=" + std::to_string(control) + "\r\nTrackNo=0\r\nAMin=0\r\nASec=0\r\nAFrame=0\r\n"
            + "ALBA=-150\r\nZero=0\r\nPMin=" + std::to_string((plba + 150) / 4500)
            + "\r\nPSec=" + std::to_string((plba + 150) / 75 % 60) + "\r\nPFrame=" + std::to_string((plba + 150) % 75)
            + "\r\nPLBA=" + std::to_string(plba) + "\r\n";
    };
    entry(0, "0xa0", 4, 4350);
    entry(1, "0xa1", audioTracks ? 0 : 4, (1 + audioTracks) * 4500 - 150);
    entry(2, "0xa2", audioTracks ? 0 : 4, total);
    entry(3, "0x01", 4, 0);
    for (int t = 0; t < audioTracks; ++t) {
        char point[16];
        std::snprintf(point, sizeof point, "0x%02x", t + 2);
        entry(4 + t, point, 0, dataSectors + t * (kPregap + kAudioSectors) + kPregap);
    }
    ccd += std::string("[TRACK 1]\r\nMODE=") + (mode2 ? "2" : "1") + "\r\nINDEX 1=0\r\n";
    for (int t = 0; t < audioTracks; ++t) {
        const int start = dataSectors + t * (kPregap + kAudioSectors);
        ccd += "[TRACK " + std::to_string(t + 2) + "]\r\nMODE=0\r\nINDEX 0=" + std::to_string(start)
            + "\r\nINDEX 1=" + std::to_string(start + kPregap) + "\r\n";
    }
    writeFileBytes(dirFile(dir, base + ".img"), img);
    writeFileBytes(dirFile(dir, base + ".sub"), sub);
    const std::string path = dirFile(dir, base + ".ccd");
    writeFileBytes(path, ccd);
    return path;
}

std::string writeAlcohol(const std::string& dir, const std::string& base, const std::string& iso, int size, bool mode2,
                         int audioTracks)
{
    const int dataSectors = sectorsOf(iso);
    const Sectors layout = size == 2448 ? (mode2 ? Sectors::Mode2Sub : Sectors::Mode1Sub)
                                        : (mode2 ? Sectors::Mode2Raw : Sectors::Mode1Raw);
    std::string mdf = storeSectors(iso, layout) + audioSectors(audioTracks * (kPregap + kAudioSectors), size);
    const int tracks = 1 + audioTracks, blocks = 3 + tracks;
    const int total = dataSectors + audioTracks * (kPregap + kAudioSectors);
    const std::size_t sessionAt = 88, trackAt = sessionAt + 24, extraAt = trackAt + 80 * std::size_t(blocks),
                      footerAt = extraAt + 8 * std::size_t(tracks), nameAt = footerAt + 16;
    std::string mds = "MEDIA DESCRIPTOR";
    le(mds, 16, 1, 1);
    le(mds, 17, 3, 1);
    le(mds, 18, 0, 2); // a CD
    le(mds, 20, 1, 2);
    le(mds, 80, sessionAt, 4);
    le(mds, 84, 0, 4);
    le(mds, sessionAt, std::uint64_t(std::uint32_t(-150)), 4);
    le(mds, sessionAt + 4, std::uint64_t(total), 4);
    le(mds, sessionAt + 8, 1, 2);
    le(mds, sessionAt + 10, std::uint64_t(blocks), 1);
    le(mds, sessionAt + 11, 3, 1);
    le(mds, sessionAt + 12, 1, 2);
    le(mds, sessionAt + 14, std::uint64_t(tracks), 2);
    le(mds, sessionAt + 20, trackAt, 4);
    for (int b = 0; b < blocks; ++b) {
        const std::size_t at = trackAt + 80 * std::size_t(b);
        le(mds, at + 79, 0, 1);
        if (b < 3) { // the lead-in's entries A0, A1, A2
            le(mds, at + 2, 0x14, 1);
            le(mds, at + 4, std::uint64_t(0xA0 + b), 1);
            continue;
        }
        const int track = b - 2;
        const int lba = track == 1 ? 0 : dataSectors + (track - 2) * (kPregap + kAudioSectors) + kPregap;
        le(mds, at, track == 1 ? (mode2 ? 0xEC : 0xAA) : 0xA9, 1);
        le(mds, at + 1, size == 2448 ? 0x08 : 0x00, 1);
        le(mds, at + 2, track == 1 ? 0x14 : 0x10, 1);
        le(mds, at + 4, std::uint64_t(track), 1);
        le(mds, at + 9, std::uint64_t((lba + 150) / 4500), 1);
        le(mds, at + 10, std::uint64_t((lba + 150) / 75 % 60), 1);
        le(mds, at + 11, std::uint64_t((lba + 150) % 75), 1);
        le(mds, at + 12, extraAt + 8 * std::size_t(track - 1), 4);
        le(mds, at + 16, std::uint64_t(size), 2);
        le(mds, at + 36, std::uint64_t(lba), 4);
        le(mds, at + 40, std::uint64_t(lba) * std::uint64_t(size), 8);
        le(mds, at + 48, 1, 4);
        le(mds, at + 52, footerAt, 4);
        le(mds, extraAt + 8 * std::size_t(track - 1), std::uint64_t(kPregap), 4);
        le(mds, extraAt + 8 * std::size_t(track - 1) + 4, std::uint64_t(track == 1 ? dataSectors : kAudioSectors), 4);
    }
    le(mds, footerAt, nameAt, 4);
    le(mds, footerAt + 4, 0, 4);
    le(mds, footerAt + 12, 0, 4);
    mds += std::string("*.mdf", 6);
    writeFileBytes(dirFile(dir, base + ".mdf"), mdf);
    const std::string path = dirFile(dir, base + ".mds");
    writeFileBytes(path, mds);
    return path;
}

std::string writeNero(const std::string& dir, const std::string& base, const std::string& iso, const NeroOptions& o)
{
    const std::pair<Sectors, unsigned> codes[] = {{Sectors::Mode1Cooked, 0x00},     {Sectors::Mode2Cooked, 0x02},
                                                  {Sectors::Mode2Headerless, 0x03}, {Sectors::Mode1Raw, 0x05},
                                                  {Sectors::Mode2Raw, 0x06},        {Sectors::Mode1Sub, 0x0F},
                                                  {Sectors::Mode2Sub, 0x11}};
    unsigned mode = 0;
    for (const auto& [layout, code] : codes)
        if (layout == o.layout)
            mode = code;
    const bool v2 = o.version == 2;
    const int field = v2 ? 8 : 4;
    const int dataSectors = sectorsOf(iso);
    const std::uint64_t size = std::uint64_t(sectorSize(o.layout));
    std::string nrg = storeSectors(iso, o.layout);
    struct Track {
        unsigned mode;
        std::uint64_t size, index0, index1, end;
        int lba;
    };
    std::vector<Track> tracks{{mode, size, 0, 0, nrg.size(), 0}};
    for (int t = 0; t < o.audioTracks; ++t) {
        // Disc at once keeps the pregap; track at once leaves it out.
        const std::uint64_t index0 = nrg.size();
        nrg += audioSectors((o.discAtOnce ? kPregap : 0) + kAudioSectors);
        const int lba = dataSectors + t * (kPregap + kAudioSectors) + kPregap;
        tracks.push_back({0x07, 2352, index0, index0 + (o.discAtOnce ? kPregap * 2352 : 0), nrg.size(), lba});
    }
    const std::uint64_t chunksAt = nrg.size();
    // CUEX / CUES: the disc's cue sheet, which Nero writes for disc-at-once images; readers of the
    // data need not read it.
    std::string cue;
    const auto cueEntry = [&](unsigned control, int track, int index, int lba) {
        append(cue, control, 1);
        append(cue, track == 0xAA ? 0xAA : bcd(track), 1);
        append(cue, bcd(index), 1);
        if (v2) {
            append(cue, 0, 1);
            append(cue, std::uint64_t(std::uint32_t(lba)), 4);
        } else {
            append(cue, 0, 2);
            append(cue, bcd((lba + 150) / 4500), 1);
            append(cue, bcd((lba + 150) / 75 % 60), 1);
            append(cue, bcd((lba + 150) % 75), 1);
        }
    };
    cueEntry(0x41, 0, 0, -150);
    for (std::size_t i = 0; i < tracks.size(); ++i) {
        const unsigned control = i == 0 ? 0x41 : 0x01;
        cueEntry(control, int(i) + 1, 0, i == 0 ? -150 : tracks[i].lba - kPregap);
        cueEntry(control, int(i) + 1, 1, tracks[i].lba);
    }
    cueEntry(0x01, 0xAA, 1, dataSectors + o.audioTracks * (kPregap + kAudioSectors));
    if (o.discAtOnce) {
        nrg += v2 ? "CUEX" : "CUES";
        append(nrg, cue.size(), 4);
        nrg += cue;
    }
    std::string body;
    if (o.discAtOnce) {
        append(body, 0, 4); // filled below: the chunk's size, again
        body += std::string(14, '\0'); // catalogue number
        append(body, mode == 0x00 ? 0x0000 : 0x2000, 2);
        append(body, 1, 1);
        append(body, tracks.size(), 1);
        for (const Track& t : tracks) {
            body += std::string(12, '\0'); // ISRC
            append(body, t.size, 2);
            append(body, t.mode, 1);
            append(body, 0, 1);
            append(body, 1, 2);
            append(body, t.index0, field);
            append(body, t.index1, field);
            append(body, t.end, field);
        }
        be(body, 0, body.size(), 4);
        nrg += v2 ? "DAOX" : "DAOI";
    } else {
        for (const Track& t : tracks) {
            append(body, t.index1, field);
            append(body, t.end - t.index1, field);
            append(body, t.mode, 4);
            append(body, std::uint64_t(t.lba), 4);
            append(body, 0, v2 ? 8 : 4);
        }
        nrg += v2 ? "ETN2" : "ETNF";
    }
    append(nrg, body.size(), 4);
    nrg += body;
    nrg += "SINF";
    append(nrg, 4, 4);
    append(nrg, tracks.size(), 4);
    nrg += "MTYP";
    append(nrg, 4, 4);
    append(nrg, 1, 4);
    nrg += "END!";
    append(nrg, 0, 4);
    nrg += v2 ? "NER5" : "NERO";
    append(nrg, chunksAt, field);
    const std::string path = dirFile(dir, base + ".nrg");
    writeFileBytes(path, nrg);
    return path;
}

} // namespace orvtest
