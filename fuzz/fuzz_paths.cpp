// Catalogue folder and file names against a drive folder with links inside and out, case
// variants and a link loop. Whatever the names, a path handed on must lie below the drive root
// once its links and ".." are resolved, and must start with the root as the user gave it.
// Input: one byte choosing how the root is written (low three bits) and whether the folder
// button's check and the title are tried too (bit 3), then the folder up to the first line feed,
// then the file name.
#include "actions/CdPaths.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <system_error>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

struct Tree {
    fs::path base; // holds the drive folder and what lies beside it
    fs::path realRoot; // the drive folder, resolved
    std::string roots[5];
};

void touch(const fs::path& p)
{
    fs::create_directories(p.parent_path());
    std::ofstream(p) << "x";
}

const Tree& tree()
{
    static const Tree t = [] {
        char tmpl[] = "/tmp/fuzz_paths.XXXXXX";
        if (!::mkdtemp(tmpl))
            std::abort();
        Tree t;
        t.base = tmpl;
        const fs::path cd = t.base / "cd";
        touch(cd / "UTIL/SS/POINT/POINT.EXE");
        touch(cd / "UTIL/PC/SETUP.EXE");
        touch(cd / "util/SS/stage/stage.com");
        touch(cd / "util/ss/point/point.exe");
        fs::create_directories(cd / "Util/Ss");
        touch(cd / "UTIL/GAME");
        touch(cd / "UTIL/Game/RUN.EXE");
        touch(t.base / "outside/secret.txt");
        touch(t.base / "cd2/UTIL/other.txt");
        fs::create_directory_symlink("SS", cd / "UTIL/inner");
        fs::create_directory_symlink("..", cd / "UTIL/toroot");
        fs::create_directory_symlink("../../outside", cd / "UTIL/escape");
        fs::create_directory_symlink(t.base / "outside", cd / "UTIL/absolute");
        fs::create_directory_symlink("../../cd2", cd / "UTIL/sibling");
        fs::create_directory_symlink(cd / "UTIL/PC", cd / "UTIL/roundtrip");
        fs::create_symlink("../outside/secret.txt", cd / "secret.lnk");
        fs::create_symlink("loop", cd / "loop");
        fs::create_symlink("nowhere", cd / "dangling");
        for (const char* v : {"ab", "aB", "Ab", "AB"})
            fs::create_directory_symlink(".", cd / v);
        fs::create_directory_symlink(cd, t.base / "cdlink");
        t.realRoot = fs::canonical(cd);
        t.roots[0] = cd.string() + "/";
        t.roots[1] = cd.string();
        t.roots[2] = cd.string() + "\\";
        t.roots[3] = (t.base / "cdlink").string() + "/";
        t.roots[4] = (t.base / "outside").string() + "/../cd";
        static const std::string dir = t.base.string();
        std::atexit([] { std::filesystem::remove_all(dir); });
        return t;
    }();
    return t;
}

[[noreturn]] void fail(const char* what, const std::string& root, const std::string& folder, const std::string& file,
                       const std::string& path)
{
    std::fprintf(stderr, "%s\n  root:   %s\n  folder: %s\n  file:   %s\n  path:   %s\n", what, root.c_str(),
                 folder.c_str(), file.c_str(), path.c_str());
    std::abort();
}

bool inside(const fs::path& real, const fs::path& root)
{
    const fs::path rel = real.lexically_relative(root);
    return !rel.empty() && *rel.begin() != "..";
}

void check(const std::optional<std::string>& got, const std::string& root, const std::string& folder,
           const std::string& file)
{
    if (!got)
        return;
    const std::string& path = *got;
    std::string given = root;
    if (given.back() == '\\')
        given.back() = '/';
    if (given.back() != '/')
        given += '/';
    if (path.compare(0, given.size(), given) != 0)
        fail("the path does not start with the drive root as given", root, folder, file, path);
    if (path.find('\0') != std::string::npos)
        fail("the path holds a NUL", root, folder, file, path);
    // Nothing left to resolve below the root: no ".", "..", or empty names but a final one.
    const std::string below = path.substr(given.size());
    size_t start = 0;
    while (start < below.size()) {
        size_t end = below.find('/', start);
        if (end == std::string::npos)
            end = below.size();
        const std::string name = below.substr(start, end - start);
        if ((name.empty() && end != below.size() - 1) || name == "." || name == "..")
            fail("a name to resolve is left below the root", root, folder, file, path);
        start = end + 1;
    }
    // What exists of it resolves below the root; the rest cannot climb out, having no "..".
    fs::path existing = path;
    std::error_code ec;
    while (!existing.empty() && !fs::exists(fs::symlink_status(existing, ec)))
        existing = existing.parent_path();
    const fs::path real = fs::canonical(existing, ec);
    if (ec)
        fail("the path leads through a link that leads nowhere", root, folder, file, path);
    if (!inside(real, tree().realRoot))
        fail("the path leaves the drive root", root, folder, file, path);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const Tree& t = tree();
    const std::string& root = t.roots[(data[0] & 7) % 5];
    const std::string rest(reinterpret_cast<const char*>(data) + 1, size - 1);
    const size_t cut = rest.find('\n');
    const std::string folder = rest.substr(0, cut);
    const std::string file = cut == std::string::npos ? std::string() : rest.substr(cut + 1);

    check(orv::EntryFolderPath(root, folder), root, folder, file);
    check(orv::EntryFilePath(root, folder, file), root, folder, file);
    // These resolve the folder once more; only some inputs pay for that.
    if (data[0] & 8) {
        std::string shown;
        if (orv::CheckEntryFolder(root, folder, &shown) == orv::FolderCheck::HasFiles)
            check(shown, root, folder, file);
        (void)orv::EntryFolderCaption(root, folder);
    }
    return 0;
}
