// Sheets and descriptors are files from elsewhere: names that lead out of the folder, tracks
// outside their files or over each other, absurd sizes and offsets that point back into
// themselves end as a damaged image, never as a read elsewhere, a hang or a partial copy.
#include "platform/disc/CloneCd.h"
#include "platform/disc/CueSheet.h"
#include "platform/disc/DiscImage.h"
#include "platform/disc/SectorImage.h"

#include "support/DiscImages.h"
#include "support/IsoImage.h"
#include "support/TestSupport.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace orvtest;
using orv::ImageCopyStatus;
namespace fs = std::filesystem;

namespace {

void putAt(std::string& b, std::size_t at, std::uint64_t v, int n, bool bigEndian)
{
    for (int i = 0; i < n; ++i)
        b[at + std::size_t(i)] = char((v >> (8 * (bigEndian ? n - 1 - i : i))) & 0xFF);
}

class Hostile : public testing::Test {
protected:
    void SetUp() override
    {
        fs::create_directories(lib);
        const std::string isoPath = dir.file("volume.iso");
        writeIsoImage(isoPath, {isoFolder("UTIL"), isoFile("UTIL/TOOL.EXE", std::string(9000, 'x'))});
        iso = readFileBytes(isoPath);
    }

    ImageCopyStatus status(const std::string& image)
    {
        return orv::CopyImageFolder(image, {"UTIL"}, std::string()).status;
    }

    // The file with its bytes changed by change, then read.
    template <class Change> ImageCopyStatus changed(const std::string& path, Change&& change)
    {
        const std::string whole = readFileBytes(path);
        std::string bytes = whole;
        change(bytes);
        writeFileBytes(path, bytes);
        const ImageCopyStatus s = status(path);
        writeFileBytes(path, whole);
        return s;
    }

    TempDir dir;
    const fs::path lib = dir.path() / "lib";
    std::string iso;
};

const std::string kCueHead = "FILE \"CD003.bin\" BINARY\n  TRACK 01 MODE1/2352\n";

} // namespace

