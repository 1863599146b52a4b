#include "platform/engine/EngineIsolation.h"

#include "platform/files/AddressSanitizer.h"
#include "platform/files/FileIo.h"
#include "platform/reader/CatalogueStream.h"

#include <sqlite3.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#ifdef __linux__
#include <sys/prctl.h>
#endif

namespace orv {

namespace {

using Clock = std::chrono::steady_clock;

// How long a read may take in all: a minute, and a second more for each MB of the file.
std::chrono::seconds readTimeLimit(std::uint64_t fileSize)
{
    return std::chrono::seconds(60 + fileSize / (1024 * 1024));
}

// The child's end of the pipe, read with a stall limit and an overall deadline, until the stop
// descriptor (when there is one) turns readable.
class PipeInput final : public StreamInput {
public:
    PipeInput(int fd, int stopFd, const std::string& path, int stallMs, Clock::time_point deadline)
        : fd_(fd), stopFd_(stopFd), path_(path), stallMs_(stallMs), deadline_(deadline)
    {}

    std::size_t read(char* buf, std::size_t capacity) override
    {
        for (;;) {
            const auto now = Clock::now();
            if (now >= deadline_)
                throw DbError::readTimedOut(path_);
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline_ - now).count();
            pollfd p[2] = {{fd_, POLLIN, 0}, {stopFd_, POLLIN, 0}};
            const int r = ::poll(p, stopFd_ >= 0 ? 2 : 1, int(std::min<long long>(left + 1, stallMs_)));
            if (r < 0 && errno == EINTR)
                continue;
            if (r > 0 && p[1].revents != 0)
                throw DbError::readStopped(path_);
            if (r == 0 && Clock::now() < deadline_)
                throw DbError::readStalled(path_);
            if (r <= 0)
                continue; // the deadline, reported above
            const ssize_t n = ::read(fd_, buf, capacity);
            if (n < 0 && errno == EINTR)
                continue;
            return n < 0 ? 0 : std::size_t(n);
        }
    }

private:
    int fd_;
    int stopFd_;
    const std::string& path_;
    int stallMs_;
    Clock::time_point deadline_;
};

// The limits a reader child runs under.
struct ChildLimits {
    rlim_t memory;
    rlim_t cpuSeconds;
};

// Both pipes to a child: its output and the one that brings exec's errno back.
void makePipes(const std::string& exe, int data[2], int err[2])
{
    if (::pipe2(data, O_CLOEXEC) != 0)
        throw DbError::readerNotStarted(exe, "pipe", errno);
    if (::pipe2(err, O_CLOEXEC) != 0) {
        const int e = errno;
        ::close(data[0]);
        ::close(data[1]);
        throw DbError::readerNotStarted(exe, "pipe", e);
    }
#ifdef F_SETPIPE_SZ
    // Room for the child to read ahead while the program stores what has come.
    ::fcntl(data[0], F_SETPIPE_SZ, 1 << 20);
#endif
}

// After the fork, in the child: only async-signal-safe calls from here.
[[noreturn]] void execInChild(const char* const argv[], int out, int errPipe, pid_t parent, ChildLimits limits)
{
    if (out == 1)
        ::fcntl(1, F_SETFD, 0);
    else
        ::dup2(out, 1);
    const int devnull = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (devnull >= 0)
        ::dup2(devnull, 2);
#ifdef __linux__
    // A child left behind by a program that ended is of no use to anyone.
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() != parent)
        ::_exit(1);
#endif
    (void)parent;
    // Out of the terminal's reach: Ctrl+C is for the program, which closes in good order once
    // the read is done; the child still ends with it.
    ::setpgid(0, 0);
    struct rlimit cpu {
        limits.cpuSeconds, limits.cpuSeconds
    };
    ::setrlimit(RLIMIT_CPU, &cpu);
#ifndef ORV_ADDRESS_SANITIZER
    // AddressSanitizer reserves terabytes of address space for its shadow and cannot start
    // under this limit.
    struct rlimit as {
        limits.memory, limits.memory
    };
    ::setrlimit(RLIMIT_AS, &as);
#endif
    ::execv(argv[0], const_cast<char* const*>(argv));
    const int e = errno;
    [[maybe_unused]] auto w = ::write(errPipe, &e, sizeof e);
    ::_exit(127);
}

