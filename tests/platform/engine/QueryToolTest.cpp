// orvantis-query from outside: TSV output, failures, and the search mode.
#include "support/DiscImages.h"
#include "support/IsoImage.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <sys/wait.h>

namespace {

struct ToolRun {
    int exit;
    std::string out, err;
};

std::string quote(const std::string& s)
{
    std::string q = "'";
    for (char c : s)
        q += (c == '\'') ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

ToolRun run(const std::vector<std::string>& args)
{
    orvtest::TempDir dir;
    std::string cmd = quote(ORV_QUERY_EXE);
    for (const auto& a : args)
        cmd += " " + quote(a);
    cmd += " >" + quote(dir.file("out")) + " 2>" + quote(dir.file("err"));
    const int status = std::system(cmd.c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, orvtest::readFileBytes(dir.file("out")),
            orvtest::readFileBytes(dir.file("err"))};
}

std::vector<std::string> lines(const std::string& s)
{
    std::vector<std::string> out;
    size_t start = 0;
    while (start < s.size()) {
        const size_t nl = s.find('\n', start);
        out.push_back(s.substr(start, nl - start));
        if (nl == std::string::npos)
            break;
        start = nl + 1;
    }
    return out;
}

} // namespace

TEST(QueryTool, PrintsTsvWithNullAndEscapes)
{
    const ToolRun r = run({orvtest::dataPath("tevox20.mdb"),
                           "SELECT gt_new, gt_effect FROM tevoxB WHERE gt_effect LIKE '*\"最速\"*' ORDER BY gt_new;"});
    ASSERT_EQ(r.exit, 0) << r.err;
    const auto l = lines(r.out);
    ASSERT_EQ(l.size(), 4u); // header and rows 12, 22, 70
    EXPECT_EQ(l[0], "gt_new\tgt_effect");
    EXPECT_EQ(l[1].substr(0, 3), "\\N\t"); // Null first
    // Backslashes inside values come out doubled.
    const ToolRun f =
        run({orvtest::dataPath("tevox20.mdb"), "SELECT gt_folder FROM tevoxB WHERE gt_folder LIKE '*SAVE EDIT*';"});
    ASSERT_EQ(f.exit, 0) << f.err;
    EXPECT_EQ(lines(f.out).at(1), "UTIL\\\\SS\\\\SAVE EDIT");
}

// A NUL inside a value (a damaged row, or a text an SQLite file holds) is escaped as the other
// control characters are: the output stays one line per row and readable as text.
TEST(QueryTool, NulInsideAValueIsEscaped)
{
    orvtest::TempDir dir;
    sqlite3* s = nullptr;
    ASSERT_EQ(sqlite3_open(dir.file("nul.db").c_str(), &s), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(s, "CREATE TABLE t (v TEXT); INSERT INTO t VALUES (char(97, 0, 98, 9, 92));", nullptr,
                           nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(s);
    const ToolRun r = run({dir.file("nul.db"), "SELECT v FROM t;"});
    ASSERT_EQ(r.exit, 0) << r.err;
    EXPECT_EQ(r.out, "v\na\\0b\\t\\\\\n");
}

// OLE objects print as 0x and their bytes in hexadecimal.
TEST(QueryTool, PrintsBinaryValuesInHexadecimal)
{
    const ToolRun r = run({orvtest::dataPath("real/nwind.mdb"),
                           "SELECT LastName, Photo FROM Employees WHERE Photo IS NOT NULL ORDER BY EmployeeID;"});
    ASSERT_EQ(r.exit, 0) << r.err;
    const auto l = lines(r.out);
    ASSERT_EQ(l.size(), 10u); // header and nine employees
    const std::string first = l[1];
    EXPECT_EQ(first.substr(0, first.find('\t')), "Davolio");
    const std::string photo = first.substr(first.find('\t') + 1);
    EXPECT_EQ(photo.substr(0, 10), "0x151C2F00");
    EXPECT_EQ(photo.find_first_not_of("0123456789ABCDEF", 2), std::string::npos);
    EXPECT_EQ(photo.size() % 2, 0u);
}

TEST(QueryTool, FailuresPrintErrAndExitOne)
{
    for (const char* bad : {"bad/empty.mdb", "bad/truncated.mdb", "bad/zeroed-page.mdb", "bad/no-table.mdb"}) {
        const ToolRun r = run({orvtest::dataPath(bad), "SELECT * FROM tevoxB;"});
        EXPECT_EQ(r.exit, 1) << bad;
        EXPECT_EQ(r.err.rfind("Err ", 0), 0u) << bad << ": " << r.err;
        EXPECT_NE(r.err.find("： "), std::string::npos) << r.err;
        EXPECT_TRUE(r.out.empty()) << bad;
    }
    const ToolRun syntax = run({orvtest::dataPath("tevox20.mdb"), "SELECT * FROM ;"});
    EXPECT_EQ(syntax.exit, 1);
    EXPECT_EQ(syntax.err.rfind("Err 3131： ", 0), 0u) << syntax.err;
    // A failure inside the engine, in the catalogue's words.
    const ToolRun overflow = run({orvtest::dataPath("tevox20.mdb"), "SELECT SUM(9223372036854775807) FROM tevoxB;"});
    EXPECT_EQ(overflow.exit, 1);
    EXPECT_EQ(overflow.err, "Err 3349： 数値フィールドのオーバーフローです。\n");
}

TEST(QueryTool, SearchModeBuildsTheProgramsFilter)
{
    const ToolRun r = run({"--search", orvtest::dataPath("tevox20.mdb"), "--new", "new", "--platform", "PC",
                           "--platform", "MSX", "--word", "max　life", "--word-fields", "game,maker", "--not", "demo",
                           "--not-fields", "file", "--cd", "CD012"});
    ASSERT_EQ(r.exit, 0) << r.err;
    EXPECT_EQ(r.err,
              "SELECT * FROM tevoxB WHERE gt_new = '♪' AND (gt_pf = 'PC' OR gt_pf = 'MSX') AND "
              "(gt_str1 LIKE '*max*' AND gt_str1 LIKE '*life*') AND (gt_file not LIKE '*demo*') AND "
              "(gt_cdno LIKE '*012*');\n");
    const auto l = lines(r.out);
    ASSERT_EQ(l.size(), 3u);
    EXPECT_NE(l[1].find("MONEY.EXE"), std::string::npos);
    EXPECT_NE(l[2].find("lvlmax.exe"), std::string::npos);

    // Defaults select every platform, M'S BOX included, so its apostrophe must be escaped.
    const ToolRun all = run({"--search", orvtest::dataPath("tevox20.mdb"), "--sort", "gt_game", "--desc"});
    ASSERT_EQ(all.exit, 0) << all.err;
    EXPECT_NE(all.err.find("gt_pf = 'M''S BOX'"), std::string::npos) << all.err;
    EXPECT_NE(all.err.find(" ORDER BY gt_game DESC;"), std::string::npos);
    EXPECT_EQ(lines(all.out).size(), 81u); // every entry, the empty platform being a list line too

    EXPECT_EQ(run({"--search", orvtest::dataPath("tevox20.mdb"), "--sort", "99"}).exit, 2);
    EXPECT_EQ(run({"--help"}).exit, 0);
}

TEST(QueryTool, OpenFromSaysWhereEachEntryWouldOpenFrom)
{
    orvtest::TempDir lib;
    std::filesystem::create_directories(lib.path() / "CD001/UTIL/PC98/BGMTEST");
    orvtest::writeFileBytes((lib.path() / "CD001/UTIL/PC98/BGMTEST/BGMTEST.EXE").string(), "MZ");
    orvtest::writeIsoImage(lib.file("cd11.iso"),
                           {orvtest::isoFolder("UTIL"), orvtest::isoFolder("UTIL/SS"),
                            orvtest::isoFolder("UTIL/SS/POINT"), orvtest::isoFile("UTIL/SS/POINT/point.exe", "MZ")});
    const std::string root = lib.path().string();
    const ToolRun r = run({"--search", orvtest::dataPath("tevox20.mdb"), "--cd", "CD011", "--open-from", root});
    ASSERT_EQ(r.exit, 0) << r.err;
    auto l = lines(r.out);
    ASSERT_GE(l.size(), 3u);
    EXPECT_EQ(l[0], "gt_cdno\tgt_folder\tgt_file\tfrom\tvolume\tpath\tfound");
    EXPECT_EQ(l[1],
              "011\tUTIL\\\\SS\\\\POINT\tPOINT.EXE\timage\t" + lib.file("cd11.iso") + "\tUTIL/SS/POINT/POINT.EXE\tyes");
    EXPECT_EQ(l[2].substr(0, 4), "011\t");
    EXPECT_EQ(l[2].substr(l[2].size() - 3), "\tno");

    const ToolRun one = run({"--search", orvtest::dataPath("tevox20.mdb"), "--cd", "001", "--word", "BGMTEST",
                             "--word-fields", "file", "--open-from", root});
    ASSERT_EQ(one.exit, 0) << one.err;
    l = lines(one.out);
    ASSERT_EQ(l.size(), 2u);
    EXPECT_EQ(l[1],
              "001\tUTIL\\\\PC98\\\\BGMTEST\tBGMTEST.EXE\tfolder\t" + root + "/CD001\t" + root
                  + "/CD001/UTIL/PC98/BGMTEST/BGMTEST.EXE\tyes");
}

TEST(QueryTool, OpenFromListsWhatACopyWouldHoldAndSaysDamaged)
{
    orvtest::TempDir lib;
    const std::string image = lib.file("cd11.iso");
    const std::string root = lib.path().string();
    const auto firstEntry = [&] {
        const ToolRun r = run({"--search", orvtest::dataPath("tevox20.mdb"), "--cd", "CD011", "--open-from", root});
        EXPECT_EQ(r.exit, 0) << r.err;
        const auto l = lines(r.out);
        return l.size() > 1 ? l[1].substr(l[1].rfind('\t') + 1) : std::string();
    };
    // A Rock Ridge name holding a line feed and slashes: one name, not a second line that would
    // name the entry's file.
    orvtest::writeIsoImage(image,
                           {orvtest::isoFolder("UTIL"), orvtest::isoFolder("UTIL/SS"),
                            orvtest::isoFolder("UTIL/SS/POINT"),
                            orvtest::isoFile("UTIL/SS/POINT/" + std::string(25, 'z'), "not it")},
                           "!joliet");
    ASSERT_EQ(orvtest::patchFileBytes(image, std::string(25, 'z'), "x\nUTIL/SS/POINT/POINT.EXE"), 1);
    EXPECT_EQ(firstEntry(), "no");
    // An image cut short.
    orvtest::writeIsoImage(image,
                           {orvtest::isoFolder("UTIL"), orvtest::isoFolder("UTIL/SS"),
                            orvtest::isoFolder("UTIL/SS/POINT"),
                            orvtest::isoFile("UTIL/SS/POINT/POINT.EXE", std::string(100000, 'p'))});
    const std::string whole = orvtest::readFileBytes(image);
    orvtest::writeFileBytes(image, whole.substr(0, whole.find('p') + 1000));
    EXPECT_EQ(firstEntry(), "damaged");
}

TEST(QueryTool, OpenFromReportsEveryKindOfImageByTheFileThatStandsForIt)
{
    orvtest::TempDir dir;
    const std::string isoPath = dir.file("volume.iso");
    orvtest::writeIsoImage(isoPath,
                           {orvtest::isoFolder("UTIL"), orvtest::isoFolder("UTIL/SS"),
                            orvtest::isoFolder("UTIL/SS/POINT"), orvtest::isoFile("UTIL/SS/POINT/point.exe", "MZ")});
    const std::string iso = orvtest::readFileBytes(isoPath);
    using Writer = std::function<std::string(const std::string&)>;
    const std::pair<std::string, Writer> kinds[] = {
        {"CD011.cue", [&](const std::string& lib) { return orvtest::writeBinCue(lib, "CD011", iso); }},
        {"CD011.ccd", [&](const std::string& lib) { return orvtest::writeCloneCd(lib, "CD011", iso); }},
        {"CD011.mds", [&](const std::string& lib) { return orvtest::writeAlcohol(lib, "CD011", iso); }},
        {"CD011.nrg", [&](const std::string& lib) { return orvtest::writeNero(lib, "CD011", iso); }},
        {"CD011.bin",
         [&](const std::string& lib) {
             orvtest::writeFileBytes(lib + "/CD011.bin", orvtest::storeSectors(iso, orvtest::Sectors::Mode2Raw));
             return lib + "/CD011.bin";
         }},
    };
    for (const auto& [name, write] : kinds) {
        const std::string lib = (dir.path() / name).string();
        std::filesystem::create_directories(lib);
        EXPECT_EQ(write(lib), lib + "/" + name);
        const ToolRun r = run({"--search", orvtest::dataPath("tevox20.mdb"), "--cd", "CD011", "--open-from", lib});
        ASSERT_EQ(r.exit, 0) << r.err;
        const auto l = lines(r.out);
        ASSERT_GE(l.size(), 2u) << name;
        EXPECT_EQ(l[1],
                  "011\tUTIL\\\\SS\\\\POINT\tPOINT.EXE\timage\t" + lib + "/" + name + "\tUTIL/SS/POINT/POINT.EXE\tyes");
    }
}
