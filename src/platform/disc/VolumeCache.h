// Copies of folders out of disc images, kept in the user's cache. An image is untrusted input like
// a catalogue: it is read by a child process of the program under limits of memory, processor
// time and wall time, which writes the copy into a temporary folder; only a copy that the child
// finished is renamed into place, so a damaged or hostile image never leaves a partial file where
// a whole one is looked for.
#pragma once

#include "platform/disc/DiscImage.h"

#include <optional>
#include <string>
#include <vector>

namespace orv {

// The switch that makes the program (or orvantis-query) serve one image read:
//   exe --copy-image-folder IMAGE DEST [NAME...]
// DEST empty for a dry run, which prints the size, the file count and the files' paths.
inline constexpr const char* kCopyImageFolderSwitch = "--copy-image-folder";

// Child side: argv as main has it, argv[1] being the switch. Returns the exit code.
int ServeImageFolderCopy(int argc, char** argv);

// What the child may take: its address space, its processor time.
inline constexpr unsigned long long kImageReaderMemory = 512ull << 20;
inline constexpr int kImageReaderCpuSeconds = 60;

// The wall time a read may take for an image of the given size (a sheet's: with the files it
// names): 15 s, and a second for each 32 MB of the image.
int ImageReadTimeLimitMs(unsigned long long imageSize);

// Runs the child reader: `exe --copy-image-folder image dest folder...` within timeLimitMs.
// Anything but a clean answer (a crash, a kill at the limit, a child that cannot start) is
// Damaged.
ImageCopyResult CopyImageFolderInChild(const std::string& exe, const std::string& image,
                                       const std::vector<std::string>& folder, const std::string& dest,
                                       int timeLimitMs);

class VolumeCache {
public:
    // exe: the program that serves the switch above. folder: where the copies live
    // ($XDG_CACHE_HOME/orvantis/volumes). timeLimitMs: 0 for ImageReadTimeLimitMs.
    VolumeCache(std::string exe, std::string folder, int timeLimitMs = 0);

    // The folder below which the image's folder (given by its names inside the image) lies as
    // in the image (root/UTIL/SS/POINT/...): a copy made earlier from the same image, unchanged
    // since in size and modification time (a sheet with the files it names), or a new one. nullopt when the image cannot be read,
    // holds no such folder, or the folder holds more than kMaxFolderCopyBytes.
    std::optional<std::string> folderCopy(const std::string& image, const std::vector<std::string>& folder) const;

    // Reads the folder's files in the child without copying them (a dry run).
    ImageCopyResult check(const std::string& image, const std::vector<std::string>& folder) const;

    const std::string& folder() const { return folder_; }

private:
    std::string exe_;
    std::string folder_;
    int timeLimitMs_;
};

// The folder of the copies: <cacheHome>/orvantis/volumes.
std::string VolumeCacheFolder(const std::string& cacheHome);

} // namespace orv
