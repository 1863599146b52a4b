// Folders copied out of images by the child reader into the cache: made whole or not at all,
// reused while the image is unchanged, made again when it changes, watched and cancelled.
#include "platform/disc/VolumeCache.h"

#include "platform/files/AddressSanitizer.h"

#include "support/DiscImages.h"
#include "support/IsoImage.h"
#include "support/TestSupport.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <sstream>
#include <thread>

#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <poll.h>
#include <sys/stat.h>

using namespace orvtest;
using orv::ImageCopyStatus;
using orv::VolumeCache;
namespace fs = std::filesystem;

namespace {

std::size_t openDescriptors()
{
    const auto all = fs::directory_iterator("/proc/self/fd");
    return static_cast<std::size_t>(std::distance(fs::begin(all), fs::end(all)));
}

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

// The copies' files in the cache folder (not the stamps, sizes and locks beside them).
std::vector<std::string> filesIn(const fs::path& cache)
{
    std::vector<std::string> out;
    if (!fs::exists(cache))
        return out;
    for (const auto& e : fs::recursive_directory_iterator(cache)) {
        const std::string name = e.path().filename().string();
        if (e.is_regular_file() && name != "source" && name != "lock" && e.path().extension() != ".size")
            out.push_back(fs::relative(e.path(), cache).generic_string());
    }
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
    const orv::ImageFolderCopy copy = volumes.folderCopy(image, {"util", "ss", "point"});
    ASSERT_EQ(copy.status, ImageCopyStatus::Copied);
    EXPECT_EQ(fs::path(copy.folder).parent_path().parent_path(), fs::path(cache));
    EXPECT_EQ(readFileBytes(copy.folder + "/UTIL/SS/POINT/POINT.EXE"), "MZ first");
    EXPECT_EQ(fs::status(copy.folder + "/UTIL/SS/POINT/POINT.EXE").permissions() & fs::perms::owner_write,
              fs::perms::none);

    // Reused without reading the image again: a reader that cannot start changes nothing.
    const VolumeCache noReader(dir.file("no-such-reader"), cache);
    const auto from = [&](const VolumeCache& v, const std::vector<std::string>& folder) {
        return v.folderCopy(image, folder);
    };
    EXPECT_EQ(from(noReader, {"UTIL", "SS", "POINT"}).folder, copy.folder);
    // Another folder of the same image is a copy of its own.
    EXPECT_EQ(from(noReader, {"UTIL", "SS"}).status, ImageCopyStatus::Damaged);
    EXPECT_EQ(from(volumes, {"UTIL", "SS"}).status, ImageCopyStatus::Copied);

    // The image changes (another size and time): every copy of it is made again.
    writeVolume(image, "MZ second, longer");
    EXPECT_EQ(from(noReader, {"UTIL", "SS", "POINT"}).status, ImageCopyStatus::Damaged);
    const orv::ImageFolderCopy again = from(volumes, {"UTIL", "SS", "POINT"});
    ASSERT_EQ(again.status, ImageCopyStatus::Copied);
    EXPECT_EQ(readFileBytes(again.folder + "/UTIL/SS/POINT/POINT.EXE"), "MZ second, longer");
    EXPECT_EQ(filesIn(cache).size(), 2u) << "the old copies are gone";

    // Replaced by an image of the same size and the same modification time, as `cp -p` and
    // `rsync -a` leave it: rewritten in place, or renamed over it.
    const fs::file_time_type then = fs::last_write_time(image);
    writeVolume(image, "MZ third, longer!");
    fs::last_write_time(image, then);
    EXPECT_EQ(readFileBytes(from(volumes, {"UTIL", "SS", "POINT"}).folder + "/UTIL/SS/POINT/POINT.EXE"),
              "MZ third, longer!");
    const std::string other = dir.file("other.iso");
    writeVolume(other, "MZ fourth, longer");
    fs::last_write_time(other, fs::last_write_time(image));
    fs::rename(other, image);
    EXPECT_EQ(readFileBytes(from(volumes, {"UTIL", "SS", "POINT"}).folder + "/UTIL/SS/POINT/POINT.EXE"),
              "MZ fourth, longer");
}

TEST_F(Cache, ADamagedImageLeavesNothingBehind)
{
    writeVolume(image, std::string(200000, 'z'));
    const std::string whole = readFileBytes(image);
    // Cut through the middle of the program's data.
    writeFileBytes(image, whole.substr(0, whole.find(std::string(200000, 'z')) + 100000));
    const VolumeCache volumes(ORV_QUERY_EXE, cache);
    EXPECT_EQ(volumes.folderCopy(image, {"UTIL", "SS", "POINT"}).status, ImageCopyStatus::Damaged);
    EXPECT_TRUE(filesIn(cache).empty());
    EXPECT_EQ(volumes.check(image, {"UTIL"}).status, ImageCopyStatus::Damaged);

    // Not an image at all, no file, a folder.
    writeFileBytes(image, std::string(100000, '\0'));
    EXPECT_EQ(volumes.folderCopy(image, {"UTIL"}).status, ImageCopyStatus::Damaged);
    EXPECT_EQ(volumes.folderCopy(dir.file("none.iso"), {"UTIL"}).status, ImageCopyStatus::Damaged);
    EXPECT_EQ(volumes.folderCopy(dir.path().string(), {"UTIL"}).status, ImageCopyStatus::Damaged);
    EXPECT_TRUE(filesIn(cache).empty());

    // A sound image without the folder, or with too much in it.
    writeVolume(image, "MZ");
    EXPECT_EQ(volumes.folderCopy(image, {"UTIL", "PC"}).status, ImageCopyStatus::FolderMissing);
    EXPECT_TRUE(filesIn(cache).empty());
}

TEST_F(Cache, AReaderThatHangsOrCrashesIsStoppedAndNothingIsUsed)
{
    writeVolume(image, "MZ");
    const std::size_t openFiles = openDescriptors();
    // Writes a file where the copy goes, then hangs (for longer than the test may run: a limit
    // not kept fails it), crashes, or ends without a word.
    const std::string pidFile = dir.file("pid");
    const std::string hang = executable(
        dir, "hang.sh", "#!/bin/sh\necho $$ > '" + pidFile + "'\necho x > \"$3/POINT.EXE\"\nexec sleep 3600\n");
    const std::string crash = executable(dir, "crash.sh", "#!/bin/sh\necho x > \"$3/POINT.EXE\"\nkill -SEGV $$\n");
    const std::string quiet = executable(dir, "quiet.sh", "#!/bin/sh\necho x > \"$3/POINT.EXE\"\nexit 0\n");
    const std::string chatty = executable(dir, "chatty.sh", "#!/bin/sh\necho 'all done, trust me'\nexit 0\n");
    orv::VolumeCacheLimits quick;
    quick.timeLimitMs = 500;
    EXPECT_EQ(VolumeCache(hang, cache, quick).folderCopy(image, {"UTIL"}).status, ImageCopyStatus::TimedOut);
    EXPECT_NE(::kill(std::stoi(readFileBytes(pidFile)), 0), 0) << "the hanging reader is gone";
    for (const std::string& reader : {crash, quiet, chatty})
        EXPECT_EQ(VolumeCache(reader, cache).folderCopy(image, {"UTIL"}).status, ImageCopyStatus::Damaged) << reader;
    EXPECT_TRUE(filesIn(cache).empty());
    EXPECT_EQ(openDescriptors(), openFiles) << "every pipe to a child closed once it is over";
}

TEST(ImageReader, TimeGrowsWithTheImageAndTheChildRunsUnderLimits)
{
    // 15 s, and a second for every 32 MB: a CD image of 650 MB may take 35 s, a DVD's 4.4 GB
    // two and a half minutes; never more than an hour.
    constexpr unsigned long long kMB = 1ull << 20;
    EXPECT_EQ(orv::ImageReadTimeLimitMs(0), 15000);
    EXPECT_EQ(orv::ImageReadTimeLimitMs(32 * kMB - 1), 15000);
    EXPECT_EQ(orv::ImageReadTimeLimitMs(32 * kMB), 16000);
    EXPECT_EQ(orv::ImageReadTimeLimitMs(650 * kMB), 35000);
    EXPECT_EQ(orv::ImageReadTimeLimitMs(4500 * kMB), 155000);
    EXPECT_EQ(orv::ImageReadTimeLimitMs(1ull << 50), 3600000);

    // The child reading an image has its processor time and memory bounded before it reads a
    // byte: seen while it waits on an image that is a pipe nobody has written to yet.
    TempDir dir;
    const std::string pipe = dir.file("slow.iso");
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    orv::ImageCopyResult result;
    std::thread reading([&] { result = orv::ListImageFolderInChild(ORV_QUERY_EXE, pipe, {"UTIL"}, 60000); });
    // Opening the pipe for writing waits for the child to open it for reading.
    const int fd = ::open(pipe.c_str(), O_WRONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    std::string limits;
    for (const auto& e : fs::directory_iterator("/proc")) {
        const std::string stat = readFileBytes((e.path() / "stat").string());
        const std::size_t close = stat.rfind(')');
        if (close == std::string::npos || std::stoi(stat.substr(close + 4)) != ::getpid())
            continue;
        if (readFileBytes((e.path() / "cmdline").string()).find(orv::kCopyImageFolderSwitch) != std::string::npos)
            limits = readFileBytes((e.path() / "limits").string());
    }
    ::close(fd);
    reading.join();
    EXPECT_EQ(result.status, orv::ImageCopyStatus::Damaged);
    ASSERT_FALSE(limits.empty()) << "the reading child";
    const auto limit = [&limits](const std::string& name) {
        const std::size_t at = limits.find(name);
        if (at == std::string::npos)
            return std::string();
        std::istringstream fields(limits.substr(at + name.size()));
        std::string soft;
        fields >> soft;
        return soft;
    };
    // A minute of processor time and 512 MiB: an image's reader needs neither more.
    EXPECT_EQ(limit("Max cpu time"), "60");
#ifndef ORV_ADDRESS_SANITIZER
    EXPECT_EQ(limit("Max address space"), std::to_string(512ull << 20));
#endif
}

TEST_F(Cache, ACopyReportsItsProgressAndCanBeCancelled)
{
    // Five files of a MiB: the child reports as it writes.
    std::vector<IsoEntry> entries{isoFolder("UTIL")};
    for (int i = 0; i < 5; ++i)
        entries.push_back(isoFile("UTIL/F" + std::to_string(i) + ".BIN", std::string(1 << 20, char('a' + i))));
    writeIsoImage(image, entries);
    const VolumeCache volumes(ORV_QUERY_EXE, cache);
    const std::unique_ptr<orv::ImageCopyRun> run = volumes.start(image, {"UTIL"});
    ASSERT_FALSE(run->ended());
    std::vector<std::uint64_t> seen;
    // RunToEnd, looking at the progress after each step.
    while (!run->ended()) {
        pollfd p{run->waitFd(), POLLIN, 0};
        ::poll(&p, p.fd >= 0 ? 1 : 0, 1000);
        run->step();
        if (seen.empty() || seen.back() != run->bytesDone())
            seen.push_back(run->bytesDone());
    }
    ASSERT_EQ(run->result().status, ImageCopyStatus::Copied);
    EXPECT_EQ(run->bytesTotal(), 5u << 20);
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
    EXPECT_LE(seen.back(), run->bytesTotal());
    EXPECT_EQ(filesIn(cache).size(), 5u);

    // How many of the child's lines one step reads is the scheduler's business; that the child has
    // news as it writes is its own: a line for each MiB written.
    const fs::path own = dir.path() / "own";
    fs::create_directories(own / "copy");
    const std::string said = (own / "said").string();
    ASSERT_EQ(std::system(("printf c | '" + std::string(ORV_QUERY_EXE) + "' --copy-image-folder '" + image + "' '"
                           + (own / "copy").string() + "' UTIL > '" + said + "'")
                              .c_str()),
              0);
    EXPECT_EQ(readFileBytes(said),
              "size 5242880 5\nprogress 1048576\nprogress 2097152\nprogress 3145728\n"
              "progress 4194304\nprogress 5242880\n");

    // Cancelled once the child has begun to write (a reader that then waits): nothing is left.
    fs::remove_all(cache);
    const std::string slow = executable(dir, "slow.sh",
                                        "#!/bin/sh\nprintf 'size 1000 1\\n'\nhead -c1 >/dev/null\n"
                                        "echo part > \"$3/PART\"\nprintf 'progress 500\\n'\nexec sleep 60\n");
    const std::unique_ptr<orv::ImageCopyRun> cancelled = VolumeCache(slow, cache).start(image, {"UTIL"});
    while (!cancelled->ended() && cancelled->bytesDone() == 0) {
        pollfd p{cancelled->waitFd(), POLLIN, 0};
        ::poll(&p, p.fd >= 0 ? 1 : 0, 1000);
        cancelled->step();
    }
    ASSERT_FALSE(cancelled->ended());
    EXPECT_EQ(cancelled->bytesDone(), 500u);
    // Its folder is held while it runs, so that another run of the program tidying leaves it.
    int working = 0;
    for (const auto& e : fs::recursive_directory_iterator(cache))
        if (e.path().filename().string().rfind(".new-", 0) == 0) {
            ++working;
            EXPECT_FALSE(orv::FileLock::FolderIfFree(e.path().string()).held()) << e.path();
        }
    EXPECT_EQ(working, 1);
    cancelled->cancel();
    EXPECT_EQ(cancelled->result().status, ImageCopyStatus::Cancelled);
    EXPECT_TRUE(filesIn(cache).empty());
    for (const auto& e : fs::recursive_directory_iterator(cache))
        EXPECT_EQ(e.path().filename().string().rfind(".new-", 0), std::string::npos) << e.path();
}

TEST_F(Cache, DryRunListsTheFolderInTheChild)
{
    writeIsoImage(image,
                  {isoFolder("UTIL"), isoFolder("UTIL/SS"), isoFolder("UTIL/SS/POINT"),
                   isoFile("UTIL/SS/POINT/POINT.EXE", "MZ"), isoFile("UTIL/SS/POINT/HELP.TXT", "help"),
                   isoFile("UTIL/SS/POINT/lf_Q_name.txt", "lf")},
                  "!joliet");
    // A name holding a line feed stays one name on its way out of the child.
    ASSERT_EQ(patchFileBytes(image, "lf_Q_name", "lf_\n_name"), 1);
    const orv::ImageCopyResult r = VolumeCache(ORV_QUERY_EXE, cache).check(image, {"util", "ss", "point"});
    EXPECT_EQ(r.status, ImageCopyStatus::Copied);
    EXPECT_EQ(r.files, 3u);
    EXPECT_EQ(r.bytes, 8u);
    std::vector<std::string> listed = r.listed;
    std::sort(listed.begin(), listed.end());
    EXPECT_EQ(listed,
              (std::vector<std::string>{"UTIL/SS/POINT/HELP.TXT", "UTIL/SS/POINT/POINT.EXE",
                                        "UTIL/SS/POINT/lf_\n_name.txt"}));
    EXPECT_EQ(VolumeCache(ORV_QUERY_EXE, cache).check(image, {"UTIL", "PC"}).status, ImageCopyStatus::FolderMissing);
    EXPECT_FALSE(fs::exists(cache));
}

TEST(ImageReaderNews, LinesAndListingsAreReadAsTheChildWritesThem)
{
    std::string text = "size 10 2\nprogress 4\nprogress 8\nprog";
    orv::ReaderNews news;
    ASSERT_TRUE(orv::TakeReaderLines(&text, &news));
    EXPECT_EQ(news.sizeBytes, 10u);
    EXPECT_EQ(news.sizeFiles, 2u);
    EXPECT_EQ(news.progress, 8u);
    EXPECT_EQ(text, "prog") << "a line not yet whole waits";
    for (std::string bad :
         {std::string("progress -1\n"), std::string("size 1\n"), std::string("hello\n"), std::string(300, 'x')}) {
        orv::ReaderNews ignored;
        EXPECT_FALSE(orv::TakeReaderLines(&bad, &ignored)) << bad;
    }

    orv::ImageCopyResult r;
    ASSERT_TRUE(orv::ParseReaderListing(std::string("listing 3 2\nA/B\0A/C\nD\0", 22), &r));
    EXPECT_EQ(r.listed, (std::vector<std::string>{"A/B", "A/C\nD"}));
    EXPECT_FALSE(orv::ParseReaderListing(std::string("listing 3 2\nA/B\0A/C", 19), &r)) << "a path cut short";
    EXPECT_FALSE(orv::ParseReaderListing("size 3 2\n", &r));
}

TEST_F(Cache, ASheetsCopyIsMadeInTheChildAndMadeAgainWhenItsDataFileChanges)
{
    writeVolume(image, "MZ first");
    const std::string sheet =
        writeBinCue(dir.path().string(), "CD011", readFileBytes(image), {"MODE2/2352", 1, false, false, {}});
    const VolumeCache volumes(ORV_QUERY_EXE, cache);
    const orv::ImageFolderCopy copy = volumes.folderCopy(sheet, {"UTIL", "SS", "POINT"});
    ASSERT_EQ(copy.status, ImageCopyStatus::Copied);
    EXPECT_EQ(readFileBytes(copy.folder + "/UTIL/SS/POINT/POINT.EXE"), "MZ first");
    EXPECT_EQ(volumes.check(sheet, {"UTIL"}).files, 2u);

    // The sheet unchanged, the image in its BIN replaced: the copy is made again.
    writeVolume(image, "MZ second");
    const std::string text = readFileBytes(sheet);
    writeBinCue(dir.path().string(), "CD011", readFileBytes(image), {"MODE2/2352", 1, false, false, {}});
    ASSERT_EQ(readFileBytes(sheet), text);
    const fs::path bin = dir.path() / "CD011.bin";
    fs::last_write_time(bin, fs::last_write_time(bin) + std::chrono::seconds(5));
    const orv::ImageFolderCopy again = volumes.folderCopy(sheet, {"UTIL", "SS", "POINT"});
    ASSERT_EQ(again.status, ImageCopyStatus::Copied);
    EXPECT_EQ(readFileBytes(again.folder + "/UTIL/SS/POINT/POINT.EXE"), "MZ second");

    // A BIN that is gone: nothing to copy, nothing left.
    fs::remove(bin);
    EXPECT_EQ(volumes.folderCopy(sheet, {"UTIL", "SS", "POINT"}).status, ImageCopyStatus::Damaged);
    EXPECT_EQ(volumes.check(sheet, {"UTIL"}).status, orv::ImageCopyStatus::Damaged);
}
