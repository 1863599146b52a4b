// A library of CD copies: which copy stands for an entry's volume, and where an entry opens from.
#include "actions/Volumes.h"

#include "support/DiscImages.h"
#include "support/IsoImage.h"
#include "support/TestSupport.h"

#include <filesystem>
#include <gtest/gtest.h>

using namespace orvtest;
using orv::EntryOrigin;
using orv::VolumeCandidate;
namespace fs = std::filesystem;

namespace {

using Candidates = std::vector<VolumeCandidate>;

std::string picked(const Candidates& c, const std::string& cdno)
{
    const std::optional<std::size_t> i = orv::PickVolume(c, cdno);
    return i ? c[*i].name : "<none>";
}

VolumeCandidate folder(std::string name) { return {std::move(name), true}; }
VolumeCandidate image(std::string name) { return {std::move(name), false}; }

} // namespace

TEST(PickVolume, ExactNamesThenNumbersFoldersBeforeImagesThenNameOrder)
{
    // Every spelling stands for "004" when it is the only one.
    for (const VolumeCandidate& c :
         {folder("CD004"), folder("004"), folder("cd004"), folder("ＣＤ００４"), image("CD004.ISO"), folder("cd4"),
          image("お楽しみCD 4.iso"), folder("vol.04"), image("Disc 0004.iso")})
        EXPECT_EQ(picked({folder("CD003"), c, image("CD005.iso")}, "004"), c.name);

    // Exact before numbered, whatever else.
    EXPECT_EQ(picked({folder("cd4"), image("004.iso")}, "004"), "004.iso");
    EXPECT_EQ(picked({folder("4"), folder("CD004")}, "004"), "CD004");
    // Folders before images, then the name order.
    EXPECT_EQ(picked({image("CD004.iso"), folder("CD004")}, "004"), "CD004");
    EXPECT_EQ(picked({image("vol4.iso"), folder("vol04")}, "004"), "vol04");
    EXPECT_EQ(picked({folder("disc 4"), folder("cd 4")}, "004"), "cd 4");
    // The first run of digits counts, by its value.
    EXPECT_EQ(picked({folder("2nd CD 4"), folder("CD40"), folder("CD 14")}, "004"), "<none>");
    EXPECT_EQ(picked({folder("CD0"), folder("CD000")}, "0"), "CD0");
    EXPECT_EQ(picked({folder("vol.0")}, "000"), "vol.0");
    EXPECT_EQ(picked({folder("vol.9"), folder("CD 19")}, "009"), "vol.9");
    EXPECT_EQ(picked({folder("vol.9"), folder("CD 19")}, "019"), "CD 19");
    EXPECT_EQ(picked({folder("vol.000")}, "0"), "vol.000");
    EXPECT_EQ(picked({folder("CD00000000000000000000012")}, "012"), "CD00000000000000000000012");

    // A volume without leading digits only by its name.
    EXPECT_EQ(picked({folder("ABC2"), folder("CD 0"), folder("cdabc")}, "ABC"), "cdabc");
    EXPECT_EQ(picked({folder("ABC2"), folder("CD 0")}, "ABC"), "<none>");
    EXPECT_EQ(picked({folder("DOCS"), image("EXTRA.iso")}, "ABC"), "<none>") << "no digits is no number";
    EXPECT_EQ(picked({folder("CD012A"), folder("12")}, "012A"), "CD012A");
    EXPECT_EQ(picked({folder("12")}, "012A"), "12");
    EXPECT_EQ(picked({folder("CD")}, ""), "<none>");
    // An image's extension is not part of its name; a folder's dots are.
    EXPECT_EQ(picked({folder("004.iso"), image("CD004.iso")}, "004"), "CD004.iso");
    // A sheet before other images of its rank; an exact name still before a number.
    EXPECT_EQ(picked({image("CD004.bin"), image("CD004.iso"), image("CD004.mds")}, "004"), "CD004.mds");
    EXPECT_EQ(picked({image("cd4.cue"), image("CD004.nrg")}, "004"), "CD004.nrg");
}

