// A library of CD copies: a drive folder that holds copies of several volumes, as folders or as
// disc images. An entry opens from the drive folder itself when its path is there (a disc in the
// drive, or a single copy), else from the copy of its own volume.
#pragma once

#include "actions/CdPaths.h"
#include "platform/disc/DiscImage.h"

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orv {

// A child of the drive folder that may be a volume's copy: a folder, or a disc image file.
struct VolumeCandidate {
    std::string name;
    bool folder = false;
};

// A disc image's file name, by its extension in any letter case: an ISO image (".iso"), a sheet
// (".cue", ".ccd", ".mds"), a Nero image (".nrg"), or a data file (".bin", ".img", ".mdf").
bool IsImageName(std::string_view name);

// The candidate that stands for the volume cdno (an entry's gt_cdno), or nullopt. A name (an
// image's without its extension) stands for it exactly when it equals "CD" + cdno or cdno, letter case
// and character width aside; failing that, when its first run of digits has the value of cdno's
// leading digits ("CD004", "cd4", "お楽しみCD 4.iso", "vol.04" for "004"). Exact names come before
// numbers, folders before images, sheets before other images, then names in byte order. A cdno
// without leading digits is matched by its exact name only.
std::optional<std::size_t> PickVolume(const std::vector<VolumeCandidate>& candidates, std::string_view cdno);

// The folders and image files among the drive folder's children, by name; a link counts by what
// it leads to, and only when that lies inside the drive folder. A file that a sheet beside it
// names (a CUE sheet's BIN, a CloneCD .img, an Alcohol .mdf) belongs to the sheet: the sheet is
// the volume. At most kMaxVolumeCandidates children are looked at.
std::vector<VolumeCandidate> VolumeCandidates(const std::string& driveRootPath);
inline constexpr std::size_t kMaxVolumeCandidates = 4096;

enum class EntryOrigin { Drive, VolumeFolder, VolumeImage };

struct EntryPlace {
    EntryOrigin origin = EntryOrigin::Drive;
    std::string volume; // the drive root, the volume's folder, or its image file
    // Drive and VolumeFolder: the path to open, resolved below volume. VolumeImage: the path
    // inside the image, its names joined by '/'.
    std::string path;
    std::vector<std::string> imageFolder; // VolumeImage: the entry's folder inside the image
    bool exists = false; // Drive and VolumeFolder: path is there (a folder, for a folder)
};

// Where an entry's folder (fileName null) or file opens from: the drive folder when the path is
// there; else the copy of the entry's volume among the drive folder's children, a folder or an
// image, when there is one; else the drive folder, the path as CdPaths names it. nullopt for a
// path that leads outside the drive folder, outside the volume's folder, or above the root of
// the image.
std::optional<EntryPlace> LocateEntry(const std::string& driveRootPath, const std::string& cdno,
                                      const std::string& entryFolder, const std::string* fileName);

// The title's folder part: where the entry's folder opens from. The drive folder's path as
// EntryFolderCaption gives it; for a volume's folder copy the folder inside it; for a volume's
// image the image's path followed by the folder inside it ('/'-separated).
std::string EntryPlaceCaption(const std::string& driveRootPath, const std::string& cdno,
                              const std::string& entryFolder);

// A copy of an image's folder (its names inside the image) out into the cache: the folder below
// which it lies as in the image, or why there is none.
using ImageFolderCopier =
    std::function<ImageFolderCopy(const std::string& image, const std::vector<std::string>& folder)>;

// How the copy went when an entry opens out of an image.
struct ImageCopyOutcome {
    std::string image; // empty when no image was read
    ImageCopyStatus status = ImageCopyStatus::Copied;
};

// The file the file button opens: as EntryFilePath, from the entry's volume copy when the drive
// folder does not hold it; from an image, the file inside the folder's copy. nullopt for what is
// reported as a missing file (a path leading outside, a folder the image does not hold) and for an
// image that cannot give the folder, whose outcome then says why.
std::optional<std::string> EntryFileToOpen(const std::string& driveRootPath, const std::string& cdno,
                                           const std::string& entryFolder, const std::string& fileName,
                                           const ImageFolderCopier& copier, ImageCopyOutcome* outcome = nullptr);

// The folder button's check: as CheckEntryFolder, from the entry's volume copy when the drive
// folder does not hold the folder; NoFiles for an image that cannot give it (outcome says why).
FolderCheck CheckEntryFolderInLibrary(const std::string& driveRootPath, const std::string& cdno,
                                      const std::string& entryFolder, const ImageFolderCopier& copier,
                                      std::string* folder, ImageCopyOutcome* outcome = nullptr);

// The message for an image copy that failed, naming the image (its file name) and, where the cache
// is at fault, the cache folder. Empty where another message (a missing file or folder) or none
// (a copy the user cancelled) is due.
std::string ImageCopyMessage(ImageCopyStatus status, const std::string& image, const std::string& cacheFolder);

} // namespace orv
