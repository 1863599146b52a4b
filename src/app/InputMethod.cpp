#include "app/InputMethod.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <sys/types.h>

namespace orv {

namespace {

std::string trimmed(const std::string& s)
{
    const auto first = s.find_first_not_of(" \t\r\n");
    if (first == std::string::npos)
        return {};
    return s.substr(first, s.find_last_not_of(" \t\r\n") - first + 1);
}

// The value of "key=value" in an ibus address file.
std::optional<std::string> addressFileValue(const std::string& text, const std::string& key)
{
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line))
        if (line.rfind(key + "=", 0) == 0)
            return trimmed(line.substr(key.size() + 1));
    return std::nullopt;
}

bool ibusRuns(const InputMethodProbe& probe, const std::string& display)
{
    std::string config;
    if (const auto c = probe.env("XDG_CONFIG_HOME"); c && !c->empty())
        config = *c;
    else if (const auto home = probe.env("HOME"); home && !home->empty())
        config = *home + "/.config";
    else
        return false;
    std::string machineId;
    for (const char* path : {"/var/lib/dbus/machine-id", "/etc/machine-id"}) {
        if (const auto id = probe.readFile(path); id && !trimmed(*id).empty()) {
            machineId = trimmed(*id);
            break;
        }
    }
    const auto file = IbusAddressFile(config, machineId, display);
    const auto text = file ? probe.readFile(*file) : std::nullopt;
    if (!text || addressFileValue(*text, "IBUS_ADDRESS").value_or("").empty())
        return false;
    const std::string pid = addressFileValue(*text, "IBUS_DAEMON_PID").value_or("");
    if (pid.empty() || pid.find_first_not_of("0123456789") != std::string::npos || pid.size() > 9)
        return false;
    return probe.processRuns(std::stol(pid));
}

} // namespace

std::optional<std::string> IbusAddressFile(const std::string& configHome, const std::string& machineId,
                                           const std::string& display)
{
    const auto colon = display.find(':');
    if (machineId.empty() || colon == std::string::npos)
        return std::nullopt;
    std::string host = display.substr(0, colon);
    const std::string number = display.substr(colon + 1, display.find('.', colon) - colon - 1);
    if (number.empty() || number.find_first_not_of("0123456789") != std::string::npos
        || host.find('/') != std::string::npos)
        return std::nullopt;
    if (host.empty())
        host = "unix";
    return configHome + "/ibus/bus/" + machineId + "-" + host + "-" + number;
}

InputMethodProbe InputMethodProbeOfProcess()
{
    InputMethodProbe p;
    p.env = [](const char* name) -> std::optional<std::string> {
        const char* v = std::getenv(name);
        return v ? std::optional<std::string>(v) : std::nullopt;
    };
    p.readFile = [](const std::string& path) -> std::optional<std::string> {
        constexpr std::streamsize kMaxBytes = 64 * 1024; // an address file or a machine id
        std::ifstream in(path, std::ios::binary);
        if (!in)
            return std::nullopt;
        std::string text(static_cast<size_t>(kMaxBytes), '\0');
        in.read(text.data(), kMaxBytes);
        text.resize(static_cast<size_t>(in.gcount()));
        return text;
    };
    p.processRuns = [](long pid) { return pid > 0 && (::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM); };
    return p;
}

std::string InputMethodToUse(const InputMethodProbe& probe, const std::string& windowSystem)
{
    auto value = [&probe](const char* name) { return probe.env(name).value_or(""); };
    if (!value("QT_IM_MODULE").empty() || !value("QT_IM_MODULES").empty())
        return {};
    // On the X display: the one asked for, or the one the user named, or the toolkit's default
    // where no Wayland display is offered.
    std::string platform = windowSystem.empty() ? value("QT_QPA_PLATFORM") : windowSystem;
    if (platform.empty() && value("WAYLAND_DISPLAY").empty())
        platform = "xcb";
    const std::string display = value("DISPLAY");
    if (platform.rfind("xcb", 0) != 0 || display.empty())
        return {};
    const std::string modifiers = value("XMODIFIERS");
    if (!modifiers.empty() && modifiers.find("@im=ibus") == std::string::npos)
        return {};
    if (!value("IBUS_ADDRESS").empty() || ibusRuns(probe, display))
        return "ibus";
    return {};
}

} // namespace orv
