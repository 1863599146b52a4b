#include "actions/CdPaths.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <grp.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using namespace orv;

namespace {

void touch(const fs::path& p)
{
    fs::create_directories(p.parent_path());
    orvtest::writeFileBytes(p.string(), "x");
}

// Two mounts of the same CD, one showing upper case names and one lower case names.
class CdTree : public ::testing::Test {
protected:
    void SetUp() override
    {
        upper = tmp.path() / "UPPERCD";
        lower = tmp.path() / "lowercd";
        for (const char* f : {"UTIL/PS/SAVEEDIT/SAVEEDIT.EXE", "UTIL/MSX/INFHP/INFHP.EXE", "UTIL/SS/STAGE/STAGE.COM",
                              "UTIL/SS/SAVE EDIT/SAVE EDIT.EXE", "UTIL/日本語/TOOL/TOOL.EXE"}) {
            touch(upper / f);
            std::string l = f;
            for (char& c : l)
                c = c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
            touch(lower / l);
        }
    }
    std::string root(const fs::path& p) const { return p.string() + "/"; }

    orvtest::TempDir tmp;
    fs::path upper, lower;
};

// Every spelling of a lower-case ASCII name in upper and lower case, the name itself first.
std::vector<std::string> caseSpellings(const std::string& name)
{
    std::vector<std::string> out;
    for (unsigned bits = 0; bits < 1u << name.size(); ++bits) {
        std::string v = name;
        for (std::size_t i = 0; i < name.size(); ++i)
            if (bits & (1u << i))
                v[i] = char(v[i] - 'a' + 'A');
        out.push_back(v);
    }
    return out;
}

} // namespace

TEST_F(CdTree, FoldersResolveOnEitherMount)
{
    EXPECT_EQ(EntryFolderPath(root(upper), "UTIL\\PS\\SAVEEDIT"), root(upper) + "UTIL/PS/SAVEEDIT");
    EXPECT_EQ(EntryFolderPath(root(lower), "UTIL\\PS\\SAVEEDIT"), root(lower) + "util/ps/saveedit");
    EXPECT_EQ(EntryFolderPath(root(upper), "util\\msx\\infhp"), root(upper) + "UTIL/MSX/INFHP");
    EXPECT_EQ(EntryFolderPath(root(lower), "Util\\Ss\\Stage"), root(lower) + "util/ss/stage");
    EXPECT_EQ(EntryFolderPath(root(lower), "UTIL\\SS\\SAVE EDIT"), root(lower) + "util/ss/save edit");
    // Non-ASCII components are matched byte for byte; ASCII ones around them still fold.
    EXPECT_EQ(EntryFolderPath(root(lower), "UTIL\\日本語\\Tool"), root(lower) + "util/日本語/tool");
}

TEST_F(CdTree, FilePathsResolveTheFileNameToo)
{
    EXPECT_EQ(EntryFilePath(root(lower), "UTIL\\SS\\SAVE EDIT", "SAVE EDIT.EXE"),
              root(lower) + "util/ss/save edit/save edit.exe");
    EXPECT_EQ(EntryFilePath(root(upper), "util\\msx\\infhp", "infhp.exe"), root(upper) + "UTIL/MSX/INFHP/INFHP.EXE");
    // A missing file keeps the name as written under the resolved folder.
    EXPECT_EQ(EntryFilePath(root(lower), "UTIL\\PS\\SAVEEDIT", "GONE.EXE"), root(lower) + "util/ps/saveedit/GONE.EXE");
}

TEST_F(CdTree, MissingComponentsStayAsWritten)
{
    EXPECT_EQ(EntryFolderPath(root(lower), "UTIL\\PS\\NOSUCH"), root(lower) + "util/ps/NOSUCH");
    // Nothing below a missing folder is looked up, even if a similar name exists elsewhere.
    EXPECT_EQ(EntryFolderPath(root(lower), "UTIL\\NOSUCH\\Ps"), root(lower) + "util/NOSUCH/Ps");
    EXPECT_EQ(EntryFolderPath(tmp.file("nodrive") + "/", "UTIL\\PS"), tmp.file("nodrive") + "/UTIL/PS");
    // A ".." below a missing folder could only be meant to climb out.
    EXPECT_EQ(EntryFolderPath(root(lower), "UTIL\\NOSUCH\\..\\PS"), std::nullopt);
    EXPECT_EQ(EntryFolderPath(tmp.file("nodrive") + "/", "..\\lowercd"), std::nullopt);
}

