#include "app/InputMethod.h"

#include <gtest/gtest.h>
#include <map>
#include <set>

using namespace orv;

namespace {

const std::string kMachine = "3d1219c7c4c5404aaa1f6d2a48adfda4";

// A session: its environment, its files and its processes.
struct Session {
    std::map<std::string, std::string> env{{"DISPLAY", ":0"}, {"HOME", "/home/u"}};
    std::map<std::string, std::string> files{{"/etc/machine-id", kMachine + "\n"}};
    std::set<long> processes;

    // An ibus daemon for display :0 with the given process id, its address file in the default
    // configuration folder.
    void runIbus(long pid)
    {
        files["/home/u/.config/ibus/bus/" + kMachine + "-unix-0"] =
            "# This file is created by ibus-daemon, please do not modify it.\nIBUS_ADDRESS=unix:abstract=/home/u/"
            ".cache/ibus/dbus-x\nIBUS_DAEMON_PID="
            + std::to_string(pid) + "\n";
        processes.insert(pid);
    }

    std::string choice(const std::string& windowSystem = {}) const
    {
        InputMethodProbe p;
        p.env = [this](const char* name) -> std::optional<std::string> {
            const auto it = env.find(name);
            return it == env.end() ? std::nullopt : std::optional<std::string>(it->second);
        };
        p.readFile = [this](const std::string& path) -> std::optional<std::string> {
            const auto it = files.find(path);
            return it == files.end() ? std::nullopt : std::optional<std::string>(it->second);
        };
        p.processRuns = [this](long pid) { return processes.count(pid) > 0; };
        return InputMethodToUse(p, windowSystem);
    }
};

} // namespace

TEST(InputMethod, IbusWhereItRunsAndNothingNamesAnInputMethod)
{
    Session s;
    EXPECT_EQ(s.choice(), "") << "no ibus";
    s.runIbus(4242);
    EXPECT_EQ(s.choice(), "ibus");
    EXPECT_EQ(s.choice("xcb;wayland"), "ibus") << "XWayland in a Wayland session";
    // The machine id where D-Bus keeps it comes first.
    s.files["/var/lib/dbus/machine-id"] = "0000\n";
    EXPECT_EQ(s.choice(), "");
    s.files.erase("/var/lib/dbus/machine-id");
    // An address given outright is ibus running.
    Session given;
    given.env["IBUS_ADDRESS"] = "unix:abstract=/tmp/x";
    EXPECT_EQ(given.choice(), "ibus");
}

TEST(InputMethod, TheSessionsOwnChoiceStands)
{
    Session s;
    s.runIbus(4242);
    s.env["QT_IM_MODULE"] = "fcitx";
    EXPECT_EQ(s.choice(), "");
    s.env["QT_IM_MODULE"] = "";
    s.env["QT_IM_MODULES"] = "wayland;ibus";
    EXPECT_EQ(s.choice(), "");
    s.env.erase("QT_IM_MODULES");
    // Another input method for X programs.
    s.env["XMODIFIERS"] = "@im=fcitx";
    EXPECT_EQ(s.choice(), "");
    s.env["XMODIFIERS"] = "@im=ibus";
    EXPECT_EQ(s.choice(), "ibus");
    // Not on an X display: Wayland's own text input, or the platform the user named.
    EXPECT_EQ(s.choice("wayland"), "");
    s.env["QT_QPA_PLATFORM"] = "wayland";
    EXPECT_EQ(s.choice(), "");
    s.env["QT_QPA_PLATFORM"] = "xcb";
    EXPECT_EQ(s.choice(), "ibus");
    s.env.erase("QT_QPA_PLATFORM");
    s.env["WAYLAND_DISPLAY"] = "wayland-0";
    EXPECT_EQ(s.choice(), "") << "the toolkit picks Wayland itself";
    s.env.erase("WAYLAND_DISPLAY");
    s.env.erase("DISPLAY");
    EXPECT_EQ(s.choice("xcb"), "");
}

TEST(InputMethod, AStaleOrDamagedAddressFileIsNoDaemon)
{
    Session s;
    s.runIbus(4242);
    s.processes.clear(); // it ended without removing its file
    EXPECT_EQ(s.choice(), "");
    const std::string file = "/home/u/.config/ibus/bus/" + kMachine + "-unix-0";
    s.processes.insert(4242);
    for (const char* text : {"IBUS_ADDRESS=\nIBUS_DAEMON_PID=4242\n", "IBUS_ADDRESS=unix:x\n",
                             "IBUS_ADDRESS=unix:x\nIBUS_DAEMON_PID=42a\n",
                             "IBUS_ADDRESS=unix:x\nIBUS_DAEMON_PID=99999999999999999999\n", ""}) {
        s.files[file] = text;
        EXPECT_EQ(s.choice(), "") << text;
    }
    s.files[file] = "IBUS_ADDRESS=unix:x\r\nIBUS_DAEMON_PID=4242\r\n";
    EXPECT_EQ(s.choice(), "ibus") << "line ends of any kind";
    // The configuration folder the session names.
    s.env["XDG_CONFIG_HOME"] = "/cfg";
    EXPECT_EQ(s.choice(), "");
    s.files["/cfg/ibus/bus/" + kMachine + "-unix-0"] = s.files[file];
    EXPECT_EQ(s.choice(), "ibus");
}

TEST(InputMethod, AddressFileOfADisplay)
{
    EXPECT_EQ(IbusAddressFile("/c", "m", ":0"), "/c/ibus/bus/m-unix-0");
    EXPECT_EQ(IbusAddressFile("/c", "m", ":130.0"), "/c/ibus/bus/m-unix-130");
    EXPECT_EQ(IbusAddressFile("/c", "m", "localhost:10.2"), "/c/ibus/bus/m-localhost-10");
    for (const char* display : {"", "0", ":", ":x", ":0x", "../..:0"})
        EXPECT_EQ(IbusAddressFile("/c", "m", display), std::nullopt) << display;
    EXPECT_EQ(IbusAddressFile("/c", "", ":0"), std::nullopt) << "no machine id";
}
