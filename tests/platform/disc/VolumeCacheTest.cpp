// Folders copied out of images by the child reader into the cache: made whole or not at all,
// reused while the image is unchanged, made again when it changes.
#include "platform/disc/VolumeCache.h"

#include "support/DiscImages.h"
#include "support/IsoImage.h"
#include "support/TestSupport.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <gtest/gtest.h>

using namespace orvtest;
using orv::VolumeCache;
namespace fs = std::filesystem;

namespace {

std::string executable(const TempDir& dir, const std::string& name, const std::string& script)
{
    const std::string path = dir.file(name);
    writeFileBytes(path, script);
    fs::permissions(path, fs::perms::owner_all);
    return path;
}

void writeVolume(const std::string& image, const std::string& pointExe)
{
    writeIsoImage(image,
                  {isoFolder("UTIL"), isoFolder("UTIL/SS"), isoFolder("UTIL/SS/POINT"),
                   isoFile("UTIL/SS/POINT/POINT.EXE", pointExe), isoFile("UTIL/SS/POINT/HELP.TXT", "help")});
}

// What the cache folder holds besides the copies' stamps: the copies' files.
std::vector<std::string> filesIn(const fs::path& cache)
{
    std::vector<std::string> out;
    if (!fs::exists(cache))
        return out;
    for (const auto& e : fs::recursive_directory_iterator(cache))
        if (e.is_regular_file() && e.path().filename() != "source")
            out.push_back(fs::relative(e.path(), cache).generic_string());
    std::sort(out.begin(), out.end());
    return out;
}

class Cache : public testing::Test {
protected:
    TempDir dir;
    const std::string cache = (dir.path() / "cache").string();
    const std::string image = dir.file("CD011.iso");
};

} // namespace

TEST_F(Cache, CopyIsMadeOnceAndReusedWhileTheImageIsUnchanged)
{
    writeVolume(image, "MZ first");
    const VolumeCache volumes(ORV_QUERY_EXE, cache);
    const std::optional<std::string> copy = volumes.folderCopy(image, {"util", "ss", "point"});
    ASSERT_TRUE(copy);
    EXPECT_EQ(fs::path(*copy).parent_path().parent_path(), fs::path(cache));
    EXPECT_EQ(readFileBytes(*copy + "/UTIL/SS/POINT/POINT.EXE"), "MZ first");
    EXPECT_EQ(fs::status(*copy + "/UTIL/SS/POINT/POINT.EXE").permissions() & fs::perms::owner_write, fs::perms::none);

    // Reused without reading the image again: a reader that cannot start changes nothing.
    const VolumeCache noReader(dir.file("no-such-reader"), cache);
    EXPECT_EQ(noReader.folderCopy(image, {"UTIL", "SS", "POINT"}), copy);
    // Another folder of the same image is a copy of its own.
    EXPECT_FALSE(noReader.folderCopy(image, {"UTIL", "SS"}));
    EXPECT_TRUE(volumes.folderCopy(image, {"UTIL", "SS"}));

    // The image changes (another size and time): every copy of it is made again.
    writeVolume(image, "MZ second, longer");
    EXPECT_FALSE(noReader.folderCopy(image, {"UTIL", "SS", "POINT"}));
    const std::optional<std::string> again = volumes.folderCopy(image, {"UTIL", "SS", "POINT"});
    ASSERT_TRUE(again);
    EXPECT_EQ(readFileBytes(*again + "/UTIL/SS/POINT/POINT.EXE"), "MZ second, longer");
    EXPECT_EQ(filesIn(cache).size(), 2u) << "the old copies are gone";

    // The same size, another modification time: made again too.
    writeVolume(image, "MZ third, longer!");
    const fs::file_time_type later = fs::last_write_time(image) + std::chrono::seconds(5);
    fs::last_write_time(image, later);
    const std::optional<std::string> third = volumes.folderCopy(image, {"UTIL", "SS", "POINT"});
    ASSERT_TRUE(third);
    EXPECT_EQ(readFileBytes(*third + "/UTIL/SS/POINT/POINT.EXE"), "MZ third, longer!");
}

