#include "platform/settings/Ini.h"

#include "platform/text/Cp932.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <QString>

#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <map>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
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
    // Entries of the folder other than the settings file and its lock file (left-over
    // temporary files).
    std::vector<std::string> strayFiles() const
    {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(dir.path()))
            if (e.path().filename() != "tevo.ini" && e.path().filename() != ".tevo.ini.lock")
                names.push_back(e.path().filename().string());
        return names;
    }
};

// Runs fn where file permissions apply: as an unprivileged user in a child process when the tests
// run as the superuser, directly otherwise. Returns fn's result.
bool asUnprivileged(const std::function<bool()>& fn)
{
    if (geteuid() != 0)
        return fn();
    const pid_t pid = fork();
    if (pid == 0) {
        if (setgid(65534) != 0 || setuid(65534) != 0)
            _exit(3);
        _exit(fn() ? 0 : 1);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// The UTF-16LE (or UTF-16BE) bytes of UTF-8 text.
std::string utf16(const std::string& utf8, bool bigEndian = false)
{
    std::string out;
    for (const char16_t u : QString::fromUtf8(utf8).toStdU16String()) {
        out += static_cast<char>(bigEndian ? u >> 8 : u & 0xFF);
        out += static_cast<char>(bigEndian ? u & 0xFF : u >> 8);
    }
    return out;
}

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
    EXPECT_EQ(file(),
              "[SEARCH]\r\nNEW=0\r\nPFORMSTR=\r\nWORD=x\r\n"
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
    EXPECT_EQ(file(),
              "; settings\r\n[OTHER]\r\nfoo=bar\r\nno equals here\r\n\r\n"
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

// Writing back the value a key was read as keeps the stored bytes, whatever they are: a UTF-8
// file without a mark is read as CP932, and its text is not all valid CP932.
TEST_F(Ini, AValueWrittenBackAsReadKeepsItsBytes)
{
    const std::string utf8Word = "デモ版 max"; // E3 83 87 E3 83 A2 E7 89 88: 87 E3 and a lone 88
    const std::string stored = "[SEARCH]\r\nWORD=" + utf8Word + "\r\nNOTWORD=\"\x81\x40 quoted \"\r\n"
        + "PFORMSTR=" + std::string(130, 'p') + "\r\n";
    setFile(stored);
    const std::string word = read("SEARCH", "WORD");
    const std::string notWord = read("SEARCH", "NOTWORD");
    const std::string platforms = read("SEARCH", "PFORMSTR");
    EXPECT_NE(word, utf8Word);
    EXPECT_EQ(platforms, std::string(127, 'p'));
    ASSERT_TRUE(WriteIniEntries(path,
                                {{"SEARCH", "WORD", word},
                                 {"SEARCH", "NOTWORD", notWord},
                                 {"SEARCH", "PFORMSTR", platforms},
                                 {"SEARCH", "NEW", "1"}}));
    EXPECT_EQ(file(), stored + "NEW=1\r\n");
    // A value changed is stored in CP932.
    ASSERT_TRUE(WriteIni(path, "SEARCH", "WORD", "デモ版"));
    EXPECT_EQ(read("SEARCH", "WORD"), "デモ版");
    EXPECT_NE(file().find("WORD=" + utf8ToCp932("デモ版") + "\r\n"), std::string::npos);
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

TEST_F(Ini, ReadOnlyFolderOrFileFailsTheWriteButAWritableFileIsUpdatedInPlace)
{
    setFile("[S]\r\nk=old\r\n");
    fs::permissions(path, fs::perms::all & ~fs::perms::owner_exec & ~fs::perms::group_exec & ~fs::perms::others_exec);
    fs::permissions(dir.path(),
                    fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read | fs::perms::group_exec
                        | fs::perms::others_read | fs::perms::others_exec);
    // No temporary file fits in the folder: the writable file itself takes the new content.
    EXPECT_TRUE(asUnprivileged([&] { return WriteIni(path, "S", "k", "new"); }));
    EXPECT_EQ(file(), "[S]\r\nk=new\r\n");
    EXPECT_FALSE(asUnprivileged([&] { return WriteIni(dir.file("new.ini"), "S", "k", "new"); }));
    EXPECT_FALSE(fs::exists(dir.file("new.ini")));
    fs::permissions(dir.path(),
                    fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec | fs::perms::others_read
                        | fs::perms::others_exec);
    fs::permissions(path, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    EXPECT_FALSE(asUnprivileged([&] { return WriteIni(path, "S", "k", "newer"); }));
    EXPECT_EQ(read("S", "k"), "new");
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

// --- Links -------------------------------------------------------------------------------------------

TEST_F(Ini, LinkedFileWithOtherHardLinksKeepsThemAll)
{
    fs::create_directories(dir.path() / "real");
    const std::string target = dir.file("real/settings.ini");
    const std::string other = dir.file("real/copy.ini");
    writeFileBytes(target, "[S]\r\nk=1\r\n");
    fs::create_hard_link(target, other);
    fs::create_symlink(target, path);
    ASSERT_TRUE(WriteIni(path, "S", "k", "2"));
    EXPECT_TRUE(fs::is_symlink(path));
    EXPECT_EQ(fs::hard_link_count(target), 2u);
    EXPECT_TRUE(fs::equivalent(target, other));
    EXPECT_EQ(readFileBytes(other), "[S]\r\nk=2\r\n");
    // Shorter content leaves nothing of the old behind.
    ASSERT_TRUE(WriteIniEntries(path, {{"S", "k", ""}, {"T", "new", "x"}}));
    EXPECT_EQ(readFileBytes(other), "[S]\r\nk=\r\n[T]\r\nnew=x\r\n");
    ASSERT_TRUE(WriteIni(path, "T", "new", ""));
    EXPECT_EQ(readFileBytes(other), "[S]\r\nk=\r\n[T]\r\nnew=\r\n");
}

TEST_F(Ini, LinkedFileInAFolderWithoutRoomForATemporaryIsUpdatedInPlace)
{
    const fs::path locked = dir.path() / "locked";
    fs::create_directories(locked);
    const std::string target = (locked / "settings.ini").string();
    writeFileBytes(target, "[S]\r\nk=1\r\nfoo=bar\r\n");
    fs::permissions(target, fs::perms::all & ~(fs::perms::owner_exec | fs::perms::group_exec | fs::perms::others_exec));
    fs::create_symlink(target, path);
    fs::permissions(locked,
                    fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read | fs::perms::group_exec
                        | fs::perms::others_read | fs::perms::others_exec);
    EXPECT_TRUE(asUnprivileged([&] { return WriteIniEntries(path, {{"S", "k", "22"}, {"S", "new", "v"}}); }));
    fs::permissions(locked, fs::perms::owner_all, fs::perm_options::add);
    EXPECT_EQ(readFileBytes(target), "[S]\r\nk=22\r\nfoo=bar\r\nnew=v\r\n");
    EXPECT_TRUE(fs::is_symlink(path));
    EXPECT_EQ(std::distance(fs::directory_iterator(locked), fs::directory_iterator()), 1);
}

// --- Interrupted and simultaneous updates ---------------------------------------------------------------

TEST_F(Ini, TemporaryFilesLeftByAnInterruptedUpdateAreRemovedByTheNext)
{
    setFile("[S]\r\nk=1\r\n");
    const auto old = fs::file_time_type::clock::now() - std::chrono::minutes(5);
    const std::vector<std::string> stale = {".tevo.ini.123.tmp", ".tevo.ini.4294967295.tmp"};
    const std::vector<std::string> kept = {
        ".tevo.ini.77.tmp", // recent: an update may be writing it now
        ".tevo.ini.abc.tmp", // not a name an update gives
        ".other.ini.123.tmp", // another file's
        "tevo.ini.123.tmp", // not hidden
        ".tevo.ini.123.tmp.bak",
    };
    for (const auto& n : stale) {
        writeFileBytes(dir.file(n), "[S]\r\nk=half");
        fs::last_write_time(dir.file(n), old);
    }
    for (const auto& n : kept) {
        writeFileBytes(dir.file(n), "x");
        if (n != ".tevo.ini.77.tmp")
            fs::last_write_time(dir.file(n), old);
    }
    fs::create_directory(dir.file(".tevo.ini.999.tmp"));
    fs::last_write_time(dir.file(".tevo.ini.999.tmp"), old);
    ASSERT_TRUE(WriteIni(path, "S", "k", "2"));
    for (const auto& n : stale)
        EXPECT_FALSE(fs::exists(dir.file(n))) << n;
    for (const auto& n : kept)
        EXPECT_TRUE(fs::exists(dir.file(n))) << n;
    EXPECT_TRUE(fs::is_directory(dir.file(".tevo.ini.999.tmp"))) << "only files are ours";
    EXPECT_EQ(read("S", "k"), "2");
}

// An update killed half-way holds no lock on its temporary file any more: the next update (or
// start-up) removes it however recent. One that an update is writing now (it holds the file's
// lock) stays, and so does one made a moment ago.
TEST_F(Ini, TemporaryFilesNoUpdateHoldsAreRemovedHoweverRecent)
{
    setFile("[S]\r\nk=1\r\n");
    const auto recent = fs::file_time_type::clock::now() - std::chrono::seconds(10);
    for (const char* n : {".tevo.ini.1.tmp", ".tevo.ini.2.tmp", ".tevo.ini.3.tmp"}) {
        writeFileBytes(dir.file(n), "[S]\r\nk=half");
        fs::last_write_time(dir.file(n), recent);
    }
    const int writing = ::open(dir.file(".tevo.ini.3.tmp").c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(writing, 0);
    ASSERT_EQ(::flock(writing, LOCK_EX | LOCK_NB), 0);
    writeFileBytes(dir.file(".tevo.ini.4.tmp"), "x");
    ASSERT_TRUE(WriteIni(path, "S", "k", "2"));
    EXPECT_FALSE(fs::exists(dir.file(".tevo.ini.1.tmp")));
    EXPECT_FALSE(fs::exists(dir.file(".tevo.ini.2.tmp")));
    EXPECT_TRUE(fs::exists(dir.file(".tevo.ini.3.tmp"))) << "an update is writing it";
    EXPECT_TRUE(fs::exists(dir.file(".tevo.ini.4.tmp"))) << "just made";
    ::close(writing);
}

// A link to a file that does not exist yet is written through, as a link to one that does: the
// file it names is made and the link stays. Where that cannot be, nothing is written.
TEST_F(Ini, DanglingLinkIsWrittenThrough)
{
    fs::create_directory(dir.file("real"));
    fs::create_symlink("real/settings.ini", path);
    ASSERT_TRUE(WriteIni(path, "S", "k", "1"));
    EXPECT_TRUE(fs::is_symlink(path));
    EXPECT_EQ(readFileBytes(dir.file("real/settings.ini")), "[S]\r\nk=1\r\n");
    EXPECT_EQ(read("S", "k"), "1");

    // A chain of links, the last one dangling.
    fs::remove(path);
    fs::create_symlink(dir.file("real/second.ini"), path);
    fs::create_symlink("target.ini", dir.file("real/second.ini"));
    ASSERT_TRUE(WriteIni(path, "S", "k", "2"));
    EXPECT_TRUE(fs::is_symlink(path));
    EXPECT_TRUE(fs::is_symlink(dir.file("real/second.ini")));
    EXPECT_EQ(readFileBytes(dir.file("real/target.ini")), "[S]\r\nk=2\r\n");

    // Into a folder that is not there, or round in a loop: the link stays as it was.
    fs::remove(path);
    fs::create_symlink(dir.file("missing/tevo.ini"), path);
    EXPECT_FALSE(WriteIni(path, "S", "k", "3"));
    EXPECT_TRUE(fs::is_symlink(path));
    EXPECT_FALSE(fs::exists(dir.file("missing")));
    fs::remove(path);
    fs::create_symlink("loop.ini", path);
    fs::create_symlink("tevo.ini", dir.file("loop.ini"));
    EXPECT_FALSE(WriteIni(path, "S", "k", "4"));
    EXPECT_TRUE(fs::is_symlink(path));
}

namespace {

// A shutdown's worth of keys in every section, each with the writer's own value.
std::vector<IniEntry> shutdownEntries(const std::string& who)
{
    std::vector<IniEntry> e;
    for (const char* k :
         {"NEW", "PFORMFL", "PFORMSTR", "WORDFL", "WORDSELFL0", "WORDSELFL1", "WORDSELFL2", "WORDSELFL3", "WORD",
          "WORDANDFL", "NOTWORDFL", "NOTWORDSELFL0", "NOTWORDSELFL1", "NOTWORDSELFL2", "NOTWORDSELFL3", "NOTWORD"})
        e.push_back({"SEARCH", k, who + k});
    e.push_back({"DISP", "MODE", who});
    for (const char* k : {"WINSATE", "TOP", "LEFT", "WIDTH", "HEIGHT"})
        e.push_back({"WINDOW", k, who + k});
    for (int i = 0; i <= 10; ++i)
        e.push_back({"LIST", "WIDTHCOL" + std::to_string(100 + i).substr(1), who + std::to_string(i)});
    return e;
}

} // namespace

TEST_F(Ini, TwoProgramsClosingAtOnceLoseNoKey)
{
    // Each trial: two processes released together write every key; the file must hold all keys
    // of one of them (the later) and the line it had before.
    int firstWins = 0, secondWins = 0;
    for (int trial = 0; trial < 40; ++trial) {
        const std::string file = dir.file("trial" + std::to_string(trial) + ".ini");
        writeFileBytes(file, trial % 2 ? "; kept\r\n" : "");
        int go[2];
        ASSERT_EQ(pipe(go), 0);
        std::vector<pid_t> children;
        for (const std::string who : {"a", "b"}) {
            const pid_t pid = fork();
            if (pid == 0) {
                close(go[1]);
                char c;
                (void)!::read(go[0], &c, 1); // returns when the parent closes its end
                _exit(WriteIniEntries(file, shutdownEntries(who)) ? 0 : 1);
            }
            children.push_back(pid);
        }
        close(go[0]);
        close(go[1]);
        for (pid_t pid : children) {
            int status = 0;
            waitpid(pid, &status, 0);
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        }
        const std::string winner = ReadIni(file, "DISP", "MODE", "<none>");
        ASSERT_TRUE(winner == "a" || winner == "b") << winner;
        (winner == "a" ? firstWins : secondWins)++;
        for (const IniEntry& e : shutdownEntries(winner)) {
            EXPECT_EQ(ReadIni(file, e.section, e.key, "<none>"), e.value) << "trial " << trial << ": " << e.key;
        }
        if (trial % 2) {
            EXPECT_EQ(readFileBytes(file).substr(0, 8), "; kept\r\n");
        }
    }
    EXPECT_EQ(firstWins + secondWins, 40);
}

TEST_F(Ini, ALockThatIsNeverReleasedDelaysTheUpdateOnly)
{
    setFile("[S]\r\nk=1\r\n");
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t holder = fork();
    if (holder == 0) {
        const int fd = ::open(dir.file(".tevo.ini.lock").c_str(), O_RDWR | O_CREAT, 0666);
        if (fd < 0 || flock(fd, LOCK_EX) != 0)
            _exit(1);
        (void)!::write(ready[1], "x", 1);
        pause();
        _exit(0);
    }
    char c;
    ASSERT_EQ(::read(ready[0], &c, 1), 1);
    const bool written = WriteIni(path, "S", "k", "2");
    kill(holder, SIGKILL);
    waitpid(holder, nullptr, 0);
    close(ready[0]);
    close(ready[1]);
    EXPECT_TRUE(written);
    EXPECT_EQ(file(), "[S]\r\nk=2\r\n");
}

TEST_F(Ini, OneUpdateStoresEntriesAsSingleWritesWould)
{
    const std::vector<std::string> starts = {
        "",
        "; head\r\n[Search]\r\nword = old\r\n\r\n; tail of search\r\n[X]\r\ny=2",
        "[S]\r\nk=1\r\nk=2\r\n[T]\r\n[S]\r\nk=3\r\n",
        "\xEF\xBB\xBF[DISP]\nMODE=1\n",
        "[LIST]\r\nWIDTHCOL00=1\r\n[SEARCH]\r\n",
    };
    const std::vector<IniEntry> entries = {
        {"SEARCH", "WORD", "new"},
        {"search", "NOTWORD", "n"},
        {"DISP", "MODE", "0"},
        {"S", "k", "9"},
        {"S", "m", "8"},
        {"LIST", "WIDTHCOL01", "2"},
        {"SEARCH", "Word", "again"},
        {"NEW", "a", "1"},
        {"new", "b", "2"},
        {"S", "m", "7"},
        {"表", "キー", "値"},
    };
    for (const std::string& start : starts) {
        const std::string single = dir.file("single.ini");
        writeFileBytes(single, start);
        for (const IniEntry& e : entries)
            ASSERT_TRUE(WriteIni(single, e.section, e.key, e.value));
        setFile(start);
        ASSERT_TRUE(WriteIniEntries(path, entries));
        EXPECT_EQ(file(), readFileBytes(single)) << start;
    }
    EXPECT_TRUE(WriteIniEntries(path, {}));
    EXPECT_FALSE(WriteIniEntries("", {{"S", "k", "v"}}));
}

TEST_F(Ini, SeveralKeysComeFromOneReading)
{
    setFile("[SEARCH]\r\nWORD=max\r\n[DISP]\r\nmode=1\r\n[search]\r\nNOTWORD=later section\r\n");
    const auto values = ReadIniKeys(
        path,
        {{"SEARCH", "WORD"}, {"DISP", "MODE"}, {"SEARCH", "NOTWORD"}, {"LIST", "WIDTHCOL00"}, {"search", "word"}});
    ASSERT_EQ(values.size(), 5u);
    EXPECT_EQ(values[0], "max");
    EXPECT_EQ(values[1], "1");
    EXPECT_EQ(values[2], std::nullopt) << "only the first section of a name counts";
    EXPECT_EQ(values[3], std::nullopt);
    EXPECT_EQ(values[4], "max");
    EXPECT_EQ(ReadIniKeys(dir.file("missing.ini"), {{"S", "k"}}).front(), std::nullopt);
}

// --- UTF-16 files -------------------------------------------------------------------------------------

TEST_F(Ini, Utf16FileIsReadAndWrittenBackInUtf16)
{
    const std::string mark = "\xFF\xFE";
    setFile(mark + utf16("; メモ 😀\r\n[SEARCH]\r\nWORD=ゲーム\r\nNOTWORD = \"demo\" \r\n[Disp]\nMODE=1\n"));
    EXPECT_EQ(read("SEARCH", "WORD"), "ゲーム");
    EXPECT_EQ(read("SEARCH", "NOTWORD"), "demo");
    EXPECT_EQ(read("DISP", "mode"), "1");
    ASSERT_TRUE(
        WriteIniEntries(path, {{"SEARCH", "WORD", "♪ max"}, {"DISP", "MODE", "0"}, {"LIST", "WIDTHCOL00", "700"}}));
    EXPECT_EQ(file(),
              mark
                  + utf16("; メモ 😀\r\n[SEARCH]\r\nWORD=♪ max\r\nNOTWORD = \"demo\" \r\n[Disp]\r\nMODE=0\r\n"
                          "[LIST]\r\nWIDTHCOL00=700\r\n"));
    EXPECT_EQ(read("SEARCH", "WORD"), "♪ max");
}

// A file with the big-endian mark FE FF stays big-endian: its lines, line ends and new keys.
TEST_F(Ini, Utf16BigEndianFileStaysBigEndian)
{
    const std::string mark = "\xFE\xFF";
    const std::string lone("\xD8\x00", 2);
    setFile(mark + utf16("; メモ 😀\r\n[SEARCH]\r\nWORD=ゲーム\r\n[Disp]\nMODE=1\n; a", true) + lone + utf16("b", true));
    EXPECT_EQ(read("SEARCH", "WORD"), "ゲーム");
    EXPECT_EQ(read("DISP", "mode"), "1");
    ASSERT_TRUE(
        WriteIniEntries(path, {{"SEARCH", "WORD", "♪ max"}, {"DISP", "MODE", "1"}, {"LIST", "WIDTHCOL00", "700"}}));
    EXPECT_EQ(file(),
              mark + utf16("; メモ 😀\r\n[SEARCH]\r\nWORD=♪ max\r\n[Disp]\r\nMODE=1\r\n; a", true) + lone
                  + utf16("b\r\n[LIST]\r\nWIDTHCOL00=700\r\n", true));
    EXPECT_EQ(read("SEARCH", "WORD"), "♪ max");
    EXPECT_EQ(read("LIST", "WIDTHCOL00"), "700");
}

TEST_F(Ini, Utf16FileKeepsUnitsItCannotDecode)
{
    // A lone surrogate in a comment and an odd last byte come back as they were.
    const std::string lone("\x00\xD8", 2);
    const std::string body = "\xFF\xFE" + utf16("; a") + std::string(lone) + utf16("b\r\n[S]\r\nk=1\r\n") + "\x41";
    setFile(body);
    ASSERT_TRUE(WriteIni(path, "S", "k", "2"));
    EXPECT_EQ(file(), "\xFF\xFE" + utf16("; a") + std::string(lone) + utf16("b\r\n[S]\r\nk=2\r\n") + "\x41");
    setFile("\xFF\xFE");
    EXPECT_EQ(read("S", "k"), "<def>");
    ASSERT_TRUE(WriteIni(path, "S", "k", "v"));
    EXPECT_EQ(file(), "\xFF\xFE" + utf16("[S]\r\nk=v\r\n"));
}

TEST_F(Ini, Utf16ValuesAreCutTo127BytesOfCp932)
{
    std::string kana = "x";
    for (int i = 0; i < 70; ++i)
        kana += "あ";
    setFile("\xFF\xFE" + utf16("[S]\r\nk=" + kana + "\r\n"));
    EXPECT_EQ(read("S", "k"), kana.substr(0, 1 + 63 * 3));
}

TEST_F(Ini, LineEndsAndCharactersSplitAcrossReadsStayWhole)
{
    // The file is read a mebibyte at a time: a CR LF whose LF comes with the next read is one line end.
    const size_t chunk = 1 << 20;
    const std::string head = "[S]\r\n;" + std::string(chunk - 7, 'x');
    setFile(head + "\r\nk=1\r\n");
    EXPECT_EQ(read("S", "k"), "1");
    ASSERT_TRUE(WriteIni(path, "S", "k", "2"));
    EXPECT_EQ(file(), head + "\r\nk=2\r\n");

    // A surrogate pair whose low half comes with the next read is one character (one '?' in
    // CP932, where two halves would be six).
    const std::string prefix = "[S]\r\n;" + std::string((chunk - 4) / 2 - 10, 'x') + "\r\nk=";
    setFile("\xFF\xFE" + utf16(prefix + "😀\r\nm=1\r\n"));
    EXPECT_EQ(read("S", "k"), "?");
    ASSERT_TRUE(WriteIni(path, "S", "m", "2"));
    EXPECT_EQ(file(), "\xFF\xFE" + utf16(prefix + "😀\r\nm=2\r\n"));

    // Long files of one line-end kind only, and a value longer than a read.
    std::string lf, cr;
    for (int i = 0; i < 100000; ++i) {
        lf += "n" + std::to_string(i) + "=v\n";
        cr += "n" + std::to_string(i) + "=v\r";
    }
    setFile("[S]\n" + lf + "k=" + std::string(3 * chunk, 'v') + "\n");
    EXPECT_EQ(read("S", "k"), std::string(127, 'v'));
    EXPECT_EQ(read("S", "n99999"), "v");
    setFile("[S]\r" + cr + "k=1\r");
    EXPECT_EQ(read("S", "k"), "1");
    ASSERT_TRUE(WriteIni(path, "S", "n5", "w"));
    EXPECT_EQ(read("S", "n5"), "w");
    EXPECT_EQ(read("S", "k"), "1");
}
