// Every disc image format of the CD era, written from one ISO image: the folder copied out of each
// is the folder copied out of the ISO, byte for byte.
#include "platform/disc/SectorImage.h"
#include "platform/disc/DiscImage.h"

#include "support/DiscImages.h"
#include "support/IsoImage.h"
#include "support/TestSupport.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <map>

using namespace orvtest;
using orv::ImageCopyStatus;
namespace fs = std::filesystem;

namespace {

// Every file and folder below dir with its bytes ("/" for a folder).
std::map<std::string, std::string> contentsOf(const fs::path& dir)
{
    std::map<std::string, std::string> out;
    for (const auto& e : fs::recursive_directory_iterator(dir))
        out[fs::relative(e.path(), dir).generic_string()] = e.is_directory() ? "/" : readFileBytes(e.path().string());
    return out;
}

std::string pseudoRandom(std::size_t n, unsigned seed)
{
    std::string s(n, '\0');
    for (char& c : s) {
        seed = seed * 1103515245u + 12345u;
        c = char(seed >> 16);
    }
    return s;
}

class Formats : public testing::Test {
protected:
    void SetUp() override
    {
        // Files that span many sectors and end inside one, and names of every kind.
        writeIsoImage(isoPath,
                      {isoFolder("UTIL"), isoFolder("UTIL/SS"), isoFolder("UTIL/SS/POINT"),
                       isoFile("UTIL/SS/POINT/POINT.EXE", pseudoRandom(300001, 1)),
                       isoFile("UTIL/SS/POINT/a long name.txt", "long"), isoFolder("UTIL/SS/POINT/DATA"),
                       isoFile("UTIL/SS/POINT/DATA/STAGE1.DAT", pseudoRandom(70000, 2)),
                       isoFile("UTIL/SS/POINT/DATA/EMPTY.DAT", ""), isoFolder("UTIL/PC"),
                       isoFile("UTIL/PC/SETUP.EXE", pseudoRandom(5000, 3)), isoFile("README.TXT", "read me")});
        iso = readFileBytes(isoPath);
        expected = copyOut(isoPath);
        ASSERT_EQ(expected.size(), 8u);
    }

    std::map<std::string, std::string> copyOut(const std::string& image)
    {
        const fs::path dest = dir.path() / ("copy" + std::to_string(copies++));
        fs::create_directories(dest);
        const orv::ImageCopyResult r = orv::CopyImageFolder(image, {"util", "ss", "point"}, dest.string());
        EXPECT_EQ(r.status, ImageCopyStatus::Copied) << image;
        return contentsOf(dest);
    }

    // A folder of its own for each image, as a library holds them.
    std::string folder(const std::string& name)
    {
        const fs::path p = dir.path() / name;
        fs::create_directories(p);
        return p.string();
    }

    TempDir dir;
    const std::string isoPath = dir.file("CD003.iso");
    std::string iso;
    std::map<std::string, std::string> expected;
    int copies = 0;
};

} // namespace

TEST_F(Formats, BinCueSheetsOfEveryTrackType)
{
    struct Case {
        std::string name;
        CueOptions options;
    };
    std::vector<Case> cases = {
        {"mode1", {}},
        {"mode1-cooked-with-audio", {"MODE1/2048", 2, false, false, {}}},
        {"mixed-mode", {"MODE2/2352", 1, false, false, {}}},
        {"mode2-headerless", {"MODE2/2336", 0, false, false, {}}},
        {"multi-file", {"MODE1/2352", 2, true, false, {}}},
        {"pregap-in-previous-file", {"MODE2/2352", 2, true, true, {}}},
    };
    for (const Case& c : cases) {
        const std::string sheet = writeBinCue(folder(c.name), "CD003", iso, c.options);
        EXPECT_EQ(copyOut(sheet), expected) << c.name;
    }

    // The data file in another letter case than the sheet's; a sheet of Japanese Windows naming it
    // in CP932 ("お楽しみCD 5.bin"), the file itself named in UTF-8.
    const std::string cased = folder("cased");
    CueOptions options;
    options.dataFile = "cd003.bin";
    std::string sheet = writeBinCue(cased, "CD003", iso, options);
    ASSERT_EQ(patchFileBytes(sheet, "\"cd003.bin\"", "\"CD003.BIN\""), 1);
    EXPECT_EQ(copyOut(sheet), expected);

    const std::string japanese = folder("japanese");
    options.dataFile = "お楽しみCD 5.bin";
    options.audioTracks = 1;
    options.mode = "MODE2/2352";
    sheet = writeBinCue(japanese, "お楽しみCD 5", iso, options);
    std::string text = readFileBytes(sheet);
    text.replace(text.find("お楽しみ"), std::string("お楽しみ").size(), "\x82\xA8\x8A\x79\x82\xB5\x82\xDD");
    writeFileBytes(sheet, text);
    EXPECT_EQ(copyOut(sheet), expected);
    EXPECT_EQ(orv::SheetDataFiles(sheet), std::vector<std::string>{japanese + "/お楽しみCD 5.bin"});
}

