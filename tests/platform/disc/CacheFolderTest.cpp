// The cache of copies at its edges: a limit kept by dropping the least recently used copies, a disk
// with no room, a copy killed half way, links and strays where copies go, two programs at once.
#include "platform/disc/VolumeCache.h"

#include "support/IsoImage.h"
#include "support/TestSupport.h"

#include <algorithm>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <tuple>

#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace orvtest;
using orv::ImageCopyStatus;
using orv::VolumeCache;
namespace fs = std::filesystem;

namespace {

using Names = std::vector<std::string>;

// An image whose folders A, B, C, D each hold one file of the given size.
void writeFolders(const std::string& image, std::size_t size)
{
    std::vector<IsoEntry> entries;
    for (const char* f : {"A", "B", "C", "D"}) {
        entries.push_back(isoFolder(f));
        entries.push_back(isoFile(std::string(f) + "/DATA.BIN", std::string(size, f[0])));
    }
    writeIsoImage(image, entries);
}

// The folders whose copies the cache holds, by the one file each holds.
std::vector<std::string> copiedFolders(const std::string& cache)
{
    std::vector<std::string> out;
    if (!fs::exists(cache))
        return out;
    for (const auto& e : fs::recursive_directory_iterator(cache))
        if (e.path().filename() == "DATA.BIN")
            out.push_back(e.path().parent_path().filename().string());
    std::sort(out.begin(), out.end());
    return out;
}

// What the image folders hold besides their copies: entries whose names start with prefix.
int entriesStartingWith(const std::string& cache, const std::string& prefix)
{
    int n = 0;
    for (const auto& image : fs::directory_iterator(cache))
        for (const auto& e : fs::directory_iterator(image.path()))
            n += e.path().filename().string().rfind(prefix, 0) == 0;
    return n;
}

std::string imageFolder(const std::string& cache, const std::string& image)
{
    return cache + '/' + orv::ImageFolderName(fs::canonical(image).string());
}

void stepUntil(orv::ImageCopyRun& run, const std::function<bool()>& done)
{
    while (!run.ended() && !done()) {
        pollfd p{run.waitFd(), POLLIN, 0};
        ::poll(&p, p.fd >= 0 ? 1 : 0, 1000);
        run.step();
    }
}

constexpr int kNoNamespaces = 77;

// Runs body in a child process that has a file system of the given size mounted at dir, in user
// and mount namespaces of its own; the child's exit code, or kNoNamespaces where the system
// allows no such namespace.
int inSmallDisk(const fs::path& dir, std::size_t bytes, const std::function<int()>& body)
{
    const uid_t uid = ::getuid();
    const gid_t gid = ::getgid();
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (::unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0)
            ::_exit(kNoNamespaces);
        const auto put = [](const char* file, const std::string& text) {
            const int fd = ::open(file, O_WRONLY);
            const bool ok = fd >= 0 && ::write(fd, text.data(), text.size()) == ssize_t(text.size());
            if (fd >= 0)
                ::close(fd);
            return ok;
        };
        put("/proc/self/setgroups", "deny");
        if (!put("/proc/self/uid_map", "0 " + std::to_string(uid) + " 1")
            || !put("/proc/self/gid_map", "0 " + std::to_string(gid) + " 1")
            || ::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0
            || ::mount("tmpfs", dir.c_str(), "tmpfs", 0, ("size=" + std::to_string(bytes)).c_str()) != 0)
            ::_exit(kNoNamespaces);
        ::_exit(body());
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 100 + WTERMSIG(status);
}

class CacheAtItsEdges : public testing::Test {
protected:
    TempDir dir;
    const std::string cache = (dir.path() / "cache").string();
    const std::string image = dir.file("CD011.iso");
};

} // namespace

TEST(CacheLimit, SizesAreReadInBinaryUnits)
{
    EXPECT_EQ(orv::ParseCacheLimit("4G"), 4ull << 30);
    EXPECT_EQ(orv::ParseCacheLimit("500m"), 500ull << 20);
    EXPECT_EQ(orv::ParseCacheLimit("1048576"), 1048576u);
    EXPECT_EQ(orv::ParseCacheLimit("0"), 0u);
    for (const char* bad : {"", "G", "4 G", "4GB", "-1", "1.5G", "99999999999999999999", "17179869184T"})
        EXPECT_EQ(orv::ParseCacheLimit(bad), std::nullopt) << bad;
}

