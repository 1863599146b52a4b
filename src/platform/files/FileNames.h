// Finding files whose names were written in another letter case: catalogues and settings copied
// from CDs and Windows disks keep upper case names, while the program asks for lower case ones,
// and the CD's own folders may be mounted either way. Also the separator at the end of a folder's path.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace orv {

// The names in folder that equal name without regard to ASCII case: name itself first when an
// entry of exactly that name exists, then the others in byte order, at most limit names in all.
// Empty when the folder cannot be listed and holds no entry of exactly that name.
std::vector<std::string> NamesIgnoringCase(const std::string& folder, const std::string& name, std::size_t limit);

// The path to use for the file called name in folder: the exact name when it exists, else the
// first name of another case, else the exact name (where a new file will be created). folder may
// end in a separator or not.
std::string PathIgnoringCase(const std::string& folder, const std::string& name);

// true when path ends in a path separator ('/' everywhere, '\\' too on Windows).
bool EndsWithSeparator(const std::string& path);

// path with the platform's separator added when it does not end in one already.
std::string WithTrailingSeparator(const std::string& path);

} // namespace orv
