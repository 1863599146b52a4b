// The mounted discs and removable volumes, read from the kernel's mount table
// (/proc/self/mountinfo), for the drive chooser to show first.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orv {

struct MountedVolume {
    std::string mountPoint;
    std::string fsType;
    std::string source; // the device or what stands for it
};

// The removable and optical volumes of a mountinfo text: every iso9660 and udf file system
// wherever it is mounted, and the mounts where desktops put volumes: /media/NAME,
// /media/USER/NAME, /run/media/<user>/NAME and /mnt/NAME. A mount point mounted over again counts
// once, as its last mount; the order is the text's. Lines that are not in the mountinfo form are
// passed over.
std::vector<MountedVolume> RemovableVolumes(std::string_view mountinfo, const std::string& user);

// The name to show for a volume: its label when it has one, else the last name of its mount
// point.
std::string VolumeDisplayName(const MountedVolume& volume, const std::string& label);

// The places a folder chooser offers at its top, in order: the removable and optical volumes of
// the mount table (each by its name), then the home folder (when there is one), then the root.
struct ChooserPlace {
    enum class Kind { Disc, Removable, Home, Root };
    Kind kind;
    std::string name;
    std::string path;
};
using VolumeLabel = std::function<std::string(const MountedVolume&)>;
std::vector<ChooserPlace> ChooserPlaces(std::string_view mountinfo, const std::string& user, const std::string& home,
                                        const VolumeLabel& label);

// The place that holds an absolute path: the one whose path is the longest that leads to it, name
// by name. nullopt when none does.
std::optional<std::size_t> PlaceHolding(const std::vector<ChooserPlace>& places, const std::string& path);

// A folder typed into the chooser as an absolute path: a leading "~" is the home folder; a
// relative path lies below base (the place shown). "." and ".." names are resolved, repeated
// separators dropped. Empty for an empty text.
std::string ChooserTypedPath(std::string_view typed, const std::string& home, const std::string& base);

} // namespace orv