class Library : public testing::Test {
protected:
    void SetUp() override
    {
        fs::create_directories(drive / "CD001/UTIL/PC98/BGMTEST");
        writeFileBytes((drive / "CD001/UTIL/PC98/BGMTEST/BGMTEST.EXE").string(), "MZ");
        writeIsoImage((drive / "お楽しみCD 11.iso").string(),
                      {isoFolder("util"), isoFolder("util/ss"), isoFolder("util/ss/point"),
                       isoFile("util/ss/point/point.exe", "MZ")});
    }

    // Records what it is asked for and answers with a folder of its own.
    orv::ImageFolderCopier copier()
    {
        return [this](const std::string& img, const std::vector<std::string>& folderNames) {
            asked.emplace_back(img, folderNames);
            if (!copyRoot)
                return orv::ImageFolderCopy{failure, {}};
            return orv::ImageFolderCopy{orv::ImageCopyStatus::Copied, *copyRoot};
        };
    }

    TempDir dir;
    const fs::path drive = dir.path() / "lib";
    std::vector<std::pair<std::string, std::vector<std::string>>> asked;
    std::optional<std::string> copyRoot;
    orv::ImageCopyStatus failure = orv::ImageCopyStatus::Damaged;
};

TEST_F(Library, TheDrivePathWinsThenTheVolumeCopy)
{
    const std::string root = drive.string();
    const std::string file = "BGMTEST.EXE";
    // The volume's folder copy.
    auto place = orv::LocateEntry(root, "001", "UTIL\\PC98\\BGMTEST", &file);
    ASSERT_TRUE(place);
    EXPECT_EQ(place->origin, EntryOrigin::VolumeFolder);
    EXPECT_EQ(place->volume, root + "/CD001");
    EXPECT_EQ(place->path, root + "/CD001/UTIL/PC98/BGMTEST/BGMTEST.EXE");
    EXPECT_TRUE(place->exists);

    // The same path in the drive folder itself wins.
    fs::create_directories(drive / "util/pc98/bgmtest");
    writeFileBytes((drive / "util/pc98/bgmtest/bgmtest.exe").string(), "MZ");
    place = orv::LocateEntry(root, "001", "UTIL\\PC98\\BGMTEST", &file);
    EXPECT_EQ(place->origin, EntryOrigin::Drive);
    EXPECT_EQ(place->path, root + "/util/pc98/bgmtest/bgmtest.exe");
    EXPECT_EQ(orv::EntryFileToOpen(root, "001", "UTIL\\PC98\\BGMTEST", file, copier()),
              root + "/util/pc98/bgmtest/bgmtest.exe");
    std::string shown;
    EXPECT_EQ(orv::CheckEntryFolderInLibrary(root, "001", "UTIL\\PC98\\BGMTEST", copier(), &shown),
              orv::FolderCheck::HasFiles);
    EXPECT_EQ(shown, root + "/util/pc98/bgmtest");
    EXPECT_TRUE(asked.empty());

    // No copy of the volume: the drive folder's path, as before.
    place = orv::LocateEntry(root, "007", "UTIL\\X", &file);
    EXPECT_EQ(place->origin, EntryOrigin::Drive);
    EXPECT_EQ(place->path, root + "/util/X/BGMTEST.EXE");
    EXPECT_FALSE(place->exists);
    // A copy that lacks the path: the path in the copy, not there.
    place = orv::LocateEntry(root, "001", "UTIL\\GONE", nullptr);
    EXPECT_EQ(place->origin, EntryOrigin::VolumeFolder);
    EXPECT_FALSE(place->exists);
    EXPECT_EQ(orv::CheckEntryFolderInLibrary(root, "001", "UTIL\\GONE", copier(), &shown), orv::FolderCheck::NoFiles);
}

