// Which input method the toolkit is to use when the session has not said: Japanese search words
// are typed through one. Plain logic over the environment and a few files, for testing.
#pragma once

#include "app/Startup.h"

#include <functional>
#include <optional>
#include <string>

namespace orv {

// What the choice looks at: the environment, files (nothing when missing), running processes.
struct InputMethodProbe {
    EnvLookup env;
    std::function<std::optional<std::string>(const std::string& path)> readFile;
    std::function<bool(long pid)> processRuns;
};

// This process's environment, files and processes.
InputMethodProbe InputMethodProbeOfProcess();

// The toolkit's input method module to use: "ibus" where QT_IM_MODULE names none, the program
// runs on an X display (windowSystem is the one asked of the toolkit, empty for its own choice),
// the session names no other input method for X programs (XMODIFIERS) and an ibus daemon runs for
// that display. Empty otherwise: the toolkit's own choice stands.
std::string InputMethodToUse(const InputMethodProbe& probe, const std::string& windowSystem);

// Where ibus writes its daemon's address for an X display: <config>/ibus/bus/<machine id>-<host>-
// <display number>, the host "unix" for a local display. Nothing for a display it cannot parse.
std::optional<std::string> IbusAddressFile(const std::string& configHome, const std::string& machineId,
                                           const std::string& display);

} // namespace orv