TEST_F(CacheAtItsEdges, TheLeastRecentlyUsedCopiesGoFirstToKeepTheLimit)
{
    writeFolders(image, 300000);
    orv::VolumeCacheLimits limits;
    limits.totalBytes = 700000;
    const VolumeCache volumes(ORV_QUERY_EXE, cache, limits);
    for (const char* f : {"A", "B", "A"})
        ASSERT_EQ(volumes.folderCopy(image, {f}).status, ImageCopyStatus::Copied) << f;
    // A was used again after B: C takes B's place.
    ASSERT_EQ(volumes.folderCopy(image, {"C"}).status, ImageCopyStatus::Copied);
    EXPECT_EQ(copiedFolders(cache), (std::vector<std::string>{"A", "C"}));

    // A copy larger than the limit is still made, for the file being opened; the rest goes.
    limits.totalBytes = 100000;
    ASSERT_EQ(VolumeCache(ORV_QUERY_EXE, cache, limits).folderCopy(image, {"D"}).status, ImageCopyStatus::Copied);
    EXPECT_EQ(copiedFolders(cache), (std::vector<std::string>{"D"}));

    // At start-up the cache is brought within the limit of the environment.
    ASSERT_EQ(volumes.folderCopy(image, {"A"}).status, ImageCopyStatus::Copied);
    ::setenv("ORVANTIS_CACHE_LIMIT", "400K", 1);
    EXPECT_EQ(orv::ServeCacheTidy(cache), 0);
    ::unsetenv("ORVANTIS_CACHE_LIMIT");
    EXPECT_EQ(copiedFolders(cache), (std::vector<std::string>{"A"}));
    EXPECT_EQ(entriesStartingWith(cache, ".old-"), 0);
}

// Uses are told apart by their seconds first: one at 1000.9 s is older than one at 2000.1 s.
TEST_F(CacheAtItsEdges, AnOlderUseIsOlderWhateverItsFractionOfASecond)
{
    const std::string imageDir = cache + "/image";
    for (const auto& [slot, seconds, nanoseconds] :
         {std::tuple{"A", 1000, 900000000}, std::tuple{"B", 2000, 100000000}}) {
        fs::create_directories(imageDir + "/" + slot);
        ASSERT_TRUE(orv::RecordSlot(imageDir, slot, 10));
        const timespec times[2] = {{seconds, nanoseconds}, {seconds, nanoseconds}};
        ASSERT_EQ(::utimensat(AT_FDCWD, (imageDir + "/" + slot + ".size").c_str(), times, 0), 0);
    }
    const std::vector<orv::CacheSlot> slots = orv::CacheSlots(cache);
    ASSERT_EQ(slots.size(), 2u);
    EXPECT_EQ(slots[0].name, "A");
    EXPECT_EQ(orv::MakeRoom(cache, 10, 0, std::string(), 0, 0), 10u);
    EXPECT_FALSE(orv::IsSlot(imageDir, "A"));
    EXPECT_TRUE(orv::IsSlot(imageDir, "B"));
}

TEST_F(CacheAtItsEdges, ADiskWithoutRoomIsReportedAndLeftAsItWas)
{
    // 2 MiB to copy into a file system of 1 MiB.
    writeIsoImage(image, {isoFolder("UTIL"), isoFile("UTIL/BIG.BIN", std::string(2 << 20, 'b'))});
    const fs::path small = dir.path() / "small";
    fs::create_directory(small);
    const int result = inSmallDisk(small, 1 << 20, [&] {
        const std::string smallCache = (small / "cache").string();
        // Seen before copying: the child is never told to go on.
        if (VolumeCache(ORV_QUERY_EXE, smallCache).folderCopy(image, {"UTIL"}).status != ImageCopyStatus::NoSpace)
            return 1;
        // Not seen before (the disk filled meanwhile): the child's writes fail.
        orv::VolumeCacheLimits blind;
        blind.freeBytes = [](const std::string&) { return std::uint64_t(1) << 40; };
        if (VolumeCache(ORV_QUERY_EXE, smallCache, blind).folderCopy(image, {"UTIL"}).status
            != ImageCopyStatus::NoSpace)
            return 2;
        // Nothing of either copy is left.
        for (const auto& e : fs::recursive_directory_iterator(smallCache))
            if (e.is_regular_file() && e.path().filename() != "source" && e.path().filename() != "lock")
                return 3;
        return 0;
    });
    if (result == kNoNamespaces)
        GTEST_SKIP() << "no user namespaces to mount a small file system in";
    EXPECT_EQ(result, 0);
}

