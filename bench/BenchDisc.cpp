// Opening an entry's file out of a disc image in a library of CD copies: the time from the file
// button to the opener being started, the first time (the entry's folder copied out of the image
// by the child reader) and from the cache after. The images are in the page cache; the entry
// folder holds 10 MB.
//   1. A 53 MB ISO image (the rest of the volume 40 MB more).
//   2. A 650 MB volume side by side as an ISO image and as a BIN/CUE image of raw Mode 1 sectors
//      (2352 bytes each), runs of the two taking turns; their ratio is the median of the runs'.
//   3. The copy of a large folder (one large file and 20,000 small ones, about 1 GB) against
//      bsdtar extracting the same folder from the same image onto the same disk, in turns.
// Usage: bench_disc [READER] [--large-mb N]   (READER: the program that serves the image reads,
// default build/orvantis, as the program runs itself; N: the large file of 3., default 900; 0
// leaves 3. out)
#include "BenchSupport.h"

#include "actions/Volumes.h"
#include "platform/disc/VolumeCache.h"
#include "platform/shell/Shell.h"
#include "support/DiscImages.h"
#include "support/IsoImage.h"
#include "support/TestSupport.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <vector>

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

// Bytes that do not compress, quickly.
std::string randomBytes(std::uint64_t& state, std::size_t n)
{
    std::string s(n, '\0');
    for (std::size_t i = 0; i + 8 <= n; i += 8) {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        for (int b = 0; b < 8; ++b)
            s[i + std::size_t(b)] = char(state >> (8 * b));
    }
    return s;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

double minimum(const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); }

// The median of the ratios a[i] / b[i] of runs that took turns: steady while the machine's speed
// drifts.
double medianRatio(const std::vector<double>& a, const std::vector<double>& b)
{
    std::vector<double> r;
    for (std::size_t i = 0; i < a.size() && i < b.size(); ++i)
        r.push_back(a[i] / b[i]);
    return median(r);
}

// The entry folder UTIL/PC/TOOL (TOOL.EXE and 19 data files, 512 KB each), then otherMB more in
// files of fileMB each.
std::vector<orvtest::IsoEntry> volume(int otherMB, int fileMB)
{
    std::uint64_t state = 12;
    std::vector<orvtest::IsoEntry> entries = {
        orvtest::isoFolder("UTIL"), orvtest::isoFolder("UTIL/PC"), orvtest::isoFolder("UTIL/PC/TOOL"),
        orvtest::isoFile("UTIL/PC/TOOL/TOOL.EXE", randomBytes(state, 512 * 1024))};
    for (int i = 0; i < 19; ++i)
        entries.push_back(
            orvtest::isoFile("UTIL/PC/TOOL/DATA" + std::to_string(i) + ".BIN", randomBytes(state, 512 * 1024)));
    const int perFolder = std::max(1, 10 / fileMB);
    for (int i = 0; i < otherMB / fileMB; ++i) {
        const std::string other = "UTIL/PC/OTHER" + std::to_string(i / perFolder);
        if (i % perFolder == 0)
            entries.push_back(orvtest::isoFolder(other));
        entries.push_back(
            orvtest::isoFile(other + "/F" + std::to_string(i) + ".BIN", randomBytes(state, std::size_t(fileMB) << 20)));
    }
    return entries;
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

// 3. The copy of a folder of one large file and 20,000 small ones against bsdtar -x of it.
void compareWithBsdtar(const std::string& reader, const fs::path& dir, std::size_t largeMb)
{
    if (std::system("command -v bsdtar >/dev/null 2>&1") != 0) {
        std::printf("bsdtar is not installed (libarchive-tools): no comparison\n");
        return;
    }
    const std::string image = (dir / "large.iso").string();
    {
        std::uint64_t state = 7;
        std::vector<orvtest::IsoEntry> entries = {orvtest::isoFolder("BIG"), orvtest::isoFolder("BIG/SMALL")};
        entries.push_back(orvtest::isoFile("BIG/LARGE.BIN", randomBytes(state, largeMb << 20)));
        for (int i = 0; i < 20000; ++i) {
            const std::string sub = "BIG/SMALL/" + std::to_string(i / 1000);
            if (i % 1000 == 0)
                entries.push_back(orvtest::isoFolder(sub));
            entries.push_back(orvtest::isoFile(sub + "/F" + std::to_string(i) + ".DAT", randomBytes(state, 4096)));
        }
        orvtest::writeIsoImage(image, entries);
    }
    orvtest::readFileBytes(image); // into the page cache
    std::printf("%.0f MB folder in one file and 20,000 of 4 kB, image %.0f MB\n",
                double(largeMb) * 1.048576 + 20000 * 4096 / 1e6, double(fs::file_size(image)) / 1e6);
    const fs::path cache = dir / "large-cache", out = dir / "bsdtar-out";
    const orv::VolumeCache volumes(reader, cache.string());
    std::vector<double> ours, theirs;
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
    }
    fs::remove_all(out);
    std::printf("  copy out of the image %7.1f ms median, bsdtar -x %7.1f ms median; median of the runs' ratios"
                " %.2f x; target <= 1.10 x\n",
                median(ours), median(theirs), medianRatio(ours, theirs));
}

struct Timing {
    double ready; // the path to open is known (the copy made or found)
    double started; // the shell has checked the file's association and starts the opener
};

struct Timings {
    std::vector<double> firstReady, firstStarted, cachedReady, cachedStarted;
};

// Presses of the file button for volume 012 of a library, each with a cache of its own.
class Bench {
public:
    Bench(const std::string& reader, const fs::path& cache) : cache_(cache), volumes_(reader, cache.string())
    {
        orv::DesktopOps ops = orv::systemDesktopOps();
        ops.startDetached = [this](const std::string&, const std::vector<std::string>&, const std::string&) {
            startedAt_ = Clock::now();
            return true;
        };
        shell_ = orv::makeXdgShell(ops);
    }

