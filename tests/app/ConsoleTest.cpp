#include "app/Console.h"

#include <gtest/gtest.h>

#include <map>
#include <set>

using namespace orv;

namespace {

EnvLookup envOf(std::map<std::string, std::string> vars)
{
    return [vars = std::move(vars)](const char* name) -> std::optional<std::string> {
        const auto it = vars.find(name);
        return it == vars.end() ? std::nullopt : std::optional<std::string>(it->second);
    };
}

std::function<bool(const std::string&)> socketsAt(std::set<std::string> paths)
{
    return [paths = std::move(paths)](const std::string& p) { return paths.count(p) > 0; };
}

const std::string kNeither = "orvantis: 画面に接続できません（DISPLAY も WAYLAND_DISPLAY も設定されていません）。";

} // namespace

TEST(Console, HelpAndVersionAnywhereOnTheLine)
{
    const char* help[] = {"orvantis", "/SCHK=1", "--help"};
    const char* version[] = {"orvantis", "--version", "--help"};
    const char* neither[] = {"orvantis", "/SCHK=1", "-help", "--HELP", "help"};
    EXPECT_EQ(ConsoleRequestOf(3, help), ConsoleRequest::Help);
    EXPECT_EQ(ConsoleRequestOf(3, version), ConsoleRequest::Version);
    EXPECT_EQ(ConsoleRequestOf(5, neither), ConsoleRequest::None);
    EXPECT_EQ(ConsoleRequestOf(1, neither), ConsoleRequest::None);

    // Japanese, with the option names as they are typed.
    const std::string text = HelpText();
    EXPECT_EQ(text.rfind("使い方: orvantis [/SCHK=0 | /SCHK=1]\n", 0), 0u);
    for (const char* name : {"/SCHK=0", "/SCHK=1", "--help", "--version", "QT_QPA_PLATFORM", "man orvantis"})
        EXPECT_NE(text.find(name), std::string::npos) << name;
    EXPECT_EQ(text.back(), '\n');
    EXPECT_EQ(VersionText(1, 2, 3, "(C) MORVALEN"), "orvantis 1.2.3\n(C) MORVALEN\n");
}

// The window systems the toolkit would try, each with what it needs.
TEST(Console, NoDisplayWhereNothingCanBeReached)
{
    const auto none = socketsAt({});
    const auto runtimeSocket = socketsAt({"/run/user/1000/wayland-1", "/run/user/1000/wayland-0"});
    // A console or an ssh session without forwarding.
    EXPECT_EQ(NoDisplayLine(envOf({}), none), kNeither);
    EXPECT_EQ(NoDisplayLine(envOf({{"DISPLAY", ""}, {"WAYLAND_DISPLAY", ""}}), none), kNeither);
    EXPECT_EQ(NoDisplayLine(envOf({{"QT_QPA_PLATFORM", "xcb"}}), none), kNeither);
    EXPECT_EQ(NoDisplayLine(envOf({{"QT_QPA_PLATFORM", "wayland"}}), none), kNeither);
    // A display may be there: the toolkit tries it.
    EXPECT_EQ(NoDisplayLine(envOf({{"DISPLAY", ":0"}}), none), std::nullopt);
    EXPECT_EQ(NoDisplayLine(envOf({{"DISPLAY", ":0"}, {"QT_QPA_PLATFORM", "wayland;xcb"}}), none), std::nullopt);
    EXPECT_EQ(
        NoDisplayLine(envOf({{"WAYLAND_DISPLAY", "wayland-1"}, {"XDG_RUNTIME_DIR", "/run/user/1000"}}), runtimeSocket),
        std::nullopt);
    // Wayland's default socket, and a socket named by its path.
    EXPECT_EQ(
        NoDisplayLine(envOf({{"QT_QPA_PLATFORM", "wayland"}, {"XDG_RUNTIME_DIR", "/run/user/1000"}}), runtimeSocket),
        std::nullopt);
    EXPECT_EQ(NoDisplayLine(envOf({{"QT_QPA_PLATFORM", "wayland-egl"}, {"WAYLAND_DISPLAY", "/tmp/w"}}),
                            socketsAt({"/tmp/w"})),
              std::nullopt);
    // Window systems that need no display.
    EXPECT_EQ(NoDisplayLine(envOf({{"QT_QPA_PLATFORM", "offscreen"}}), none), std::nullopt);
    EXPECT_EQ(NoDisplayLine(envOf({{"QT_QPA_PLATFORM", "xcb;offscreen"}}), none), std::nullopt);

    // Named, but not there: what was named, in the line.
    EXPECT_EQ(
        NoDisplayLine(envOf({{"WAYLAND_DISPLAY", "wayland-9"}, {"XDG_RUNTIME_DIR", "/run/user/1000"}}), runtimeSocket),
        "orvantis: 画面に接続できません（WAYLAND_DISPLAY=wayland-9 で開けませんでした）。");
    EXPECT_EQ(NoDisplayLine(envOf({{"QT_QPA_PLATFORM", "xcb"},
                                   {"WAYLAND_DISPLAY", "wayland-1"},
                                   {"XDG_RUNTIME_DIR", "/run/user/1000"}}),
                            runtimeSocket),
              "orvantis: 画面に接続できません（QT_QPA_PLATFORM=xcb、WAYLAND_DISPLAY=wayland-1 で開けませんでした）。");
    // Without a runtime folder a socket name leads nowhere.
    EXPECT_NE(NoDisplayLine(envOf({{"WAYLAND_DISPLAY", "wayland-1"}}), runtimeSocket), std::nullopt);

    EXPECT_EQ(DisplayFailedLine(envOf({{"DISPLAY", ":99"}})),
              "orvantis: 画面に接続できません（DISPLAY=:99 で開けませんでした）。");
    EXPECT_EQ(DisplayFailedLine(envOf({})), "orvantis: 画面に接続できません。");
}