TEST_F(CacheAtItsEdges, WhatAKilledCopyLeftIsRemovedButAnotherProgramsCopyIsNot)
{
    std::vector<IsoEntry> entries{isoFolder("UTIL")};
    for (int i = 0; i < 4; ++i)
        entries.push_back(isoFile("UTIL/F" + std::to_string(i) + ".BIN", std::string(2 << 20, 'k')));
    writeIsoImage(image, entries);

    // A program copying the folder is killed once its reader has begun to write; the reader dies
    // with it (and comes to this process, which reaps it). This reader writes a part, makes sure it
    // dies with the program as the real one does, then says so and waits: always cut off mid-copy.
    const std::string reader = (dir.path() / "half-reader").string();
    writeFileBytes(
        reader,
        "#!/bin/sh\nprintf 'size 8388608 4\\n'\nhead -c1 >/dev/null\n"
        "echo part > \"$3/F0.BIN\"\nexec setpriv --pdeathsig KILL sh -c \"printf 'progress 5\\n'; exec sleep 60\"\n");
    fs::permissions(reader, fs::perms::owner_all);
    ASSERT_EQ(::prctl(PR_SET_CHILD_SUBREAPER, 1), 0);
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t program = ::fork();
    if (program == 0) {
        const std::unique_ptr<orv::ImageCopyRun> run = VolumeCache(reader, cache).start(image, {"UTIL"});
        stepUntil(*run, [&] { return run->bytesDone() > 0; });
        const char said = run->ended() ? 'e' : 'w';
        (void)!::write(ready[1], &said, 1);
        for (;;)
            ::pause();
    }
    char said = 0;
    ASSERT_EQ(::read(ready[0], &said, 1), 1);
    ::kill(program, SIGKILL);
    int status = 0;
    ::waitpid(program, &status, 0);
    while (::waitpid(-1, &status, 0) > 0) {}
    ::prctl(PR_SET_CHILD_SUBREAPER, 0);
    ::close(ready[0]);
    ::close(ready[1]);
    ASSERT_EQ(said, 'w') << "the copy ended before the program was killed";
    const std::string imageDir = imageFolder(cache, image);
    ASSERT_EQ(entriesStartingWith(cache, ".new-"), 1);

    // Another program's copy in progress: its folder is held.
    std::string running = imageDir + "/.new-XXXXXX";
    ASSERT_TRUE(::mkdtemp(running.data()));
    writeFileBytes(running + "/PART.BIN", "part");
    {
        const orv::FileLock held = orv::FileLock::FolderIfFree(running);
        ASSERT_TRUE(held.held());
        // At start-up, as the program tidies in a process of its own.
        const std::string tidy = std::string(ORV_QUERY_EXE) + " --tidy-volume-cache '" + cache + "'";
        ASSERT_EQ(std::system(tidy.c_str()), 0);
        EXPECT_EQ(entriesStartingWith(cache, ".new-"), 1);
        EXPECT_TRUE(fs::exists(running + "/PART.BIN"));
        EXPECT_EQ(entriesStartingWith(cache, ".old-"), 0);
    }
    // Killed again; the next copy of the image removes it before it begins.
    std::string killed = imageDir + "/.new-XXXXXX";
    ASSERT_TRUE(::mkdtemp(killed.data()));
    writeFileBytes(killed + "/F0.BIN", "half");
    const orv::ImageFolderCopy copy = VolumeCache(ORV_QUERY_EXE, cache).folderCopy(image, {"UTIL"});
    ASSERT_EQ(copy.status, ImageCopyStatus::Copied);
    EXPECT_EQ(fs::file_size(copy.folder + "/UTIL/F3.BIN"), 2u << 20);
    EXPECT_EQ(entriesStartingWith(cache, ".new-"), 0) << "both leftovers, now that nobody holds them";
    EXPECT_EQ(entriesStartingWith(cache, ".old-"), 0);
}

