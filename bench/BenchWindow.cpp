// The window's speed (offscreen): process start to the first list on the 50k catalogue, binding
// a 200,000-row result to the grid, a search through the panel and a column sort.
#include "../tests/widgets/FindControl.h"
#include "BenchSupport.h"

#include "app/widgets/frmMain.h"
#include "catalogue/widgets/CataloguePanel.h"
#include "platform/engine/Engine.h"
#include "platform/engine/EngineIsolation.h"
#include "platform/widgets/Controls.h"
#include "platform/widgets/DBGrid.h"
#include "platform/widgets/DataControl.h"
#include "platform/widgets/Toolkit.h"
#include "search/widgets/SearchPanel.h"
#include "views/widgets/ViewsPanel.h"

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QListWidget>
#include <QRadioButton>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace fs = std::filesystem;

using orvtest::ctl;
using orvtest::FirstActivationOver;

namespace {

// Milliseconds since this process started, from the kernel's records.
double msSinceProcessStart()
{
    std::ifstream stat("/proc/self/stat");
    std::string s((std::istreambuf_iterator<char>(stat)), {});
    const auto close = s.rfind(')');
    std::istringstream rest(s.substr(close + 2));
    std::string field;
    unsigned long long start = 0;
    for (int i = 3; i <= 22 && rest >> field; ++i)
        if (i == 22)
            start = std::stoull(field);
    std::ifstream up("/proc/uptime");
    double uptime = 0;
    up >> uptime;
    return (uptime - static_cast<double>(start) / static_cast<double>(sysconf(_SC_CLK_TCK))) * 1000.0;
}

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

    // Read the catalogue in a child process, as the program does (orvantis-query serves it).
    const fs::path reader = fs::absolute(fs::path(argv[0]).parent_path() / ".." / "orvantis-query");
    if (!fs::exists(reader)) {
        std::fprintf(stderr, "no %s: build orvantis-query first\n", reader.c_str());
        return 1;
    }
    const auto catalogue = std::make_shared<orv::IsolatedCatalogue>(fs::canonical(reader).string());
    const std::string fixtures = argc > 1 ? argv[1] : "../shared/fixtures";
    const fs::path mdb = fs::absolute(fixtures + "/bench/tevox20-50k.mdb");
    const fs::path folder = fs::temp_directory_path() / "orvantis-bench-app";
    fs::remove_all(folder);
    fs::create_directories(folder);
    fs::create_symlink(mdb, folder / "tevox20.mdb");

    orv::StartupEnvironment env{QString::fromStdString(folder.string()), {}, catalogue, orv::XdgEnvironmentOfProcess()};
    orv::frmMain w(env);
    w.setEndProgram([] {});
    w.show();
    if (!waitFor([&] { return FirstActivationOver(w) && ctl<orv::DBGrid>(w, "DBGrid1")->model()->rowCount() > 0; })) {
        std::fprintf(stderr, "the first list did not appear\n");
        return 1;
    }
    const double startToList = msSinceProcessStart();
    const double exportMs = bench::timeCommand("mdb-export '" + mdb.string() + "' tevoxB > /dev/null");
    std::printf("process start to first list (50k): %8.1f ms  (mdb-export: %.1f ms, ratio %.2f)\n", startToList,
                exportMs, startToList / exportMs);

    // A search of four keywords, two negative words and three platforms.
    ctl<QLineEdit>(w, "txtStrGame_0")->setText(QStringLiteral("a e i o"));
    ctl<QRadioButton>(w, "optGame_1")->setChecked(true);
    ctl<QLineEdit>(w, "txtStrMaker_0")->setText(QStringLiteral("demo ライフ"));
    for (int i = 0; i < ctl<orv::ListBox>(w, "List1")->count(); ++i)
        ctl<orv::ListBox>(w, "List1")->item(i)->setSelected(i < 3);
    double best = 1e18;
    for (int i = 0; i < 5; ++i) {
        auto t0 = std::chrono::steady_clock::now();
        w.search().Command1_Click();
        ctl<orv::DBGrid>(w, "DBGrid1")->repaint();
        best = std::min(best, bench::msSince(t0));
    }
    std::printf("search button to new list (50k):   %8.1f ms  (%d rows)\n", best,
                ctl<orv::DBGrid>(w, "DBGrid1")->model()->rowCount());
    w.search().Command5_Click();
    w.search().Command1_Click();
    best = 1e18;
    for (int i = 0; i < 4; ++i) {
        auto t0 = std::chrono::steady_clock::now();
        w.views().DBGrid1_HeadClick(3);
        ctl<orv::DBGrid>(w, "DBGrid1")->repaint();
        best = std::min(best, bench::msSince(t0));
    }
    std::printf("column sort (50k):                 %8.1f ms  (%d rows)\n", best,
                ctl<orv::DBGrid>(w, "DBGrid1")->model()->rowCount());

    // Binding 200,000 rows to the grid.
    const std::string gen = (fs::temp_directory_path() / "orvantis-bench-200k.sqlite").string();
    bench::generateCatalogue(gen, 200000);
    auto db = orv::OpenDatabase(*catalogue, gen);
    best = 1e18;
    for (int i = 0; i < 3; ++i) {
        auto rs = db->OpenRecordset("SELECT * FROM tevoxB;");
        auto t0 = std::chrono::steady_clock::now();
        ctl<orv::DataControl>(w, "Data1")->setRecordset(std::move(rs));
        ctl<orv::DBGrid>(w, "DBGrid1")->repaint();
        best = std::min(best, bench::msSince(t0));
        ctl<orv::DataControl>(w, "Data1")->setRecordset(nullptr);
    }
    std::printf("binding 200,000 rows to the grid:  %8.1f ms\n", best);
    std::printf("peak RSS: %.1f MiB\n", bench::peakRssMiB());
    fs::remove(gen);
    fs::remove_all(folder);
    return 0;
}
