#include "platform/files/FileNames.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace fs = std::filesystem;
using namespace orv;
using Names = std::vector<std::string>;

TEST(NamesIgnoringCase, ExactFirstThenByteOrder)
{
    orvtest::TempDir tmp;
    const std::string dir = tmp.path().string();
    for (const char* n : {"tevo.ini", "TEVO.INI", "Tevo.Ini", "tevo.ini.bak", "tevo_ini", "tevö.ini"})
        orvtest::writeFileBytes(tmp.file(n), "x");
    EXPECT_EQ(NamesIgnoringCase(dir, "TEVO.ini", 10), (Names{"TEVO.INI", "Tevo.Ini", "tevo.ini"}));
    EXPECT_EQ(NamesIgnoringCase(dir, "Tevo.Ini", 10), (Names{"Tevo.Ini", "TEVO.INI", "tevo.ini"}));
    EXPECT_EQ(NamesIgnoringCase(dir + "/", "tevo.ini", 2), (Names{"tevo.ini", "TEVO.INI"}));
    EXPECT_EQ(NamesIgnoringCase(dir, "TeVo.InI", 1), (Names{"TEVO.INI"}));
    EXPECT_EQ(NamesIgnoringCase(dir, "TeVo.InI", 0), Names{});
    // Only ASCII letters fold; other bytes must match exactly.
    EXPECT_EQ(NamesIgnoringCase(dir, "TEVÖ.INI", 10), Names{});
    EXPECT_EQ(NamesIgnoringCase(dir, "TEVö.INI", 10), (Names{"tevö.ini"}));
    EXPECT_EQ(NamesIgnoringCase(dir, "", 10), Names{});
    EXPECT_EQ(NamesIgnoringCase(tmp.file("missing"), "tevo.ini", 10), Names{});
}

TEST(NamesIgnoringCase, AnyKindOfEntryCounts)
{
    orvtest::TempDir tmp;
    fs::create_directory(tmp.path() / "Sub");
    fs::create_symlink("nowhere", tmp.path() / "LINK");
    EXPECT_EQ(NamesIgnoringCase(tmp.path().string(), "sub", 5), (Names{"Sub"}));
    EXPECT_EQ(NamesIgnoringCase(tmp.path().string(), "LINK", 5), (Names{"LINK"}));
    EXPECT_EQ(NamesIgnoringCase(tmp.path().string(), "link", 5), (Names{"LINK"}));
}

TEST(PathIgnoringCase, FoundOrWhereToCreate)
{
    orvtest::TempDir tmp;
    const std::string dir = tmp.path().string();
    // Nothing there: the wanted name, with exactly one separator whatever the folder ends in.
    EXPECT_EQ(PathIgnoringCase(dir, "tevo.ini"), dir + "/tevo.ini");
    EXPECT_EQ(PathIgnoringCase(dir + "/", "tevo.ini"), dir + "/tevo.ini");

    orvtest::writeFileBytes(tmp.file("TEVOX20.MDB"), "x");
    orvtest::writeFileBytes(tmp.file("Tevo.INI"), "x");
    EXPECT_EQ(PathIgnoringCase(dir + "/", "tevox20.mdb"), dir + "/TEVOX20.MDB");
    EXPECT_EQ(PathIgnoringCase(dir, "tevo.ini"), dir + "/Tevo.INI");

    orvtest::writeFileBytes(tmp.file("TEVO.INI"), "x");
    EXPECT_EQ(PathIgnoringCase(dir, "tevo.ini"), dir + "/TEVO.INI") << "the smallest name of another case";
    orvtest::writeFileBytes(tmp.file("tevo.ini"), "x");
    EXPECT_EQ(PathIgnoringCase(dir, "tevo.ini"), dir + "/tevo.ini") << "the exact name first";
}
