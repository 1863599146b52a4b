// Paths of an entry's file and folder on the CD, and the messages of the open actions.
#pragma once

#include <string>

namespace orv {

// driveRootPath + folder, the catalogue's backslashes turned into the native separator, and on
// file systems that tell case apart each component matched without regard to case where the
// exact name does not exist (CD file systems are mounted with upper or lower case names).
std::string EntryFolderPath(const std::string& driveRootPath, const std::string& entryFolder);

// EntryFolderPath + separator + file name, resolved the same way.
std::string EntryFilePath(const std::string& driveRootPath, const std::string& entryFolder,
                          const std::string& fileName);

// Resolves each component of an absolute path without regard to case where the exact name does
// not exist; components that match nothing are kept as written.
std::string ResolvePathCase(const std::string& path);

enum class FolderCheck { HasFiles, NoFiles, Unusable };

// Whether the folder holds at least one file (normal or hidden; subfolders do not count).
// Unusable when the drive root itself cannot be read (not mounted, no permission).
FolderCheck CheckFolderHasFiles(const std::string& folder, const std::string& driveRootPath);

// The message for a shell result below 32 (empty for success, 32 or more).
std::string ShellOpenMessage(int result, const std::string& file);

inline constexpr const char* kNoFilesMessage = "無効なフォルダか、ファイルが存在しません。";
std::string DriveUnusableMessage(const std::string& driveRoot);

} // namespace orv
