#include "platform/disc/AlcoholMds.h"

#include "platform/text/Utf8.h"

#include <algorithm>

namespace orv {

namespace {

constexpr std::string_view kSignature = "MEDIA DESCRIPTOR";
constexpr std::uint64_t kHeaderSize = 88, kSessionSize = 24, kTrackSize = 80;
constexpr std::size_t kMaxNameBytes = 1024;

// Little-endian fields of the descriptor, every read checked against its end.
class Fields {
public:
    explicit Fields(std::string_view bytes) : b_(bytes) {}
    bool has(std::uint64_t at, std::uint64_t n) const { return at <= b_.size() && n <= b_.size() - at; }
    std::uint64_t get(std::uint64_t at, int n) const
    {
        std::uint64_t v = 0;
        for (int i = n - 1; i >= 0; --i)
            v = (v << 8) | static_cast<unsigned char>(b_[at + std::uint64_t(i)]);
        return v;
    }
    std::string_view bytes() const { return b_; }

private:
    std::string_view b_;
};

struct MdsTrack {
    unsigned point = 0; // the track number; 0xA0 and above for the lead-in's entries
    unsigned mode = 0;
    std::uint32_t sectorSize = 0;
    std::uint64_t startLba = 0;
    std::uint64_t start = 0; // byte offset in its file
    std::uint64_t extra = 0; // offset of its pregap and length
    std::uint64_t footer = 0; // offset of its file name's block
};

struct MdsSession {
    std::int64_t end = 0; // the sector after its last
    std::vector<MdsTrack> tracks; // the numbered tracks, in order
};

// The descriptor's first sessions (at most kMaxTracks), each with its numbered tracks.
bool readSessions(const Fields& f, std::vector<MdsSession>* out)
{
    if (f.bytes().size() > kMaxSheetBytes || !f.has(0, kHeaderSize) || f.bytes().substr(0, 16) != kSignature
        || f.get(16, 1) != 1)
        return false;
    const std::uint64_t sessions = f.get(20, 2), sessionAt = f.get(80, 4);
    if (sessions == 0 || sessions > std::uint64_t(kMaxTracks) || !f.has(sessionAt, sessions * kSessionSize))
        return false;
    for (std::uint64_t s = 0; s < sessions; ++s) {
        const std::uint64_t at = sessionAt + s * kSessionSize;
        MdsSession session;
        session.end = static_cast<std::int32_t>(f.get(at + 4, 4));
        const std::uint64_t blocks = f.get(at + 10, 1), trackAt = f.get(at + 20, 4);
        if (!f.has(trackAt, blocks * kTrackSize))
            return false;
        for (std::uint64_t i = 0; i < blocks; ++i) {
            const std::uint64_t t = trackAt + i * kTrackSize;
            MdsTrack track;
            track.point = unsigned(f.get(t + 4, 1));
            if (track.point == 0 || track.point > unsigned(kMaxTracks))
                continue;
            if (!session.tracks.empty() && track.point <= session.tracks.back().point)
                return false;
            track.mode = unsigned(f.get(t, 1));
            track.extra = f.get(t + 12, 4);
            track.sectorSize = std::uint32_t(f.get(t + 16, 2));
            track.startLba = f.get(t + 36, 4);
            track.start = f.get(t + 40, 8);
            track.footer = f.get(t + 52, 4);
            session.tracks.push_back(track);
        }
        out->push_back(std::move(session));
    }
    return true;
}

// The mode's low bits: 2 Mode 1 (and DVD data), 3 Mode 2, 4 Mode 2 form 1; audio and form 2
// hold no ISO 9660 data.
std::optional<TrackMode> dataMode(unsigned mode)
{
    switch (mode & 0x07) {
    case 2: return TrackMode::Mode1;
    case 3:
    case 4: return TrackMode::Mode2;
    default: return std::nullopt;
    }
}

// The track's file name: narrow or UTF-16 as the footer says; "*.ext" for baseName + ".ext".
std::optional<std::string> fileName(const Fields& f, const MdsTrack& track, const std::string& baseName)
{
    if (track.footer == 0)
        return baseName + ".mdf";
    if (!f.has(track.footer, 16))
        return std::nullopt;
    const std::uint64_t at = f.get(track.footer, 4);
    const bool wide = f.get(track.footer + 4, 4) != 0;
    std::string name;
    for (std::uint64_t p = at;; p += wide ? 2 : 1) {
        if (!f.has(p, wide ? 2 : 1) || name.size() > kMaxNameBytes)
            return std::nullopt;
        char32_t c = char32_t(f.get(p, wide ? 2 : 1));
        if (c == 0)
            break;
        if (wide && c >= 0xD800 && c <= 0xDBFF && f.has(p + 2, 2)) {
            const char32_t low = char32_t(f.get(p + 2, 2));
            if (low >= 0xDC00 && low <= 0xDFFF) {
                c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
                p += 2;
            }
        }
        if (wide)
            utf8::append(name, c >= 0xD800 && c <= 0xDFFF ? U'\uFFFD' : c);
        else
            name += char(c);
    }
    if (!name.empty() && name.front() == '*')
        return baseName + name.substr(1);
    return name;
}

} // namespace

bool ParseAlcoholMds(std::string_view bytes, const std::string& baseName, const FileLookup& lookup, DataTrack* track)
{
    const Fields f(bytes);
    std::vector<MdsSession> sessions;
    if (!readSessions(f, &sessions))
        return false;
    const MdsSession& session = sessions.front();
    std::size_t data = 0;
    while (data < session.tracks.size() && !dataMode(session.tracks[data].mode))
        ++data;
    if (data == session.tracks.size())
        return false;
    const MdsTrack& m = session.tracks[data];
    const std::optional<std::uint32_t> offset = UserDataOffset(*dataMode(m.mode), m.sectorSize);
    const std::optional<std::string> name = fileName(f, m, baseName);
    if (!offset || !name)
        return false;
    // Its length: from its extra block, else up to the session's end.
    std::uint64_t sectors = 0;
    if (m.extra != 0) {
        if (!f.has(m.extra, 8))
            return false;
        sectors = f.get(m.extra + 4, 4);
    } else if (session.end > 0 && std::uint64_t(session.end) > m.startLba) {
        sectors = std::uint64_t(session.end) - m.startLba;
    }
    const std::optional<NamedFile> file = lookup(*name);
    if (!file)
        return false;
    DataTrack t;
    t.file = file->path;
    t.start = m.start;
    t.sectorSize = m.sectorSize;
    t.dataOffset = *offset;
    t.sectors = sectors;
    if (!TrackFits(t, file->size))
        return false;
    // The next track of the same file begins after this one ends.
    if (data + 1 < session.tracks.size()) {
        const MdsTrack& next = session.tracks[data + 1];
        if (fileName(f, next, baseName) == name && next.start < t.start + t.sectors * t.sectorSize)
            return false;
    }
    *track = std::move(t);
    return true;
}

std::vector<std::string> AlcoholMdsFileNames(std::string_view bytes, const std::string& baseName)
{
    const Fields f(bytes);
    std::vector<MdsSession> sessions;
    std::vector<std::string> names;
    readSessions(f, &sessions);
    for (const MdsSession& s : sessions)
        for (const MdsTrack& t : s.tracks) {
            std::optional<std::string> name = fileName(f, t, baseName);
            if (name && std::find(names.begin(), names.end(), *name) == names.end())
                names.push_back(std::move(*name));
        }
    return names;
}

} // namespace orv
