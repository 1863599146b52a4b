#include "actions/CdPaths.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <unistd.h>

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
        for (const char* f : {"UTIL/PS/SAVEEDIT/SAVEEDIT.EXE", "UTIL/MSX/INFHP/INFHP.EXE",
                              "UTIL/SS/STAGE/STAGE.COM", "UTIL/SS/SAVE EDIT/SAVE EDIT.EXE",
                              "UTIL/日本語/TOOL/TOOL.EXE"}) {
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
    EXPECT_EQ(EntryFilePath(root(upper), "util\\msx\\infhp", "infhp.exe"),
              root(upper) + "UTIL/MSX/INFHP/INFHP.EXE");
    // A missing file keeps the name as written under the resolved folder.
    EXPECT_EQ(EntryFilePath(root(lower), "UTIL\\PS\\SAVEEDIT", "GONE.EXE"),
              root(lower) + "util/ps/saveedit/GONE.EXE");
}

TEST_F(CdTree, MissingComponentsStayAsWritten)
{
    EXPECT_EQ(EntryFolderPath(root(lower), "UTIL\\PS\\NOSUCH"), root(lower) + "util/ps/NOSUCH");
    // Nothing below a missing folder is looked up, even if a similar name exists elsewhere.
    EXPECT_EQ(EntryFolderPath(root(lower), "UTIL\\NOSUCH\\Ps"), root(lower) + "util/NOSUCH/Ps");
    EXPECT_EQ(EntryFolderPath(tmp.file("nodrive") + "/", "UTIL\\PS"), tmp.file("nodrive") + "/UTIL/PS");
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
    EXPECT_EQ(EntryFolderPath("", "UTIL\\PS"), "UTIL/PS");
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

TEST(CheckFolderHasFiles, UnreadableRootIsUnusable)
{
    if (geteuid() == 0)
        GTEST_SKIP() << "permissions do not hold for root";
    orvtest::TempDir tmp;
    touch(tmp.path() / "locked" / "UTIL" / "A.EXE");
    fs::permissions(tmp.path() / "locked", fs::perms::none);
    const FolderCheck check = CheckFolderHasFiles(tmp.file("locked/UTIL"), tmp.file("locked") + "/");
    fs::permissions(tmp.path() / "locked", fs::perms::owner_all);
    EXPECT_EQ(check, FolderCheck::Unusable);
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
