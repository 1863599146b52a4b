#include "app/Locations.h"

#include "catalogue/Schema.h"
#include "platform/files/FileNames.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

#ifndef _WIN32
#include <cerrno>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace orv {

namespace {

namespace fs = std::filesystem;

// Case variants looked at per folder: enough for any real folder, bounded for a hostile one.
constexpr std::size_t kNameVariants = 16;

std::string envText(const char* name)
{
    const char* v = std::getenv(name);
    return v ? std::string(v) : std::string();
}

bool isAbsolute(const std::string& path) { return !path.empty() && path.front() == '/'; }

std::string joined(const std::string& folder, const std::string& name)
{
    if (!folder.empty() && folder.back() == '/')
        return folder + name;
    return folder + '/' + name;
}

// The catalogue in folder: the first name in any letter case (the exact one first) that leads to
// something other than a folder. A link to nowhere is no catalogue.
std::string catalogueIn(const std::string& folder)
{
    const std::string wanted(schema::kDatabaseFile);
    for (const std::string& name : NamesIgnoringCase(folder, wanted, kNameVariants)) {
        const std::string path = joined(folder, name);
        std::error_code ec;
        const fs::file_status st = fs::status(path, ec);
        if (!ec && fs::exists(st) && !fs::is_directory(st))
            return path;
    }
    return {};
}

// XDG_DATA_HOME, default HOME/.local/share; empty when neither is a valid (absolute) path.
std::string userDataDir(const XdgEnvironment& env)
{
    if (isAbsolute(env.dataHome))
        return env.dataHome;
    if (isAbsolute(env.home))
        return joined(env.home, ".local/share");
    return {};
}

} // namespace

XdgEnvironment XdgEnvironmentOfProcess()
{
    XdgEnvironment env;
    env.home = envText("HOME");
    env.dataHome = envText("XDG_DATA_HOME");
    env.dataDirs = envText("XDG_DATA_DIRS");
    env.configHome = envText("XDG_CONFIG_HOME");
    env.cacheHome = envText("XDG_CACHE_HOME");
#ifndef _WIN32
    if (env.home.empty()) {
        long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
        std::string buf(size > 0 ? static_cast<std::size_t>(size) : 16384, '\0');
        passwd pw{};
        passwd* found = nullptr;
        if (::getpwuid_r(::getuid(), &pw, buf.data(), buf.size(), &found) == 0 && found && found->pw_dir)
            env.home = found->pw_dir;
    }
#endif
    return env;
}

std::vector<std::string> DataBaseDirs(const XdgEnvironment& env)
{
    std::vector<std::string> dirs;
    if (std::string user = userDataDir(env); !user.empty())
        dirs.push_back(std::move(user));

    std::vector<std::string> system;
    std::size_t start = 0;
    while (start <= env.dataDirs.size()) {
        std::size_t end = env.dataDirs.find(':', start);
        if (end == std::string::npos)
            end = env.dataDirs.size();
        const std::string dir = env.dataDirs.substr(start, end - start);
        if (isAbsolute(dir))
            system.push_back(dir);
        start = end + 1;
    }
    if (system.empty())
        system = {"/usr/local/share", "/usr/share"};
    dirs.insert(dirs.end(), system.begin(), system.end());
    return dirs;
}

std::string ConfigBaseDir(const XdgEnvironment& env)
{
    if (isAbsolute(env.configHome))
        return env.configHome;
    if (isAbsolute(env.home))
        return joined(env.home, ".config");
    return {};
}

std::string CacheBaseDir(const XdgEnvironment& env)
{
    if (isAbsolute(env.cacheHome))
        return env.cacheHome;
    if (isAbsolute(env.home))
        return joined(env.home, ".cache");
    return {};
}

FileLocations LocateFiles(const std::string& appFolder, const XdgEnvironment& env)
{
    FileLocations where;
    const std::string beside = catalogueIn(appFolder);
    if (!beside.empty()) {
        where.portable = true;
        where.catalogue = beside;
        where.settings = PathIgnoringCase(appFolder, kSettingsFile);
        return where;
    }

    for (const std::string& base : DataBaseDirs(env)) {
        where.catalogue = catalogueIn(joined(base, kAppDirName));
        if (!where.catalogue.empty())
            break;
    }
    // None anywhere: the open fails on the place where the user's own belongs.
    if (where.catalogue.empty()) {
        if (const std::string user = userDataDir(env); !user.empty())
            where.catalogue = joined(joined(user, kAppDirName), std::string(schema::kDatabaseFile));
    }

    const std::string config = ConfigBaseDir(env);
    if (!config.empty())
        where.settings = PathIgnoringCase(joined(config, kAppDirName), kSettingsFile);
    return where;
}

bool MakeFolderFor(const std::string& file)
{
    const fs::path folder = fs::path(file).parent_path();
    if (folder.empty())
        return false;
    std::error_code ec;
    if (fs::is_directory(folder, ec))
        return true;
#ifdef _WIN32
    fs::create_directories(folder, ec);
#else
    // Each missing folder from the top down, owner-only as the base directories want.
    fs::path partial;
    for (const fs::path& part : folder) {
        partial /= part;
        if (::mkdir(partial.c_str(), 0700) != 0 && errno != EEXIST)
            return false;
    }
#endif
    return fs::is_directory(folder, ec);
}

} // namespace orv