    // One first press (the copy made), then five from the cache.
    void run(const fs::path& lib, Timings* t)
    {
        fs::remove_all(cache_);
        const Timing first = press(lib);
        t->firstReady.push_back(first.ready);
        t->firstStarted.push_back(first.started);
        for (int again = 0; again < 5; ++again) {
            const Timing c = press(lib);
            t->cachedReady.push_back(c.ready);
            t->cachedStarted.push_back(c.started);
        }
    }

private:
    Timing press(const fs::path& lib)
    {
        const orv::ImageFolderCopier copier = [&](const std::string& img, const std::vector<std::string>& folder) {
            return volumes_.folderCopy(img, folder);
        };
        const auto t0 = Clock::now();
        const std::optional<std::string> file =
            orv::EntryFileToOpen(lib.string(), "012", "UTIL\\PC\\TOOL", "TOOL.EXE", copier);
        const double ready = bench::msSince(t0);
        if (!file || shell_->openFile(*file, lib.string()) < 32) {
            std::fprintf(stderr, "bench_disc: the file did not open from %s\n", lib.c_str());
            std::exit(1);
        }
        return {ready, std::chrono::duration<double, std::milli>(startedAt_ - t0).count()};
    }

    fs::path cache_;
    orv::VolumeCache volumes_;
    std::unique_ptr<orv::Shell> shell_;
    Clock::time_point startedAt_;
};

void report(const char* label, const Timings& t)
{
    std::printf("  %-22s first: button to opener %7.1f ms median (min %.1f), copy ready %.1f ms\n", label,
                median(t.firstStarted), minimum(t.firstStarted), median(t.firstReady));
    std::printf("  %-22s cache: button to opener %7.2f ms median (min %.2f), copy ready %.2f ms\n", "",
                median(t.cachedStarted), minimum(t.cachedStarted), median(t.cachedReady));
}

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
    // A handler for the program file of the private home, as a desktop with one has: the
    // association check then answers as it does there, whatever this machine has.
    const fs::path data = dir.path() / "data";
    fs::create_directories(data / "applications");
    ::setenv("XDG_DATA_HOME", data.c_str(), 1);
    orvtest::writeFileBytes((data / "applications/orvantis-bench.desktop").string(),
                            "[Desktop Entry]\nType=Application\nName=Bench\nExec=true %f\n"
                            "MimeType=application/x-ms-dos-executable;\n");
    orvtest::writeFileBytes(std::string(std::getenv("XDG_CONFIG_HOME")) + "/mimeapps.list",
                            "[Default Applications]\napplication/x-ms-dos-executable=orvantis-bench.desktop\n");
    // The association check runs xdg-mime (xdg-utils, which the package depends on).
    const bool xdgMime = std::system("command -v xdg-mime >/dev/null 2>&1") == 0;
    std::printf("reader %s; association check: %s\n", reader.c_str(),
                xdgMime ? "xdg-mime, timed" : "xdg-mime not installed, not timed");
    Bench bench(reader, dir.path() / "cache");

    // 1. The 53 MB image.
    const fs::path small = dir.path() / "small";
    fs::create_directories(small);
    orvtest::writeIsoImage((small / "CD012.iso").string(), volume(40, 1));
    orvtest::readFileBytes((small / "CD012.iso").string()); // into the page cache
    Timings smallTimes;
    for (int run = 0; run < 5; ++run)
        bench.run(small, &smallTimes);
    std::printf("%.1f MB ISO image, entry folder 10.0 MB\n", double(fs::file_size(small / "CD012.iso")) / 1e6);
    report("ISO", smallTimes);
    std::printf("  targets: first <= 300 ms, from the cache <= 50 ms\n");

    // 2. 650 MB as an ISO and as BIN/CUE (MODE1/2352), in libraries of their own.
    const fs::path isoLib = dir.path() / "iso", cueLib = dir.path() / "cue";
    fs::create_directories(isoLib);
    fs::create_directories(cueLib);
    const std::string isoPath = (isoLib / "CD012.iso").string();
    orvtest::writeIsoImage(isoPath, volume(640, 10));
    orvtest::writeBinCue(cueLib.string(), "CD012", orvtest::readFileBytes(isoPath));
    orvtest::readFileBytes(isoPath);
    orvtest::readFileBytes((cueLib / "CD012.bin").string());
    Timings isoTimes, cueTimes;
    for (int run = 0; run < 15; ++run) {
        bench.run(isoLib, &isoTimes);
        bench.run(cueLib, &cueTimes);
    }
    std::printf("%.1f MB ISO image and its %.1f MB BIN/CUE (MODE1/2352), entry folder 10.0 MB\n",
                double(fs::file_size(isoPath)) / 1e6, double(fs::file_size(cueLib / "CD012.bin")) / 1e6);
    report("ISO", isoTimes);
    report("BIN/CUE", cueTimes);
    std::printf("  BIN/CUE against ISO, median of the runs' ratios: first %.2f x (copy ready %.2f x), from the cache"
                " %.2f x (copy ready %.2f x); target <= 1.2 x\n",
                medianRatio(cueTimes.firstStarted, isoTimes.firstStarted),
                medianRatio(cueTimes.firstReady, isoTimes.firstReady),
                medianRatio(cueTimes.cachedStarted, isoTimes.cachedStarted),
                medianRatio(cueTimes.cachedReady, isoTimes.cachedReady));

    // 3. Against bsdtar.
    if (largeMb > 0)
        compareWithBsdtar(reader, dir.path(), largeMb);
    return 0;
}
