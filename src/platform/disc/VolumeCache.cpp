#include "platform/disc/VolumeCache.h"

#include "platform/disc/SectorImage.h"
#include "platform/files/AddressSanitizer.h"
#include "platform/text/AsciiText.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#ifdef __linux__
#include <sys/prctl.h>
#endif

extern char** environ;

namespace orv {

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// The child's answers, as exit codes.
constexpr int kExitCopied = 0;
constexpr int kExitBase = 10; // + ImageCopyStatus

// Bound on what a dry run may print: the listed paths and a little more.
constexpr std::size_t kMaxOutput = 4u << 20;

int exitCodeOf(ImageCopyStatus s) { return s == ImageCopyStatus::Copied ? kExitCopied : kExitBase + int(s); }

ImageCopyStatus statusOfExit(int code)
{
    if (code == kExitCopied)
        return ImageCopyStatus::Copied;
    for (ImageCopyStatus s : {ImageCopyStatus::FolderMissing, ImageCopyStatus::TooLarge, ImageCopyStatus::Damaged,
                              ImageCopyStatus::WriteFailed})
        if (code == exitCodeOf(s))
            return s;
    return ImageCopyStatus::Damaged;
}

// The child, started with posix_spawn: its output on a pipe, in a process group of its own (out
// of the terminal's Ctrl+C), killed and reaped when dropped.
class Child {
public:
    Child(const std::vector<std::string>& args)
    {
        int out[2];
        if (::pipe2(out, O_CLOEXEC) != 0)
            return;
        std::vector<char*> argv;
        for (const std::string& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawnattr_t attr;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        posix_spawnattr_init(&attr);
        sigset_t none, defaults;
        sigemptyset(&none);
        sigemptyset(&defaults);
        sigaddset(&defaults, SIGPIPE);
        sigaddset(&defaults, SIGINT);
        sigaddset(&defaults, SIGTERM);
        sigaddset(&defaults, SIGHUP);
        posix_spawnattr_setsigmask(&attr, &none);
        posix_spawnattr_setsigdefault(&attr, &defaults);
        posix_spawnattr_setpgroup(&attr, 0);
        posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
        const int r = ::posix_spawn(&pid_, argv[0], &actions, &attr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attr);
        ::close(out[1]);
        if (r != 0) {
            pid_ = -1;
            ::close(out[0]);
            return;
        }
        output_ = out[0];
    }
    ~Child()
    {
        if (output_ >= 0)
            ::close(output_);
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            reap(true);
        }
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    bool started() const { return pid_ > 0; }

    // Reads the output to its end and waits for the exit, until the deadline. The exit code, or
    // -1 for a child that was killed, crashed, or said too much.
    int finish(Clock::time_point deadline, std::string* output)
    {
        char buf[65536];
        for (;;) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
            if (left <= 0)
                return -1;
            pollfd p{output_, POLLIN, 0};
            const int r = ::poll(&p, 1, int(std::min<long long>(left, 1000)));
            if (r < 0 && errno != EINTR)
                return -1;
            if (r <= 0)
                continue;
            const ssize_t n = ::read(output_, buf, sizeof buf);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break;
            output->append(buf, std::size_t(n));
            if (output->size() > kMaxOutput)
                return -1;
        }
        // The output has closed: the child is ending, or holds on to nothing useful.
        while (Clock::now() < deadline) {
            if (reap(false))
                return WIFEXITED(status_) ? WEXITSTATUS(status_) : -1;
            ::usleep(1000);
        }
        return -1;
    }

private:
    bool reap(bool block)
    {
        for (;;) {
            const pid_t r = ::waitpid(pid_, &status_, block ? 0 : WNOHANG);
            if (r < 0 && errno == EINTR)
                continue;
            if (r == pid_ || r < 0) {
                pid_ = -1;
                return true;
            }
            return false;
        }
    }

