// The settings file's share of a start and an exit (offscreen), with a normal file and with one
// of about 50 MB: the load handler (search conditions), the first activation (window, widths and
// mode, plus the opening of the small sample catalogue) and the close (every key written).
// Usage: bench_settings [size of the big file in MB, default 50]
#include "../tests/widgets/FindControl.h"
#include "BenchSupport.h"

#include "app/widgets/frmMain.h"
#include "catalogue/widgets/CataloguePanel.h"
#include "platform/engine/EngineIsolation.h"
#include "platform/widgets/Toolkit.h"
#include "platform/widgets/dlgWait.h"
#include "search/widgets/SearchPanel.h"
#include "views/widgets/ViewsPanel.h"

#include <QApplication>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace fs = std::filesystem;

namespace {

template <class P> bool waitFor(P pred, int ms = 60000)
{
    const auto t0 = std::chrono::steady_clock::now();
    while (!pred()) {
        QApplication::processEvents(QEventLoop::AllEvents, 10);
        if (bench::msSince(t0) > ms)
            return false;
    }
    return true;
}

// What a shutdown of an earlier run left, optionally with bulk of foreign sections in the middle,
// so that every lookup has to pass it.
std::string settingsText(size_t bulkBytes)
{
    std::string s = "[SEARCH]\r\nNEW=0\r\nPFORMFL=1\r\nPFORMSTR=PC,MSX\r\nWORDFL=1\r\nWORDSELFL0=1\r\n"
                    "WORDSELFL1=1\r\nWORDSELFL2=1\r\nWORDSELFL3=1\r\nWORD=max\r\nWORDANDFL=True\r\n"
                    "NOTWORDFL=1\r\nNOTWORDSELFL0=1\r\nNOTWORDSELFL1=1\r\nNOTWORDSELFL2=1\r\n"
                    "NOTWORDSELFL3=1\r\nNOTWORD=\r\n";
    for (size_t n = 0, i = 0; n < bulkBytes; ++i) {
        std::string line = i % 1000 == 0 ? "[NOTES" + std::to_string(i / 1000) + "]\r\n"
                                         : "note" + std::to_string(i) + "=some remark about an entry, kept by hand\r\n";
        n += line.size();
        s += line;
    }
    s += "[DISP]\r\nMODE=0\r\n[WINDOW]\r\nWINSATE=0\r\nTOP=1200\r\nLEFT=1500\r\nWIDTH=10500\r\nHEIGHT=7500\r\n[LIST]"
         "\r\n";
    for (int i = 0; i <= 10; ++i) {
        char line[32];
        std::snprintf(line, sizeof line, "WIDTHCOL%02d=%d\r\n", i, 800 + i * 100);
        s += line;
    }
    return s;
}

struct Times {
    double load = 1e18, activation = 1e18, exit = 1e18;
};

bool measure(const fs::path& folder, const std::string& text,
             const std::shared_ptr<const orv::CatalogueSource>& catalogue, Times& best)
{
    {
        std::ofstream out(folder / "tevo.ini", std::ios::binary | std::ios::trunc);
        out << text;
    }
    auto t0 = std::chrono::steady_clock::now();
    orv::StartupEnvironment env{QString::fromStdString(folder.string()), {}, catalogue, orv::XdgEnvironmentOfProcess()};
    orv::frmMain w(env);
    const double load = bench::msSince(t0);
    bool ended = false;
    w.setEndProgram([&] { ended = true; });
    t0 = std::chrono::steady_clock::now();
    w.show();
    if (!waitFor([&] { return ended || orvtest::FirstActivationOver(w); }) || ended) {
        std::fprintf(stderr, "the first activation did not finish\n");
        return false;
    }
    const double activation = bench::msSince(t0);
    t0 = std::chrono::steady_clock::now();
    w.close();
    const double exit = bench::msSince(t0);
    if (!ended) {
        std::fprintf(stderr, "the window did not end\n");
        return false;
    }
    best.load = std::min(best.load, load);
    best.activation = std::min(best.activation, activation);
    best.exit = std::min(best.exit, exit);
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    if (!std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    const fs::path home = fs::temp_directory_path() / "orvantis-bench-home";
    fs::create_directories(home / "config");
    setenv("XDG_CONFIG_HOME", (home / "config").c_str(), 1);
    QApplication app(argc, argv);
    orv::MsgBoxHook::install(
        [](const QString& text, orv::MsgStyle) { std::fprintf(stderr, "message: %s\n", text.toUtf8().constData()); });
    // The catalogue is read in a child process, as the program does (orvantis-query serves it).
    const fs::path reader = fs::absolute(fs::path(argv[0]).parent_path() / ".." / "orvantis-query");
    if (!fs::exists(reader)) {
        std::fprintf(stderr, "no %s: build orvantis-query first\n", reader.c_str());
        return 1;
    }
    const auto catalogue = std::make_shared<orv::IsolatedCatalogue>(fs::canonical(reader).string());
    const size_t bigMb = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 50;
    const fs::path sample = fs::absolute(fs::path(SOURCE_DIR) / "data" / "sample" / "tevox20.mdb");

    const fs::path folder = fs::temp_directory_path() / "orvantis-bench-settings";
    fs::remove_all(folder);
    fs::create_directories(folder);
    fs::copy_file(sample, folder / "tevox20.mdb");

    const std::string normal = settingsText(0);
    const std::string big = settingsText(bigMb * 1024 * 1024);
    std::printf("settings file       load handler   first activation   exit (all keys written)\n");
    for (const auto& [name, text] : {std::pair{"normal", &normal}, std::pair{"big", &big}}) {
        Times best;
        for (int run = 0; run < 3; ++run)
            if (!measure(folder, *text, catalogue, best))
                return 1;
        std::printf("%-6s %8.1f MB  %9.1f ms  %14.1f ms  %14.1f ms\n", name,
                    static_cast<double>(text->size()) / (1024 * 1024), best.load, best.activation, best.exit);
    }
    fs::remove_all(folder);
    return 0;
}
