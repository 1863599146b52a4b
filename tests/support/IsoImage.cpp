#include "support/IsoImage.h"

#include "support/TestSupport.h"

#include <archive.h>
#include <archive_entry.h>

#include <algorithm>
#include <cstdint>
#include <locale.h>
#include <set>
#include <stdexcept>
#include <utility>

namespace orvtest {

void writeIsoImage(const std::string& path, const std::vector<IsoEntry>& entries, const std::string& options)
{
    // Names are UTF-8, whatever the test process's locale (Joliet needs them converted).
    const locale_t utf8 = ::newlocale(LC_CTYPE_MASK, "C.UTF-8", nullptr);
    const locale_t previous = ::uselocale(utf8);
    struct Restore {
        locale_t utf8, previous;
        ~Restore()
        {
            ::uselocale(previous);
            ::freelocale(utf8);
        }
    } restore{utf8, previous};
    archive* a = archive_write_new();
    archive_write_set_format_iso9660(a);
    if (!options.empty() && archive_write_set_options(a, options.c_str()) != ARCHIVE_OK)
        throw std::runtime_error(archive_error_string(a));
    if (archive_write_open_filename(a, path.c_str()) != ARCHIVE_OK)
        throw std::runtime_error(archive_error_string(a));
    // The writer pairs a hard link with its target by name among the files that have links.
    std::set<std::string> linked;
    for (const IsoEntry& entry : entries)
        if (entry.kind == IsoEntry::Kind::HardLink)
            linked.insert(entry.data);
    for (const IsoEntry& entry : entries) {
        archive_entry* e = archive_entry_new();
        archive_entry_set_pathname(e, entry.path.c_str());
        archive_entry_set_mtime(e, 883612800, 0);
        switch (entry.kind) {
        case IsoEntry::Kind::Folder:
            archive_entry_set_filetype(e, AE_IFDIR);
            archive_entry_set_perm(e, 0755);
            break;
        case IsoEntry::Kind::File:
            archive_entry_set_filetype(e, AE_IFREG);
            archive_entry_set_perm(e, 0644);
            archive_entry_set_size(e, la_int64_t(entry.data.size()));
            archive_entry_set_nlink(e, linked.count(entry.path) ? 2 : 1);
            break;
        case IsoEntry::Kind::Link:
            archive_entry_set_filetype(e, AE_IFLNK);
            archive_entry_set_perm(e, 0777);
            archive_entry_set_symlink(e, entry.data.c_str());
            break;
        case IsoEntry::Kind::HardLink:
            archive_entry_set_filetype(e, AE_IFREG);
            archive_entry_set_perm(e, 0644);
            archive_entry_set_hardlink(e, entry.data.c_str());
            archive_entry_set_nlink(e, 2);
            archive_entry_set_size(e, 0);
            break;
        }
        if (archive_write_header(a, e) != ARCHIVE_OK)
            throw std::runtime_error(archive_error_string(a));
        if (entry.kind == IsoEntry::Kind::File && !entry.data.empty())
            archive_write_data(a, entry.data.data(), entry.data.size());
        archive_entry_free(e);
    }
    if (archive_write_close(a) != ARCHIVE_OK)
        throw std::runtime_error(archive_error_string(a));
    archive_write_free(a);
}

int patchFileBytes(const std::string& path, const std::string& from, const std::string& to)
{
    if (from.size() != to.size() || from.empty())
        throw std::invalid_argument("patchFileBytes: lengths differ");
    std::string bytes = readFileBytes(path);
    int n = 0;
    for (std::size_t at = bytes.find(from); at != std::string::npos; at = bytes.find(from, at + to.size())) {
        bytes.replace(at, from.size(), to);
        ++n;
    }
    writeFileBytes(path, bytes);
    return n;
}

namespace {

constexpr std::size_t kSector = 2048;
constexpr std::size_t kPrimaryVolume = 16 * kSector;

std::uint32_t le32(const std::string& b, std::size_t at)
{
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i)
        v = (v << 8) | static_cast<unsigned char>(b.at(at + std::size_t(i)));
    return v;
}

std::uint32_t be32(const std::string& b, std::size_t at)
{
    std::uint32_t v = 0;
    for (int i = 0; i < 4; ++i)
        v = (v << 8) | static_cast<unsigned char>(b.at(at + std::size_t(i)));
    return v;
}

void putLe32(std::string& b, std::size_t at, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b.at(at + std::size_t(i)) = static_cast<char>((v >> (8 * i)) & 0xff);
}

void putBe32(std::string& b, std::size_t at, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b.at(at + std::size_t(i)) = static_cast<char>((v >> (8 * (3 - i))) & 0xff);
}

struct Extent {
    std::uint32_t sector = 0;
    std::uint32_t size = 0;
};

Extent extentOf(const std::string& img, std::size_t record) { return {le32(img, record + 2), le32(img, record + 10)}; }

bool isFolderRecord(const std::string& img, std::size_t record) { return (img.at(record + 25) & 2) != 0; }

std::string identifierOf(const std::string& img, std::size_t record)
{
    return img.substr(record + 33, static_cast<unsigned char>(img.at(record + 32)));
}

bool isSelfOrParent(const std::string& img, std::size_t record)
{
    const std::string id = identifierOf(img, record);
    return id.size() == 1 && (id[0] == '\0' || id[0] == '\1');
}

// Calls f with the offset of every record of the directory.
template <class F> void forEachRecord(const std::string& img, Extent dir, F&& f)
{
    for (std::size_t s = 0; s < (dir.size + kSector - 1) / kSector; ++s) {
        const std::size_t base = (dir.sector + s) * kSector;
        for (std::size_t at = 0; at < kSector;) {
            const unsigned len = static_cast<unsigned char>(img.at(base + at));
            if (len == 0)
                break;
            f(base + at);
            at += len;
        }
    }
}

Extent findFolder(const std::string& img, Extent dir, const std::string& path)
{
    std::size_t start = 0;
    while (start < path.size()) {
        const std::size_t slash = std::min(path.find('/', start), path.size());
        const std::string name = path.substr(start, slash - start);
        bool found = false;
        forEachRecord(img, dir, [&](std::size_t r) {
            if (!found && isFolderRecord(img, r) && identifierOf(img, r) == name) {
                dir = extentOf(img, r);
                found = true;
            }
        });
        if (!found)
            throw std::runtime_error("swapDirectoryExtents: no folder " + path);
        start = slash + 1;
    }
    return dir;
}

void collectFolders(const std::string& img, Extent dir, std::vector<Extent>* out)
{
    out->push_back(dir);
    forEachRecord(img, dir, [&](std::size_t r) {
        if (isFolderRecord(img, r) && !isSelfOrParent(img, r))
            collectFolders(img, extentOf(img, r), out);
    });
}

} // namespace