TEST_F(Library, AnImageIsCopiedOutAndOpenedInside)
{
    const std::string root = drive.string();
    const std::string image = root + "/お楽しみCD 11.iso";
    const std::string file = "POINT.EXE";
    auto place = orv::LocateEntry(root, "011", "UTIL\\SS\\..\\SS\\POINT", &file);
    ASSERT_TRUE(place);
    EXPECT_EQ(place->origin, EntryOrigin::VolumeImage);
    EXPECT_EQ(place->volume, image);
    EXPECT_EQ(place->path, "UTIL/SS/POINT/POINT.EXE");
    EXPECT_EQ(place->imageFolder, (std::vector<std::string>{"UTIL", "SS", "POINT"}));

    // The file inside the copy, found in any case.
    const fs::path copy = dir.path() / "copy";
    fs::create_directories(copy / "util/ss/point");
    writeFileBytes((copy / "util/ss/point/point.exe").string(), "MZ");
    copyRoot = copy.string();
    EXPECT_EQ(orv::EntryFileToOpen(root, "011", "UTIL\\SS\\POINT", file, copier()),
              copy.string() + "/util/ss/point/point.exe");
    std::string shown;
    EXPECT_EQ(orv::CheckEntryFolderInLibrary(root, "011", "UTIL\\SS\\POINT", copier(), &shown),
              orv::FolderCheck::HasFiles);
    EXPECT_EQ(shown, copy.string() + "/util/ss/point");
    ASSERT_EQ(asked.size(), 2u);
    EXPECT_EQ(asked[0].first, image);
    EXPECT_EQ(asked[0].second, (std::vector<std::string>{"UTIL", "SS", "POINT"}));

    // An image that cannot give the folder: no file, no folder, and the outcome says why.
    copyRoot.reset();
    failure = orv::ImageCopyStatus::TooLarge;
    orv::ImageCopyOutcome outcome;
    EXPECT_FALSE(orv::EntryFileToOpen(root, "011", "UTIL\\SS\\POINT", file, copier(), &outcome));
    EXPECT_EQ(outcome.image, image);
    EXPECT_EQ(outcome.status, orv::ImageCopyStatus::TooLarge);
    failure = orv::ImageCopyStatus::NoSpace;
    EXPECT_EQ(orv::CheckEntryFolderInLibrary(root, "011", "UTIL\\SS\\POINT", copier(), &shown, &outcome),
              orv::FolderCheck::NoFiles);
    EXPECT_EQ(outcome.status, orv::ImageCopyStatus::NoSpace);
    // Climbing above the image's root is no path (nor above the drive folder).
    EXPECT_FALSE(orv::LocateEntry(root, "011", "UTIL\\..\\..\\etc", &file));
}

TEST_F(Library, LinksCountOnlyInsideTheDriveFolderAndInsideTheCopy)
{
    const std::string root = drive.string();
    // A volume folder that is a link out of the drive folder is no volume.
    fs::create_directories(dir.path() / "elsewhere/CD005/UTIL");
    writeFileBytes((dir.path() / "elsewhere/CD005/UTIL/A.EXE").string(), "MZ");
    fs::create_directory_symlink(dir.path() / "elsewhere/CD005", drive / "CD005");
    const std::string file = "A.EXE";
    EXPECT_EQ(orv::LocateEntry(root, "005", "UTIL", &file)->origin, EntryOrigin::Drive);
    // One that leads to a folder inside it counts.
    fs::create_directories(drive / "store/v6/UTIL");
    writeFileBytes((drive / "store/v6/UTIL/A.EXE").string(), "MZ");
    fs::create_directory_symlink(drive / "store/v6", drive / "CD006");
    EXPECT_EQ(orv::LocateEntry(root, "006", "UTIL", &file)->origin, EntryOrigin::VolumeFolder);
    // A link inside a copy that leads out of the copy is not followed.
    fs::create_directory_symlink(drive / "CD001/UTIL", drive / "store/v6/UP");
    EXPECT_FALSE(orv::LocateEntry(root, "006", "UP\\PC98", nullptr));

    const std::vector<VolumeCandidate> c = orv::VolumeCandidates(root);
    std::vector<std::string> names;
    for (const VolumeCandidate& v : c)
        names.push_back(v.name + (v.folder ? "/" : ""));
    EXPECT_EQ(names, (std::vector<std::string>{"CD001/", "CD006/", "store/", "お楽しみCD 11.iso"}));
}

