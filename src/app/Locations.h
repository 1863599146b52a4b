// Where the program finds its catalogue and keeps its settings. A folder copied around (as the
// program is used on Windows) holds both beside the executable; an installed program lives in a
// read-only folder and takes them from the user's and the system's XDG base directories.
#pragma once

#include <string>
#include <vector>

namespace orv {

// The program's folder inside each data and configuration base directory.
inline constexpr const char* kAppDirName = "orvantis";
inline constexpr const char* kSettingsFile = "tevo.ini";

// The variables that name the base directories, as the process has them (unset reads as empty).
struct XdgEnvironment {
    std::string home; // HOME
    std::string dataHome; // XDG_DATA_HOME
    std::string dataDirs; // XDG_DATA_DIRS, separated by ':'
    std::string configHome; // XDG_CONFIG_HOME
    std::string cacheHome{}; // XDG_CACHE_HOME
};

// The process's variables; HOME falls back to the home folder of the user's account.
XdgEnvironment XdgEnvironmentOfProcess();

// The data base directories in search order: the user's (XDG_DATA_HOME, default
// HOME/.local/share), then each of XDG_DATA_DIRS (default /usr/local/share:/usr/share). Relative
// paths are invalid and ignored; a variable left with no valid path takes its default.
std::vector<std::string> DataBaseDirs(const XdgEnvironment& env);

// XDG_CONFIG_HOME, default HOME/.config; empty when neither is a valid (absolute) path.
std::string ConfigBaseDir(const XdgEnvironment& env);

// XDG_CACHE_HOME, default HOME/.cache; empty when neither is a valid (absolute) path.
std::string CacheBaseDir(const XdgEnvironment& env);

struct FileLocations {
    bool portable = false; // catalogue and settings beside the executable
    std::string catalogue; // the catalogue to open; when none was found, where the user's own
        // belongs (empty when there is no such place)
    std::string settings; // the settings file; empty when no folder can keep it
};

// Portable when a catalogue (any letter case) lies in appFolder: both files there. Otherwise the
// catalogue is the first found in <data base dir>/orvantis/ and the settings file lies in
// <config base dir>/orvantis/. Names are found in any letter case in every folder.
FileLocations LocateFiles(const std::string& appFolder, const XdgEnvironment& env);

// Creates the folder that holds file, and any missing folder above it, readable by the owner
// only. true when the folder exists afterwards.
bool MakeFolderFor(const std::string& file);

} // namespace orv