TEST_F(Hostile, CueSheets)
{
    const std::string sheet = writeBinCue(lib.string(), "CD003", iso, {"MODE1/2352", 1, false, false, {}});
    ASSERT_EQ(status(sheet), ImageCopyStatus::Copied);
    // Good data files outside the folder, and a link beside the sheet leading to one.
    fs::copy_file(lib / "CD003.bin", dir.path() / "outside.bin");
    fs::create_directories(lib / "sub");
    fs::copy_file(lib / "CD003.bin", lib / "sub/CD003.bin");
    fs::create_symlink(dir.path() / "outside.bin", lib / "link.bin");
    // A pipe where a file is named: refused, never waited on.
    ASSERT_EQ(::mkfifo((lib / "pipe.bin").c_str(), 0600), 0);
    const std::string bin = (lib / "CD003.bin").string();
    const std::string tenMegabytes = kCueHead + "    INDEX 01 00:00:00\n" + std::string(10 << 20, ' ');
    const std::string sheets[] = {
        // Names outside the folder.
        "FILE \"../outside.bin\" BINARY\n  TRACK 01 MODE1/2352\n    INDEX 01 00:00:00\n",
        "FILE \"" + bin + "\" BINARY\n  TRACK 01 MODE1/2352\n    INDEX 01 00:00:00\n",
        "FILE \"sub/CD003.bin\" BINARY\n  TRACK 01 MODE1/2352\n    INDEX 01 00:00:00\n",
        "FILE \"sub\\CD003.bin\" BINARY\n  TRACK 01 MODE1/2352\n    INDEX 01 00:00:00\n",
        "FILE \"C:CD003.bin\" BINARY\n  TRACK 01 MODE1/2352\n    INDEX 01 00:00:00\n",
        "FILE \"link.bin\" BINARY\n  TRACK 01 MODE1/2352\n    INDEX 01 00:00:00\n",
        "FILE \"pipe.bin\" BINARY\n  TRACK 01 MODE1/2352\n    INDEX 01 00:00:00\n",
        // Tracks past the file's end: the data track's start, the next track's.
        kCueHead + "    INDEX 01 70:00:00\n",
        kCueHead + "    INDEX 01 00:00:00\n  TRACK 02 AUDIO\n    INDEX 01 79:00:00\n",
        // A sheet of 10 MB.
        tenMegabytes,
        // Sector sizes of 0 and 100,000, and no type at all.
        "FILE \"CD003.bin\" BINARY\n  TRACK 01 MODE1/0\n    INDEX 01 00:00:00\n",
        "FILE \"CD003.bin\" BINARY\n  TRACK 01 MODE1/100000\n    INDEX 01 00:00:00\n",
        "FILE \"CD003.bin\" BINARY\n  TRACK 01\n    INDEX 01 00:00:00\n",
        // Overlapping tracks and indexes out of order.
        kCueHead + "    INDEX 01 00:00:10\n  TRACK 02 AUDIO\n    INDEX 01 00:00:05\n",
        kCueHead + "    INDEX 01 00:00:00\n    INDEX 00 00:00:00\n",
        kCueHead + "    INDEX 01 00:00:00\n  TRACK 01 AUDIO\n    INDEX 01 00:01:00\n",
        // Loops: the sheet names itself, or another sheet.
        "FILE \"CD003.cue\" BINARY\n  TRACK 01 MODE1/2048\n    INDEX 01 00:00:00\n",
        "FILE \"other.CUE\" BINARY\n  TRACK 01 MODE1/2048\n    INDEX 01 00:00:00\n",
        // No data track, a data track in an audio file, one without its INDEX 01, a missing file.
        "FILE \"CD003.bin\" BINARY\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n",
        "FILE \"CD003.bin\" WAVE\n  TRACK 01 MODE1/2352\n    INDEX 01 00:00:00\n",
        kCueHead + "    INDEX 00 00:00:00\n",
        "FILE \"CD004.bin\" BINARY\n  TRACK 01 MODE1/2352\n    INDEX 01 00:00:00\n",
        // Lines that cannot be read.
        "FILE \"CD003.bin BINARY\n  TRACK 01 MODE1/2352\n    INDEX 01 00:00:00\n",
        kCueHead + "    INDEX 01 00:60:00\n",
        "  TRACK 01 MODE1/2352\n    INDEX 01 00:00:00\nFILE \"CD003.bin\" BINARY\n",
    };
    writeFileBytes((lib / "other.CUE").string(), kCueHead + "    INDEX 01 00:00:00\n");
    for (const std::string& text : sheets) {
        writeFileBytes(sheet, text);
        EXPECT_EQ(status(sheet), ImageCopyStatus::Damaged) << text.substr(0, 200);
    }
    // What was asked of the good file was never a partial copy: it is still whole.
    writeFileBytes(sheet, kCueHead + "    INDEX 01 00:00:00\n");
    EXPECT_EQ(status(sheet), ImageCopyStatus::Copied);
}

TEST_F(Hostile, CloneCdDescriptions)
{
    const std::string ccd = writeCloneCd(lib.string(), "CD008", iso);
    ASSERT_EQ(status(ccd), ImageCopyStatus::Copied);
    const auto replaced = [&](const std::string& from, const std::string& to) {
        return changed(ccd, [&](std::string& text) {
            const std::size_t at = text.find(from);
            ASSERT_NE(at, std::string::npos) << from;
            text.replace(at, from.size(), to);
        });
    };
    EXPECT_EQ(replaced("INDEX 1=0", "INDEX 1=90000"), ImageCopyStatus::Damaged) << "past the end";
    const std::string afterTrack2 = "INDEX 1=" + std::to_string(iso.size() / 2048 + 10);
    EXPECT_EQ(replaced("INDEX 1=0", afterTrack2), ImageCopyStatus::Damaged) << "track 1 after track 2";
    EXPECT_EQ(replaced("MODE=1", "MODE=3"), ImageCopyStatus::Damaged);
    EXPECT_EQ(replaced("MODE=1", "MODE=100000"), ImageCopyStatus::Damaged);
    EXPECT_EQ(replaced("DataTracksScrambled=0", "DataTracksScrambled=1"), ImageCopyStatus::Damaged);
    EXPECT_EQ(replaced("[TRACK 2]", "[TRACK 1]"), ImageCopyStatus::Damaged);
    EXPECT_EQ(replaced("[CloneCD]", "[CloneCD]\r\n" + std::string(10 << 20, ';')), ImageCopyStatus::Damaged);
    EXPECT_EQ(replaced("MODE=1", "MODE=0"), ImageCopyStatus::Damaged) << "no data track";
    fs::rename(lib / "CD008.img", lib / "CD008.iso");
    EXPECT_EQ(status(ccd), ImageCopyStatus::Damaged) << "no .img";
}

