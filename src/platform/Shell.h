// Opening files and folders with the desktop, reporting the shell's numeric results:
// 32 or more success, 0 out of resources, 2 file not found, 3 path not found,
// 31 no program associated with the file's type.
#pragma once

#include <memory>
#include <string>

namespace orv {

class Shell {
public:
    virtual ~Shell() = default;
    // Opens file with its associated program, started detached in workingFolder.
    virtual int openFile(const std::string& file, const std::string& workingFolder) = 0;
    // Shows folder in the desktop's file manager. program receives the name of what was run.
    virtual int openFolder(const std::string& folder, const std::string& workingFolder,
                           std::string* program) = 0;
};

// The desktop's association (xdg-open and xdg-mime on Linux, the shell on Windows).
std::unique_ptr<Shell> makeDesktopShell();

} // namespace orv
