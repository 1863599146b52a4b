#include "actions/CdPaths.h"

#include "platform/files/FileNames.h"
#include "platform/shell/Shell.h"

#include <algorithm>
#include <filesystem>
#include <system_error>
#include <vector>

namespace orv {

namespace {

namespace fs = std::filesystem;

#ifdef _WIN32
constexpr char kSep = '\\';

fs::path toFsPath(const std::string& utf8) { return fs::path(std::u8string(utf8.begin(), utf8.end())); }
#else
constexpr char kSep = '/';

// Names on Unix are bytes; taking them as they are keeps names in any encoding usable.
fs::path toFsPath(const std::string& utf8) { return fs::path(utf8); }
#endif

std::string toUtf8(const fs::path& p)
{
#ifdef _WIN32
    const std::u8string s = p.u8string();
    return std::string(s.begin(), s.end());
#else
    return p.string();
#endif
}

bool isSeparator(char c) { return c == '/' || c == '\\'; }

// The names of a catalogue path: either separator splits, and empty and "." names are dropped as
// the system drops them. false for a name no file can have (NUL would cut the path short where it
// is handed on; on Windows a colon names a drive or a stream).
bool splitNames(const std::string& path, std::vector<std::string>* names)
{
    std::string name;
    for (size_t i = 0; i <= path.size(); ++i) {
        if (i < path.size() && !isSeparator(path[i])) {
            name += path[i];
            continue;
        }
        if (name.find('\0') != std::string::npos)
            return false;
#ifdef _WIN32
        if (name.find(':') != std::string::npos)
            return false;
#endif
        if (!name.empty() && name != ".")
            names->push_back(name);
        name.clear();
    }
    return true;
}

std::string rootWithSeparator(const std::string& driveRootPath)
{
    std::string root = driveRootPath;
#ifndef _WIN32
    // A root kept with the Windows separator still means the folder itself.
    if (!root.empty() && root.back() == '\\')
        root.back() = kSep;
#endif
    if (!root.empty() && root.back() != kSep)
        root += kSep;
    return root;
}

// The search for a path's names below the real drive root, depth first: at each name the exact
// spelling, then the other case variants, each followed to the end before the next is tried.
class Resolver {
public:
    Resolver(fs::path realRoot, std::vector<std::string> names) : root_(std::move(realRoot)), names_(std::move(names))
    {}

    enum class Outcome { Found, DeadEnd, TooLong };

    Outcome run() { return search(0, fs::path()); }

    // The real path below the root, when Found.
    const fs::path& found() const { return found_; }
    // The deepest place where the next name matches nothing at all in any case, and its index.
    bool hasMissing() const { return hasMissing_; }
    const fs::path& missingAt() const { return missingAt_; }
    size_t missingIndex() const { return missingIndex_; }

private:
    Outcome search(size_t i, const fs::path& rel)
    {
        if (i == names_.size()) {
            found_ = rel;
            return Outcome::Found;
        }
        if (--budget_ < 0)
            return Outcome::TooLong;
        const std::string& name = names_[i];
        if (name == "..") {
            // rel holds real names only, so its parent is where the system's ".." leads.
            if (rel.empty())
                return Outcome::DeadEnd;
            return search(i + 1, rel.parent_path());
        }
        const fs::path dir = rel.empty() ? root_ : root_ / rel;
        bool anyEntry = false;
        Outcome r = step(i, rel, dir, name, &anyEntry);
        if (r != Outcome::DeadEnd)
            return r;
        for (const std::string& other : NamesIgnoringCase(toUtf8(dir), name, size_t(budget_) + 2)) {
            if (other == name)
                continue;
            if (--budget_ < 0)
                return Outcome::TooLong;
            r = step(i, rel, dir, other, &anyEntry);
            if (r != Outcome::DeadEnd)
                return r;
        }
        if (!anyEntry && (!hasMissing_ || i > missingIndex_)) {
            hasMissing_ = true;
            missingAt_ = rel;
            missingIndex_ = i;
        }
        return Outcome::DeadEnd;
    }

    // Follows the entry called name in dir, which is root_/rel.
    Outcome step(size_t i, const fs::path& rel, const fs::path& dir, const std::string& name, bool* anyEntry)
    {
        std::error_code ec;
        const fs::path path = dir / toFsPath(name);
        const fs::file_status st = fs::symlink_status(path, ec);
        if (!fs::exists(st))
            return Outcome::DeadEnd;
        *anyEntry = true;
        const bool last = i + 1 == names_.size();
        fs::path next;
        if (fs::is_symlink(st)) {
            // A link counts by where it leads: inside the root, or not at all. One that leads
            // nowhere (or in a circle) is a dead end too.
            const fs::path real = fs::canonical(path, ec);
            if (ec)
                return Outcome::DeadEnd;
            next = real.lexically_relative(root_);
            if (next.empty() || *next.begin() == "..")
                return Outcome::DeadEnd;
            if (next == ".")
                next.clear();
            if (!last && !fs::is_directory(real, ec))
                return Outcome::DeadEnd;
        } else {
            if (!last && !fs::is_directory(st))
                return Outcome::DeadEnd;
            next = rel / toFsPath(name);
        }
        return search(i + 1, next);
    }

