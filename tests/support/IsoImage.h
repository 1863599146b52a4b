// Disc images for the tests, written with libarchive's ISO 9660 writer.
#pragma once

#include <string>
#include <vector>

namespace orvtest {

struct IsoEntry {
    enum class Kind { Folder, File, Link, HardLink };
    Kind kind;
    std::string path; // '/'-separated, relative to the image's root
    std::string data; // a file's bytes, or a link's target
};

inline IsoEntry isoFolder(std::string path) { return {IsoEntry::Kind::Folder, std::move(path), {}}; }
inline IsoEntry isoFile(std::string path, std::string data)
{
    return {IsoEntry::Kind::File, std::move(path), std::move(data)};
}
inline IsoEntry isoLink(std::string path, std::string target)
{
    return {IsoEntry::Kind::Link, std::move(path), std::move(target)};
}
inline IsoEntry isoHardLink(std::string path, std::string target)
{
    return {IsoEntry::Kind::HardLink, std::move(path), std::move(target)};
}

// Writes the image; options as the writer takes them: "" (Rock Ridge and Joliet names),
// "!rockridge" (Joliet only), "!rockridge,!joliet" (plain ISO 9660 names).
void writeIsoImage(const std::string& path, const std::vector<IsoEntry>& entries, const std::string& options = "");

// Replaces every occurrence of from in the file by to (of the same length); the number replaced.
int patchFileBytes(const std::string& path, const std::string& from, const std::string& to);

// Swaps where two folders' directories lie in the image (each one sector), so that the one written
// later comes first: the sectors trade places and every directory record and path table entry that
// names either is changed to match. The folders are named by their ISO 9660 identifiers in the
// primary tree ("UTIL/X/SUB"); the image is still valid, only laid out in another order.
void swapDirectoryExtents(const std::string& path, const std::string& a, const std::string& b);

} // namespace orvtest
