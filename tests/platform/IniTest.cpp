#include "platform/Ini.h"

#include "platform/Cp932.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace orv;
using orvtest::readFileBytes;
using orvtest::writeFileBytes;
namespace fs = std::filesystem;

namespace {

class Ini : public ::testing::Test {
protected:
    orvtest::TempDir dir;
    std::string path = dir.file("tevo.ini");

    void setFile(const std::string& bytes) { writeFileBytes(path, bytes); }
    std::string file() const { return readFileBytes(path); }
    std::string read(const std::string& section, const std::string& key, const std::string& def = "<def>")
    {
        return ReadIni(path, section, key, def);
    }
    // Entries of the folder other than the settings file (left-over temporary files).
    std::vector<std::string> strayFiles() const
    {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(dir.path()))
            if (e.path().filename() != "tevo.ini")
                names.push_back(e.path().filename().string());
        return names;
    }
};

} // namespace

TEST_F(Ini, DefaultsForMissingFileSectionAndKey)
{
    EXPECT_EQ(read("SEARCH", "NEW", "0"), "0");
    EXPECT_FALSE(fs::exists(path)); // reading creates nothing
    setFile("[SEARCH]\r\nNEW=2\r\n");
    EXPECT_EQ(read("DISP", "MODE", "0"), "0");
    EXPECT_EQ(read("SEARCH", "WORD", ""), "");
    EXPECT_EQ(read("SEARCH", "NEW", "0"), "2");
    EXPECT_EQ(ReadIni(dir.path().string(), "SEARCH", "NEW", "d"), "d"); // a folder, not a file
}

TEST_F(Ini, EmptyValueIsNotTheDefault)
{
    setFile("[SEARCH]\r\nPFORMSTR=\r\nWORD=   \r\n");
    EXPECT_EQ(read("SEARCH", "PFORMSTR", "@ALL@"), "");
    EXPECT_EQ(read("SEARCH", "WORD", "x"), "");
}

TEST_F(Ini, NamesMatchWithoutRegardToCaseAndBlanksAreTrimmed)
{
    setFile("[ Search ]\r\n  word =  two words  \r\n\tMode\t=\t1\t\r\n");
    EXPECT_EQ(read("SEARCH", "WORD"), "two words");
    EXPECT_EQ(read("search", "mode"), "1");
    EXPECT_EQ(read(" SEARCH ", " WORD "), "two words");
    // Case folding is ASCII only: the trail byte of "ア" (83 41) is an 'A', and the character
    // 83 61 must not match it.
    setFile(utf8ToCp932("[ア]\r\nk=1\r\n"));
    EXPECT_EQ(read("ア", "K"), "1");
    EXPECT_EQ(read(cp932ToUtf8("\x83\x61"), "K"), "<def>");
}

TEST_F(Ini, QuotesAroundAValueAreDropped)
{
    setFile("[S]\r\na=\"quoted\"\r\nb='single'\r\nc=\"open\r\nd=\"\r\ne=\"x'\r\n");
    EXPECT_EQ(read("S", "a"), "quoted");
    EXPECT_EQ(read("S", "b"), "single");
    EXPECT_EQ(read("S", "c"), "\"open");
    EXPECT_EQ(read("S", "d"), "\"");
    EXPECT_EQ(read("S", "e"), "\"x'");
}

TEST_F(Ini, FirstShutdownCreatesSectionsAndKeysInWriteOrder)
{
    EXPECT_TRUE(WriteIni(path, "SEARCH", "NEW", "0"));
    EXPECT_TRUE(WriteIni(path, "SEARCH", "PFORMSTR", ""));
    EXPECT_TRUE(WriteIni(path, "DISP", "MODE", "1"));
    EXPECT_TRUE(WriteIni(path, "WINDOW", "WINSATE", "0"));
    EXPECT_TRUE(WriteIni(path, "WINDOW", "TOP", "1005.5"));
    EXPECT_TRUE(WriteIni(path, "LIST", "WIDTHCOL00", "4500"));
    EXPECT_TRUE(WriteIni(path, "SEARCH", "WORD", "x"));
    EXPECT_EQ(file(), "[SEARCH]\r\nNEW=0\r\nPFORMSTR=\r\nWORD=x\r\n"
                      "[DISP]\r\nMODE=1\r\n"
                      "[WINDOW]\r\nWINSATE=0\r\nTOP=1005.5\r\n"
                      "[LIST]\r\nWIDTHCOL00=4500\r\n");
    EXPECT_EQ(read("SEARCH", "PFORMSTR", "@ALL@"), "");
    EXPECT_EQ(read("WINDOW", "TOP"), "1005.5");
}

