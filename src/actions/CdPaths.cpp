#include "actions/CdPaths.h"

#include <algorithm>
#include <filesystem>
#include <string_view>
#include <system_error>
#include <vector>

namespace orv {

namespace {

namespace fs = std::filesystem;

#ifdef _WIN32
constexpr char kSep = '\\';

fs::path toFsPath(const std::string& utf8) { return fs::path(std::u8string(utf8.begin(), utf8.end())); }

std::string fromFsName(const fs::path& p)
{
    const std::u8string s = p.filename().u8string();
    return std::string(s.begin(), s.end());
}
#else
constexpr char kSep = '/';

// Names on Unix are bytes; taking them as they are keeps names in any encoding usable.
fs::path toFsPath(const std::string& utf8) { return fs::path(utf8); }
std::string fromFsName(const fs::path& p) { return p.filename().string(); }
#endif

char asciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// Bytes of UTF-8 sequences are all 0x80 or above, so folding only A-Z leaves them intact.
bool equalsIgnoringAsciiCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size()
        && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return asciiLower(x) == asciiLower(y); });
}

bool exists(const std::string& path)
{
    std::error_code ec;
    return fs::exists(toFsPath(path), ec);
}

std::vector<std::string> split(const std::string& s, char sep)
{
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        const size_t pos = s.find(sep, start);
        parts.push_back(s.substr(start, pos == std::string::npos ? std::string::npos : pos - start));
        if (pos == std::string::npos)
            return parts;
        start = pos + 1;
    }
}

std::string joinPrefix(const std::vector<std::string>& parts, size_t count)
{
    std::string out;
    for (size_t i = 0; i < count; ++i) {
        if (i > 0)
            out += kSep;
        out += parts[i];
    }
    return out;
}

// The entry of dir whose name equals name without regard to ASCII case; empty when none.
// Where several match (a tree copied from several CDs), a folder is preferred on the way to the
// last component, then the smallest name, so the choice does not depend on listing order.
std::string findIgnoringCase(const std::string& dir, const std::string& name, bool wantFolder)
{
    std::error_code ec;
    fs::directory_iterator it(toFsPath(dir), ec);
    if (ec)
        return {};
    std::string best;
    bool bestIsFolder = false;
    for (const fs::directory_iterator end; it != end; it.increment(ec)) {
        if (ec)
            break;
        const std::string candidate = fromFsName(it->path());
        if (!equalsIgnoringAsciiCase(candidate, name))
            continue;
        std::error_code sec;
        const bool isFolder = it->is_directory(sec);
        const bool better = best.empty()
            || ((wantFolder && isFolder != bestIsFolder) ? isFolder : candidate < best);
        if (better) {
            best = candidate;
            bestIsFolder = isFolder;
        }
    }
    return best;
}

// The catalogue's relative path with the native separator and no leading separator, which would
// otherwise double the one that ends the drive root.
std::string nativeRelative(const std::string& catalogueFolder)
{
    std::string rel = catalogueFolder;
    std::replace(rel.begin(), rel.end(), '\\', kSep);
    const size_t first = rel.find_first_not_of(kSep);
    return first == std::string::npos ? std::string() : rel.substr(first);
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

std::string joinUnder(const std::string& driveRootPath, const std::string& relative)
{
    if (driveRootPath.empty())
        return relative;
    return ResolvePathCase(rootWithSeparator(driveRootPath) + relative);
}

} // namespace

std::string ResolvePathCase(const std::string& path)
{
#ifdef _WIN32
    // Windows file systems already ignore case.
    return path;
#else
    if (path.empty() || exists(path))
        return path;
    std::vector<std::string> parts = split(path, kSep);
    const bool absolute = path.front() == kSep;
    size_t last = parts.size();
    while (last > 0 && parts[last - 1].empty())
        --last;
    for (size_t i = 0; i < parts.size(); ++i) {
        std::string& part = parts[i];
        if (part.empty() || part == "." || part == "..")
            continue;
        const std::string prefix = joinPrefix(parts, i);
        const std::string exact = i == 0 ? part : prefix + kSep + part;
        if (exists(exact))
            continue;
        const std::string dir = prefix.empty() ? (absolute ? std::string(1, kSep) : std::string(".")) : prefix;
        const std::string found = findIgnoringCase(dir, part, i + 1 < last);
        // Nothing below a missing component can exist; the rest stays as written.
        if (found.empty())
            break;
        part = found;
    }
    return joinPrefix(parts, parts.size());
#endif
}

std::string EntryFolderPath(const std::string& driveRootPath, const std::string& entryFolder)
{
    return joinUnder(driveRootPath, nativeRelative(entryFolder));
}

std::string EntryFilePath(const std::string& driveRootPath, const std::string& entryFolder,
                          const std::string& fileName)
{
    std::string relative = nativeRelative(entryFolder);
    std::string file = fileName;
    std::replace(file.begin(), file.end(), '\\', kSep);
    if (!relative.empty() && relative.back() != kSep)
        relative += kSep;
    return joinUnder(driveRootPath, relative + file);
}

FolderCheck CheckFolderHasFiles(const std::string& folder, const std::string& driveRootPath)
{
    std::error_code ec;
    const fs::path root = toFsPath(driveRootPath);
    if (driveRootPath.empty() || !fs::is_directory(root, ec))
        return FolderCheck::Unusable;
    // A root that exists but cannot be listed (no permission, no medium) is not usable either.
    { fs::directory_iterator probe(root, ec); }
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
    if (result >= 32)
        return {};
    switch (result) {
    case 0:
        return "メモリ不足です。";
    case 2:
        return "ファイルが見つかりません。";
    case 3:
        return "ファイルのパスが見つかりません。";
    case 31:
        return file + " は\r\n関連付けされていないファイルです。\r\n関連付けを行って下さい。";
    default:
        return std::to_string(result) + "その他のエラー";
    }
}

std::string DriveUnusableMessage(const std::string& driveRoot)
{
    return "指定ドライブ " + driveRoot + " は、現在使用できません。";
}

} // namespace orv