void swapDirectoryExtents(const std::string& path, const std::string& a, const std::string& b)
{
    std::string img = readFileBytes(path);
    const Extent root = extentOf(img, kPrimaryVolume + 156);
    const Extent first = findFolder(img, root, a), second = findFolder(img, root, b);
    if (first.size > kSector || second.size > kSector)
        throw std::runtime_error("swapDirectoryExtents: a directory of more than one sector");
    const auto swapped = [&](std::uint32_t sector) {
        return sector == first.sector ? second.sector : sector == second.sector ? first.sector : sector;
    };
    std::vector<Extent> folders;
    collectFolders(img, root, &folders);
    for (const Extent& dir : folders) {
        forEachRecord(img, dir, [&](std::size_t r) {
            const std::uint32_t sector = swapped(le32(img, r + 2));
            putLe32(img, r + 2, sector);
            putBe32(img, r + 6, sector);
        });
    }
    // The path tables: type L little-endian, type M big-endian, each with its optional copy.
    const std::uint32_t tableSize = le32(img, kPrimaryVolume + 132);
    const std::pair<std::size_t, bool> tables[] = {{140, false}, {144, false}, {148, true}, {152, true}};
    for (const auto& [field, bigEndian] : tables) {
        const std::uint32_t at = bigEndian ? be32(img, kPrimaryVolume + field) : le32(img, kPrimaryVolume + field);
        if (at == 0)
            continue;
        const std::size_t base = std::size_t(at) * kSector;
        for (std::size_t p = base; p < base + tableSize;) {
            const unsigned nameLen = static_cast<unsigned char>(img.at(p));
            if (nameLen == 0)
                break;
            if (bigEndian)
                putBe32(img, p + 2, swapped(be32(img, p + 2)));
            else
                putLe32(img, p + 2, swapped(le32(img, p + 2)));
            p += 8 + nameLen + (nameLen & 1);
        }
    }
    std::string block = img.substr(std::size_t(first.sector) * kSector, kSector);
    img.replace(std::size_t(first.sector) * kSector, kSector, img, std::size_t(second.sector) * kSector, kSector);
    img.replace(std::size_t(second.sector) * kSector, kSector, block);
    writeFileBytes(path, img);
}

} // namespace orvtest