TEST_F(Library, AVolumeWithoutANumberNeverOpensFromAnotherCopy)
{
    // The drive folder holds DOCS/UTIL/A.EXE; the entry of volume "ABC" names UTIL/A.EXE, which
    // the drive folder lacks: it stays missing rather than open DOCS's file.
    const std::string root = drive.string();
    fs::create_directories(drive / "DOCS/UTIL");
    writeFileBytes((drive / "DOCS/UTIL/A.EXE").string(), "MZ");
    const std::string file = "A.EXE";
    const auto place = orv::LocateEntry(root, "ABC", "UTIL", &file);
    ASSERT_TRUE(place);
    EXPECT_EQ(place->origin, EntryOrigin::Drive);
    EXPECT_FALSE(place->exists);
}

TEST(VolumeCandidates, AHugeDriveFolderIsLookedAtOnlyInPart)
{
    // A drive folder such as a home folder with thousands of children: only so many are looked
    // at, so choosing a copy never walks all of them.
    TempDir dir;
    for (std::size_t i = 0; i < orv::kMaxVolumeCandidates + 50; ++i)
        fs::create_directory(dir.path() / ("CD" + std::to_string(i)));
    EXPECT_EQ(orv::VolumeCandidates(dir.path().string()).size(), orv::kMaxVolumeCandidates);
}

TEST_F(Library, TheTitleNamesWhereTheEntrysFolderOpensFrom)
{
    const std::string root = drive.string();
    EXPECT_EQ(orv::EntryPlaceCaption(root, "001", "UTIL\\PC98\\BGMTEST"), root + "/CD001/UTIL/PC98/BGMTEST");
    EXPECT_EQ(orv::EntryPlaceCaption(root, "011", "UTIL\\SS\\POINT"), root + "/お楽しみCD 11.iso/UTIL/SS/POINT");
    // Without a copy of the volume, the drive folder's path as it always was.
    EXPECT_EQ(orv::EntryPlaceCaption(root, "007", "UTIL\\X"), root + "/UTIL/X");
    EXPECT_TRUE(asked.empty()) << "the title copies nothing";
}

TEST(ImageCopyMessages, EachFailureNamesTheImageAndWhatBroke)
{
    const std::string image = "/home/u/CD/CD004.iso", cache = "/home/u/.cache/orvantis/volumes";
    using S = orv::ImageCopyStatus;
    EXPECT_EQ(orv::ImageCopyMessage(S::Damaged, image, cache), "CDイメージ「CD004.iso」が読めません。");
    EXPECT_EQ(orv::ImageCopyMessage(S::TooLarge, image, cache),
              "CDイメージ「CD004.iso」からコピーできません。\r\nフォルダが1GBを超えています。");
    EXPECT_EQ(orv::ImageCopyMessage(S::NoSpace, image, cache),
              "CDイメージ「CD004.iso」からコピーできません。\r\nディスクの空きが足りません。\r\n"
              "コピー先：/home/u/.cache/orvantis/volumes");
    EXPECT_EQ(orv::ImageCopyMessage(S::WriteFailed, image, cache),
              "CDイメージ「CD004.iso」からコピーできません。\r\nコピー先に書き込めません。\r\n"
              "コピー先：/home/u/.cache/orvantis/volumes");
    EXPECT_EQ(orv::ImageCopyMessage(S::TimedOut, image, cache),
              "CDイメージ「CD004.iso」の読み込みが時間内に終わりませんでした。");
    // A missing folder has the missing file's and folder's own messages; a cancel has none.
    for (S quiet : {S::Copied, S::FolderMissing, S::Cancelled})
        EXPECT_EQ(orv::ImageCopyMessage(quiet, image, cache), "") << int(quiet);
}