TEST_F(Cache, ADamagedImageLeavesNothingBehind)
{
    writeVolume(image, std::string(200000, 'z'));
    const std::string whole = readFileBytes(image);
    // Cut through the middle of the program's data.
    writeFileBytes(image, whole.substr(0, whole.find(std::string(200000, 'z')) + 100000));
    const VolumeCache volumes(ORV_QUERY_EXE, cache);
    EXPECT_FALSE(volumes.folderCopy(image, {"UTIL", "SS", "POINT"}));
    EXPECT_TRUE(filesIn(cache).empty());
    EXPECT_EQ(volumes.check(image, {"UTIL"}).status, orv::ImageCopyStatus::Damaged);

    // Not an image at all, no file, a folder.
    writeFileBytes(image, std::string(100000, '\0'));
    EXPECT_FALSE(volumes.folderCopy(image, {"UTIL"}));
    EXPECT_FALSE(volumes.folderCopy(dir.file("none.iso"), {"UTIL"}));
    EXPECT_FALSE(volumes.folderCopy(dir.path().string(), {"UTIL"}));
    EXPECT_TRUE(filesIn(cache).empty());
}

TEST_F(Cache, AReaderThatHangsOrCrashesIsStoppedAndNothingIsUsed)
{
    writeVolume(image, "MZ");
    // Writes a file where the copy goes, then hangs or crashes before saying it is done.
    const std::string hang = executable(dir, "hang.sh", "#!/bin/sh\necho x > \"$3/POINT.EXE\"\nexec sleep 30\n");
    const std::string crash = executable(dir, "crash.sh", "#!/bin/sh\necho x > \"$3/POINT.EXE\"\nkill -SEGV $$\n");
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(VolumeCache(hang, cache, 500).folderCopy(image, {"UTIL"}));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_FALSE(VolumeCache(crash, cache).folderCopy(image, {"UTIL"}));
    EXPECT_TRUE(filesIn(cache).empty());
}

TEST_F(Cache, DryRunListsTheFolderInTheChild)
{
    writeVolume(image, "MZ");
    const orv::ImageCopyResult r = VolumeCache(ORV_QUERY_EXE, cache).check(image, {"util", "ss", "point"});
    EXPECT_EQ(r.status, orv::ImageCopyStatus::Copied);
    EXPECT_EQ(r.files, 2u);
    EXPECT_EQ(r.bytes, 6u);
    EXPECT_EQ(r.listed.size(), 2u);
    EXPECT_EQ(VolumeCache(ORV_QUERY_EXE, cache).check(image, {"UTIL", "PC"}).status,
              orv::ImageCopyStatus::FolderMissing);
    EXPECT_FALSE(fs::exists(cache));
}

TEST_F(Cache, ASheetsCopyIsMadeInTheChildAndMadeAgainWhenItsDataFileChanges)
{
    writeVolume(image, "MZ first");
    const std::string sheet =
        writeBinCue(dir.path().string(), "CD011", readFileBytes(image), {"MODE2/2352", 1, false, false, {}});
    const VolumeCache volumes(ORV_QUERY_EXE, cache);
    const std::optional<std::string> copy = volumes.folderCopy(sheet, {"UTIL", "SS", "POINT"});
    ASSERT_TRUE(copy);
    EXPECT_EQ(readFileBytes(*copy + "/UTIL/SS/POINT/POINT.EXE"), "MZ first");
    EXPECT_EQ(volumes.check(sheet, {"UTIL"}).files, 2u);

    // The sheet unchanged, the image in its BIN replaced: the copy is made again.
    writeVolume(image, "MZ second");
    const std::string text = readFileBytes(sheet);
    writeBinCue(dir.path().string(), "CD011", readFileBytes(image), {"MODE2/2352", 1, false, false, {}});
    ASSERT_EQ(readFileBytes(sheet), text);
    const fs::path bin = dir.path() / "CD011.bin";
    fs::last_write_time(bin, fs::last_write_time(bin) + std::chrono::seconds(5));
    const std::optional<std::string> again = volumes.folderCopy(sheet, {"UTIL", "SS", "POINT"});
    ASSERT_TRUE(again);
    EXPECT_EQ(readFileBytes(*again + "/UTIL/SS/POINT/POINT.EXE"), "MZ second");

    // A BIN that is gone: nothing to copy, nothing left.
    fs::remove(bin);
    EXPECT_FALSE(volumes.folderCopy(sheet, {"UTIL", "SS", "POINT"}));
    EXPECT_EQ(volumes.check(sheet, {"UTIL"}).status, orv::ImageCopyStatus::Damaged);
}
