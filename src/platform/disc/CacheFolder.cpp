#include "platform/disc/CacheFolder.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <system_error>
#include <tuple>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <time.h>
#include <unistd.h>

namespace orv {

namespace {

namespace fs = std::filesystem;

constexpr std::string_view kSizeSuffix = ".size";
constexpr std::string_view kNewPrefix = ".new-";
constexpr std::string_view kOldPrefix = ".old-";
constexpr std::string_view kTempPrefix = ".tmp-";

bool startsWith(std::string_view s, std::string_view prefix) { return s.substr(0, prefix.size()) == prefix; }

bool endsWith(std::string_view s, std::string_view suffix)
{
    return s.size() > suffix.size() && s.substr(s.size() - suffix.size()) == suffix;
}

// FNV-1a: short stable names for folders (the stamp inside tells the rest).
std::string hashName(const std::string& text)
{
    std::uint64_t h = 1469598103934665603ull;
    for (unsigned char c : text) {
        h ^= c;
        h *= 1099511628211ull;
    }
    char buf[17];
    std::snprintf(buf, sizeof buf, "%016llx", static_cast<unsigned long long>(h));
    return buf;
}

bool lstatOf(const std::string& path, struct stat* st) { return ::lstat(path.c_str(), st) == 0; }

std::vector<std::string> namesIn(const std::string& dir)
{
    std::vector<std::string> out;
    std::error_code ec;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec))
        out.push_back(it->path().filename().string());
    return out;
}

// Renames what is at path into a new folder on its way out, beside it.
void renameAside(const std::string& dir, const std::string& path)
{
    std::string aside = dir + '/' + std::string(kOldPrefix) + "XXXXXX";
    if (!::mkdtemp(aside.data())) {
        std::error_code ec;
        fs::remove_all(path, ec);
        return;
    }
    if (::rename(path.c_str(), (aside + "/x").c_str()) != 0) {
        std::error_code ec;
        fs::remove_all(path, ec);
    }
}

} // namespace

std::optional<std::uint64_t> ParseCacheLimit(std::string_view text)
{
    if (text.empty() || text.size() > 24)
        return std::nullopt;
    std::uint64_t value = 0;
    std::size_t i = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        if (value > (~0ull - 9) / 10)
            return std::nullopt;
        value = value * 10 + std::uint64_t(text[i] - '0');
    }
    if (i == 0)
        return std::nullopt;
    int shift = 0;
    if (i + 1 == text.size()) {
        switch (text[i]) {
        case 'K':
        case 'k': shift = 10; break;
        case 'M':
        case 'm': shift = 20; break;
        case 'G':
        case 'g': shift = 30; break;
        case 'T':
        case 't': shift = 40; break;
        default: return std::nullopt;
        }
    } else if (i != text.size()) {
        return std::nullopt;
    }
    if (shift && value > (~0ull >> shift))
        return std::nullopt;
    return value << shift;
}

std::uint64_t CacheLimitFromEnvironment()
{
    const char* text = std::getenv("ORVANTIS_CACHE_LIMIT");
    const std::optional<std::uint64_t> limit = text ? ParseCacheLimit(text) : std::nullopt;
    return limit ? *limit : kDefaultCacheLimit;
}

FileLock::~FileLock()
{
    if (fd_ >= 0)
        ::close(fd_);
}

FileLock::FileLock(FileLock&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }

FileLock& FileLock::operator=(FileLock&& other) noexcept
{
    if (this != &other) {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = other.fd_;
        other.fd_ = -1;
    }
    return *this;
}

FileLock FileLock::ImageFolder(const std::string& imageDir)
{
    const std::string path = imageDir + "/lock";
    for (int attempt = 0; attempt < 2; ++attempt) {
        const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0) {
            // A link or a folder where the lock file goes.
            std::error_code ec;
            fs::remove_all(path, ec);
            continue;
        }
        int r;
        do
            r = ::flock(fd, LOCK_EX);
        while (r != 0 && errno == EINTR);
        if (r == 0)
            return FileLock(fd);
        ::close(fd);
        break;
    }
    return {};
}

FileLock FileLock::FolderIfFree(const std::string& dir)
{
    const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return {};
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return {};
    }
    return FileLock(fd);
}

std::string ImageStamp(const std::string& canonicalImage, const struct stat& st)
{
    std::ostringstream s;
    s << "image copy\n"
      << canonicalImage << '\n'
      << st.st_size << '\n'
      << st.st_mtim.tv_sec << '.' << st.st_mtim.tv_nsec << '\n'
      << st.st_ctim.tv_sec << '.' << st.st_ctim.tv_nsec << '\n'
      << st.st_ino << '\n'
      << st.st_dev << '\n';
    return s.str();
}