TEST_F(Ini, UpdateKeepsEverythingElse)
{
    setFile("; settings\r\n[OTHER]\r\nfoo=bar\r\nno equals here\r\n\r\n"
            "[Search]\r\nWord = old\r\n; note\r\nNEW=1\r\n\r\n[X]\r\ny=2");
    EXPECT_TRUE(WriteIni(path, "SEARCH", "WORD", "new"));
    EXPECT_TRUE(WriteIni(path, "search", "NOTWORD", "n"));
    EXPECT_TRUE(WriteIni(path, "X", "z", "3"));
    // The existing key keeps its spelling; a new key follows the section's last key, before
    // the blank line; the last line gets its line end.
    EXPECT_EQ(file(), "; settings\r\n[OTHER]\r\nfoo=bar\r\nno equals here\r\n\r\n"
                      "[Search]\r\nWord=new\r\n; note\r\nNEW=1\r\nNOTWORD=n\r\n\r\n[X]\r\ny=2\r\nz=3\r\n");
    EXPECT_TRUE(strayFiles().empty());
}

TEST_F(Ini, LfAndCrLineEndsAreRead)
{
    setFile("[A]\nk=lf\n[B]\rk=cr\r[C]\r\nk=crlf");
    EXPECT_EQ(read("A", "k"), "lf");
    EXPECT_EQ(read("B", "k"), "cr");
    EXPECT_EQ(read("C", "k"), "crlf");
    EXPECT_TRUE(WriteIni(path, "A", "k2", "v"));
    EXPECT_EQ(file(), "[A]\r\nk=lf\r\nk2=v\r\n[B]\r\nk=cr\r\n[C]\r\nk=crlf\r\n");
}

TEST_F(Ini, RepeatedSectionAndKeyUseTheFirstOccurrence)
{
    setFile("[S]\r\nk=1\r\nk=2\r\n[T]\r\n[S]\r\nk=3\r\nm=4\r\n");
    EXPECT_EQ(read("S", "k"), "1");
    EXPECT_EQ(read("S", "m"), "<def>");
    EXPECT_TRUE(WriteIni(path, "S", "k", "9"));
    EXPECT_TRUE(WriteIni(path, "S", "m", "8"));
    EXPECT_EQ(file(), "[S]\r\nk=9\r\nk=2\r\nm=8\r\n[T]\r\n[S]\r\nk=3\r\nm=4\r\n");
}

TEST_F(Ini, LinesWithoutEqualsAndCommentsAreNoKeys)
{
    setFile("[S]\r\nLONELY\r\n;k=1\r\n[broken\r\nk=2\r\n");
    EXPECT_EQ(read("S", "LONELY"), "<def>");
    EXPECT_EQ(read("S", ";k"), "<def>");
    EXPECT_EQ(read("S", "k"), "2"); // a header without ']' does not end the section
    EXPECT_EQ(read("S", "[broken"), "<def>");
}

TEST_F(Ini, JapaneseTextIsStoredInCp932)
{
    const std::string word = "ﾄﾞﾗｸｴ♪ゲーム 表";
    EXPECT_TRUE(WriteIni(path, "SEARCH", "WORD", word));
    EXPECT_EQ(file(), "[SEARCH]\r\nWORD=" + utf8ToCp932(word) + "\r\n");
    EXPECT_EQ(read("SEARCH", "WORD"), word);
    // A file written by the Windows program.
    setFile("[SEARCH]\r\nPFORMSTR=\x83\x76\x83\x8C\x83\x58\x83\x65,PC\r\n");
    EXPECT_EQ(read("SEARCH", "PFORMSTR"), "プレステ,PC");
}

TEST_F(Ini, ValuesAreReadCutTo127BytesAtACharacterBoundary)
{
    const std::string ascii(200, 'a');
    std::string kana; // 1 + 63 double-byte characters: the 127th byte is a lead byte
    kana = "x";
    for (int i = 0; i < 70; ++i)
        kana += "あ";
    ASSERT_TRUE(WriteIni(path, "SEARCH", "WORD", ascii));
    ASSERT_TRUE(WriteIni(path, "SEARCH", "NOTWORD", kana));
    EXPECT_NE(file().find(ascii), std::string::npos); // stored whole
    EXPECT_NE(file().find(utf8ToCp932(kana)), std::string::npos);
    EXPECT_EQ(read("SEARCH", "WORD"), std::string(127, 'a'));
    const std::string cut = read("SEARCH", "NOTWORD");
    EXPECT_EQ(utf8ToCp932(cut).size(), 127u);
    EXPECT_EQ(cut, kana.substr(0, 1 + 63 * 3));
    kana = kana.substr(1);
    ASSERT_TRUE(WriteIni(path, "SEARCH", "NOTWORD", kana));
    EXPECT_EQ(read("SEARCH", "NOTWORD"), kana.substr(0, 63 * 3)); // 126 bytes: no half character
}

