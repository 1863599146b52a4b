// What the child readers of catalogues and disc images share: writing a whole buffer to a file
// descriptor, and knowing when AddressSanitizer is built in (it cannot start under a limit of the
// address space, which the children otherwise set).
#pragma once

#include <cerrno>
#include <cstddef>

#include <unistd.h>

#if defined(__SANITIZE_ADDRESS__)
#define ORV_ADDRESS_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ORV_ADDRESS_SANITIZER 1
#endif
#endif

namespace orv {

// Writes all n bytes, going on after interruptions; false on any failure.
inline bool WriteAll(int fd, const char* p, std::size_t n)
{
    while (n > 0) {
        const ssize_t w = ::write(fd, p, n);
        if (w < 0 && errno == EINTR)
            continue;
        if (w <= 0)
            return false;
        p += w;
        n -= std::size_t(w);
    }
    return true;
}

} // namespace orv