    pid_t pid_ = -1;
    int output_ = -1;
    int status_ = 0;
};

// The child's dry-run answer: "bytes files" on the first line, then one path a line.
void readListing(const std::string& text, ImageCopyResult* result)
{
    std::istringstream in(text);
    std::string line;
    unsigned long long bytes = 0, files = 0;
    if (!std::getline(in, line) || std::sscanf(line.c_str(), "%llu %llu", &bytes, &files) != 2) {
        result->status = ImageCopyStatus::Damaged;
        return;
    }
    result->bytes = bytes;
    result->files = files;
    while (std::getline(in, line) && result->listed.size() < kMaxListedFiles)
        result->listed.push_back(line);
}

// FNV-1a: short stable names for cache folders (the stamp inside tells the rest).
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

// What the copies of an image were made from: its path, size and modification time.
std::string stampOf(const std::string& image, const struct stat& st)
{
    std::ostringstream s;
    s << "image copy\n"
      << image << '\n'
      << st.st_size << '\n'
      << st.st_mtim.tv_sec << '.' << st.st_mtim.tv_nsec << '\n';
    return s.str();
}

// What a copy out of a sheet depends on besides the sheet: the files it names, their sizes and
// times. Their bytes are added to *bytes, which the time a read may take is measured by.
std::string dataFilesStamp(const std::string& image, unsigned long long* bytes)
{
    std::ostringstream s;
    for (const std::string& file : SheetDataFiles(image)) {
        struct stat st {};
        if (::stat(file.c_str(), &st) != 0)
            continue;
        s << file << '\n' << st.st_size << '\n' << st.st_mtim.tv_sec << '.' << st.st_mtim.tv_nsec << '\n';
        *bytes += static_cast<unsigned long long>(st.st_size);
    }
    return s.str();
}

std::string readSmallFile(const fs::path& p)
{
    std::ifstream in(p, std::ios::binary);
    std::string text(4096, '\0');
    in.read(text.data(), std::streamsize(text.size()));
    text.resize(std::size_t(in.gcount()));
    return text;
}

// Removes a folder of copies: renamed aside first, so that nothing half removed is ever found
// under its name.
void removeCopies(const fs::path& dir)
{
    std::error_code ec;
    std::string aside = (dir.parent_path() / ".old-XXXXXX").string();
    if (::mkdtemp(aside.data())) {
        const fs::path target = fs::path(aside) / "x";
        fs::rename(dir, target, ec);
        fs::remove_all(aside, ec);
    }
    fs::remove_all(dir, ec);
}

bool writeStamp(const fs::path& dir, const std::string& stamp)
{
    const fs::path tmp = dir / ".source.new";
    {
        std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
        out << stamp;
        if (!out.flush())
            return false;
    }
    std::error_code ec;
    fs::rename(tmp, dir / "source", ec);
    return !ec;
}

// The key of a folder inside an image: its names without regard to case, as the copy holds every
// case variant.
std::string folderKey(const std::vector<std::string>& folder)
{
    std::string key;
    for (const std::string& name : folder) {
        key += '/';
        for (char c : name)
            key += AsciiUpper(c);
    }
    return key;
}

std::string imageFolderName(const std::string& canonical)
{
    std::string name = fs::path(canonical).filename().string();
    if (name.size() > 80)
        name.resize(80);
    if (name.empty() || name[0] == '.')
        name.insert(0, "_");
    return name + '-' + hashName(canonical);
}

} // namespace

int ImageReadTimeLimitMs(unsigned long long imageSize)
{
    const unsigned long long seconds = 15 + imageSize / (32ull << 20);
    return int(std::min<unsigned long long>(seconds, 3600) * 1000);
}

int ServeImageFolderCopy(int argc, char** argv)
{
    if (argc < 4)
        return exitCodeOf(ImageCopyStatus::Damaged);
#ifdef __linux__
    // A reader left behind by a program that ended is of no use to anyone.
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() == 1)
        return exitCodeOf(ImageCopyStatus::Damaged);
#endif
    // Limits first, before any byte of the image is read.
    struct rlimit cpu {
        rlim_t(kImageReaderCpuSeconds), rlim_t(kImageReaderCpuSeconds)
    };
    ::setrlimit(RLIMIT_CPU, &cpu);
#ifndef ORV_ADDRESS_SANITIZER
    // AddressSanitizer reserves terabytes of address space for its shadow.
    struct rlimit as {
        rlim_t(kImageReaderMemory), rlim_t(kImageReaderMemory)
    };
    ::setrlimit(RLIMIT_AS, &as);
