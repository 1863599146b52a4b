#include "BenchSupport.h"

#include <sqlite3.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <stdexcept>
#include <vector>

namespace bench {

static double statusField(const char* name)
{
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind(name, 0) == 0)
            return std::atof(line.c_str() + std::string(name).size()) / 1024.0;
    return 0;
}

double rssMiB() { return statusField("VmRSS:"); }
double peakRssMiB() { return statusField("VmHWM:"); }

double timeCommand(const std::string& command, int runs)
{
    double best = 1e18;
    for (int i = 0; i < runs; ++i) {
        const auto t0 = std::chrono::steady_clock::now();
        if (std::system(command.c_str()) != 0)
            return -1;
        best = std::min(best, msSince(t0));
    }
    return best;
}

void generateCatalogue(const std::string& path, int n)
{
    std::remove(path.c_str());
    sqlite3* db = nullptr;
    if (sqlite3_open(path.c_str(), &db) != SQLITE_OK)
        throw std::runtime_error("cannot create " + path);
    sqlite3_exec(db,
                 "PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF; BEGIN;"
                 "CREATE TABLE tevoxB (gt_cdno TEXT, gt_new TEXT, gt_pf TEXT, gt_game TEXT, gt_maker TEXT,"
                 " gt_effect TEXT, gt_file TEXT, gt_exeenv TEXT, gt_f_s TEXT, gt_copyright TEXT,"
                 " gt_cdnod TEXT, gt_folder TEXT, gt_str1 TEXT, gt_str2 TEXT, gt_effecttmp TEXT);",
                 nullptr, nullptr, nullptr);
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db, "INSERT INTO tevoxB VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)", -1, &st, nullptr);
    std::mt19937 rng(20261207);
    const std::vector<std::string> pfs = {"PS",    "SS", "PC",  "MSX", "N64", "GB",
                                          "PC-98", "DC", "GBC", "WS",  "PCE", "M'S BOX"};
    const std::vector<std::string> words = {"ライフ", "MAX",      "max",  "ＭＡＸ", "Life", "demo",
                                            "セーブ", "エディタ", "Star", "銀河",   "剣士", "Quest",
                                            "パーク", "ﾗｲﾌ",      "Hero", "海底",   "都市", "Orchard"};
    const std::vector<std::string> effects = {"所持金MAX",
                                              "HP, MP 全回復",
                                              "全武器の攻撃力*2",
                                              "ステージセレクト",
                                              "無敵モード",
                                              "Level max patch",
                                              "メッセージ速度 \"最速\" 設定",
                                              "デモ画面スキップ",
                                              "life counter fix"};
    const std::vector<std::string> files = {"SAVEEDIT.EXE", "STAGE.COM",  "BACKUP.BAT", "demo.exe",
                                            "life.exe",     "lvlmax.exe", "PATCHER",    "MONEY.EXE"};
    auto pick = [&](const std::vector<std::string>& v) { return v[rng() % v.size()]; };
    for (int i = 0; i < n; ++i) {
        const int vol = 1 + (i % 200);
        char cdno[8], date[16];
        std::snprintf(cdno, sizeof cdno, "%03d", vol);
        std::snprintf(date, sizeof date, "%04d/%02d/01", 1997 + (vol + 2) / 12, (vol + 2) % 12 + 1);
        const std::string game = pick(words) + " " + pick(words) + std::to_string(rng() % 100);
        const std::string maker = pick(words) + " Soft";
        const std::string effect = pick(effects) + " " + pick(words);
        const std::string file = pick(files);
        const std::string pf = pick(pfs);
        const unsigned r = rng() % 100;
        const char* mark = r < 33 ? "♪" : (r < 40 ? "" : nullptr);
        const std::string values[15] = {cdno,
                                        mark ? mark : "",
                                        pf,
                                        game,
                                        maker,
                                        effect,
                                        file,
                                        "Win95",
                                        (r % 2) ? "F" : "S",
                                        "(C)1997 きつね堂",
                                        date,
                                        "UTIL\\" + pf + "\\" + file,
                                        game + " " + maker,
                                        effect + " " + file,
                                        "0" + std::to_string(1 + r % 9) + effect};
        for (int k = 0; k < 15; ++k) {
            if (k == 1 && !mark)
                sqlite3_bind_null(st, k + 1);
            else
                sqlite3_bind_text(st, k + 1, values[k].c_str(), -1, SQLITE_TRANSIENT);
        }
        sqlite3_step(st);
        sqlite3_reset(st);
    }
    sqlite3_finalize(st);
    sqlite3_exec(db, "COMMIT;", nullptr, nullptr, nullptr);
    sqlite3_close(db);
}

} // namespace bench
