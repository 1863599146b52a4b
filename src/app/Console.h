// What the program says on a terminal before any window system is asked for: --help, --version,
// and the one line for a start that has no display to open its window on.
#pragma once

#include "app/Startup.h"

#include <functional>
#include <optional>
#include <string>

namespace orv {

enum class ConsoleRequest { None, Help, Version };

// --help or --version anywhere on the command line (the first of them wins); None otherwise.
ConsoleRequest ConsoleRequestOf(int argc, const char* const* argv);

// The texts for standard output (UTF-8, ending in a newline).
std::string HelpText();
std::string VersionText(int major, int minor, int patch, const std::string& copyright);

// The line for standard error when no window system the toolkit would try has a display: X
// without DISPLAY, Wayland without its socket (WAYLAND_DISPLAY, by default wayland-0, in
// XDG_RUNTIME_DIR). Which it tries: those QT_QPA_PLATFORM names, else X, and Wayland too where
// WAYLAND_DISPLAY is set. Nothing when a display may be there, or for other window systems
// (offscreen, vnc...). socketExists tells whether a Wayland socket path exists.
std::optional<std::string> NoDisplayLine(const EnvLookup& env,
                                         const std::function<bool(const std::string& path)>& socketExists);

// The line when the window system could not be reached though the environment names a display.
std::string DisplayFailedLine(const EnvLookup& env);

// For its lifetime, while the toolkit connects to the window system: the toolkit's complaints
// about window system plugins are held back, and a failure to connect writes failedLine to
// standard error and ends the process with status 1, where the toolkit would abort.
class DisplayConnectGuard {
public:
    explicit DisplayConnectGuard(std::string failedLine);
    ~DisplayConnectGuard();
    DisplayConnectGuard(const DisplayConnectGuard&) = delete;
    DisplayConnectGuard& operator=(const DisplayConnectGuard&) = delete;
};

} // namespace orv