#endif
    // Joliet names come as UTF-16 and are handed on as UTF-8.
    std::setlocale(LC_CTYPE, "C.UTF-8");
    const std::string image = argv[2];
    const std::string dest = argv[3];
    std::vector<std::string> folder(argv + 4, argv + argc);
    ImageCopyResult r;
    try {
        r = CopyImageFolder(image, folder, dest);
    } catch (const std::exception&) {
        r.status = ImageCopyStatus::Damaged;
    }
    if (dest.empty() && r.status == ImageCopyStatus::Copied) {
        std::string out = std::to_string(r.bytes) + ' ' + std::to_string(r.files) + '\n';
        for (const std::string& path : r.listed)
            out += path + '\n';
        if (std::fwrite(out.data(), 1, out.size(), stdout) != out.size() || std::fflush(stdout) != 0)
            return exitCodeOf(ImageCopyStatus::Damaged);
    }
    return exitCodeOf(r.status);
}

ImageCopyResult CopyImageFolderInChild(const std::string& exe, const std::string& image,
                                       const std::vector<std::string>& folder, const std::string& dest, int timeLimitMs)
{
    ImageCopyResult result;
    std::vector<std::string> args{exe, kCopyImageFolderSwitch, image, dest};
    args.insert(args.end(), folder.begin(), folder.end());
    if (exe.empty())
        return result;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeLimitMs);
    Child child(args);
    if (!child.started())
        return result;
    std::string output;
    const int code = child.finish(deadline, &output);
    result.status = code < 0 ? ImageCopyStatus::Damaged : statusOfExit(code);
    if (dest.empty() && result.status == ImageCopyStatus::Copied)
        readListing(output, &result);
    return result;
}

VolumeCache::VolumeCache(std::string exe, std::string folder, int timeLimitMs)
    : exe_(std::move(exe)), folder_(std::move(folder)), timeLimitMs_(timeLimitMs)
{}

std::optional<std::string> VolumeCache::folderCopy(const std::string& image,
                                                   const std::vector<std::string>& folder) const
{
    struct stat st {};
    if (folder_.empty() || ::stat(image.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return std::nullopt;
    std::error_code ec;
    const fs::path canonical = fs::canonical(image, ec);
    if (ec)
        return std::nullopt;
    const fs::path dir = fs::path(folder_) / imageFolderName(canonical.string());
    const fs::path slot = dir / hashName(folderKey(folder));

    // Copies of an image that has changed since are thrown away, every folder of it.
    unsigned long long bytes = static_cast<unsigned long long>(st.st_size);
    const std::string stamp = stampOf(canonical.string(), st) + dataFilesStamp(canonical.string(), &bytes);
    if (readSmallFile(dir / "source") != stamp) {
        if (fs::exists(fs::symlink_status(dir, ec)))
            removeCopies(dir);
        fs::create_directories(dir, ec);
        fs::permissions(folder_, fs::perms::owner_all, fs::perm_options::replace, ec);
        if (!fs::is_directory(dir, ec) || !writeStamp(dir, stamp))
            return std::nullopt;
    } else if (fs::is_directory(fs::symlink_status(slot, ec))) {
        return slot.string();
    }

    std::string work = (dir / ".new-XXXXXX").string();
    if (!::mkdtemp(work.data()))
        return std::nullopt;
    const int limit = timeLimitMs_ > 0 ? timeLimitMs_ : ImageReadTimeLimitMs(bytes);
    const ImageCopyResult r = CopyImageFolderInChild(exe_, canonical.string(), folder, work, limit);
    if (r.status != ImageCopyStatus::Copied) {
        fs::remove_all(work, ec);
        return std::nullopt;
    }
    fs::rename(work, slot, ec);
    if (ec) {
        // Another run of the program put the same copy in place first.
        fs::remove_all(work, ec);
        if (!fs::is_directory(fs::symlink_status(slot, ec)))
            return std::nullopt;
    }
    return slot.string();
}

ImageCopyResult VolumeCache::check(const std::string& image, const std::vector<std::string>& folder) const
{
    struct stat st {};
    if (::stat(image.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return {};
    unsigned long long bytes = static_cast<unsigned long long>(st.st_size);
    dataFilesStamp(image, &bytes);
    const int limit = timeLimitMs_ > 0 ? timeLimitMs_ : ImageReadTimeLimitMs(bytes);
    return CopyImageFolderInChild(exe_, image, folder, std::string(), limit);
}

std::string VolumeCacheFolder(const std::string& cacheHome)
{
    if (cacheHome.empty())
        return {};
    return (fs::path(cacheHome) / "orvantis" / "volumes").string();
}

} // namespace orv
