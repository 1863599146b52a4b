#include "app/Startup.h"
#include "platform/files/FileNames.h"

#include <gtest/gtest.h>
#include <map>

using namespace orv;

TEST(ScanSwitches, ScreenCheckSwitch)
{
    const std::pair<const char*, int> cases[] = {{"/schk=0", 0},  {"/SCHK=0", 0},         {"x /SCHK=0", 0},
                                                 {"/schk=1x", 1}, {"/SCHK=1 /SCHK=0", 0}, {"/SCHK=1 /SCHK=9", 1},
                                                 {"//SCHK=0", 0}, {"/SCHK=2", 255},       {"SCHK=1", 255},
                                                 {"", 255},       {"/ SCHK=1", 255},      {"/SCHK=", 255}};
    for (const auto& [line, expected] : cases)
        EXPECT_EQ(ScanSwitches(line), expected) << line;
}

TEST(VersionCaption, RevisionForms)
{
    EXPECT_EQ(VersionCaption(2, 5, 0, "C"), "Version 2.05     C");
    EXPECT_EQ(VersionCaption(2, 9, 0, "C"), "Version 2.09     C");
    EXPECT_EQ(VersionCaption(2, 10, 0, "C"), "Version 2.10     C"); // two digits need no zero
    EXPECT_EQ(VersionCaption(2, 5, 3, "C"), "Version 2.05.3  C");
    EXPECT_EQ(VersionCaption(2, 5, 10, "C"), "Version 2.05.10  C");
    EXPECT_EQ(VersionCaption(2, 5, 12, "C"), "Version 2.051\u03b22   C");
    EXPECT_EQ(VersionCaption(1, 123, 11, "C"), "Version 1.1231\u03b21   C");
}

TEST(AppFolderFrom, ExactlyOneTrailingSeparator)
{
    EXPECT_EQ(AppFolderFrom("/opt/orvantis"), "/opt/orvantis/");
    EXPECT_EQ(AppFolderFrom("/"), "/");
#ifndef _WIN32
    EXPECT_FALSE(EndsWithSeparator("Q:\\"));
#endif
}

TEST(CommandLineText, ArgumentsAfterTheProgramNameJoinedByBlanks)
{
    const char* none[] = {"orvantis"};
    EXPECT_EQ(CommandLineText(1, none), "");
    const char* some[] = {"orvantis", "-reverse", "/SCHK=1", "x y"};
    EXPECT_EQ(CommandLineText(4, some), "-reverse /SCHK=1 x y");
    EXPECT_EQ(ScanSwitches(CommandLineText(4, some)), 1);
    const char* empty[] = {"orvantis", "", "/schk=0"};
    EXPECT_EQ(CommandLineText(3, empty), " /schk=0");
}

TEST(PreferredWindowSystem, XServerOfAWaylandSessionUnlessThePlatformIsChosen)
{
    using Env = std::map<std::string, std::string>;
    auto choose = [](const Env& env) {
        return PreferredWindowSystem([&env](const char* name) -> std::optional<std::string> {
            const auto it = env.find(name);
            return it == env.end() ? std::nullopt : std::optional<std::string>(it->second);
        });
    };
    EXPECT_EQ(choose({{"WAYLAND_DISPLAY", "wayland-0"}, {"DISPLAY", ":0"}}), "xcb;wayland");
    EXPECT_EQ(choose({{"XDG_SESSION_TYPE", "wayland"}, {"DISPLAY", ":1"}}), "xcb;wayland");
    // The user's choice stands, whatever it is.
    EXPECT_EQ(choose({{"WAYLAND_DISPLAY", "wayland-0"}, {"DISPLAY", ":0"}, {"QT_QPA_PLATFORM", "wayland"}}), "");
    EXPECT_EQ(choose({{"WAYLAND_DISPLAY", "wayland-0"}, {"DISPLAY", ":0"}, {"QT_QPA_PLATFORM", "offscreen"}}), "");
    // An empty setting is no choice.
    EXPECT_EQ(choose({{"WAYLAND_DISPLAY", "wayland-0"}, {"DISPLAY", ":0"}, {"QT_QPA_PLATFORM", ""}}), "xcb;wayland");
    // Wayland without an X server, X alone, or nothing: the toolkit's own choice.
    EXPECT_EQ(choose({{"WAYLAND_DISPLAY", "wayland-0"}}), "");
    EXPECT_EQ(choose({{"WAYLAND_DISPLAY", "wayland-0"}, {"DISPLAY", ""}}), "");
    EXPECT_EQ(choose({{"DISPLAY", ":0"}}), "");
    EXPECT_EQ(choose({{"DISPLAY", ":0"}, {"XDG_SESSION_TYPE", "x11"}}), "");
    EXPECT_EQ(choose({}), "");
}
