#include "app/Startup.h"

#include "platform/files/FileNames.h"

#include <cctype>

namespace orv {

unsigned char ScanSwitches(const std::string& commandLine)
{
    unsigned char screenCheck = kScreenCheckNone;
    std::size_t slash = commandLine.find('/');
    while (slash != std::string::npos) {
        // Only the six characters after the slash count, so "/schk=1x" is still the switch.
        std::string name = commandLine.substr(slash + 1, 6);
        for (char& ch : name)
            ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
        if (name == "SCHK=0")
            screenCheck = 0;
        else if (name == "SCHK=1")
            screenCheck = 1;
        slash = commandLine.find('/', slash + 1);
    }
    return screenCheck;
}

std::string CommandLineText(int argc, const char* const* argv)
{
    std::string text;
    for (int i = 1; i < argc; ++i) {
        if (i > 1)
            text += ' ';
        text += argv[i] ? argv[i] : "";
    }
    return text;
}

std::string PreferredWindowSystem(const EnvLookup& env)
{
    auto present = [&env](const char* name) {
        const auto v = env(name);
        return v && !v->empty();
    };
    if (present("QT_QPA_PLATFORM") || !present("DISPLAY"))
        return {};
    const auto session = env("XDG_SESSION_TYPE");
    if (present("WAYLAND_DISPLAY") || (session && *session == "wayland"))
        return "xcb;wayland";
    return {};
}

std::string VersionCaption(int major, int minor, int revision, const std::string& copyright)
{
    std::string minor2 = std::to_string(minor);
    if (minor >= 0 && minor < 10)
        minor2 = "0" + minor2;
    const std::string head = "Version " + std::to_string(major) + "." + minor2;
    if (revision <= 0)
        return head + "     " + copyright;
    if (revision <= 10)
        return head + "." + std::to_string(revision) + "  " + copyright;
    return head + std::to_string(revision / 10) + "\u03b2" + std::to_string(revision % 10) + "   " + copyright;
}

std::string AppFolderFrom(const std::string& exeFolder) { return WithTrailingSeparator(exeFolder); }

} // namespace orv