TEST(VolumeCandidates, ASheetIsTheVolumeAndTheFilesItNamesAreNot)
{
    TempDir dir;
    const fs::path lib = dir.path() / "lib";
    fs::create_directories(lib);
    const std::string isoPath = dir.file("volume.iso");
    writeIsoImage(isoPath, {isoFolder("UTIL"), isoFile("UTIL/TOOL.EXE", "MZ")});
    const std::string iso = readFileBytes(isoPath);
    const std::string root = lib.string();
    writeBinCue(root, "CD003", iso);
    writeBinCue(root, "お楽しみCD 5", iso, {"MODE2/2352", 1, false, false, {}});
    writeBinCue(root, "CD013", iso, {"MODE1/2352", 2, true, false, {}});
    writeCloneCd(root, "CD008", iso);
    writeAlcohol(root, "CD009", iso);
    writeNero(root, "CD010", iso);
    writeFileBytes((lib / "CD011.bin").string(), storeSectors(iso, Sectors::Mode1Raw));
    fs::copy_file(isoPath, lib / "CD012.ISO");
    // Named in another case; a lone data file; a sheet naming a file outside the folder claims
    // nothing; an ISO image that a sheet names as its data file is the sheet's.
    writeBinCue(root, "Disc 14", iso);
    ASSERT_EQ(patchFileBytes((lib / "Disc 14.cue").string(), "Disc 14.bin", "DISC 14.BIN"), 1);
    writeFileBytes((lib / "Track 02.bin").string(), audioSectors(400));
    writeFileBytes((lib / "CD015.cue").string(), "FILE \"../CD015.img\" BINARY\n TRACK 01 MODE1/2352\n");
    writeFileBytes((lib / "CD015.img").string(), storeSectors(iso, Sectors::Mode1Raw));
    writeFileBytes((lib / "CD016.cue").string(),
                   "FILE \"cd016.iso\" BINARY\n TRACK 01 MODE1/2048\n INDEX 01 00:00:00\n");
    fs::copy_file(isoPath, lib / "CD016.iso");

    std::vector<std::string> names;
    for (const VolumeCandidate& v : orv::VolumeCandidates(root))
        names.push_back(v.name);
    EXPECT_EQ(names,
              (std::vector<std::string>{"CD003.cue", "CD008.ccd", "CD009.mds", "CD010.nrg", "CD011.bin", "CD012.ISO",
                                        "CD013.cue", "CD015.cue", "CD015.img", "CD016.cue", "Disc 14.cue",
                                        "Track 02.bin", "お楽しみCD 5.cue"}));

    // Each volume opens from its sheet (or its only file); ".bin" no longer comes before ".cue".
    const std::pair<const char*, const char*> volumes[] = {
        {"003", "CD003.cue"},   {"005", "お楽しみCD 5.cue"}, {"008", "CD008.ccd"}, {"009", "CD009.mds"},
        {"010", "CD010.nrg"},   {"011", "CD011.bin"},        {"012", "CD012.ISO"}, {"013", "CD013.cue"},
        {"014", "Disc 14.cue"}, {"015", "CD015.cue"},        {"016", "CD016.cue"}, {"002", "Track 02.bin"}};
    const std::string file = "TOOL.EXE";
    for (const auto& [cdno, volume] : volumes) {
        const std::optional<orv::EntryPlace> place = orv::LocateEntry(root, cdno, "UTIL", &file);
        ASSERT_TRUE(place) << cdno;
        EXPECT_EQ(place->origin, EntryOrigin::VolumeImage) << cdno;
        EXPECT_EQ(place->volume, root + "/" + volume) << cdno;
    }
}