    fs::path root_;
    std::vector<std::string> names_;
    int budget_ = kMaxNamesTried;
    fs::path found_;
    bool hasMissing_ = false;
    fs::path missingAt_;
    size_t missingIndex_ = 0;
};

std::string joinNames(const std::vector<std::string>& names, size_t from)
{
    std::string out;
    for (size_t i = from; i < names.size(); ++i) {
        if (!out.empty())
            out += kSep;
        out += names[i];
    }
    return out;
}

std::optional<std::string> resolveUnder(const std::string& driveRootPath, const std::string& relative)
{
    std::vector<std::string> names;
    if (driveRootPath.empty() || !splitNames(relative, &names))
        return std::nullopt;
    const std::string root = rootWithSeparator(driveRootPath);
    const bool trailing = !names.empty() && isSeparator(relative.back());
    auto result = [&](std::string below) {
        if (trailing && !below.empty())
            below += kSep;
        return root + below;
    };

    std::error_code ec;
    const fs::path realRoot = fs::canonical(toFsPath(root), ec);
    size_t missingIndex = 0;
    fs::path missingAt;
    if (!ec) {
        Resolver resolver(realRoot, names);
        switch (resolver.run()) {
        case Resolver::Outcome::Found: return result(toUtf8(resolver.found()));
        case Resolver::Outcome::TooLong: return std::nullopt;
        case Resolver::Outcome::DeadEnd:
            // Every way led outside the root, or to something that is not there in any case.
            if (!resolver.hasMissing())
                return std::nullopt;
            missingIndex = resolver.missingIndex();
            missingAt = resolver.missingAt();
            break;
        }
    }
    // The rest does not exist, so it is kept as written for the shell to report; a ".." in it
    // could only be meant to climb out.
    for (size_t i = missingIndex; i < names.size(); ++i)
        if (names[i] == "..")
            return std::nullopt;
    std::string below = toUtf8(missingAt);
    const std::string rest = joinNames(names, missingIndex);
    if (!below.empty() && !rest.empty())
        below += kSep;
    return result(below + rest);
}

} // namespace

std::optional<std::string> EntryFolderPath(const std::string& driveRootPath, const std::string& entryFolder)
{
    return resolveUnder(driveRootPath, entryFolder);
}

std::optional<std::string> EntryFilePath(const std::string& driveRootPath, const std::string& entryFolder,
                                         const std::string& fileName)
{
    return resolveUnder(driveRootPath, entryFolder + "\\" + fileName);
}

std::string EntryFolderCaption(const std::string& driveRootPath, const std::string& entryFolder)
{
    if (std::optional<std::string> folder = EntryFolderPath(driveRootPath, entryFolder))
        return *std::move(folder);
    std::string stored = entryFolder;
    std::replace(stored.begin(), stored.end(), '\\', kSep);
    const size_t first = stored.find_first_not_of(kSep);
    return rootWithSeparator(driveRootPath) + (first == std::string::npos ? std::string() : stored.substr(first));
}

FolderCheck CheckEntryFolder(const std::string& driveRootPath, const std::string& entryFolder, std::string* folder)
{
    const std::optional<std::string> path = EntryFolderPath(driveRootPath, entryFolder);
    if (!path) {
        // Outside the root counts as missing, once the root itself can be read.
        const FolderCheck root = CheckFolderHasFiles(std::string(), driveRootPath);
        return root == FolderCheck::Unusable ? root : FolderCheck::NoFiles;
    }
    if (folder)
        *folder = *path;
    return CheckFolderHasFiles(*path, driveRootPath);
}

FolderCheck CheckFolderHasFiles(const std::string& folder, const std::string& driveRootPath)
{
    std::error_code ec;
    const fs::path root = toFsPath(driveRootPath);
    if (driveRootPath.empty() || !fs::is_directory(root, ec))
        return FolderCheck::Unusable;
    // A root that exists but cannot be listed (no permission, no medium) is not usable either.
    {
        fs::directory_iterator probe(root, ec);
    }
    if (ec)
        return FolderCheck::Unusable;

    const fs::path dir = toFsPath(folder);
    const fs::file_status st = fs::status(dir, ec);
    if (st.type() == fs::file_type::not_found)
        return FolderCheck::NoFiles;
    if (ec)
        return FolderCheck::Unusable;
    if (!fs::is_directory(st))
        return FolderCheck::NoFiles;

    fs::directory_iterator it(dir, ec);
    if (ec)
        return FolderCheck::Unusable;
    for (const fs::directory_iterator end; it != end; it.increment(ec)) {
        if (ec)
            return FolderCheck::Unusable;
        // Hidden files count; subfolders and links that lead nowhere do not.
        std::error_code sec;
        const fs::file_status entry = it->status(sec);
        if (fs::exists(entry) && !fs::is_directory(entry))
            return FolderCheck::HasFiles;
    }
    return ec ? FolderCheck::Unusable : FolderCheck::NoFiles;
}

std::string ShellOpenMessage(int result, const std::string& file)
{
    if (result >= kShellOpened)
        return {};
    switch (result) {
    case kShellOutOfResources: return "メモリ不足です。";
    case kShellFileNotFound: return "ファイルが見つかりません。";
    case kShellPathNotFound: return "ファイルのパスが見つかりません。";
    case kShellNoAssociation: return file + " は\r\n関連付けされていないファイルです。\r\n関連付けを行って下さい。";
    default: return std::to_string(result) + "その他のエラー";
    }
}

std::string DriveUnusableMessage(const std::string& driveRoot)
{
    return "指定ドライブ " + driveRoot + " は、現在使用できません。";
}

} // namespace orv