TEST_F(Hostile, AlcoholDescriptors)
{
    const std::string mds = writeAlcohol(lib.string(), "CD009", iso);
    ASSERT_EQ(status(mds), ImageCopyStatus::Copied);
    // The descriptor as the writer lays it out: the session at 88, its track blocks from 112 (the
    // lead-in's three, then track 1), the extra blocks, the footer and the name.
    const std::size_t track1 = 112 + 3 * 80, extra1 = 112 + 5 * 80, footer = extra1 + 16;
    const auto field = [&](std::size_t at, std::uint64_t v, int n) {
        return changed(mds, [&](std::string& b) { putAt(b, at, v, n, false); });
    };
    EXPECT_EQ(field(track1 + 16, 0, 2), ImageCopyStatus::Damaged) << "sector size 0";
    EXPECT_EQ(field(track1 + 16, 65535, 2), ImageCopyStatus::Damaged) << "sector size 65535";
    EXPECT_EQ(field(track1 + 40, 1ull << 40, 8), ImageCopyStatus::Damaged) << "start past the end";
    EXPECT_EQ(field(extra1 + 4, 400000, 4), ImageCopyStatus::Damaged) << "length past the end";
    EXPECT_EQ(field(track1 + 40, 2352 * 200, 8), ImageCopyStatus::Damaged) << "over track 2";
    EXPECT_EQ(field(88 + 20, 0, 4), ImageCopyStatus::Damaged) << "tracks read from the header";
    EXPECT_EQ(field(88 + 20, 1ull << 31, 4), ImageCopyStatus::Damaged) << "tracks past the end";
    EXPECT_EQ(field(80, 1u << 30, 4), ImageCopyStatus::Damaged) << "session past the end";
    EXPECT_EQ(field(20, 60000, 2), ImageCopyStatus::Damaged) << "sessions";
    EXPECT_EQ(field(track1 + 52, 1u << 30, 4), ImageCopyStatus::Damaged) << "footer past the end";
    EXPECT_EQ(field(footer, 1u << 30, 4), ImageCopyStatus::Damaged) << "name past the end";
    EXPECT_EQ(field(0, 'X', 1), ImageCopyStatus::Damaged) << "signature";
    // Names: out of the folder, the descriptor itself, one that never ends.
    const auto named = [&](const std::string& name) {
        return changed(mds, [&](std::string& b) { b.replace(footer + 16, std::string::npos, name); });
    };
    EXPECT_EQ(named(std::string("../CD009.mdf", 13)), ImageCopyStatus::Damaged);
    EXPECT_EQ(named(std::string("*.mds", 6)), ImageCopyStatus::Damaged);
    EXPECT_EQ(named("*.mdf"), ImageCopyStatus::Damaged);
    EXPECT_EQ(named(std::string("cd009.MDF", 10)), ImageCopyStatus::Copied);
}

