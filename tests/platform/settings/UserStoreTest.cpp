#include "platform/settings/UserStore.h"

#include <gtest/gtest.h>

#include <QSettings>

#include <cstdlib>
#include <filesystem>
#include <fstream>

using namespace orv;
namespace fs = std::filesystem;

namespace {

fs::path configHome() { return fs::path(std::getenv("XDG_CONFIG_HOME")); }

std::string read(const char* name = kRegSelPath) { return RegReadString(RegRoot::CurrentUser, kRegKeyPath, name); }

bool write(const std::string& value, const char* name = kRegSelPath)
{
    return RegWriteString(RegRoot::CurrentUser, kRegKeyPath, name, value);
}

} // namespace

TEST(UserStore, FirstReadFindsNothingAndCreatesNothing)
{
    EXPECT_EQ(read("NeverWritten"), "");
    EXPECT_EQ(RegReadString(RegRoot::CurrentUser, "Software\\Nobody\\Nothing", kRegSelPath), "");
    EXPECT_FALSE(fs::exists(configHome() / "Nobody"));
}

TEST(UserStore, WrittenValueReadsBackExactly)
{
    for (const std::string value : {"D:\\", "/media/user/お楽しみCD", "", " spaced , comma "}) {
        ASSERT_TRUE(write(value));
        EXPECT_EQ(read(), value);
    }
    ASSERT_TRUE(write("Q:\\"));
    // Kept under the organisation and application of the program.
    QSettings store(QSettings::NativeFormat, QSettings::UserScope, "MORVALEN", "Orvantis");
    EXPECT_EQ(store.value("SelPath").toString(), QString("Q:\\"));
    EXPECT_TRUE(fs::exists(configHome() / "MORVALEN"));
    // Registry key paths ignore case.
    EXPECT_EQ(RegReadString(RegRoot::CurrentUser, "software\\morvalen\\ORVANTIS", kRegSelPath), "Q:\\");
}

TEST(UserStore, ValueIsReadUpToItsFirstNul)
{
    ASSERT_TRUE(write(std::string("E:\\\0junk", 8)));
    EXPECT_EQ(read(), "E:\\");
}

TEST(UserStore, ValuesBeyondTheReadBufferReadAsEmpty)
{
    // 1024 bytes hold the text and its terminating NUL.
    ASSERT_TRUE(write(std::string(1023, 'a')));
    EXPECT_EQ(read(), std::string(1023, 'a'));
    ASSERT_TRUE(write(std::string(1024, 'a')));
    EXPECT_EQ(read(), "");
    // Counted in CP932 bytes: two per kana.
    std::string kana;
    for (int i = 0; i < 511; ++i)
        kana += "あ";
    ASSERT_TRUE(write(kana));
    EXPECT_EQ(read(), kana);
    ASSERT_TRUE(write(kana + "あ"));
    EXPECT_EQ(read(), "");
}

TEST(UserStore, ValueOfAnotherTypeReadsAsText)
{
    {
        QSettings store(QSettings::NativeFormat, QSettings::UserScope, "MORVALEN", "Orvantis");
        store.setValue("Number", 42);
        store.setValue("List", QStringList{"a", "b"});
    }
    EXPECT_EQ(read("Number"), "42");
    // A list is stored as the line "a, b", the same line a hand edit gives: its text is the value.
    EXPECT_EQ(read("List"), "a, b");
}

TEST(UserStore, FailedWriteReportsFalse)
{
    // The store's file cannot be replaced when a folder stands in its place.
    fs::create_directories(configHome() / "MORVALEN" / "Broken.conf");
    EXPECT_FALSE(RegWriteString(RegRoot::CurrentUser, "Software\\MORVALEN\\Broken", kRegSelPath, "D:\\"));
    EXPECT_FALSE(RegWriteString(RegRoot::CurrentUser, "Software", kRegSelPath, "D:\\"));
    EXPECT_FALSE(write("D:\\", ""));
}

namespace {

// The store's file as QSettings keeps it under XDG_CONFIG_HOME, written by hand.
void handEdit(const std::string& text)
{
    fs::create_directories(configHome() / "MORVALEN");
    std::ofstream(configHome() / "MORVALEN" / "Orvantis.conf", std::ios::binary | std::ios::trunc) << text;
}

} // namespace

TEST(UserStore, HandEditedValueWithCommasReadsWhole)
{
    handEdit("[General]\nSelPath=/mnt/cd, vol 3\n");
    EXPECT_EQ(read(), "/mnt/cd, vol 3");
    // Blanks around commas stay; blanks around the whole value and a comment after it do not;
    // escapes and quotes mean what they mean to QSettings.
    const std::pair<const char*, const char*> cases[] = {
        {"a ,b,  c  ", "a ,b,  c"},
        {"D:\\\\games, vol 2", "D:\\games, vol 2"},
        {"a, b ;comment", "a, b"},
        {"\"q\" r, s", "qr, s"},
        {"x\\x41y, z", "xAy, z"},
        {"a,", "a,"},
        {",", ","},
        {"\"x, y\"", "x, y"},
        {"\"  spaced \" , tail", "  spaced , tail"},
        {"お楽しみ, CD", "お楽しみ, CD"},
    };
    for (const auto& [stored, expected] : cases) {
        handEdit(std::string("[General]\nOther=1, 2\nSelPath=") + stored + "\nLater=3, 4\n");
        EXPECT_EQ(read(), expected) << stored;
    }
    // Keys before any section belong to [General] as well; other sections are not it.
    handEdit("SelPath=/cd, 1\n[Other]\nSelPath=/wrong, 2\n");
    EXPECT_EQ(read(), "/cd, 1");
    // What the program writes itself reads back unchanged.
    ASSERT_TRUE(write("/mnt/cd, vol 3"));
    EXPECT_EQ(read(), "/mnt/cd, vol 3");
}

TEST(UserStore, HugeValueReadsAsEmpty)
{
    // Two megabytes of characters CP932 lacks, each a slow conversion: far beyond 1024 bytes,
    // so the text is never converted.
    std::string huge;
    for (int i = 0; i < 500000; ++i)
        huge += "é";
    handEdit("[General]\nSelPath=" + huge + "\n");
    EXPECT_EQ(read(), "");
    handEdit("[General]\nSelPath=" + std::string(2 * 1024 * 1024, 'a') + ", b\n");
    EXPECT_EQ(read(), "");
    // The limit counts CP932 bytes: 1023 half-width katakana are 3069 bytes of UTF-8 but fit.
    std::string kana;
    for (int i = 0; i < 1023; ++i)
        kana += "ｱ";
    ASSERT_TRUE(write(kana));
    EXPECT_EQ(read(), kana);
    ASSERT_TRUE(write(kana + "ｱ"));
    EXPECT_EQ(read(), "");
    // Characters outside the BMP are two UTF-16 units but one '?' each.
    std::string emoji;
    for (int i = 0; i < 1023; ++i)
        emoji += "😀";
    ASSERT_TRUE(write(emoji));
    EXPECT_EQ(read(), emoji);
}
