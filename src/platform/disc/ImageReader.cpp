#include "platform/disc/ImageReader.h"

#include "platform/disc/CacheFolder.h"
#include "platform/files/AddressSanitizer.h"
#include "platform/files/FileIo.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#ifdef __linux__
#include <sys/prctl.h>
#endif

extern char** environ;

namespace orv {

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kExitBase = 10; // + ImageCopyStatus
// Bound on what a dry run may print: the listed paths and a little more.
constexpr std::size_t kMaxListing = 4u << 20;
// Bound on a line of a copy's news.
constexpr std::size_t kMaxLine = 256;
// How often a copy reports its progress, in bytes written.
constexpr std::uint64_t kProgressStep = 1u << 20;

bool say(const std::string& text) { return writeAll(1, text); }

void limitChild()
{
#ifdef __linux__
    // A reader left behind by a program that ended is of no use to anyone.
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
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
}

int serve(const std::string& image, const std::string& dest, const std::vector<std::string>& folder)
{
    // A listing is of what a copy would hold: the data is read too. A copy's own first pass reads
    // the directory alone, for its size; the copy reads the rest.
    const ImageCopyResult dry =
        dest.empty() ? ListImageFolder(image, folder) : CopyImageFolder(image, folder, std::string());
    if (dest.empty()) {
        if (dry.status != ImageCopyStatus::Copied)
            return ImageReaderExitCode(dry.status);
        return ImageReaderExitCode(say(ReaderListingText(dry)) ? ImageCopyStatus::Copied : ImageCopyStatus::Damaged);
    }
    if (dry.status != ImageCopyStatus::Copied)
        return ImageReaderExitCode(dry.status);
    // The parent makes room for the copy, or stops here.
    if (!say("size " + std::to_string(dry.bytes) + ' ' + std::to_string(dry.files) + '\n'))
        return ImageReaderExitCode(ImageCopyStatus::Cancelled);
    char go = 0;
    ssize_t n;
    do
        n = ::read(0, &go, 1);
    while (n < 0 && errno == EINTR);
    if (n != 1 || go != 'c')
        return ImageReaderExitCode(ImageCopyStatus::Cancelled);
    // What interrupted copies of this image left goes first; the rest of the cache's leftovers and
    // the copies retired to make room go too when the room was counted with them gone.
    const std::filesystem::path imageDir = std::filesystem::path(dest).parent_path();
    TidyImageFolder(imageDir.string());
    if (FreeBytes(dest) < DiskBytesFor(dry.bytes, dry.files))
        TidyCache(imageDir.parent_path().string());
    std::uint64_t reported = 0;
    const ImageCopyResult r =
        CopyImageFolder(image, folder, dest, kMaxFolderCopyBytes, [&reported](std::uint64_t bytes) {
            if (bytes - reported >= kProgressStep) {
                reported = bytes;
                say("progress " + std::to_string(bytes) + '\n');
            }
        });
    // The image changed between the two reads.
    if (r.status == ImageCopyStatus::Copied && (r.bytes != dry.bytes || r.files != dry.files))
        return ImageReaderExitCode(ImageCopyStatus::Damaged);
    return ImageReaderExitCode(r.status);
}

bool parseNumber(const std::string& text, std::uint64_t* value)
{
    if (text.empty() || text.size() > 20 || text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    errno = 0;
    *value = std::strtoull(text.c_str(), nullptr, 10);
    return errno == 0;
}

// "WORD N" or "WORD N M".
bool parseLine(const std::string& line, const char* word, std::uint64_t* first, std::uint64_t* second)
{
    const std::string prefix = std::string(word) + ' ';
    if (line.compare(0, prefix.size(), prefix) != 0)
        return false;
    const std::string rest = line.substr(prefix.size());
    const std::size_t blank = rest.find(' ');
    if (!second)
        return blank == std::string::npos && parseNumber(rest, first);
    return blank != std::string::npos && parseNumber(rest.substr(0, blank), first)
        && parseNumber(rest.substr(blank + 1), second);
}

} // namespace

int ImageReadTimeLimitMs(unsigned long long imageSize)
{
    const unsigned long long seconds = 15 + imageSize / (32ull << 20);
    return int(std::min<unsigned long long>(seconds, 3600) * 1000);
}

int ImageReaderExitCode(ImageCopyStatus status)
{
    return status == ImageCopyStatus::Copied ? 0 : kExitBase + int(status);
}

ImageCopyStatus ImageReaderStatus(int exitCode)
{
    for (ImageCopyStatus s :
         {ImageCopyStatus::Copied, ImageCopyStatus::FolderMissing, ImageCopyStatus::TooLarge, ImageCopyStatus::Damaged,
          ImageCopyStatus::WriteFailed, ImageCopyStatus::NoSpace, ImageCopyStatus::Cancelled})
        if (exitCode == ImageReaderExitCode(s))
            return s;
    return ImageCopyStatus::Damaged;
}

int ServeImageFolderCopy(int argc, char** argv)
{
    if (argc < 4)
        return ImageReaderExitCode(ImageCopyStatus::Damaged);
    limitChild();
#ifdef __linux__
    if (::getppid() == 1)
        return ImageReaderExitCode(ImageCopyStatus::Damaged);
#endif
    try {
        return serve(argv[2], argv[3], std::vector<std::string>(argv + 4, argv + argc));
    } catch (const std::exception&) {
        return ImageReaderExitCode(ImageCopyStatus::Damaged); // out of memory, mostly
    }
}

ImageReaderChild::ImageReaderChild(const std::vector<std::string>& args)
{
    int out[2], in[2];
    if (::pipe2(out, O_CLOEXEC) != 0)
        return;
    if (::pipe2(in, O_CLOEXEC) != 0) {
        ::close(out[0]);
        ::close(out[1]);
        return;
    }
    std::vector<char*> argv;
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attr;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    posix_spawnattr_init(&attr);
    sigset_t none, defaults;
    sigemptyset(&none);
    sigemptyset(&defaults);
    for (int sig : {SIGPIPE, SIGINT, SIGTERM, SIGHUP})
        sigaddset(&defaults, sig);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setsigdefault(&attr, &defaults);
    posix_spawnattr_setpgroup(&attr, 0);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    const int r = ::posix_spawn(&pid_, argv[0], &actions, &attr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    ::close(out[1]);
    ::close(in[0]);
    if (r != 0) {
        pid_ = -1;
        ::close(out[0]);
        ::close(in[1]);
        return;
    }
    output_ = out[0];
    input_ = in[1];
    ::fcntl(output_, F_SETFL, ::fcntl(output_, F_GETFL) | O_NONBLOCK);
#ifdef SYS_pidfd_open
    pidFd_ = int(::syscall(SYS_pidfd_open, pid_, 0));
#endif
}

ImageReaderChild::~ImageReaderChild()
{
    for (int fd : {output_, input_})
        if (fd >= 0)
            ::close(fd);
    if (pid_ > 0) {
        ::kill(pid_, SIGKILL);
        exitCode(true);
    }
    if (pidFd_ >= 0)
        ::close(pidFd_);
}

int ImageReaderChild::waitFd() const
{
    if (output_ >= 0)
        return output_;
    return pid_ > 0 ? pidFd_ : -1;
}

bool ImageReaderChild::readOutput(std::string* out)
{
    char buf[65536];
    while (output_ >= 0) {
        const ssize_t n = ::read(output_, buf, sizeof buf);
        if (n > 0) {
            out->append(buf, std::size_t(n));
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return true;
        ::close(output_);
        output_ = -1;
    }
    return false;
}

bool ImageReaderChild::tell(char c)
{
    if (input_ < 0)
        return false;
    const bool ok = writeAll(input_, std::string_view(&c, 1));
    ::close(input_);
    input_ = -1;
    return ok;
}

std::optional<int> ImageReaderChild::exitCode(bool block)
{
    if (exit_ || pid_ <= 0)
        return exit_ ? exit_ : std::optional<int>(-1);
    int status = 0;
    for (;;) {
        const pid_t r = ::waitpid(pid_, &status, block ? 0 : WNOHANG);
        if (r < 0 && errno == EINTR)
            continue;
        if (r == 0)
            return std::nullopt;
        break;
    }
    pid_ = -1;
    exit_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return exit_;
}

void ImageReaderChild::kill()
{
    if (pid_ > 0)
        ::kill(pid_, SIGKILL);
}

bool TakeReaderLines(std::string* text, ReaderNews* news)
{
    for (;;) {
        const std::size_t end = text->find('\n');
        if (end == std::string::npos)
            return text->size() <= kMaxLine;
        const std::string line = text->substr(0, end);
        text->erase(0, end + 1);
        std::uint64_t a = 0, b = 0;
        if (parseLine(line, "size", &a, &b)) {
            news->sizeBytes = a;
            news->sizeFiles = b;
        } else if (parseLine(line, "progress", &a, nullptr)) {
            news->progress = a;
        } else {
            return false;
        }
    }
}

std::string ReaderListingText(const ImageCopyResult& result)
{
    std::string out = "listing " + std::to_string(result.bytes) + ' ' + std::to_string(result.files) + '\n';
    for (const std::string& path : result.listed) {
        out += path;
        out += '\0';
    }
    return out;
}

bool ParseReaderListing(const std::string& text, ImageCopyResult* result)
{
    const std::size_t end = text.find('\n');
    std::uint64_t bytes = 0, files = 0;
    if (end == std::string::npos || !parseLine(text.substr(0, end), "listing", &bytes, &files))
        return false;
    result->bytes = bytes;
    result->files = files;
    result->listed.clear();
    std::size_t at = end + 1;
    while (at < text.size()) {
        const std::size_t nul = text.find('\0', at);
        if (nul == std::string::npos || result->listed.size() >= kMaxListedFiles)
            return false;
        result->listed.push_back(text.substr(at, nul - at));
        at = nul + 1;
    }
    return true;
}

ImageCopyResult ListImageFolderInChild(const std::string& exe, const std::string& image,
                                       const std::vector<std::string>& folder, int timeLimitMs)
{
    ImageCopyResult result;
    if (exe.empty())
        return result;
    std::vector<std::string> args{exe, kCopyImageFolderSwitch, image, std::string()};
    args.insert(args.end(), folder.begin(), folder.end());
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeLimitMs);
    ImageReaderChild child(args);
    if (!child.started())
        return result;
    std::string output;
    for (;;) {
        if (!child.outputEnded()) {
            child.readOutput(&output);
            if (output.size() > kMaxListing)
                return result;
        }
        if (child.outputEnded()) {
            if (const std::optional<int> code = child.exitCode(false)) {
                result.status = *code < 0 ? ImageCopyStatus::Damaged : ImageReaderStatus(*code);
                break;
            }
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) {
            result.status = ImageCopyStatus::TimedOut;
            return result;
        }
        const int fd = child.waitFd();
        pollfd p{fd, POLLIN, 0};
        // Without a descriptor for the child's end, a short sleep between looks.
        ::poll(fd >= 0 ? &p : nullptr, fd >= 0 ? 1 : 0, int(std::min<long long>(left, fd >= 0 ? 1000 : 5)));
    }
    if (result.status == ImageCopyStatus::Copied && !ParseReaderListing(output, &result))
        result.status = ImageCopyStatus::Damaged;
    return result;
}

} // namespace orv
