// The settings file: an INI file in CP932 (Shift-JIS) with CRLF line ends, behaving like the
// Windows private-profile functions. A file that starts with a UTF-8 or UTF-16 byte order mark
// (little- or big-endian) is read and written in that encoding instead.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace orv {

// Value of key in section of file (UTF-8 in and out), or def when the file, the section or the key
// does not exist. Names match without regard to ASCII case. A key present with an empty value reads
// as empty text. The stored value is cut to its first 127 bytes of CP932, never inside a character.
std::string ReadIni(const std::string& file, const std::string& section, const std::string& key,
                    const std::string& def);

struct IniKey {
    std::string section;
    std::string key;
};

// The values of several keys from one reading of the file, in the order asked: each as ReadIni
// gives it, or nullopt where the file, the section or the key does not exist.
std::vector<std::optional<std::string>> ReadIniKeys(const std::string& file, const std::vector<IniKey>& keys);

// Stores value under key in section, creating the file, section and key as needed (new sections at
// the end of the file, new keys at the end of their section). Every other line is kept as it was,
// and so is the key's own line when its value reads as the value given (whatever its bytes).
// Characters the file's encoding cannot hold are stored as the closest CP932 text ('?' at worst).
// Returns false, leaving the old file intact, when the file cannot be read or written.
bool WriteIni(const std::string& file, const std::string& section, const std::string& key, const std::string& value);

struct IniEntry {
    std::string section;
    std::string key;
    std::string value;
};

// Stores the entries as WriteIni would one after the other, in one update: the file is read once
// and replaced once, under an advisory lock on a lock file beside it, so that two programs writing
// at the same time never mix their updates (the later one's entries win whole). A lock that is
// not released within kIniLockWaitMs is not waited for any longer.
//
// The new content goes to a temporary file beside the file, renamed over it. A file with other
// hard links, or in a folder where no temporary file can be created, is rewritten in place
// instead. A symbolic link is followed: the file it names is updated, or made when it is not
// there yet; the link stays. Temporary files that an interrupted update left are removed.
bool WriteIniEntries(const std::string& file, const std::vector<IniEntry>& entries);

// Removes the temporary files that updates of file killed half-way left beside it (those no update
// is writing), as the next update would; for the start-up.
void RemoveStaleIniTemporaries(const std::string& file);

inline constexpr int kIniLockWaitMs = 2000;

} // namespace orv
