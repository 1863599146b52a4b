// Copying one folder out of an ISO 9660 image (Joliet and Rock Ridge names included) through
// libarchive, without mounting it. This reads the image in the calling process: the program only
// does that in a child under limits (VolumeCache.h); tests and the fuzz target call it directly.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace orv {

// The most a folder copy may hold, in file bytes.
inline constexpr std::uint64_t kMaxFolderCopyBytes = 1ull << 30;

enum class ImageCopyStatus {
    Copied, // the folder was found; every file below it was written
    FolderMissing, // the image holds no folder of that name in any case
    TooLarge, // the files below the folder hold more than the limit
    Damaged, // the folder cannot be read whole: the image is damaged, or holds what cannot be copied
    WriteFailed, // the copy could not be written (no permission, not a folder, an I/O error)
    NoSpace, // the disk (or the user's quota) has no room for the copy
    TimedOut, // the read did not end within its time
    Cancelled, // the user stopped it
};

// Called as a copy writes file data, with the file bytes written so far.
using ImageCopyProgress = std::function<void(std::uint64_t bytes)>;

struct ImageCopyResult {
    ImageCopyStatus status = ImageCopyStatus::Damaged;
    std::uint64_t bytes = 0; // file bytes below the folder
    std::uint64_t files = 0;
    // A dry run's regular files below the folder, as paths relative to the image's root
    // ('/'-separated, the image's own names), at most kMaxListedFiles.
    std::vector<std::string> listed;
};

inline constexpr std::size_t kMaxListedFiles = 10000;

// A folder's copy kept for use: where it lies, or why there is none.
struct ImageFolderCopy {
    ImageCopyStatus status = ImageCopyStatus::Damaged;
    std::string folder; // Copied: the folder below which the image's folder lies as in the image
};

// The folder is given as its names inside the image (no "." or ".."), matched against the image's
// names without regard to ASCII letter case; every folder of the image that matches is taken,
// each under its own names, so that the copy can be searched as the image would be.
//
// dest is an existing empty folder: each matching folder's tree is written below it under the
// image's names (dest/UTIL/SS/POINT/...), files read-only. An empty dest writes nothing: a dry run
// that checks the folder's names and sizes from the image's directory and lists its files,
// refusing what a copy would refuse short of reading the data (ListImageFolder reads that too).
//
// A copy is whole or refused (Damaged). Refused: a warning of the reader about an entry that may
// lie in the folder, an entry the reader cannot name (a Joliet name that is not valid UTF-16; the
// reader gives no name for it at all, so it may lie anywhere), a subfolder of the folder (or of a
// folder on the way to it) that the reader left unread (its directory lying before its parent's),
// an entry below the folder whose name cannot be written (a name that climbs with "..", a name
// longer than the file system allows, a name given twice, a file where a folder must be), a hard
// link to a file the image does not hold whole, a file shorter or longer than its size. Links,
// devices and other entries that are neither files nor folders are never written, so nothing
// lands outside dest, whatever the image names.
ImageCopyResult CopyImageFolder(const std::string& image, const std::vector<std::string>& folder,
                                const std::string& dest, std::uint64_t maxBytes = kMaxFolderCopyBytes,
                                const ImageCopyProgress& progress = {});

// The same over an image held in memory.
ImageCopyResult CopyImageFolderFromMemory(const void* data, std::size_t size, const std::vector<std::string>& folder,
                                          const std::string& dest, std::uint64_t maxBytes = kMaxFolderCopyBytes);

// A dry run that reads the files' data too (and drops it), as a copy reads it: what it lists and
// refuses is what a copy would hold and refuse.
ImageCopyResult ListImageFolder(const std::string& image, const std::vector<std::string>& folder,
                                std::uint64_t maxBytes = kMaxFolderCopyBytes);
ImageCopyResult ListImageFolderFromMemory(const void* data, std::size_t size, const std::vector<std::string>& folder,
                                          std::uint64_t maxBytes = kMaxFolderCopyBytes);

// The names of a path inside an image as a '/' or '\' separated text: empty and "." names
// dropped, ".." taking back the name before it. false when a ".." would climb above the root.
bool ImagePathNames(const std::string& path, std::vector<std::string>* names);

} // namespace orv
