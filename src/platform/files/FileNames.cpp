#include "platform/files/FileNames.h"

#include "platform/text/AsciiText.h"

#include <filesystem>
#include <set>
#include <system_error>

namespace orv {

namespace {

namespace fs = std::filesystem;

#ifdef _WIN32
fs::path toFsPath(const std::string& utf8) { return fs::path(std::u8string(utf8.begin(), utf8.end())); }

std::string nameOf(const fs::path& p)
{
    const std::u8string s = p.filename().u8string();
    return std::string(s.begin(), s.end());
}

bool isSeparator(char c) { return c == '/' || c == '\\'; }
constexpr char kSep = '\\';
#else
// Names on Unix are bytes; taking them as they are keeps names in any encoding usable.
fs::path toFsPath(const std::string& utf8) { return fs::path(utf8); }
std::string nameOf(const fs::path& p) { return p.filename().string(); }
bool isSeparator(char c) { return c == '/'; }
constexpr char kSep = '/';
#endif

std::string joined(const std::string& folder, const std::string& name)
{
    if (folder.empty() || isSeparator(folder.back()))
        return folder + name;
    return folder + kSep + name;
}

} // namespace

std::vector<std::string> NamesIgnoringCase(const std::string& folder, const std::string& name, std::size_t limit)
{
    std::vector<std::string> names;
    if (limit == 0 || name.empty())
        return names;
    std::error_code ec;
    // An entry of the exact name counts whatever it is, a link that leads nowhere included: it is
    // what a program that tells case apart would take.
    if (fs::exists(fs::symlink_status(toFsPath(joined(folder, name)), ec))) {
        names.push_back(name);
        if (names.size() == limit)
            return names;
    }

    // Only the smallest names are kept, so a folder full of case variants costs no more memory
    // than the limit, whatever its size.
    std::set<std::string> others;
    const std::size_t room = limit - names.size();
    fs::directory_iterator it(toFsPath(folder.empty() ? std::string(".") : folder), ec);
    for (const fs::directory_iterator end; !ec && it != end; it.increment(ec)) {
        std::string candidate = nameOf(it->path());
        if (candidate == name || !AsciiEqualNoCase(candidate, name))
            continue;
        others.insert(std::move(candidate));
        if (others.size() > room)
            others.erase(std::prev(others.end()));
    }
    names.insert(names.end(), others.begin(), others.end());
    return names;
}

std::string PathIgnoringCase(const std::string& folder, const std::string& name)
{
    const std::vector<std::string> found = NamesIgnoringCase(folder, name, 1);
    return joined(folder, found.empty() ? name : found.front());
}

bool EndsWithSeparator(const std::string& path)
{
    if (path.empty())
        return false;
    const char last = path.back();
#ifdef _WIN32
    if (last == '\\')
        return true;
#endif
    return last == '/';
}

std::string WithTrailingSeparator(const std::string& path)
{
#ifdef _WIN32
    constexpr char kNativeSeparator = '\\';
#else
    constexpr char kNativeSeparator = '/';
#endif
    return EndsWithSeparator(path) ? path : path + kNativeSeparator;
}

} // namespace orv