TEST_F(CdTree, RootForms)
{
    // Without a trailing separator, or with the Windows one, the root still gets exactly one.
    EXPECT_EQ(EntryFolderPath(lower.string(), "UTIL\\PS"), root(lower) + "util/ps");
    EXPECT_EQ(EntryFolderPath(lower.string() + "\\", "UTIL\\PS"), root(lower) + "util/ps");
    EXPECT_EQ(EntryFolderPath(root(lower), "\\UTIL\\PS"), root(lower) + "util/ps");
    EXPECT_EQ(EntryFolderPath(root(lower), ""), root(lower));
    // The root itself is taken as given; only what lies below it is matched.
    EXPECT_EQ(EntryFolderPath(root(lower), "UTIL\\PS\\"), root(lower) + "util/ps/");
    // No drive root, no place under it.
    EXPECT_EQ(EntryFolderPath("", "UTIL\\PS"), std::nullopt);
}

TEST_F(CdTree, ExactNameWinsAndAmbiguityIsStable)
{
    fs::create_directories(tmp.path() / "mix" / "Dup");
    fs::create_directories(tmp.path() / "mix" / "DUP");
    fs::create_directories(tmp.path() / "mix" / "DATA" / "x");
    touch(tmp.path() / "mix" / "data");
    const std::string mix = tmp.file("mix") + "/";
    EXPECT_EQ(EntryFolderPath(mix, "Dup"), mix + "Dup");
    EXPECT_EQ(EntryFolderPath(mix, "dup"), mix + "DUP");
    // On the way down a folder is preferred to a file of the same name.
    EXPECT_EQ(EntryFolderPath(mix, "Data\\X"), mix + "DATA/x");
}

// A CD folder with links inside and out, beside a folder the catalogue must not reach.
class Contained : public ::testing::Test {
protected:
    void SetUp() override
    {
        cd = tmp.path() / "cd";
        touch(cd / "UTIL/SS/POINT/POINT.EXE");
        touch(cd / "UTIL/PC/SETUP.EXE");
        touch(tmp.path() / "outside/secret.txt");
        touch(tmp.path() / "cd2/UTIL/other.txt");
        fs::create_directory_symlink("SS", cd / "UTIL/inner");
        fs::create_directory_symlink("..", cd / "UTIL/toroot");
        fs::create_directory_symlink("../../outside", cd / "UTIL/escape");
        fs::create_directory_symlink(tmp.path() / "outside", cd / "UTIL/absolute");
        // Shares the root's name as a prefix, but is another folder.
        fs::create_directory_symlink("../../cd2", cd / "UTIL/sibling");
        // Leaves by an absolute path that leads back into the root.
        fs::create_directory_symlink(cd / "UTIL/PC", cd / "UTIL/roundtrip");
        fs::create_symlink("../outside/secret.txt", cd / "secret.lnk");
        fs::create_symlink("loop", cd / "loop");
        fs::create_symlink("nowhere", cd / "dangling");
        // A file that is a link to another file of the CD, as copies with Rock Ridge links hold.
        fs::create_symlink("SETUP.EXE", cd / "UTIL/PC/INSTALL.EXE");
        fs::create_directory_symlink(cd, tmp.path() / "cdlink");
    }
    std::string root() const { return cd.string() + "/"; }

    orvtest::TempDir tmp;
    fs::path cd;
};

