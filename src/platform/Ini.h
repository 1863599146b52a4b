// The settings file: an INI file in CP932 (Shift-JIS) with CRLF line ends, read and written one
// value at a time, behaving like the Windows private-profile functions.
#pragma once

#include <string>

namespace orv {

// Value of key in section of file (UTF-8 in and out), or def when the file, the section or the key
// does not exist. Names match without regard to ASCII case. A key present with an empty value reads
// as empty text. The stored value is cut to its first 127 bytes of CP932, never inside a character.
std::string ReadIni(const std::string& file, const std::string& section, const std::string& key,
                    const std::string& def);

// Stores value under key in section, creating the file, section and key as needed (new sections at
// the end of the file, new keys at the end of their section). Every other line is kept as it was.
// The new content is written to a temporary file beside it and renamed over it, so a failed write
// returns false and leaves the old file intact. Characters CP932 cannot hold are stored as the
// closest CP932 text ('?' at worst).
bool WriteIni(const std::string& file, const std::string& section, const std::string& key,
              const std::string& value);

} // namespace orv
