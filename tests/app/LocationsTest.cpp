#include "app/Locations.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>

namespace fs = std::filesystem;
using namespace orv;
using Dirs = std::vector<std::string>;

namespace {

// A temporary tree standing for the program's folder and the base directories.
struct Tree {
    orvtest::TempDir tmp;
    std::string at(const std::string& rel) const { return (tmp.path() / rel).string(); }
    std::string put(const std::string& rel, const std::string& bytes = "catalogue") const
    {
        fs::create_directories(fs::path(at(rel)).parent_path());
        orvtest::writeFileBytes(at(rel), bytes);
        return at(rel);
    }
    std::string exe() const { return at("bin") + "/"; }
    XdgEnvironment env() const
    {
        fs::create_directories(at("bin"));
        return {at("home"), at("data"), at("sys1") + ":" + at("sys2"), at("config")};
    }
};

} // namespace

TEST(DataBaseDirs, UserFirstThenSystemWithDefaults)
{
    EXPECT_EQ(DataBaseDirs({"/h", "/d", "/s1:/s2", "/c"}), (Dirs{"/d", "/s1", "/s2"}));
    // Unset or empty: the defaults.
    EXPECT_EQ(DataBaseDirs({"/h", "", "", ""}), (Dirs{"/h/.local/share", "/usr/local/share", "/usr/share"}));
    EXPECT_EQ(DataBaseDirs({"/h/", "", "", ""}).front(), "/h/.local/share");
    // Relative paths are invalid: dropped one by one, the default when none is left.
    EXPECT_EQ(DataBaseDirs({"/h", "rel/data", "rel:/s1::./x:/s2/", ""}), (Dirs{"/h/.local/share", "/s1", "/s2/"}));
    EXPECT_EQ(DataBaseDirs({"/h", "", "rel:.:", ""}), (Dirs{"/h/.local/share", "/usr/local/share", "/usr/share"}));
    // No usable home and no XDG_DATA_HOME: only the system folders.
    EXPECT_EQ(DataBaseDirs({"", "", "/s", ""}), (Dirs{"/s"}));
    EXPECT_EQ(DataBaseDirs({"relhome", "", "/s", ""}), (Dirs{"/s"}));
}

TEST(ConfigBaseDir, XdgConfigHomeElseHomeConfig)
{
    EXPECT_EQ(ConfigBaseDir({"/h", "", "", "/c"}), "/c");
    EXPECT_EQ(ConfigBaseDir({"/h", "", "", ""}), "/h/.config");
    EXPECT_EQ(ConfigBaseDir({"/h", "", "", "c"}), "/h/.config");
    EXPECT_EQ(ConfigBaseDir({"", "", "", ""}), "");
    EXPECT_EQ(ConfigBaseDir({"h", "", "", "./c"}), "");
}

TEST(CacheBaseDir, XdgCacheHomeElseHomeCache)
{
    EXPECT_EQ(CacheBaseDir({"/h", "", "", "", "/k"}), "/k");
    EXPECT_EQ(CacheBaseDir({"/h", "", "", "/c", ""}), "/h/.cache");
    EXPECT_EQ(CacheBaseDir({"/h", "", "", "", "k"}), "/h/.cache");
    EXPECT_EQ(CacheBaseDir({"h", "", "", "", "./k"}), "");
}

TEST(LocateFiles, PortableWhenACatalogueLiesBesideTheProgram)
{
    Tree t;
    const XdgEnvironment env = t.env();
    t.put("data/orvantis/tevox20.mdb");
    t.put("sys1/orvantis/tevox20.mdb");
    t.put("bin/tevox20.mdb");
    FileLocations f = LocateFiles(t.exe(), env);
    EXPECT_TRUE(f.portable);
    EXPECT_EQ(f.catalogue, t.at("bin/tevox20.mdb"));
    EXPECT_EQ(f.settings, t.at("bin/tevo.ini"));

    // Names copied from a CD in upper case count too, and the settings file found is kept.
    fs::rename(t.at("bin/tevox20.mdb"), t.at("bin/TEVOX20.MDB"));
    t.put("bin/TEVO.INI", "[SEARCH]\r\n");
    f = LocateFiles(t.exe().substr(0, t.exe().size() - 1), env);
    EXPECT_TRUE(f.portable);
    EXPECT_EQ(f.catalogue, t.at("bin/TEVOX20.MDB"));
    EXPECT_EQ(f.settings, t.at("bin/TEVO.INI"));
}