TEST_F(Contained, ClimbingOutIsNotFound)
{
    EXPECT_EQ(EntryFolderPath(root(), "UTIL\\..\\..\\..\\..\\etc"), std::nullopt);
    EXPECT_EQ(EntryFilePath(root(), "UTIL\\..\\..\\..\\..\\etc", "passwd"), std::nullopt);
    EXPECT_EQ(EntryFilePath(root(), "UTIL", "..\\..\\outside\\secret.txt"), std::nullopt);
    EXPECT_EQ(EntryFilePath(root(), "UTIL", "../../outside/secret.txt"), std::nullopt);
    EXPECT_EQ(EntryFolderPath(root(), ".."), std::nullopt);
    // Out and back in again still steps over the root: what lies above it is not the CD's.
    EXPECT_EQ(EntryFolderPath(root(), "..\\cd\\UTIL"), std::nullopt);
    // Climbing inside the root is fine, down to the root itself.
    EXPECT_EQ(EntryFolderPath(root(), "UTIL\\SS\\..\\PC\\.\\"), root() + "UTIL/PC/");
    EXPECT_EQ(EntryFilePath(root(), "UTIL\\SS\\POINT\\..\\..", "PC\\SETUP.EXE"), root() + "UTIL/PC/SETUP.EXE");
    EXPECT_EQ(EntryFolderPath(root(), "UTIL\\.."), root());
}

TEST_F(Contained, LinksCountByWhereTheyLead)
{
    // Inside: the real folder is what is opened.
    EXPECT_EQ(EntryFolderPath(root(), "UTIL\\inner\\POINT"), root() + "UTIL/SS/POINT");
    EXPECT_EQ(EntryFilePath(root(), "UTIL\\toroot\\UTIL\\PC", "SETUP.EXE"), root() + "UTIL/PC/SETUP.EXE");
    EXPECT_EQ(EntryFolderPath(root(), "UTIL\\roundtrip"), root() + "UTIL/PC");
    EXPECT_EQ(EntryFilePath(root(), "UTIL\\PC", "install.exe"), root() + "UTIL/PC/SETUP.EXE");
    EXPECT_EQ(EntryFilePath(root(), "UTIL\\PC\\INSTALL.EXE", "X"), std::nullopt) << "a file is no folder to go through";
    // ".." after a link goes up from where the link leads, as the system does.
    EXPECT_EQ(EntryFolderPath(root(), "UTIL\\inner\\.."), root() + "UTIL");
    EXPECT_EQ(EntryFolderPath(root(), "UTIL\\toroot\\.."), std::nullopt);
    // Outside, by any spelling.
    EXPECT_EQ(EntryFolderPath(root(), "UTIL\\escape"), std::nullopt);
    EXPECT_EQ(EntryFilePath(root(), "util\\ESCAPE", "secret.txt"), std::nullopt);
    EXPECT_EQ(EntryFilePath(root(), "UTIL\\absolute", "secret.txt"), std::nullopt);
    EXPECT_EQ(EntryFilePath(root(), "UTIL\\sibling\\UTIL", "other.txt"), std::nullopt);
    EXPECT_EQ(EntryFilePath(root(), "", "secret.lnk"), std::nullopt);
    // Links that lead nowhere are not found, and nothing as written stands in for them.
    EXPECT_EQ(EntryFilePath(root(), "", "loop"), std::nullopt);
    EXPECT_EQ(EntryFilePath(root(), "", "dangling"), std::nullopt);
    EXPECT_EQ(EntryFilePath(root(), "UTIL\\escape", "nosuch.txt"), std::nullopt);
}

TEST_F(Contained, RootAsGiven)
{
    // A root reached through a link keeps its spelling; containment is judged on the real one.
    const std::string viaLink = tmp.file("cdlink") + "/";
    EXPECT_EQ(EntryFolderPath(viaLink, "UTIL\\SS\\POINT"), viaLink + "UTIL/SS/POINT");
    EXPECT_EQ(EntryFolderPath(viaLink, "UTIL\\escape"), std::nullopt);
    const std::string roundabout = tmp.file("outside") + "/../cd";
    EXPECT_EQ(EntryFilePath(roundabout, "UTIL\\PC", "SETUP.EXE"), roundabout + "/UTIL/PC/SETUP.EXE");
    EXPECT_EQ(EntryFilePath(roundabout, "UTIL", "..\\..\\outside\\secret.txt"), std::nullopt);
}

TEST_F(Contained, NamesNoFileCanHave)
{
    EXPECT_EQ(EntryFolderPath(root(), std::string("UTIL\0/../..", 11)), std::nullopt);
    EXPECT_EQ(EntryFilePath(root(), "UTIL\\PC", std::string("SETUP.EXE\0x", 11)), std::nullopt);
}