TEST_F(CacheAtItsEdges, LinksAndStraysWhereCopiesGoAreReplacedNeverWrittenThrough)
{
    writeFolders(image, 1000);
    const fs::path outside = dir.path() / "outside";
    fs::create_directories(outside);
    writeFileBytes((outside / "keep.txt").string(), "keep");
    const auto untouched = [&] {
        std::vector<std::string> names;
        for (const auto& e : fs::recursive_directory_iterator(outside))
            names.push_back(fs::relative(e.path(), outside).string());
        return names == std::vector<std::string>{"keep.txt"}
        && readFileBytes((outside / "keep.txt").string()) == "keep";
    };
    const VolumeCache volumes(ORV_QUERY_EXE, cache);

    // The image's folder is a link to a folder elsewhere.
    const std::string imageDir = imageFolder(cache, image);
    fs::create_directories(cache);
    fs::create_directory_symlink(outside, imageDir);
    ASSERT_EQ(volumes.folderCopy(image, {"A"}).status, ImageCopyStatus::Copied);
    EXPECT_FALSE(fs::is_symlink(imageDir));
    EXPECT_TRUE(untouched());

    // Where the copies of B, C and D go: a link out, a stray file, a folder that is no copy. The
    // stamp, the lock and A's size are links to a file outside.
    fs::create_directory_symlink(outside, imageDir + '/' + orv::SlotName({"B"}));
    writeFileBytes(imageDir + '/' + orv::SlotName({"C"}), "stray");
    fs::create_directories(imageDir + '/' + orv::SlotName({"D"}) + "/D");
    writeFileBytes(imageDir + '/' + orv::SlotName({"D"}) + "/D/DATA.BIN", "not from the image");
    const std::string stamp = readFileBytes(imageDir + "/source");
    writeFileBytes((outside / "stamp").string(), stamp);
    for (const char* name : {"source", "lock"}) {
        fs::remove(imageDir + '/' + name);
        fs::create_symlink(outside / "stamp", imageDir + '/' + name);
    }
    for (const char* f : {"B", "C", "D"}) {
        const orv::ImageFolderCopy copy = volumes.folderCopy(image, {f});
        ASSERT_EQ(copy.status, ImageCopyStatus::Copied) << f;
        EXPECT_EQ(readFileBytes(copy.folder + '/' + f + "/DATA.BIN"), std::string(1000, f[0])) << f;
        EXPECT_FALSE(fs::is_symlink(copy.folder)) << f;
    }
    EXPECT_EQ(readFileBytes((outside / "stamp").string()), stamp);
    fs::remove(outside / "stamp");
    EXPECT_TRUE(untouched());
}

TEST_F(CacheAtItsEdges, TwoProgramsCopyingOneImageNeverRemoveEachOthersWork)
{
    writeFolders(image, 3 << 20);
    const VolumeCache volumes(ORV_QUERY_EXE, cache);
    // The second finishes first and puts the copy in place; the first then uses it.
    const std::unique_ptr<orv::ImageCopyRun> first = volumes.start(image, {"A"});
    ASSERT_FALSE(first->ended());
    const orv::ImageFolderCopy second = volumes.folderCopy(image, {"A"});
    ASSERT_EQ(second.status, ImageCopyStatus::Copied);
    orv::RunToEnd(*first);
    EXPECT_EQ(first->result().status, ImageCopyStatus::Copied);
    EXPECT_EQ(first->result().folder, second.folder);

    // The image is touched while the first reads it: the second starts afresh beside it without
    // removing the first's copy in progress; the first's, from an image since changed, is not kept.
    const std::unique_ptr<orv::ImageCopyRun> before = volumes.start(image, {"B"});
    ASSERT_FALSE(before->ended());
    fs::last_write_time(image, fs::last_write_time(image) + std::chrono::seconds(5));
    const orv::ImageFolderCopy after = volumes.folderCopy(image, {"B"});
    ASSERT_EQ(after.status, ImageCopyStatus::Copied);
    EXPECT_EQ(entriesStartingWith(cache, ".new-"), 1) << "the first's copy in progress is still there";
    orv::RunToEnd(*before);
    EXPECT_EQ(before->result().status, ImageCopyStatus::Damaged);
    EXPECT_EQ(entriesStartingWith(cache, ".new-"), 0);
    EXPECT_EQ(readFileBytes(after.folder + "/B/DATA.BIN"), std::string(3 << 20, 'B'));
    EXPECT_EQ(copiedFolders(cache), (std::vector<std::string>{"B"})) << "A was of the image before it changed";
}
