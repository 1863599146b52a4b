// Copies of folders out of disc images, kept in the user's cache. An image is untrusted input like
// a catalogue: it is read by a child process of the program under limits (ImageReader.h), which
// writes the copy into a temporary folder; only a copy that the child finished whole, from an
// image that did not change meanwhile, is renamed into place (CacheFolder.h has the layout).
#pragma once

#include "platform/disc/CacheFolder.h"
#include "platform/disc/DiscImage.h"
#include "platform/disc/ImageReader.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace orv {

// One copy being made: the child reads the image while its parent waits on waitFd() (an event
// loop, or RunToEnd) and calls step() with each piece of news, until ended().
class ImageCopyRun {
public:
    ~ImageCopyRun(); // a run not ended is cancelled
    ImageCopyRun(const ImageCopyRun&) = delete;
    ImageCopyRun& operator=(const ImageCopyRun&) = delete;

    bool ended() const { return ended_; }
    const ImageFolderCopy& result() const { return result_; }
    // What to wait on for news (readable when there is some); -1: look again every few
    // milliseconds.
    int waitFd() const;
    // Milliseconds left until the read's time limit.
    int msLeft() const;
    // Takes the child's news: its size (then the room is made and the child told to go on), its
    // progress, its end. Ends the run at the time limit too.
    void step();
    // Ends the child, removes what it wrote; the result is Cancelled.
    void cancel();
    // File bytes written so far, of the folder's total (0 until it is known).
    std::uint64_t bytesDone() const { return done_; }
    std::uint64_t bytesTotal() const { return total_; }
    // File bytes of older copies put on their way out to make room (TidyCache removes them).
    std::uint64_t bytesRetired() const { return retired_; }

private:
    friend class VolumeCache;
    ImageCopyRun() = default;
    void finish(ImageCopyStatus status);
    void madeRoom();

    bool ended_ = false;
    ImageFolderCopy result_;
    std::string root_, imageDir_, slot_, work_, canonical_, stamp_;
    std::uint64_t limit_ = 0;
    std::function<std::uint64_t(const std::string&)> freeBytes_;
    FileLock workLock_;
    std::unique_ptr<ImageReaderChild> child_;
    std::string pending_; // the child's output not taken yet
    bool going_ = false; // told to go on after its size
    std::chrono::steady_clock::time_point deadline_;
    std::uint64_t done_ = 0, total_ = 0, files_ = 0, retired_ = 0;
};

// Waits on the run until it ends (poll, no event loop).
void RunToEnd(ImageCopyRun& run);

struct VolumeCacheLimits {
    std::uint64_t totalBytes = kDefaultCacheLimit; // all copies together
    int timeLimitMs = 0; // a read's wall time; 0 for ImageReadTimeLimitMs of the image
    // The bytes free on the disk of a folder; FreeBytes when empty.
    std::function<std::uint64_t(const std::string&)> freeBytes;
};

class VolumeCache {
public:
    // exe: the program that serves kCopyImageFolderSwitch. folder: where the copies live
    // ($XDG_CACHE_HOME/orvantis/volumes).
    VolumeCache(std::string exe, std::string folder, VolumeCacheLimits limits = {});

    // The copy of an image's folder (given by its names inside the image): one made earlier from
    // the same image, unchanged since (stamp), ended at once; else a run that makes it. A run
    // fails for an image that cannot be read whole, holds no such folder, or whose folder holds
    // more than kMaxFolderCopyBytes, and for a cache that cannot be written or has no room.
    std::unique_ptr<ImageCopyRun> start(const std::string& image, const std::vector<std::string>& folder) const;

    // start, run to its end.
    ImageFolderCopy folderCopy(const std::string& image, const std::vector<std::string>& folder) const;

    // Reads the folder's files in the child without copying them (a dry run).
    ImageCopyResult check(const std::string& image, const std::vector<std::string>& folder) const;

    const std::string& folder() const { return folder_; }

private:
    int timeLimitFor(unsigned long long imageSize) const;

    std::string exe_;
    std::string folder_;
    VolumeCacheLimits limits_;
};

// The switch that tidies the cache in a process of its own, at start-up:
//   exe --tidy-volume-cache FOLDER
inline constexpr const char* kTidyCacheSwitch = "--tidy-volume-cache";

// Brings the copies within the limit (ORVANTIS_CACHE_LIMIT) and removes what interrupted copies
// left (TidyCache). Returns the exit code.
int ServeCacheTidy(const std::string& folder);

// The folder of the copies: <cacheHome>/orvantis/volumes.
std::string VolumeCacheFolder(const std::string& cacheHome);

} // namespace orv