std::string ImageFolderName(const std::string& canonicalImage)
{
    std::string name = fs::path(canonicalImage).filename().string();
    if (name.size() > 80)
        name.resize(80);
    if (name.empty() || name[0] == '.')
        name.insert(0, "_");
    return name + '-' + hashName(canonicalImage);
}

std::string SlotName(const std::vector<std::string>& folder)
{
    std::string key;
    for (const std::string& name : folder) {
        key += '/';
        for (char c : name)
            key += (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c;
    }
    return hashName(key);
}

bool IsImageFolder(const std::string& imageDir)
{
    return IsRealFolder(imageDir) && ReadSmallFile(imageDir + "/source").rfind("image copy\n", 0) == 0;
}

bool IsRealFolder(const std::string& path)
{
    struct stat st {};
    return lstatOf(path, &st) && S_ISDIR(st.st_mode);
}

bool MakeRealFolder(const std::string& path)
{
    struct stat st {};
    if (lstatOf(path, &st)) {
        if (S_ISDIR(st.st_mode))
            return true;
        std::error_code ec;
        fs::remove(path, ec); // the link itself, never what it leads to
    }
    if (::mkdir(path.c_str(), 0700) == 0)
        return true;
    return errno == EEXIST && IsRealFolder(path);
}

std::string ReadSmallFile(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return {};
    std::string text(4096, '\0');
    std::size_t got = 0;
    while (got < text.size()) {
        const ssize_t n = ::read(fd, text.data() + got, text.size() - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        got += std::size_t(n);
    }
    ::close(fd);
    text.resize(got);
    return text;
}

bool WriteSmallFile(const std::string& path, const std::string& text)
{
    std::string tmp = fs::path(path).parent_path().string() + '/' + std::string(kTempPrefix) + "XXXXXX";
    const int fd = ::mkostemp(tmp.data(), O_CLOEXEC);
    if (fd < 0)
        return false;
    bool ok = true;
    for (std::size_t at = 0; ok && at < text.size();) {
        const ssize_t n = ::write(fd, text.data() + at, text.size() - at);
        if (n < 0 && errno == EINTR)
            continue;
        ok = n > 0;
        at += ok ? std::size_t(n) : 0;
    }
    ok = ::close(fd) == 0 && ok;
    // rename replaces whatever stands at path, a link included, without following it.
    ok = ok && ::rename(tmp.c_str(), path.c_str()) == 0;
    if (!ok)
        ::unlink(tmp.c_str());
    return ok;
}

std::vector<CacheSlot> CacheSlots(const std::string& root)
{
    std::vector<CacheSlot> out;
    for (const std::string& image : namesIn(root)) {
        const std::string imageDir = root + '/' + image;
        if (!IsRealFolder(imageDir))
            continue;
        for (const std::string& name : namesIn(imageDir)) {
            if (!endsWith(name, kSizeSuffix))
                continue;
            const std::string slot = name.substr(0, name.size() - kSizeSuffix.size());
            struct stat st {};
            if (!lstatOf(imageDir + '/' + name, &st) || !S_ISREG(st.st_mode) || !IsRealFolder(imageDir + '/' + slot))
                continue;
            CacheSlot s;
            s.imageDir = imageDir;
            s.name = slot;
            s.bytes = std::strtoull(ReadSmallFile(imageDir + '/' + name).c_str(), nullptr, 10);
            s.usedNs = std::int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
            out.push_back(std::move(s));
        }
    }
    std::sort(out.begin(), out.end(), [](const CacheSlot& a, const CacheSlot& b) {
        return std::tie(a.usedNs, a.imageDir, a.name) < std::tie(b.usedNs, b.imageDir, b.name);
    });
    return out;
}

bool IsSlot(const std::string& imageDir, const std::string& name)
{
    struct stat st {};
    return IsRealFolder(imageDir + '/' + name) && lstatOf(imageDir + '/' + name + std::string(kSizeSuffix), &st)
        && S_ISREG(st.st_mode);
}

void TouchSlot(const std::string& imageDir, const std::string& name)
{
    // The clock itself rather than UTIME_NOW, which the kernel takes at its timer's coarse steps:
    // two uses a moment apart must come in their order.
    struct timespec now[2]{};
    ::clock_gettime(CLOCK_REALTIME, &now[0]);
    now[1] = now[0];
    ::utimensat(AT_FDCWD, (imageDir + '/' + name + std::string(kSizeSuffix)).c_str(), now, AT_SYMLINK_NOFOLLOW);
}

bool RecordSlot(const std::string& imageDir, const std::string& name, std::uint64_t bytes)
{
    if (!WriteSmallFile(imageDir + '/' + name + std::string(kSizeSuffix), std::to_string(bytes)))
        return false;
    TouchSlot(imageDir, name);
    return true;
}

void RetireSlotLocked(const std::string& imageDir, const std::string& name)
{
    ::unlink((imageDir + '/' + name + std::string(kSizeSuffix)).c_str());
    struct stat st {};
    if (lstatOf(imageDir + '/' + name, &st))
        renameAside(imageDir, imageDir + '/' + name);
}

void RetireImageCopiesLocked(const std::string& imageDir)
{
    for (const std::string& name : namesIn(imageDir)) {
        if (name == "lock" || startsWith(name, kNewPrefix) || startsWith(name, kOldPrefix))
            continue;
        if (endsWith(name, kSizeSuffix) || startsWith(name, kTempPrefix) || name == "source")
            ::unlink((imageDir + '/' + name).c_str());
        else
            renameAside(imageDir, imageDir + '/' + name);
    }
}

std::uint64_t MakeRoom(const std::string& root, std::uint64_t limit, std::uint64_t incoming, const std::string& keep,
                       std::uint64_t freeNow, std::uint64_t freeNeeded)
{
    const std::vector<CacheSlot> slots = CacheSlots(root);
    std::uint64_t total = 0;
    for (const CacheSlot& s : slots)
        total += s.bytes;
    std::uint64_t retired = 0;
    for (const CacheSlot& s : slots) {
        if (total + incoming <= limit && freeNow + retired >= freeNeeded)
            break;
        if (s.imageDir + '/' + s.name == keep)
            continue;
        const FileLock lock = FileLock::ImageFolder(s.imageDir);
        RetireSlotLocked(s.imageDir, s.name);
        total -= std::min(total, s.bytes);
        retired += s.bytes;
    }
    return retired;
}

namespace {

// Tidies an image folder under its lock; what is to be removed goes into retired.
void tidyLocked(const std::string& imageDir, std::vector<std::string>* retired)
{
    const FileLock lock = FileLock::ImageFolder(imageDir);
    if (!lock.held())
        return;
    const std::vector<std::string> names = namesIn(imageDir);
    const auto has = [&](const std::string& name) {
        return std::find(names.begin(), names.end(), name) != names.end();
    };
    for (const std::string& name : names) {
        const std::string path = imageDir + '/' + name;
        if (startsWith(name, kNewPrefix)) {
            // Made by a program that has ended (or been killed): its lock went with it.
            if (FileLock::FolderIfFree(path).held())
                renameAside(imageDir, path);
        } else if (startsWith(name, kTempPrefix)) {
            ::unlink(path.c_str());
        } else if (endsWith(name, kSizeSuffix)) {
            if (!IsRealFolder(imageDir + '/' + name.substr(0, name.size() - kSizeSuffix.size())))
                ::unlink(path.c_str());
        } else if (name != "source" && name != "lock" && !startsWith(name, kOldPrefix)
                   && !has(name + std::string(kSizeSuffix))) {
            // A copy never recorded (its program ended between the two steps), or not ours.
            renameAside(imageDir, path);
        }
    }
    for (const std::string& name : namesIn(imageDir))
        if (startsWith(name, kOldPrefix))
            retired->push_back(imageDir + '/' + name);
}

// Outside the locks: a large copy takes a while to remove, and nobody uses these any more.
void removeAll(const std::vector<std::string>& retired)
{
    for (const std::string& path : retired) {
        std::error_code ec;
        fs::remove_all(path, ec);
    }
}

} // namespace

void TidyCache(const std::string& root)
{
    std::vector<std::string> retired;
    for (const std::string& image : namesIn(root))
        if (IsImageFolder(root + '/' + image))
            tidyLocked(root + '/' + image, &retired);
    removeAll(retired);
}

void TidyImageFolder(const std::string& imageDir)
{
    std::vector<std::string> retired;
    if (IsImageFolder(imageDir))
        tidyLocked(imageDir, &retired);
    removeAll(retired);
}

std::uint64_t FreeBytes(const std::string& path)
{
    struct statvfs st {};
    if (::statvfs(path.c_str(), &st) != 0)
        return 0;
    return std::uint64_t(st.f_bavail) * std::uint64_t(st.f_frsize);
}

std::uint64_t DiskBytesFor(std::uint64_t bytes, std::uint64_t files)
{
    constexpr std::uint64_t kBlock = 4096;
    return bytes + files * kBlock + (1ull << 20);
}

} // namespace orv
