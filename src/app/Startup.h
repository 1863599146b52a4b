// Start-up rules that need no window: command-line switch, window system, version caption.
#pragma once

#include <functional>
#include <optional>
#include <string>

namespace orv {

inline constexpr unsigned char kScreenCheckNone = 255;

// screenCheck from the command-line text after the program name: 255 when no "/SCHK=0" or
// "/SCHK=1" (any case) is given, else the digit of the last one.
unsigned char ScanSwitches(const std::string& commandLine);

// The command-line text after the program name: the arguments joined by single blanks. It is
// the program's only command line; the toolkit never sees these arguments.
std::string CommandLineText(int argc, const char* const* argv);

// The window system to ask the toolkit for, from the environment: "xcb;wayland" in a Wayland
// session that also offers an X display (XWayland), because only there can a window place itself;
// empty (the toolkit's own choice) otherwise, and always when the user named a platform through
// QT_QPA_PLATFORM.
using EnvLookup = std::function<std::optional<std::string>(const char* name)>;
std::string PreferredWindowSystem(const EnvLookup& env);

// Label4's caption for version major.minor.revision and the copyright text.
std::string VersionCaption(int major, int minor, int revision, const std::string& copyright);

// appFolder: the executable's folder ending in exactly one separator.
std::string AppFolderFrom(const std::string& exeFolder);

} // namespace orv