TEST_F(Ini, UnconvertibleAndMultiLineValuesStayOnOneLine)
{
    ASSERT_TRUE(WriteIni(path, "S", "emoji", "a\xF0\x9F\x98\x80z"));
    ASSERT_TRUE(WriteIni(path, "S", "lines", "one\r\ntwo\nthree"));
    ASSERT_TRUE(WriteIni(path, "S", "nul", std::string("be\0fore", 7)));
    ASSERT_TRUE(WriteIni(path, "S", "bad", "x\xFFy"));
    EXPECT_EQ(read("S", "emoji"), "a?z");
    EXPECT_EQ(read("S", "lines"), "one  two three");
    EXPECT_EQ(read("S", "nul"), "be");
    EXPECT_EQ(read("S", "bad"), "x?y");
    EXPECT_EQ(file(), "[S]\r\nemoji=a?z\r\nlines=one  two three\r\nnul=be\r\nbad=x?y\r\n");
}

TEST_F(Ini, Utf8FileWithByteOrderMarkStaysUtf8)
{
    setFile("\xEF\xBB\xBF[SEARCH]\r\nWORD=ゲーム\r\n");
    EXPECT_EQ(read("SEARCH", "WORD"), "ゲーム");
    ASSERT_TRUE(WriteIni(path, "SEARCH", "NOTWORD", "♪"));
    EXPECT_EQ(file(), "\xEF\xBB\xBF[SEARCH]\r\nWORD=ゲーム\r\nNOTWORD=♪\r\n");
}

TEST_F(Ini, HostileContentNeitherCrashesNorHangs)
{
    const char head[] = "[S]\r\nk=a\0b\r\n\0[T]=\x81\r\n\xFF\xFE=\x81\r\nbig=";
    const std::string big(10 * 1024 * 1024, 'z');
    const std::string tail = "\r\n[\x81]\r\n[]\r\n=\r\n\x82";
    setFile(std::string(head, sizeof head - 1) + big + tail);
    EXPECT_EQ(read("S", "k"), "a");
    EXPECT_EQ(read("S", "big"), std::string(127, 'z'));
    EXPECT_EQ(read("S", ""), "<def>");
    EXPECT_EQ(read("", ""), "");
    ASSERT_TRUE(WriteIni(path, "S", "k", "c"));
    EXPECT_EQ(read("S", "k"), "c");
    EXPECT_EQ(read("S", "big"), std::string(127, 'z'));
    const char newHead[] = "[S]\r\nk=c\r\n\0[T]=\x81\r\n\xFF\xFE=\x81\r\nbig=";
    EXPECT_EQ(file(), std::string(newHead, sizeof newHead - 1) + big + tail + "\r\n");
}

TEST_F(Ini, FailedWriteLeavesTheOldFileIntact)
{
    setFile("[S]\r\nk=old\r\n");
    // The target is a folder.
    EXPECT_FALSE(WriteIni(dir.path().string(), "S", "k", "v"));
    // The folder does not exist.
    EXPECT_FALSE(WriteIni(dir.file("missing/tevo.ini"), "S", "k", "v"));

    // The disk fills up while writing (a file size limit raises the same error for any user).
    std::string big = "[S]\r\nk=old\r\n" + std::string(100000, ';') + "\r\n";
    setFile(big);
    struct rlimit saved {};
    getrlimit(RLIMIT_FSIZE, &saved);
    auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = saved;
    small.rlim_cur = 4096;
    setrlimit(RLIMIT_FSIZE, &small);
    const bool written = WriteIni(path, "S", "k", "new");
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_FALSE(written);
    EXPECT_EQ(file(), big);
    EXPECT_TRUE(strayFiles().empty());
}

TEST_F(Ini, ReadOnlyFolderOrFileFailsTheWrite)
{
    setFile("[S]\r\nk=old\r\n");
    if (geteuid() == 0)
        GTEST_SKIP() << "permissions do not stop the superuser";
    fs::permissions(dir.path(), fs::perms::owner_read | fs::perms::owner_exec);
    EXPECT_FALSE(WriteIni(path, "S", "k", "new"));
    EXPECT_FALSE(WriteIni(dir.file("new.ini"), "S", "k", "new"));
    fs::permissions(dir.path(), fs::perms::owner_all);
    fs::permissions(path, fs::perms::owner_read);
    EXPECT_FALSE(WriteIni(path, "S", "k", "new"));
    EXPECT_EQ(read("S", "k"), "old");
    EXPECT_TRUE(strayFiles().empty());
}

TEST_F(Ini, WriteKeepsPermissionsAndFollowsLinks)
{
    setFile("[S]\r\nk=1\r\n");
    fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    const std::string link = dir.file("link.ini");
    fs::create_symlink(path, link);
    ASSERT_TRUE(WriteIni(link, "S", "k", "2"));
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(read("S", "k"), "2");
    EXPECT_EQ(fs::status(path).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
}