TEST_F(Formats, CloneCdAlcoholAndNeroImages)
{
    EXPECT_EQ(copyOut(writeCloneCd(folder("ccd1"), "CD008", iso)), expected);
    EXPECT_EQ(copyOut(writeCloneCd(folder("ccd2"), "CD008", iso, true, 2)), expected);

    EXPECT_EQ(copyOut(writeAlcohol(folder("mds2352"), "CD009", iso, 2352)), expected);
    EXPECT_EQ(copyOut(writeAlcohol(folder("mds2448"), "CD009", iso, 2448)), expected);
    EXPECT_EQ(copyOut(writeAlcohol(folder("mds2448xa"), "CD009", iso, 2448, true, 0)), expected);

    struct Nero {
        const char* name;
        NeroOptions options;
    };
    const Nero neros[] = {
        {"v1-dao", {1, true, Sectors::Mode1Cooked, 1}},     {"v2-dao", {2, true, Sectors::Mode1Raw, 2}},
        {"v1-tao", {1, false, Sectors::Mode1Cooked, 1}},    {"v2-tao", {2, false, Sectors::Mode2Cooked, 1}},
        {"v2-dao-xa-sub", {2, true, Sectors::Mode2Sub, 0}}, {"v1-tao-2336", {1, false, Sectors::Mode2Headerless, 0}},
    };
    for (const Nero& n : neros)
        EXPECT_EQ(copyOut(writeNero(folder(n.name), "CD010", iso, n.options)), expected) << n.name;
}

TEST_F(Formats, LoneDataFilesAreToldByTheirSectors)
{
    const std::pair<std::string, Sectors> lone[] = {
        {"CD011.bin", Sectors::Mode1Raw},        {"CD011.img", Sectors::Mode2Raw},
        {"CD011.mdf", Sectors::Mode1Sub},        {"cd11.BIN", Sectors::Mode2Sub},
        {"vol11.bin", Sectors::Mode2Headerless}, {"CD011 cooked.img", Sectors::Mode1Cooked},
    };
    for (const auto& [name, layout] : lone) {
        const std::string path = folder("lone") + "/" + name;
        writeFileBytes(path, storeSectors(iso, layout));
        EXPECT_EQ(copyOut(path), expected) << name;
    }
    // Audio, or sectors of no known size, hold no volume.
    const std::string audio = folder("lone") + "/audio.bin";
    writeFileBytes(audio, audioSectors(400));
    EXPECT_EQ(orv::CopyImageFolder(audio, {"UTIL"}, std::string()).status, ImageCopyStatus::Damaged);
    const std::string odd = folder("lone") + "/odd.bin";
    std::string shifted = storeSectors(iso, Sectors::Mode1Raw);
    shifted.insert(0, 100, '\0');
    writeFileBytes(odd, shifted);
    EXPECT_EQ(orv::CopyImageFolder(odd, {"UTIL"}, std::string()).status, ImageCopyStatus::Damaged);
}

TEST_F(Formats, AShortDataFileIsDamagedNeverPartlyCopied)
{
    // The sheet still says the track runs to the file's end, the file lost its last sectors: the
    // ISO's files run past what is there.
    const std::string sheet = writeBinCue(folder("cut"), "CD003", iso);
    const std::string bin = fs::path(sheet).replace_extension(".bin").string();
    const std::string whole = readFileBytes(bin);
    const std::size_t stage = whole.find(pseudoRandom(70000, 2).substr(0, 1000));
    ASSERT_NE(stage, std::string::npos);
    writeFileBytes(bin, whole.substr(0, stage + 2352 * 5));
    const fs::path dest = dir.path() / "cut-copy";
    fs::create_directories(dest);
    EXPECT_EQ(orv::CopyImageFolder(sheet, {"UTIL"}, dest.string()).status, ImageCopyStatus::Damaged);

    // A raw sector's header cut in the middle of a sector: no sector 16 at all.
    writeFileBytes(bin, whole.substr(0, 2352 * 16 + 100));
    EXPECT_EQ(orv::CopyImageFolder(sheet, {"UTIL"}, std::string()).status, ImageCopyStatus::Damaged);
}