TEST_F(Contained, FolderButtonAndTitle)
{
    std::string folder;
    EXPECT_EQ(CheckEntryFolder(root(), "util\\ss\\point", &folder), FolderCheck::HasFiles);
    EXPECT_EQ(folder, root() + "UTIL/SS/POINT");
    EXPECT_EQ(CheckEntryFolder(root(), "UTIL\\..\\..\\outside", &folder), FolderCheck::NoFiles);
    EXPECT_EQ(CheckEntryFolder(root(), "UTIL\\escape", nullptr), FolderCheck::NoFiles);
    EXPECT_EQ(CheckEntryFolder(tmp.file("gone") + "/", "..\\outside", nullptr), FolderCheck::Unusable);

    // The title shows where the entry leads when that is on the CD, else the folder as stored.
    EXPECT_EQ(EntryFolderCaption(root(), "util\\ss\\point"), root() + "UTIL/SS/POINT");
    EXPECT_EQ(EntryFolderCaption(root(), "\\UTIL\\..\\..\\etc"), root() + "UTIL/../../etc");
    EXPECT_EQ(EntryFolderCaption(tmp.file("gone") + "/", "UTIL\\PC"), tmp.file("gone") + "/UTIL/PC");
}

TEST(CaseVariants, ADeadEndIsLeftForTheNextVariant)
{
    orvtest::TempDir tmp;
    const fs::path cd = tmp.path();
    const std::string root = cd.string() + "/";
    fs::create_directories(cd / "util/SS");
    touch(cd / "util/ss/point/POINT.EXE");
    EXPECT_EQ(EntryFolderPath(root, "UTIL\\SS\\POINT"), root + "util/ss/point");
    EXPECT_EQ(EntryFilePath(root, "UTIL\\SS\\POINT", "POINT.EXE"), root + "util/ss/point/POINT.EXE");
    // Where both lead somewhere, the exact spelling wins, then the smallest name.
    touch(cd / "util/SS/point/POINT.EXE");
    touch(cd / "util/Ss/point/POINT.EXE");
    EXPECT_EQ(EntryFolderPath(root, "util\\ss\\point"), root + "util/ss/point");
    EXPECT_EQ(EntryFolderPath(root, "util\\Ss\\point"), root + "util/Ss/point");
    EXPECT_EQ(EntryFolderPath(root, "UTIL\\sS\\POINT"), root + "util/SS/point");
    // The dead end may be deep: only the last name tells the variants apart.
    touch(cd / "A/B/C/D/x.txt");
    touch(cd / "a/b/c/d/y.txt");
    EXPECT_EQ(EntryFilePath(root, "a\\b\\c\\d", "X.TXT"), root + "A/B/C/D/x.txt");
    EXPECT_EQ(EntryFilePath(root, "A\\B\\C\\D", "Y.TXT"), root + "a/b/c/d/y.txt");
    // A file of the name does not stop the search for a folder.
    touch(cd / "dup/GAME");
    touch(cd / "dup/Game/RUN.EXE");
    EXPECT_EQ(EntryFilePath(root, "dup\\game", "run.exe"), root + "dup/Game/RUN.EXE");
    // When no variant leads to the whole path, the one that gets furthest keeps the rest as
    // written, so the shell can say what is missing.
    EXPECT_EQ(EntryFilePath(root, "a\\b\\C\\d", "Z.TXT"), root + "a/b/c/d/Z.TXT");
    // Also where the exact spelling stops sooner than another variant does: an empty UTIL beside
    // util/pc98 names the missing folder in util/pc98.
    fs::create_directories(cd / "UTIL");
    fs::create_directories(cd / "util/pc98");
    EXPECT_EQ(EntryFilePath(root, "UTIL\\PC98\\GAME", "GAME.EXE"), root + "util/pc98/GAME/GAME.EXE");
}

