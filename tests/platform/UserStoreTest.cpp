#include "platform/UserStore.h"

#include <gtest/gtest.h>

#include <QSettings>

#include <cstdlib>
#include <filesystem>

using namespace orv;
namespace fs = std::filesystem;

namespace {

fs::path configHome() { return fs::path(std::getenv("XDG_CONFIG_HOME")); }

std::string read(const char* name = kRegSelPath)
{
    return RegReadString(RegRoot::CurrentUser, kRegKeyPath, name);
}

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
    EXPECT_EQ(read("List"), "a,b");
}

TEST(UserStore, FailedWriteReportsFalse)
{
    // The store's file cannot be replaced when a folder stands in its place.
    fs::create_directories(configHome() / "MORVALEN" / "Broken.conf");
    EXPECT_FALSE(RegWriteString(RegRoot::CurrentUser, "Software\\MORVALEN\\Broken", kRegSelPath, "D:\\"));
    EXPECT_FALSE(RegWriteString(RegRoot::CurrentUser, "Software", kRegSelPath, "D:\\"));
    EXPECT_FALSE(write("D:\\", ""));
}