// The error pipe closes on a successful exec (0); otherwise it brings exec's errno.
int execError(int errPipe)
{
    int error = 0;
    ssize_t n;
    while ((n = ::read(errPipe, &error, sizeof error)) < 0 && errno == EINTR) {}
    ::close(errPipe);
    return n > 0 ? error : 0;
}

// A reader child running `exe --read-catalogue PATH` under limits, its output open to the parent.
// It is killed and reaped when dropped: once everything has arrived, or on any failure.
class ReaderChild {
public:
    ReaderChild(const std::string& exe, const std::string& path, std::uint64_t fileSize)
    {
        if (exe.empty())
            throw DbError::readerNotStarted(exe, "exec", ENOENT);
        int data[2], err[2];
        makePipes(exe, data, err);
        // Everything the child needs is made before the fork.
        const char* argv[] = {exe.c_str(), kReadCatalogueSwitch, path.c_str(), nullptr};
        const ChildLimits limits{rlim_t(ReaderMemoryLimit(fileSize)), rlim_t(readTimeLimit(fileSize).count())};
        const pid_t parent = ::getpid();
        pid_ = ::fork();
        if (pid_ < 0) {
            const int e = errno;
            for (int fd : {data[0], data[1], err[0], err[1]})
                ::close(fd);
            throw DbError::readerNotStarted(exe, "fork", e);
        }
        if (pid_ == 0)
            execInChild(argv, data[1], err[1], parent, limits);
        ::close(data[1]);
        ::close(err[1]);
        output_ = data[0];
        if (const int e = execError(err[0])) {
            stop();
            throw DbError::readerNotStarted(exe, "exec", e);
        }
    }
    ~ReaderChild() { stop(); }
    ReaderChild(const ReaderChild&) = delete;
    ReaderChild& operator=(const ReaderChild&) = delete;

    int output() const { return output_; }

private:
    void stop()
    {
        ::kill(pid_, SIGKILL);
        ::close(output_);
        int status = 0;
        while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {}
    }

    pid_t pid_ = -1;
    int output_ = -1;
};

} // namespace

std::uint64_t ReaderMemoryLimit(std::uint64_t fileSize) { return (256ull << 20) + 16 * fileSize; }

int ServeCatalogueRead(const std::string& path, int fd)
{
    struct stat st {};
    const std::uint64_t size = ::stat(path.c_str(), &st) == 0 ? std::uint64_t(st.st_size) : 0;
    // SQLite's own allocations stop cleanly at the limit (under the address-space limit the
    // parent set, other allocations fail there too).
    sqlite3_hard_heap_limit64(sqlite3_int64(ReaderMemoryLimit(size)));
    CatalogueStreamWriter out([fd](const char* p, std::size_t n) { return writeAll(fd, {p, n}); });
    try {
        readCatalogueFile(path, out);
        return out.done() ? 0 : 1;
    } catch (const DbError& e) {
        out.failed(e.number, e.description());
    } catch (const std::bad_alloc&) {
        const DbError e = DbError::readOutOfMemory(path);
        out.failed(e.number, e.description());
    } catch (const std::exception& what) {
        const DbError e = DbError::readerFailed(what.what());
        out.failed(e.number, e.description());
    }
    return 1;
}

IsolatedCatalogue::IsolatedCatalogue(std::string exe, int stallMs, int stopFd)
    : exe_(std::move(exe)), stallMs_(stallMs), stopFd_(stopFd)
{}

void IsolatedCatalogue::read(const std::string& path, TableSink& sink) const
{
    // Missing files, folders, FIFOs and unknown formats are refused before any child starts.
    checkCatalogueFile(path);
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        throw DbError::unrecognisedFormat(path);
    const std::uint64_t fileSize = std::uint64_t(st.st_size);
    ReaderChild child(exe_, path, fileSize);
    PipeInput in(child.output(), stopFd_, path, stallMs_, Clock::now() + readTimeLimit(fileSize));
    decodeCatalogueStream(in, sink, path, maxStreamBytes(fileSize));
    // Everything has arrived; the child's own clean-up is of no use to anyone, and it is stopped
    // on the way out as on any failure.
}

} // namespace orv