TEST(CaseVariants, TheSearchIsBounded)
{
    orvtest::TempDir tmp;
    const fs::path cd = tmp.path();
    const std::string root = cd.string() + "/";
    // Every spelling of "ab" leads back to the same folder: 4^40 ways to spell the path below,
    // none of which ends in the missing name.
    for (const char* v : {"ab", "aB", "Ab", "AB"})
        fs::create_directory_symlink(".", cd / v);
    std::string deep;
    for (int i = 0; i < 40; ++i)
        deep += "AB\\";
    EXPECT_EQ(EntryFilePath(root, deep + "aB", "missing.exe"), std::nullopt);
    // A sound path of the same depth is found.
    touch(cd / "real.exe");
    EXPECT_EQ(EntryFilePath(root, deep, "REAL.EXE"), root + "real.exe");

    // A folder full of variants of one name, none of them a folder.
    fs::create_directories(cd / "many");
    for (const std::string& v : caseSpellings("abcdefghijk"))
        touch(cd / "many" / v);
    EXPECT_EQ(EntryFilePath(root, "many\\ABCDEFGHIJK", "x.exe"), std::nullopt);
    EXPECT_EQ(EntryFilePath(root, "many", "ABCDEFGHIJK"), root + "many/ABCDEFGHIJK");

    // Every other spelling of one name taken by a file, the folder behind the last one: each
    // spelling tried counts, and the search gives up before it, as on a CD made to make it work.
    fs::create_directories(cd / "wide");
    for (const std::string& v : caseSpellings("abcdefgh"))
        touch(v == "abcdefgh" ? cd / "wide" / v / "T.EXE" : cd / "wide" / v);
    EXPECT_EQ(EntryFilePath(root + "wide", "ABCDEFGH", "T.EXE"), std::nullopt);
    EXPECT_EQ(EntryFilePath(root + "wide", "abcdefgh", "T.EXE"), root + "wide/abcdefgh/T.EXE");

    // A path as deep as the count allows is found; one name deeper is not.
    fs::path deepest = cd / "deep";
    std::string names;
    for (int i = 0; i < kMaxNamesTried - 1; ++i) {
        deepest /= "d";
        names += (names.empty() ? "" : "\\") + std::string("d");
    }
    fs::create_directories(deepest);
    EXPECT_TRUE(EntryFolderPath(root + "deep", names)) << kMaxNamesTried - 1 << " names";
    touch(deepest / "f");
    EXPECT_TRUE(EntryFilePath(root + "deep", names, "f")) << kMaxNamesTried << " names";
    fs::create_directories(deepest / "d");
    EXPECT_FALSE(EntryFilePath(root + "deep", names + "\\d", "f")) << kMaxNamesTried + 1 << " names";
}

TEST(CheckFolderHasFiles, WhatCountsAsAFile)
{
    orvtest::TempDir tmp;
    const std::string root = tmp.path().string() + "/";
    fs::create_directories(tmp.path() / "subonly" / "a" / "b");
    touch(tmp.path() / "subonly" / "a" / "b" / "deep.exe");
    fs::create_directories(tmp.path() / "empty");
    touch(tmp.path() / "hidden" / ".secret");
    touch(tmp.path() / "normal" / "SETUP.EXE");
    fs::create_directories(tmp.path() / "links");
    fs::create_symlink(tmp.path() / "normal", tmp.path() / "links" / "dirlink");
    fs::create_symlink(tmp.path() / "nowhere", tmp.path() / "links" / "broken");
    fs::create_directories(tmp.path() / "filelink");
    fs::create_symlink(tmp.path() / "normal" / "SETUP.EXE", tmp.path() / "filelink" / "s.exe");

    EXPECT_EQ(CheckFolderHasFiles(tmp.file("normal"), root), FolderCheck::HasFiles);
    EXPECT_EQ(CheckFolderHasFiles(tmp.file("hidden"), root), FolderCheck::HasFiles);
    EXPECT_EQ(CheckFolderHasFiles(tmp.file("filelink"), root), FolderCheck::HasFiles);
    EXPECT_EQ(CheckFolderHasFiles(tmp.file("subonly"), root), FolderCheck::NoFiles);
    EXPECT_EQ(CheckFolderHasFiles(tmp.file("empty"), root), FolderCheck::NoFiles);
    EXPECT_EQ(CheckFolderHasFiles(tmp.file("links"), root), FolderCheck::NoFiles);
    EXPECT_EQ(CheckFolderHasFiles(tmp.file("missing"), root), FolderCheck::NoFiles);
    EXPECT_EQ(CheckFolderHasFiles(tmp.file("normal/SETUP.EXE"), root), FolderCheck::NoFiles);
}