TEST_F(Hostile, NeroChunkLists)
{
    const std::string nrg = writeNero(lib.string(), "CD010", iso, {2, true, Sectors::Mode1Raw, 1});
    ASSERT_EQ(status(nrg), ImageCopyStatus::Copied);
    const std::string whole = readFileBytes(nrg);
    const std::uint64_t size = whole.size(), dao = whole.find("DAOX"), entry1 = dao + 8 + 22;
    const auto field = [&](std::size_t at, std::uint64_t v, int n) {
        return changed(nrg, [&](std::string& b) { putAt(b, at, v, n, true); });
    };
    EXPECT_EQ(field(size - 8, size - 12, 8), ImageCopyStatus::Damaged) << "the list is the footer";
    EXPECT_EQ(field(size - 8, size + 100, 8), ImageCopyStatus::Damaged) << "the list past the end";
    EXPECT_EQ(field(size - 8, 0, 8), ImageCopyStatus::Damaged) << "the list is the sectors";
    EXPECT_EQ(field(dao + 4, 0xFFFFFFF0u, 4), ImageCopyStatus::Damaged) << "a chunk past the footer";
    EXPECT_EQ(field(entry1 + 12, 0, 2), ImageCopyStatus::Damaged) << "sector size 0";
    EXPECT_EQ(field(entry1 + 14, 0x42, 1), ImageCopyStatus::Damaged) << "unknown mode";
    EXPECT_EQ(field(entry1 + 34, size, 8), ImageCopyStatus::Damaged) << "track into the chunk list";
    EXPECT_EQ(field(entry1 + 42 + 26, 10 * 2352, 8), ImageCopyStatus::Damaged) << "track 2 over track 1";
    EXPECT_EQ(field(size - 12, 0, 4), ImageCopyStatus::Damaged) << "no footer";
    EXPECT_EQ(changed(nrg, [](std::string& b) { b.resize(40000); }), ImageCopyStatus::Damaged) << "cut";
}

TEST(CueSheet, EachStretchOfAFileHasTheSectorSizeOfItsTrack)
{
    // Audio first, then a cooked data track with its pregap in the file, then audio again.
    const orv::FileLookup lookup = [](std::string_view name) -> std::optional<orv::NamedFile> {
        if (name != "a.bin")
            return std::nullopt;
        return orv::NamedFile{"/lib/a.bin", 100'000'000};
    };
    orv::DataTrack t;
    ASSERT_TRUE(orv::ParseCueSheet("FILE a.bin BINARY\n TRACK 01 AUDIO\n  INDEX 01 00:00:00\n TRACK 02 MODE1/2048\n"
                                   "  INDEX 00 00:10:00\n  INDEX 01 00:12:00\n TRACK 03 AUDIO\n  INDEX 01 01:00:00\n",
                                   lookup, &t));
    EXPECT_EQ(t.file, "/lib/a.bin");
    EXPECT_EQ(t.start, 750u * 2352 + 150 * 2048);
    EXPECT_EQ(t.sectors, 4500u - 900);
    EXPECT_EQ(t.sectorSize, 2048u);
    EXPECT_EQ(t.dataOffset, 0u);

    // The next track's pregap at the end of the data track's file ends the data track there.
    const orv::FileLookup both = [](std::string_view name) -> std::optional<orv::NamedFile> {
        return orv::NamedFile{std::string(name), 10'000'000};
    };
    ASSERT_TRUE(orv::ParseCueSheet("FILE \"a.bin\" BINARY\n TRACK 01 MODE2/2352\n  INDEX 01 00:00:00\n"
                                   " TRACK 02 AUDIO\n  INDEX 00 00:30:00\nFILE \"b.bin\" BINARY\n  INDEX 01 00:00:00\n",
                                   both, &t));
    EXPECT_EQ(t.start, 0u);
    EXPECT_EQ(t.sectors, 30u * 75);
    EXPECT_EQ(t.dataOffset, 24u);

    // Index numbers go up to 99; a data file the library does not hold is no track.
    const std::string one = "FILE a.bin BINARY\n TRACK 01 MODE1/2048\n  INDEX 01 00:00:00\n";
    EXPECT_TRUE(orv::ParseCueSheet(one + "  INDEX 99 00:01:00\n", lookup, &t));
    EXPECT_FALSE(orv::ParseCueSheet(one + "  INDEX 100 00:01:00\n", lookup, &t));
    EXPECT_FALSE(orv::ParseCueSheet("FILE z.bin BINARY\n TRACK 01 MODE1/2048\n  INDEX 01 00:00:00\n", lookup, &t));
    // A track that would begin past the end of its file (100,000,000 bytes hold 651 s of 2048-byte sectors).
    EXPECT_FALSE(orv::ParseCueSheet("FILE a.bin BINARY\n TRACK 01 MODE1/2048\n  INDEX 01 14:00:00\n", lookup, &t));

    EXPECT_EQ(orv::CueSheetFileNames("\xEF\xBB\xBFREM x\r\nFILE \"a b.bin\" BINARY\r\nFILE c.bin MOTOROLA\r\nFILE"),
              (std::vector<std::string>{"a b.bin", "c.bin"}));
}

