#include "platform/settings/IniReplace.h"

#include "platform/files/FileIo.h"
#include "platform/settings/Ini.h"

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

// Temporary files of an update older than this were left by an interrupted one.
constexpr auto kStaleTemporaryAge = std::chrono::seconds(60);

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
        struct stat st {};
        if (::lstat(full.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
            continue;
        const auto modified = std::chrono::system_clock::from_time_t(st.st_mtim.tv_sec);
        if (now - modified > kStaleTemporaryAge)
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
        if (fd >= 0 || errno != EEXIST)
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
