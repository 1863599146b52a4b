// The folder of copies out of disc images: its layout, its locks and its bounds.
//
//   <root>/<image name>-<hash>/          one folder per image (its canonical path hashed)
//       source                           the image's stamp: path, size, modification and change
//                                        times, inode and device
//       lock                             held (flock) while the folder's entries are changed
//       <slot>/                          a finished copy of one folder of the image
//       <slot>.size                      its file bytes; its modification time is its last use
//       .new-XXXXXX/                     a copy being made, held (flock) by the program making it
//       .old-XXXXXX/                     a copy on its way out: nobody uses it
//
// Nothing below the root is followed as a link: what stands where a folder of ours should be and
// is not one (a link, a file) is removed and the folder made again.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <sys/stat.h>

namespace orv {

// The cache's overall size, unless ORVANTIS_CACHE_LIMIT says otherwise.
inline constexpr std::uint64_t kDefaultCacheLimit = 4ull << 30;

// A size such as "4G", "500M", "1048576" (bytes; K, M, G and T as powers of 1024); nullopt for
// anything else.
std::optional<std::uint64_t> ParseCacheLimit(std::string_view text);

// The limit from the environment's ORVANTIS_CACHE_LIMIT, or the default.
std::uint64_t CacheLimitFromEnvironment();

// An exclusive flock on a file or folder, released when the object goes.
class FileLock {
public:
    FileLock() = default;
    ~FileLock();
    FileLock(FileLock&& other) noexcept;
    FileLock& operator=(FileLock&& other) noexcept;
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    // The image folder's lock file, waited for. Not held when the file cannot be made.
    static FileLock ImageFolder(const std::string& imageDir);
    // A folder, only when nobody holds it now.
    static FileLock FolderIfFree(const std::string& dir);
    bool held() const { return fd_ >= 0; }

private:
    explicit FileLock(int fd) : fd_(fd) {}
    int fd_ = -1;
};

// What the copies of an image were made from.
std::string ImageStamp(const std::string& canonicalImage, const struct stat& st);

// The image's folder below the root: the image's file name (shortened) and a hash of its path.
std::string ImageFolderName(const std::string& canonicalImage);

// The slot of a folder inside an image (its names, any letter case: a copy holds every variant).
std::string SlotName(const std::vector<std::string>& folder);

// Whether an image folder is one of ours: it holds a stamp. Only such folders are ever tidied.
bool IsImageFolder(const std::string& imageDir);

// Makes path a folder of its own: a link, a file or anything else standing there is removed
// first. false when that cannot be done.
bool MakeRealFolder(const std::string& path);

// Whether path is a folder itself (not a link to one).
bool IsRealFolder(const std::string& path);

// The small text file at path (at most 4 KiB; never through a link), or empty.
std::string ReadSmallFile(const std::string& path);

// Writes text to path through a new file renamed into place, never through a link.
bool WriteSmallFile(const std::string& path, const std::string& text);

// A finished copy: its image folder, its name there, its bytes, its last use.
struct CacheSlot {
    std::string imageDir;
    std::string name;
    std::uint64_t bytes = 0;
    std::int64_t usedNs = 0;
};

// Every finished copy below the root, the least recently used first.
std::vector<CacheSlot> CacheSlots(const std::string& root);

// Whether the image folder holds a finished copy of that name.
bool IsSlot(const std::string& imageDir, const std::string& name);

// Marks a slot as used now.
void TouchSlot(const std::string& imageDir, const std::string& name);

// Records a finished copy's bytes beside it (this also makes it a slot).
bool RecordSlot(const std::string& imageDir, const std::string& name, std::uint64_t bytes);

// Puts a slot (or whatever stands at its name) on its way out: renamed aside, no longer found.
// The removal itself is TidyCache's. The caller holds the image folder's lock.
void RetireSlotLocked(const std::string& imageDir, const std::string& name);

// Retires every copy of the image folder, leaving the copies being made. The caller holds the
// image folder's lock.
void RetireImageCopiesLocked(const std::string& imageDir);

// Retires the least recently used copies (never keep, a slot's path) until the others and
// incoming bytes fit in limit, and until freeNow and the bytes retired come to freeNeeded or
// nothing else can go. The bytes retired.
std::uint64_t MakeRoom(const std::string& root, std::uint64_t limit, std::uint64_t incoming, const std::string& keep,
                       std::uint64_t freeNow, std::uint64_t freeNeeded);

// Removes what interrupted or retired copies left in the image folders below root: folders on
// their way out, copies being made that nobody holds any more, copies never recorded. A copy
// another running program is making is left alone, and so is anything outside image folders.
void TidyCache(const std::string& root);

// The same in one image folder.
void TidyImageFolder(const std::string& imageDir);

// The bytes free for an unprivileged user on the disk of path; 0 when that cannot be told.
std::uint64_t FreeBytes(const std::string& path);

// What a copy of the given file bytes and file count takes on a disk: each file rounded up to a
// block, a block for each folder's worth of names, and some slack.
std::uint64_t DiskBytesFor(std::uint64_t bytes, std::uint64_t files);

} // namespace orv