// Audio before the data track (an enhanced CD's layout) and after it: the data track is the
// stretch between its INDEX 1 and the next track's start; the last track runs to the file's end.
TEST(CloneCd, TheDataTrackLiesBetweenTheTracksAroundIt)
{
    const orv::FileLookup lookup = [](std::string_view name) -> std::optional<orv::NamedFile> {
        if (name != "CD.img")
            return std::nullopt;
        return orv::NamedFile{"/lib/CD.img", 10000u * 2352};
    };
    orv::DataTrack t;
    ASSERT_TRUE(orv::ParseCloneCd("[TRACK 1]\r\nMODE=0\r\nINDEX 1=0\r\n[TRACK 2]\r\nMODE=1\r\nINDEX 0=1000\r\n"
                                  "INDEX 1=1150\r\n[TRACK 3]\r\nMODE=0\r\nINDEX 0=6000\r\nINDEX 1=6150\r\n",
                                  "CD", lookup, &t));
    EXPECT_EQ(t.file, "/lib/CD.img");
    EXPECT_EQ(t.start, 1150u * 2352);
    EXPECT_EQ(t.sectors, 6000u - 1150);
    EXPECT_EQ(t.dataOffset, 16u);
    ASSERT_TRUE(orv::ParseCloneCd("[TRACK 1]\r\nMODE=0\r\nINDEX 1=0\r\n[TRACK 2]\r\nMODE=2\r\nINDEX 1=150\r\n", "CD",
                                  lookup, &t));
    EXPECT_EQ(t.start, 150u * 2352);
    EXPECT_EQ(t.sectors, 10000u - 150);
    EXPECT_EQ(t.dataOffset, 24u);
}

TEST_F(Hostile, SheetsNameTheirFilesBesideThemInAnyCase)
{
    const std::string cue =
        writeBinCue(lib.string(), "CD013", iso, {"MODE1/2352", 2, true, false, "cd013 (track 1).BIN"});
    ASSERT_EQ(patchFileBytes(cue, "cd013 (track 1).BIN", "CD013 (TRACK 1).bin"), 1);
    EXPECT_EQ(orv::SheetDataFiles(cue),
              (std::vector<std::string>{(lib / "cd013 (track 1).BIN").string(), (lib / "CD013 (Track 2).bin").string(),
                                        (lib / "CD013 (Track 3).bin").string()}));
    const std::string ccd = writeCloneCd(lib.string(), "CD008", iso);
    fs::rename(lib / "CD008.sub", lib / "cd008.SUB");
    EXPECT_EQ(orv::SheetDataFiles(ccd),
              (std::vector<std::string>{(lib / "CD008.img").string(), (lib / "cd008.SUB").string()}));
    const std::string mds = writeAlcohol(lib.string(), "CD009", iso);
    EXPECT_EQ(orv::SheetDataFiles(mds), std::vector<std::string>{(lib / "CD009.mdf").string()});
    fs::remove(lib / "CD009.mdf");
    EXPECT_TRUE(orv::SheetDataFiles(mds).empty());
    EXPECT_TRUE(orv::SheetDataFiles(writeNero(lib.string(), "CD010", iso)).empty());
}
