// Copying one folder out of an ISO 9660 image (Joliet and Rock Ridge names included) through
// libarchive, without mounting it. This reads the image in the calling process: the program only
// does that in a child under limits (VolumeCache.h); tests and the fuzz target call it directly.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace orv {

// The most a folder copy may hold, in file bytes.
inline constexpr std::uint64_t kMaxFolderCopyBytes = 1ull << 30;

enum class ImageCopyStatus {
    Copied, // the folder was found; every file below it was written
    FolderMissing, // the image holds no folder of that name in any case
    TooLarge, // the files below the folder hold more than the limit
    Damaged, // the image could not be read to the end of the folder's files
    WriteFailed, // the copy could not be written (disk full, no permission)
};

struct ImageCopyResult {
    ImageCopyStatus status = ImageCopyStatus::Damaged;
    std::uint64_t bytes = 0; // file bytes below the folder
    std::uint64_t files = 0;
    // A dry run's regular files below the folder, as paths relative to the image's root
    // ('/'-separated, the image's own names), at most kMaxListedFiles.
    std::vector<std::string> listed;
};

inline constexpr std::size_t kMaxListedFiles = 10000;

// The folder is given as its names inside the image (no "." or ".."), matched against the image's
// names without regard to ASCII letter case; every folder of the image that matches is taken,
// each under its own names, so that the copy can be searched as the image would be.
//
// dest is an existing empty folder: each matching folder's tree is written below it under the
// image's names (dest/UTIL/SS/POINT/...), files read-only. Only folders and regular files are
// written: links, devices and entries whose names hold "..", or that repeat a name already
// written, are left out, so nothing lands outside dest, whatever the image names. An empty dest
// writes nothing: a dry run that checks the folder and lists its files.
ImageCopyResult CopyImageFolder(const std::string& image, const std::vector<std::string>& folder,
                                const std::string& dest, std::uint64_t maxBytes = kMaxFolderCopyBytes);

// The same over an image held in memory.
ImageCopyResult CopyImageFolderFromMemory(const void* data, std::size_t size, const std::vector<std::string>& folder,
                                          const std::string& dest, std::uint64_t maxBytes = kMaxFolderCopyBytes);

// The names of a path inside an image as a '/' or '\' separated text: empty and "." names
// dropped, ".." taking back the name before it. false when a ".." would climb above the root.
bool ImagePathNames(const std::string& path, std::vector<std::string>* names);

} // namespace orv
