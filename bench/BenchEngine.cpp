// Engine speed and memory: opening a catalogue into memory, the unfiltered list, a four-word
// keyword search, sorting by game name both ways, and the open plus one search with many
// OR-ed keywords.
#include "BenchSupport.h"

#include "platform/Engine.h"
#include "platform/EngineIsolation.h"
#include "search/FilterBuilder.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>

namespace {

// The open and the common statements, the file read in this process (the reader's own cost
// without the child).
void runOn(const std::string& label, const std::string& path)
{
    const double fileMiB = static_cast<double>(std::filesystem::file_size(path)) / (1024.0 * 1024.0);
    const double rss0 = bench::rssMiB();
    auto t0 = std::chrono::steady_clock::now();
    auto db = orv::OpenDatabase(orv::InProcessCatalogue(), path);
    const double openMs = bench::msSince(t0);
    const double rss1 = bench::rssMiB();

    auto timeQuery = [&](const char* what, const std::string& sql) {
        double best = 1e18;
        long rows = 0;
        for (int i = 0; i < 5; ++i) {
            auto t = std::chrono::steady_clock::now();
            auto rs = db->OpenRecordset(sql);
            if (rs->RecordCount()) { rs->MoveLast(); rs->MoveFirst(); }
            best = std::min(best, bench::msSince(t));
            rows = rs->RecordCount();
        }
        std::printf("  %-34s %8.1f ms  (%ld rows)\n", what, best, rows);
    };

    std::printf("%s: %s (%.1f MiB)\n", label.c_str(), path.c_str(), fileMiB);
    std::printf("  %-34s %8.1f ms\n", "open (file to memory)", openMs);
    std::printf("  %-34s %8.1f MiB (%.2f x file size), peak RSS %.1f MiB\n", "memory added by open", rss1 - rss0,
                (rss1 - rss0) / fileMiB, bench::peakRssMiB());
    timeQuery("SELECT * (unfiltered)", "SELECT * FROM tevoxB;");
    timeQuery("four-word keyword search",
              "SELECT * FROM tevoxB WHERE (gt_pf IS NULL OR gt_pf='') OR (gt_str1+' '+gt_str2 LIKE '*max*' AND "
              "gt_str1+' '+gt_str2 LIKE '*life*' AND gt_str1+' '+gt_str2 LIKE '*a*' AND gt_str1+' '+gt_str2 LIKE '*e*');");
    timeQuery("ORDER BY gt_game", "SELECT * FROM tevoxB ORDER BY gt_game;");
    timeQuery("ORDER BY gt_game DESC", "SELECT * FROM tevoxB ORDER BY gt_game DESC;");
}

// The wait for the first list of a keyword search with n words joined by OR (all four fields,
// every platform), open included, as the search button builds it. The words match nothing but
// the last, so every pattern is tried on every entry.
void wordSearches(const std::string& label, const std::string& path, const orv::CatalogueSource& source)
{
    std::printf("%s: open + OR-ed keyword search (best of 3; one run from 200 words)\n", label.c_str());
    double one = 0;
    for (int n : {1, 50, 200, 400}) {
        orv::SearchConditions c;
        c.keywordAnd = false;
        for (int i = 1; i < n; ++i)
            c.keywordText += "zq" + std::to_string(i) + "語 ";
        c.keywordText += "max";
        double best = 1e18;
        long rows = 0;
        for (int run = 0; run < (n >= 200 ? 1 : 3); ++run) {
            auto t0 = std::chrono::steady_clock::now();
            auto db = orv::OpenDatabase(source, path);
            if (c.selectedPlatforms.empty()) {
                auto pf = db->OpenRecordset("SELECT gt_pf FROM tevoxB GROUP BY gt_pf ORDER BY gt_pf;");
                for (long r = 0; r < pf->RecordCount(); ++r)
                    c.selectedPlatforms.push_back(pf->ValueAt(r, 0).toText());
                t0 = std::chrono::steady_clock::now();
                db = orv::OpenDatabase(source, path);
            }
            auto rs = db->OpenRecordset("SELECT * FROM tevoxB" + orv::BuildFilter(c) + ";");
            if (rs->RecordCount()) { rs->MoveLast(); rs->MoveFirst(); }
            best = std::min(best, bench::msSince(t0));
            rows = rs->RecordCount();
        }
        if (n == 1)
            one = best;
        std::printf("  %3d word(s) %10.1f ms  %5.2f x one word  (%ld rows)\n", n, best, best / one, rows);
    }
}

void childOpen(const std::string& path, const orv::CatalogueSource& reader)
{
    double best = 1e18;
    for (int i = 0; i < 3; ++i) {
        auto t0 = std::chrono::steady_clock::now();
        auto db = orv::OpenDatabase(reader, path);
        best = std::min(best, bench::msSince(t0));
    }
    std::printf("  %-34s %8.1f ms (best of 3)\n", "open through the child reader", best);
}

} // namespace

int main(int argc, char** argv)
{
    const std::string fixtures = argc > 1 ? argv[1] : "../shared/fixtures";
    const std::string mdb50k = fixtures + "/bench/tevox20-50k.mdb";
    // The program reads through a child process (orvantis-query serves the read here).
    const auto exe = std::filesystem::absolute(std::filesystem::path(argv[0]).parent_path() / ".." / "orvantis-query");
    if (!std::filesystem::exists(exe)) {
        std::fprintf(stderr, "no %s: build orvantis-query first\n", exe.c_str());
        return 1;
    }
    const orv::IsolatedCatalogue reader(std::filesystem::canonical(exe).string());
    if (std::filesystem::exists(mdb50k)) {
        const double exportMs = bench::timeCommand("mdb-export '" + mdb50k + "' tevoxB > /dev/null");
        std::printf("mdb-export of the 50k table to /dev/null: %.1f ms (best of 3)\n", exportMs);
        runOn("50k .mdb", mdb50k);
        childOpen(mdb50k, reader);
        wordSearches("50k .mdb through the child reader", mdb50k, reader);
    } else {
        std::printf("(no %s: skipping the 50k file)\n", mdb50k.c_str());
    }
    const std::string gen = (std::filesystem::temp_directory_path() / "orvantis-bench-200k.sqlite").string();
    bench::generateCatalogue(gen, 200000);
    runOn("generated 200k SQLite catalogue", gen);
    childOpen(gen, reader);
    wordSearches("generated 200k SQLite catalogue through the child reader", gen, reader);
    std::filesystem::remove(gen);
    return 0;
}
