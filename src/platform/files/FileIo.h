// Writing through file descriptors, for the settings file and the reader child's stream.
#pragma once

#include <string_view>

namespace orv {

// Writes all of data to fd, going on after interruptions and partial writes; false when a write
// fails (errno tells why) or writes nothing.
bool writeAll(int fd, std::string_view data);

} // namespace orv
