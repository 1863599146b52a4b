// Opening files and folders with the desktop, reporting the shell's numeric results.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace orv {

// The shell's results: kShellOpened or more is success, each of the others a failure of its own.
inline constexpr int kShellOutOfResources = 0;
inline constexpr int kShellFileNotFound = 2;
inline constexpr int kShellPathNotFound = 3;
inline constexpr int kShellNoAssociation = 31; // no program is associated with the file's type
inline constexpr int kShellOpened = 32;

class Shell {
public:
    virtual ~Shell() = default;
    // Opens file with its associated program, started detached in workingFolder.
    virtual int openFile(const std::string& file, const std::string& workingFolder) = 0;
    // Shows folder in the desktop's file manager. program receives the name of what was run.
    virtual int openFolder(const std::string& folder, const std::string& workingFolder, std::string* program) = 0;
};

// The desktop's association (xdg-open and xdg-mime on Linux, the shell on Windows).
std::unique_ptr<Shell> makeDesktopShell();

// What the xdg shell asks of the system. Kept apart so that the decisions can be checked
// without starting any program.
struct DesktopOps {
    // Whether some program is associated with the type of the file or folder at path;
    // nullopt when that cannot be told (the lookup tool is missing or failed).
    std::function<std::optional<bool>(const std::string& path)> hasHandler;
    // Starts program detached in workingFolder; false when it could not be started.
    std::function<bool(const std::string& program, const std::vector<std::string>& args,
                       const std::string& workingFolder)>
        startDetached;
};

// The real lookups: QMimeDatabase for the type, `xdg-mime query default` for its handler,
// QProcess::startDetached to launch.
DesktopOps systemDesktopOps();

// The xdg shell ("xdg-open") over the given operations.
std::unique_ptr<Shell> makeXdgShell(DesktopOps ops);

} // namespace orv
