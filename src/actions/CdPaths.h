// Paths of an entry's file and folder on the CD, and the messages of the open actions.
#pragma once

#include <optional>
#include <string>

namespace orv {

// Where an entry's folder or file lies under the drive root. The catalogue's backslashes count as
// separators; "." and ".." are followed as the system would, and so are symbolic links. On file
// systems that tell case apart, each name is matched exactly where that works out, else without
// regard to case, trying each variant in turn until the whole path is found (CD file systems are
// mounted with upper or lower case names, and copies may mix both). The result is the drive root
// as given followed by the real names below it, with nothing left to resolve; when no part of the
// path exists beyond some folder, the rest follows as written. nullopt when the path would lead
// outside the drive root (itself resolved), when it holds a ".." below a missing folder, or when
// the search would take more than kMaxNamesTried names.
std::optional<std::string> EntryFolderPath(const std::string& driveRootPath, const std::string& entryFolder);

// The entry's file: its folder, a separator and its file name, resolved the same way.
std::optional<std::string> EntryFilePath(const std::string& driveRootPath, const std::string& entryFolder,
                                         const std::string& fileName);

// The folder as the window title shows it: EntryFolderPath where that lies under the drive root,
// else the drive root and the folder as stored.
std::string EntryFolderCaption(const std::string& driveRootPath, const std::string& entryFolder);

// Bound on the names the search above looks at for one path, so that a hostile catalogue or a
// folder holding many case variants of a name cannot make it run long.
inline constexpr int kMaxNamesTried = 256;

enum class FolderCheck { HasFiles, NoFiles, Unusable };

// Whether the folder holds at least one file (normal or hidden; subfolders do not count).
// Unusable when the drive root itself cannot be read (not mounted, no permission).
FolderCheck CheckFolderHasFiles(const std::string& folder, const std::string& driveRootPath);

// What the folder button finds for an entry's folder: Unusable for an unreadable drive root,
// NoFiles for a folder that lies outside it, else CheckFolderHasFiles. folder receives the path
// to show when the answer is HasFiles.
FolderCheck CheckEntryFolder(const std::string& driveRootPath, const std::string& entryFolder, std::string* folder);

// The message for a shell result (platform/shell/Shell.h): empty for success, kShellOpened or more.
std::string ShellOpenMessage(int result, const std::string& file);

inline constexpr const char* kNoFilesMessage = "無効なフォルダか、ファイルが存在しません。";
std::string DriveUnusableMessage(const std::string& driveRoot);

} // namespace orv
