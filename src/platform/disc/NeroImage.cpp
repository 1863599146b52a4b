#include "platform/disc/NeroImage.h"

#include <array>
#include <vector>

namespace orv {

namespace {

struct NeroMode {
    unsigned code;
    bool data;
    TrackMode mode;
    std::uint32_t size;
};

// The modes of both chunk kinds: cooked 2048 bytes (Mode 1, Mode 2 form 1), Mode 2 without its
// header, raw sectors, raw sectors with subchannel.
constexpr std::array<NeroMode, 9> kModes{{
    {0x00, true, TrackMode::Mode1, 2048},
    {0x02, true, TrackMode::Mode2, 2048},
    {0x03, true, TrackMode::Mode2, 2336},
    {0x05, true, TrackMode::Mode1, 2352},
    {0x06, true, TrackMode::Mode2, 2352},
    {0x07, false, TrackMode::Audio, 2352},
    {0x0F, true, TrackMode::Mode1, 2448},
    {0x10, false, TrackMode::Audio, 2448},
    {0x11, true, TrackMode::Mode2, 2448},
}};

const NeroMode* modeOf(std::uint64_t code)
{
    for (const NeroMode& m : kModes)
        if (m.code == code)
            return &m;
    return nullptr;
}

// Big-endian fields of the image's end, by their offset in the image.
class Tail {
public:
    Tail(std::string_view bytes, std::uint64_t fileSize) : b_(bytes), at_(fileSize - bytes.size()) {}
    bool has(std::uint64_t at, std::uint64_t n) const
    {
        return at >= at_ && at - at_ <= b_.size() && n <= b_.size() - (at - at_);
    }
    std::uint64_t get(std::uint64_t at, int n) const
    {
        std::uint64_t v = 0;
        for (int i = 0; i < n; ++i)
            v = (v << 8) | static_cast<unsigned char>(b_[at - at_ + std::uint64_t(i)]);
        return v;
    }
    std::string_view text(std::uint64_t at, std::size_t n) const { return b_.substr(at - at_, n); }

private:
    std::string_view b_;
    std::uint64_t at_;
};

struct NeroTrack {
    const NeroMode* mode;
    std::uint64_t start, end; // bytes of its sectors, pregap left out
};

// A disc-at-once chunk: a 22-byte header, then 30 (DAOI) or 42 (DAOX) bytes a track.
bool readDao(const Tail& t, std::uint64_t at, std::uint64_t size, bool wide, std::vector<NeroTrack>* out)
{
    const std::uint64_t entry = wide ? 42 : 30;
    const int field = wide ? 8 : 4;
    if (size < 22 + entry || (size - 22) / entry > std::uint64_t(kMaxTracks))
        return false;
    for (std::uint64_t e = at + 22; e + entry <= at + size; e += entry) {
        const NeroMode* mode = modeOf(t.get(e + 14, 1));
        if (!mode || t.get(e + 12, 2) != mode->size)
            return false;
        const std::uint64_t index0 = t.get(e + 18, field), index1 = t.get(e + 18 + field, field),
                            end = t.get(e + 18 + 2 * std::uint64_t(field), field);
        if (index0 > index1 || index1 > end)
            return false;
        out->push_back({mode, index1, end});
    }
    return true;
}

// A track-at-once chunk: 20 (ETNF) or 32 (ETN2) bytes a track, its offset, length and mode.
bool readTao(const Tail& t, std::uint64_t at, std::uint64_t size, bool wide, std::vector<NeroTrack>* out)
{
    const std::uint64_t entry = wide ? 32 : 20;
    const int field = wide ? 8 : 4;
    if (size < entry || size / entry > std::uint64_t(kMaxTracks))
        return false;
    for (std::uint64_t e = at; e + entry <= at + size; e += entry) {
        const NeroMode* mode = modeOf(t.get(e + 2 * std::uint64_t(field), 4));
        const std::uint64_t start = t.get(e, field), length = t.get(e + std::uint64_t(field), field);
        if (!mode || start > UINT64_MAX - length)
            return false;
        out->push_back({mode, start, start + length});
    }
    return true;
}

} // namespace

bool ParseNeroImage(std::string_view tail, std::uint64_t fileSize, DataTrack* track)
{
    if (tail.size() < 12 || tail.size() > fileSize)
        return false;
    const Tail t(tail, fileSize);
    std::uint64_t chunks = 0, footer = 0;
    if (t.text(fileSize - 8, 4) == "NERO") {
        footer = fileSize - 8;
        chunks = t.get(footer + 4, 4);
    } else if (t.text(fileSize - 12, 4) == "NER5") {
        footer = fileSize - 12;
        chunks = t.get(footer + 4, 8);
    } else {
        return false;
    }
    if (chunks > footer || !t.has(chunks, footer - chunks))
        return false;
    std::vector<NeroTrack> tracks;
    for (std::uint64_t at = chunks; at < footer;) {
        if (footer - at < 8)
            return false;
        const std::string_view id = t.text(at, 4);
        const std::uint64_t size = t.get(at + 4, 4), data = at + 8;
        if (size > footer - data)
            return false;
        if (id == "END!")
            break;
        // The first session's chunk; later sessions come in chunks of their own.
        if (tracks.empty() && (id == "DAOX" || id == "DAOI") && !readDao(t, data, size, id == "DAOX", &tracks))
            return false;
        if (tracks.empty() && (id == "ETN2" || id == "ETNF") && !readTao(t, data, size, id == "ETN2", &tracks))
            return false;
        at = data + size;
    }
    // The sectors lie before the chunk list, each track after the one before.
    std::uint64_t previousEnd = 0;
    for (const NeroTrack& n : tracks) {
        if (n.start < previousEnd || n.end > chunks)
            return false;
        previousEnd = n.end;
    }
    for (const NeroTrack& n : tracks) {
        if (!n.mode->data)
            continue;
        DataTrack d;
        d.file = track->file;
        d.start = n.start;
        d.sectorSize = n.mode->size;
        d.dataOffset = *UserDataOffset(n.mode->mode, n.mode->size);
        d.sectors = (n.end - n.start) / n.mode->size;
        if (!TrackFits(d, chunks))
            return false;
        *track = std::move(d);
        return true;
    }
    return false;
}

} // namespace orv
