#include "platform/reader/MdbReader.h"

// libmdb's header includes glib inside its own extern "C" block; glib must come first in C++.
#include <glib.h>
#include <mdbtools.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace orv {

FileFormat detectFileFormat(const std::string& path)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return errno == ENOENT || errno == ENOTDIR ? FileFormat::Missing : FileFormat::Unreadable;
    // A FIFO would block the open until someone writes to it, a device could stream forever.
    if (!S_ISREG(st.st_mode))
        return FileFormat::NotAFile;
    // Not blocking, and checked again on what was opened: the name may have changed meanwhile.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return errno == ENOENT || errno == ENOTDIR ? FileFormat::Missing : FileFormat::Unreadable;
    unsigned char head[32] = {};
    size_t got = 0;
    bool regular = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    while (regular && got < sizeof head) {
        const ssize_t n = ::read(fd, head + got, sizeof head - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        got += size_t(n);
    }
    ::close(fd);
    if (!regular)
        return FileFormat::NotAFile;
    if (got >= 16 && std::memcmp(head, "SQLite format 3\0", 16) == 0)
        return FileFormat::SQLite;
    if (got < 0x15 || head[0] != 0 || head[1] != 1 || head[2] != 0 || head[3] != 0)
        return FileFormat::Unknown;
    if (std::memcmp(head + 4, "Standard ACE DB\0", 16) == 0)
        return FileFormat::Ace;
    if (std::memcmp(head + 4, "Standard Jet DB\0", 16) != 0)
        return FileFormat::Unknown;
    switch (head[0x14]) {
    case MDB_VER_JET3: return FileFormat::Jet3;
    case MDB_VER_JET4: return FileFormat::Jet4;
    default: return FileFormat::Ace;
    }
}

} // namespace orv
