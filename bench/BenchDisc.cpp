// Opening an entry's file out of a disc image in a library of CD copies: the time from the file
// button to the opener being started, the first time (the entry's folder copied out of the image
// by the child reader) and from the cache after. The image is in the page cache; its entry folder
// holds 10 MB, the rest of the volume 40 MB more.
// Then the copy of a large folder (one large file and 20,000 small ones, about 1 GB) against
// bsdtar extracting the same folder from the same image onto the same disk, in turns.
// Usage: bench_disc [READER] [--large-mb N]   (READER: the program that serves the image reads,
// default build/orvantis, as the program runs itself; N: the large file, default 900; 0 leaves
// the comparison out)
#include "BenchSupport.h"

#include "actions/Volumes.h"
#include "platform/disc/VolumeCache.h"
#include "platform/shell/Shell.h"
#include "support/IsoImage.h"
#include "support/TestSupport.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <vector>

#include <spawn.h>
#include <sys/wait.h>

extern char** environ;

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

std::string randomBytes(std::mt19937& rng, std::size_t n)
{
    std::string s(n, '\0');
    for (std::size_t i = 0; i < n; i += 4) {
        const std::uint32_t r = rng();
        std::memcpy(s.data() + i, &r, std::min<std::size_t>(4, n - i));
    }
    return s;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// Runs a program and waits for it; its wall time in ms, or -1 when it failed.
double runProgram(std::vector<std::string> args)
{
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    const auto t0 = Clock::now();
    pid_t pid = 0;
    if (::posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0)
        return -1;
    int status = 0;
    ::waitpid(pid, &status, 0);
    const double ms = bench::msSince(t0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? ms : -1;
}

// The copy of a folder of one large file and 20,000 small ones against bsdtar -x of it.
void compareWithBsdtar(const std::string& reader, const fs::path& dir, std::size_t largeMb)
{
    if (std::system("command -v bsdtar >/dev/null 2>&1") != 0) {
        std::printf("bsdtar is not installed (libarchive-tools): no comparison\n");
        return;
    }
    const std::string image = (dir / "large.iso").string();
    {
        std::mt19937 rng(7);
        std::vector<orvtest::IsoEntry> entries = {orvtest::isoFolder("BIG"), orvtest::isoFolder("BIG/SMALL")};
        entries.push_back(orvtest::isoFile("BIG/LARGE.BIN", randomBytes(rng, largeMb << 20)));
        for (int i = 0; i < 20000; ++i) {
            const std::string sub = "BIG/SMALL/" + std::to_string(i / 1000);
            if (i % 1000 == 0)
                entries.push_back(orvtest::isoFolder(sub));
            entries.push_back(orvtest::isoFile(sub + "/F" + std::to_string(i) + ".DAT", randomBytes(rng, 4096)));
        }
        orvtest::writeIsoImage(image, entries);
    }
    orvtest::readFileBytes(image); // into the page cache
    const double folderMb = double(largeMb) * 1.048576 + 20000 * 4096 / 1e6;
    std::printf("large folder: %.0f MB in one file and 20,000 of 4 kB, image %.0f MB\n", folderMb,
                double(fs::file_size(image)) / 1e6);
    const fs::path cache = dir / "large-cache", out = dir / "bsdtar-out";
    const orv::VolumeCache volumes(reader, cache.string());
    std::vector<double> ours, theirs, ratios;
    for (int run = 0; run < 5; ++run) {
        fs::remove_all(cache);
        fs::remove_all(out);
        fs::create_directories(out);
        ::sync();
        const auto t0 = Clock::now();
        if (volumes.folderCopy(image, {"BIG"}).status != orv::ImageCopyStatus::Copied) {
            std::fprintf(stderr, "bench_disc: the large folder was not copied\n");
            std::exit(1);
        }
        ours.push_back(bench::msSince(t0));
        fs::remove_all(cache);
        ::sync();
        theirs.push_back(runProgram({"bsdtar", "-x", "-f", image, "-C", out.string(), "BIG"}));
        if (theirs.back() < 0) {
            std::fprintf(stderr, "bench_disc: bsdtar failed\n");
            std::exit(1);
        }
        ratios.push_back(ours.back() / theirs.back());
    }
    fs::remove_all(out);
    std::printf("copy out of the image: %7.1f ms median   bsdtar -x: %7.1f ms median   ratio %.2f median (min %.2f, "
                "max %.2f)   target <= 1.10\n",
                median(ours), median(theirs), median(ratios), *std::min_element(ratios.begin(), ratios.end()),
                *std::max_element(ratios.begin(), ratios.end()));
}

struct Timing {
    double ready; // the path to open is known (the copy made or found)
    double started; // the shell has checked the file's association and starts the opener
};

} // namespace

int main(int argc, char** argv)
{
    std::string readerArg = "build/orvantis";
    std::size_t largeMb = 900;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--large-mb") && i + 1 < argc)
            largeMb = std::size_t(std::strtoul(argv[++i], nullptr, 10));
        else
            readerArg = argv[i];
    }
    const std::string reader = fs::canonical(readerArg).string();
    orvtest::TempDir dir;
    const fs::path lib = dir.path() / "library";
    fs::create_directories(lib);
    const std::string image = (lib / "CD012.iso").string();

    std::mt19937 rng(12);
    std::vector<orvtest::IsoEntry> entries = {orvtest::isoFolder("UTIL"), orvtest::isoFolder("UTIL/PC"),
                                              orvtest::isoFolder("UTIL/PC/TOOL"),
                                              orvtest::isoFile("UTIL/PC/TOOL/TOOL.EXE", randomBytes(rng, 512 * 1024))};
    for (int i = 0; i < 19; ++i)
        entries.push_back(
            orvtest::isoFile("UTIL/PC/TOOL/DATA" + std::to_string(i) + ".BIN", randomBytes(rng, 512 * 1024)));
    for (int v = 0; v < 4; ++v) {
        const std::string other = "UTIL/PC/OTHER" + std::to_string(v);
        entries.push_back(orvtest::isoFolder(other));
        for (int i = 0; i < 10; ++i)
            entries.push_back(
                orvtest::isoFile(other + "/F" + std::to_string(i) + ".BIN", randomBytes(rng, 1024 * 1024)));
    }
    orvtest::writeIsoImage(image, entries);
    // Into the page cache.
    orvtest::readFileBytes(image);
    std::printf("image %.1f MB, entry folder 10.0 MB, reader %s\n", double(fs::file_size(image)) / 1e6, reader.c_str());
    // The association check runs xdg-mime (xdg-utils, which the package depends on).
    const bool xdgMime = std::system("command -v xdg-mime >/dev/null 2>&1") == 0;
    std::printf("association check: %s\n", xdgMime ? "xdg-mime, timed" : "xdg-mime not installed, not timed");

    const fs::path cache = dir.path() / "cache";
    const orv::VolumeCache volumes(reader, cache.string());
    const orv::ImageFolderCopier copier = [&](const std::string& img, const std::vector<std::string>& folder) {
        return volumes.folderCopy(img, folder);
    };
    // The desktop's association check as the program makes it; the opener is not started.
    orv::DesktopOps ops = orv::systemDesktopOps();
    // Looked up and timed; the answer depends on the desktop's files, so any counts.
    ops.hasHandler = [lookup = ops.hasHandler](const std::string& path) -> std::optional<bool> {
        lookup(path);
        return true;
    };
    Clock::time_point startedAt;
    ops.startDetached = [&](const std::string&, const std::vector<std::string>&, const std::string&) {
        startedAt = Clock::now();
        return true;
    };
    const std::unique_ptr<orv::Shell> shell = orv::makeXdgShell(ops);

    const auto press = [&]() -> Timing {
        const auto t0 = Clock::now();
        orv::ImageCopyOutcome outcome;
        const std::optional<std::string> file =
            orv::EntryFileToOpen(lib.string(), "012", "UTIL\\PC\\TOOL", "TOOL.EXE", copier, &outcome);
        const double ready = bench::msSince(t0);
        if (!file || shell->openFile(*file, dir.path().string()) < 32) {
            std::fprintf(stderr, "bench_disc: the file did not open (copy status %d)\n", int(outcome.status));
            std::exit(1);
        }
        return {ready, std::chrono::duration<double, std::milli>(startedAt - t0).count()};
    };

    std::vector<double> firstReady, firstStarted, cachedReady, cachedStarted;
    for (int run = 0; run < 5; ++run) {
        fs::remove_all(cache);
        const Timing t = press();
        firstReady.push_back(t.ready);
        firstStarted.push_back(t.started);
        for (int again = 0; again < 5; ++again) {
            const Timing c = press();
            cachedReady.push_back(c.ready);
            cachedStarted.push_back(c.started);
        }
    }
    std::printf(
        "first time:      button to opener %7.1f ms median (min %.1f)   target <= 300 ms   (copy ready %.1f ms)\n",
        median(firstStarted), *std::min_element(firstStarted.begin(), firstStarted.end()), median(firstReady));
    std::printf(
        "from the cache:  button to opener %7.1f ms median (min %.1f)   target <=  50 ms   (copy ready %.1f ms)\n",
        median(cachedStarted), *std::min_element(cachedStarted.begin(), cachedStarted.end()), median(cachedReady));
    if (largeMb > 0)
        compareWithBsdtar(reader, dir.path(), largeMb);
    return 0;
}