TEST(CheckFolderHasFiles, UnusableRoot)
{
    orvtest::TempDir tmp;
    touch(tmp.path() / "plainfile");
    EXPECT_EQ(CheckFolderHasFiles(tmp.file("nodrive/UTIL"), tmp.file("nodrive") + "/"), FolderCheck::Unusable);
    EXPECT_EQ(CheckFolderHasFiles(tmp.file("plainfile/UTIL"), tmp.file("plainfile") + "/"), FolderCheck::Unusable);
    EXPECT_EQ(CheckFolderHasFiles(tmp.file("UTIL"), ""), FolderCheck::Unusable);
}

namespace {
// Permissions do not hold for root, and CI runs as root: there the check runs in a child that
// has given up root for an unprivileged user ("nobody").
FolderCheck checkAsUser(const std::string& folder, const std::string& root)
{
    if (geteuid() != 0)
        return CheckFolderHasFiles(folder, root);
    const pid_t child = fork();
    if (child == 0) {
        constexpr uid_t kNobody = 65534;
        if (setgroups(0, nullptr) != 0 || setresgid(kNobody, kNobody, kNobody) != 0
            || setresuid(kNobody, kNobody, kNobody) != 0 || geteuid() == 0)
            _exit(100);
        _exit(static_cast<int>(CheckFolderHasFiles(folder, root)));
    }
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) == 100) {
        ADD_FAILURE() << "no unprivileged child";
        return FolderCheck::HasFiles;
    }
    return static_cast<FolderCheck>(WEXITSTATUS(status));
}
} // namespace

TEST(CheckFolderHasFiles, UnreadableRootIsUnusable)
{
    orvtest::TempDir tmp;
    touch(tmp.path() / "locked" / "UTIL" / "A.EXE");
    // Open to everyone but for the root's own listing (the temporary folder too, for the child).
    fs::permissions(tmp.path(), fs::perms::all);
    fs::permissions(tmp.path() / "locked" / "UTIL", fs::perms::all);
    fs::permissions(tmp.path() / "locked" / "UTIL" / "A.EXE", fs::perms::all);
    fs::permissions(tmp.path() / "locked", fs::perms::all);
    EXPECT_EQ(checkAsUser(tmp.file("locked/UTIL"), tmp.file("locked") + "/"), FolderCheck::HasFiles);
    // Not even to be passed through; to be passed through but not listed.
    for (const fs::perms perms : {fs::perms::none, fs::perms::owner_exec | fs::perms::others_exec}) {
        fs::permissions(tmp.path() / "locked", perms);
        const FolderCheck check = checkAsUser(tmp.file("locked/UTIL"), tmp.file("locked") + "/");
        fs::permissions(tmp.path() / "locked", fs::perms::all);
        EXPECT_EQ(check, FolderCheck::Unusable) << static_cast<int>(perms);
    }
}

TEST(Messages, ShellResultsAndDrive)
{
    const std::string file = "/cd/UTIL/PC/SETUP.EXE";
    EXPECT_EQ(ShellOpenMessage(0, file), "メモリ不足です。");
    EXPECT_EQ(ShellOpenMessage(2, file), "ファイルが見つかりません。");
    EXPECT_EQ(ShellOpenMessage(3, file), "ファイルのパスが見つかりません。");
    EXPECT_EQ(ShellOpenMessage(31, file),
              "/cd/UTIL/PC/SETUP.EXE は\r\n関連付けされていないファイルです。\r\n関連付けを行って下さい。");
    EXPECT_EQ(ShellOpenMessage(5, file), "5その他のエラー");
    EXPECT_EQ(ShellOpenMessage(-1, file), "-1その他のエラー");
    EXPECT_EQ(ShellOpenMessage(32, file), "");
    EXPECT_EQ(ShellOpenMessage(42, file), "");
    EXPECT_EQ(DriveUnusableMessage("/media/cdrom"), "指定ドライブ /media/cdrom は、現在使用できません。");
}
