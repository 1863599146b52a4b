#include "platform/settings/IniReplace.h"

#include "platform/files/FileIo.h"
#include "platform/settings/Ini.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <dirent.h>
#include <fcntl.h>
#include <random>
#include <sys/file.h>
#include <thread>
#include <unistd.h>

namespace orv::ini {

namespace {

// Temporary files of an update older than this were left by an interrupted one, whatever their
// lock says; younger ones that no update holds were left too, unless made a moment ago (between
// their creation and their lock).
constexpr auto kStaleTemporaryAge = std::chrono::seconds(60);
constexpr auto kFreshTemporaryAge = std::chrono::seconds(2);

// Symbolic links followed before a path counts as a loop (as the kernel's limit).
constexpr int kMaxLinkHops = 40;

// ".tevo.ini.<digits>.tmp": a temporary file of an update of base.
bool isTemporaryName(std::string_view name, std::string_view base)
{
    const std::string_view suffix = ".tmp";
    if (name.size() <= base.size() + 2 + suffix.size() || name[0] != '.' || name.substr(1, base.size()) != base
        || name[base.size() + 1] != '.' || name.substr(name.size() - suffix.size()) != suffix)
        return false;
    const std::string_view digits = name.substr(base.size() + 2, name.size() - base.size() - 2 - suffix.size());
    for (char c : digits)
        if (c < '0' || c > '9')
            return false;
    return true;
}

} // namespace

Fd::~Fd()
{
    if (fd >= 0)
        ::close(fd);
}

OpenResult openRegular(const std::string& path, Fd& f, struct stat* info)
{
    f.fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (f.fd < 0)
        return errno == ENOENT ? OpenResult::Missing : OpenResult::Failed;
    struct stat st {};
    if (::fstat(f.fd, &st) != 0 || !S_ISREG(st.st_mode))
        return OpenResult::Failed;
    if (info)
        *info = st;
    return OpenResult::Ok;
}

PathParts splitPath(const std::string& path)
{
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return {std::string(), path};
    return {path.substr(0, slash + 1), path.substr(slash + 1)};
}

std::string followLinks(const std::string& file)
{
    std::string path = file;
    for (int hops = 0; hops <= kMaxLinkHops; ++hops) {
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
            return path;
        std::string target(std::max<size_t>(static_cast<size_t>(st.st_size), 64), '\0');
        for (;;) {
            const ssize_t n = ::readlink(path.c_str(), target.data(), target.size());
            if (n < 0)
                return {};
            if (static_cast<size_t>(n) < target.size()) {
                target.resize(static_cast<size_t>(n));
                break;
            }
            target.resize(target.size() * 2);
        }
        if (target.empty())
            return {};
        path = target.front() == '/' ? target : splitPath(path).dir + target;
    }
    return {};
}

void removeStaleTemporaries(const PathParts& p)
{
    DIR* d = ::opendir(p.dir.empty() ? "." : p.dir.c_str());
    if (!d)
        return;
    const auto now = std::chrono::system_clock::now();
    while (const dirent* e = ::readdir(d)) {
        if (!isTemporaryName(e->d_name, p.base))
            continue;
        const std::string full = p.dir + e->d_name;
        const Fd f(::open(full.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
        struct stat st {};
        if (f.fd < 0 || ::fstat(f.fd, &st) != 0 || !S_ISREG(st.st_mode))
            continue;
        const auto age = now - std::chrono::system_clock::from_time_t(st.st_mtim.tv_sec);
        // The update writing a temporary file holds its lock until it closes it, and renames it
        // at once (the age covers that moment); without locks (a file system that has none),
        // only age tells.
        bool unheld = false;
        if (::flock(f.fd, LOCK_EX | LOCK_NB) == 0)
            unheld = true;
        else if (errno == EWOULDBLOCK)
            continue;
        if ((unheld && age > kFreshTemporaryAge) || age > kStaleTemporaryAge)
            ::unlink(full.c_str());
    }
    ::closedir(d);
}

UpdateLock::UpdateLock(const std::vector<PathParts>& places)
{
    for (const PathParts& p : places) {
        fd_ = ::open((p.dir + "." + p.base + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0666);
        if (fd_ >= 0)
            break;
    }
    if (fd_ < 0)
        return;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kIniLockWaitMs);
    while (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
        if (errno == EINTR)
            continue;
        if (errno != EWOULDBLOCK || std::chrono::steady_clock::now() >= deadline)
            return;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

UpdateLock::~UpdateLock()
{
    if (fd_ >= 0)
        ::close(fd_); // releases the lock
}

int createTemporary(const PathParts& parts, std::string& name)
{
    std::random_device rd;
    for (int attempt = 0; attempt < 16; ++attempt) {
        name = parts.dir + "." + parts.base + "." + std::to_string(rd()) + ".tmp";
        // 0666 under the umask: a new file gets the permissions any new file would get.
        const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            // Held until the file is closed: a later update or start-up leaves it alone.
            ::flock(fd, LOCK_EX | LOCK_NB);
            return fd;
        }
        if (errno != EEXIST)
            return fd;
    }
    return -1;
}

bool rewriteInPlace(const std::string& path, std::string_view content, const struct stat& old)
{
    Fd f(::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC));
    if (f.fd < 0)
        return false;
    struct stat st {};
    bool ok = ::fstat(f.fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_dev == old.st_dev && st.st_ino == old.st_ino;
    if (ok && static_cast<off_t>(content.size()) > st.st_size
        && ::fallocate(f.fd, 0, 0, static_cast<off_t>(content.size())) != 0)
        ok = errno == EOPNOTSUPP || errno == ENOSYS;
    ok = ok && ::lseek(f.fd, 0, SEEK_SET) == 0 && writeAll(f.fd, content)
        && ::ftruncate(f.fd, static_cast<off_t>(content.size())) == 0 && ::fsync(f.fd) == 0;
    const int fd = f.fd;
    f.fd = -1;
    return ::close(fd) == 0 && ok;
}

} // namespace orv::ini