TEST(LocateFiles, InstalledTakesTheFirstCatalogueOfTheDataDirs)
{
    Tree t;
    const XdgEnvironment env = t.env();
    t.put("sys2/orvantis/tevox20.mdb");
    FileLocations f = LocateFiles(t.exe(), env);
    EXPECT_FALSE(f.portable);
    EXPECT_EQ(f.catalogue, t.at("sys2/orvantis/tevox20.mdb"));
    // Where the settings go; nothing is created by looking.
    EXPECT_EQ(f.settings, t.at("config/orvantis/tevo.ini"));
    EXPECT_FALSE(fs::exists(t.at("config")));
    EXPECT_FALSE(fs::exists(t.at("bin/tevo.ini")));

    // An earlier system folder comes first; the user's own comes before all of them.
    t.put("sys1/orvantis/tevox20.mdb");
    EXPECT_EQ(LocateFiles(t.exe(), env).catalogue, t.at("sys1/orvantis/tevox20.mdb"));
    t.put("data/orvantis/tevox20.mdb");
    EXPECT_EQ(LocateFiles(t.exe(), env).catalogue, t.at("data/orvantis/tevox20.mdb"));
}

TEST(LocateFiles, InstalledFindsNamesInAnyLetterCase)
{
    Tree t;
    const XdgEnvironment env = t.env();
    t.put("sys1/orvantis/tevox20.mdb");
    t.put("data/orvantis/TevoX20.MDB");
    t.put("config/orvantis/TEVO.INI", "[SEARCH]\r\n");
    const FileLocations f = LocateFiles(t.exe(), env);
    EXPECT_FALSE(f.portable);
    EXPECT_EQ(f.catalogue, t.at("data/orvantis/TevoX20.MDB"));
    EXPECT_EQ(f.settings, t.at("config/orvantis/TEVO.INI"));
}

TEST(LocateFiles, FoldersAndBrokenLinksAreNoCatalogue)
{
    Tree t;
    const XdgEnvironment env = t.env();
    fs::create_directories(t.at("bin/tevox20.mdb"));
    fs::create_directories(t.at("data/orvantis/TEVOX20.MDB"));
    fs::create_symlink("nowhere", t.at("data/orvantis/tevox20.mdb"));
    t.put("sys2/orvantis/Tevox20.mdb");
    t.put("elsewhere.mdb");
    fs::create_directories(t.at("sys1/orvantis"));
    fs::create_symlink(t.at("elsewhere.mdb"), t.at("sys1/orvantis/tevox20.mdb"));
    const FileLocations f = LocateFiles(t.exe(), env);
    EXPECT_FALSE(f.portable);
    EXPECT_EQ(f.catalogue, t.at("sys1/orvantis/tevox20.mdb")) << "a link to a file counts";
}

TEST(LocateFiles, EnvironmentDefaultsAndInvalidValues)
{
    Tree t;
    fs::create_directories(t.at("bin"));
    t.put("home/.local/share/orvantis/tevox20.mdb");
    // XDG_DATA_HOME and XDG_CONFIG_HOME unset, empty or relative: below HOME.
    for (const std::string& unset : {std::string(), std::string("relative/data")}) {
        const FileLocations f = LocateFiles(t.exe(), {t.at("home"), unset, t.at("sys1"), unset});
        EXPECT_EQ(f.catalogue, t.at("home/.local/share/orvantis/tevox20.mdb")) << unset;
        EXPECT_EQ(f.settings, t.at("home/.config/orvantis/tevo.ini")) << unset;
    }
}

TEST(LocateFiles, NoCatalogueAnywhere)
{
    Tree t;
    const XdgEnvironment env = t.env();
    // The open fails on the place of the user's own catalogue, which does not exist.
    FileLocations f = LocateFiles(t.exe(), env);
    EXPECT_FALSE(f.portable);
    EXPECT_EQ(f.catalogue, t.at("data/orvantis/tevox20.mdb"));
    EXPECT_FALSE(fs::exists(f.catalogue));

    // No home at all: nowhere to look for the user's catalogue or keep settings.
    f = LocateFiles(t.exe(), {"", "", t.at("sys1"), ""});
    EXPECT_EQ(f.catalogue, "");
    EXPECT_EQ(f.settings, "");
}

TEST(MakeFolderFor, CreatesTheMissingFoldersForTheOwnerOnly)
{
    orvtest::TempDir tmp;
    const fs::path file = tmp.path() / "config" / "orvantis" / "tevo.ini";
    ASSERT_TRUE(MakeFolderFor(file.string()));
    for (const fs::path& p : {file.parent_path(), file.parent_path().parent_path()}) {
        struct stat st {};
        ASSERT_EQ(::stat(p.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0700u) << p;
    }
    EXPECT_FALSE(fs::exists(file)) << "the file itself is left to the writer";
    EXPECT_TRUE(MakeFolderFor(file.string())) << "an existing folder is fine";

    // A file where a folder should be: no folder, and no exception.
    orvtest::writeFileBytes((tmp.path() / "plain").string(), "x");
    EXPECT_FALSE(MakeFolderFor((tmp.path() / "plain" / "orvantis" / "tevo.ini").string()));
    EXPECT_FALSE(MakeFolderFor("tevo.ini"));
}
