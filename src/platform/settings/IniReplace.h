// Replacing the settings file whole: opened without blocking, new content in a temporary file
// beside it renamed over it (or the file rewritten in place where a rename would cut its other
// links), under an advisory lock that updates of several programs take in turn. Internal to the
// settings file.
#pragma once

#include <string>
#include <string_view>
#include <sys/stat.h>
#include <vector>

namespace orv::ini {

// A file descriptor closed with the object.
struct Fd {
    int fd = -1;
    Fd() = default;
    explicit Fd(int f) : fd(f) {}
    ~Fd();
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
};

enum class OpenResult { Ok, Missing, Failed };

// Opens a regular file for reading; opening does not block on a FIFO or device.
OpenResult openRegular(const std::string& path, Fd& f, struct stat* info);

struct PathParts {
    std::string dir; // with its trailing '/', empty for the current folder
    std::string base;
};

PathParts splitPath(const std::string& path);

// The file a path names through symbolic links (relative ones from their link's folder), whether
// that file exists or not; empty for a loop or a link that cannot be read.
std::string followLinks(const std::string& file);

// Removes the temporary files that updates of path killed half-way left behind: those no update
// holds (an update holds the lock of the file it writes), unless just made, and any a minute old.
void removeStaleTemporaries(const PathParts& p);

// An exclusive advisory lock on ".<name>.lock" beside the settings file, held while the object
// lives. Taken with a bounded wait; without it (no lock file possible, or a holder that does not
// let go) the update goes ahead anyway: the settings of this run matter more than the turn.
// places: where the lock file may be, the first that allows one is used.
class UpdateLock {
public:
    explicit UpdateLock(const std::vector<PathParts>& places);
    ~UpdateLock();
    UpdateLock(const UpdateLock&) = delete;
    UpdateLock& operator=(const UpdateLock&) = delete;

private:
    int fd_ = -1;
};

// A new file beside the one it will replace, named so that a later update recognises it, locked
// while its descriptor is open; its descriptor (-1 on failure) and name.
int createTemporary(const PathParts& parts, std::string& name);

// Rewrites the file itself: its inode, links, owner and permissions stay. The space is taken
// first where the file system can, so that a full disk fails before anything is overwritten.
bool rewriteInPlace(const std::string& path, std::string_view content, const struct stat& old);

} // namespace orv::ini
