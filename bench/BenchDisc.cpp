// Opening an entry's file out of a disc image in a library of CD copies: the time from the file
// button to the opener being started, the first time (the entry's folder copied out of the image
// by the child reader) and from the cache after. The image is in the page cache; its entry folder
// holds 10 MB, the rest of the volume 40 MB more.
// Usage: bench_disc [READER]   (READER: the program that serves the image reads, default
// build/orvantis, as the program runs itself)
#include "BenchSupport.h"

#include "actions/Volumes.h"
#include "platform/disc/VolumeCache.h"
#include "platform/shell/Shell.h"
#include "support/IsoImage.h"
#include "support/TestSupport.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <vector>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

std::string randomBytes(std::mt19937& rng, std::size_t n)
{
    std::string s(n, '\0');
    for (char& c : s)
        c = static_cast<char>(rng());
    return s;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

struct Timing {
    double ready; // the path to open is known (the copy made or found)
    double started; // the shell has checked the file's association and starts the opener
};

} // namespace

int main(int argc, char** argv)
{
    const std::string reader = fs::canonical(argc > 1 ? argv[1] : "build/orvantis").string();
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
    Clock::time_point startedAt;
    ops.startDetached = [&](const std::string&, const std::vector<std::string>&, const std::string&) {
        startedAt = Clock::now();
        return true;
    };
    const std::unique_ptr<orv::Shell> shell = orv::makeXdgShell(ops);

    const auto press = [&]() -> Timing {
        const auto t0 = Clock::now();
        const std::optional<std::string> file =
            orv::EntryFileToOpen(lib.string(), "012", "UTIL\\PC\\TOOL", "TOOL.EXE", copier);
        const double ready = bench::msSince(t0);
        if (!file || shell->openFile(*file, dir.path().string()) < 32) {
            std::fprintf(stderr, "bench_disc: the file did not open\n");
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
    return 0;
}
