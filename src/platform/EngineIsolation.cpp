#include "platform/EngineIsolation.h"

#include "platform/CatalogueStream.h"

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

#if defined(__SANITIZE_ADDRESS__)
#define ORV_ADDRESS_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ORV_ADDRESS_SANITIZER 1
#endif
#endif

namespace orv {

namespace {

using Clock = std::chrono::steady_clock;

// How long a read may take in all: a minute, and a second more for each MB of the file.
std::chrono::seconds readTimeLimit(std::uint64_t fileSize)
{
    return std::chrono::seconds(60 + fileSize / (1024 * 1024));
}

DbError cannotStart(const std::string& exe, const char* step, int error)
{
    return DbError(dberr::ReaderFailure, "カタログを読み取るプログラム '" + exe + "' を起動できません (" + step + ": "
                                             + std::strerror(error) + ")。");
}

// The child's end of the pipe, read with a stall limit and an overall deadline.
class PipeInput final : public StreamInput {
public:
    PipeInput(int fd, const std::string& path, int stallMs, Clock::time_point deadline)
        : fd_(fd), path_(path), stallMs_(stallMs), deadline_(deadline) {}

    std::size_t read(char* buf, std::size_t capacity) override
    {
        for (;;) {
            const auto now = Clock::now();
            if (now >= deadline_)
                throw DbError(dberr::UnrecognizedFormat,
                              "データベース '" + path_ + "' の読み取りが制限時間内に終わらないため中止しました。");
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline_ - now).count();
            pollfd p{fd_, POLLIN, 0};
            const int r = ::poll(&p, 1, int(std::min<long long>(left + 1, stallMs_)));
            if (r < 0 && errno == EINTR)
                continue;
            if (r == 0 && Clock::now() < deadline_)
                throw DbError(dberr::UnrecognizedFormat,
                              "データベース '" + path_ + "' の読み取りが応答しなくなったため中止しました。");
            if (r <= 0)
                continue;   // the deadline, reported above
            const ssize_t n = ::read(fd_, buf, capacity);
            if (n < 0 && errno == EINTR)
                continue;
            return n < 0 ? 0 : std::size_t(n);
        }
    }

private:
    int fd_;
    const std::string& path_;
    int stallMs_;
    Clock::time_point deadline_;
};

bool writeAll(int fd, const char* p, std::size_t n)
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

} // namespace

std::uint64_t ReaderMemoryLimit(std::uint64_t fileSize)
{
    return (256ull << 20) + 16 * fileSize;
}

int ServeCatalogueRead(const std::string& path, int fd)
{
    struct stat st {};
    const std::uint64_t size = ::stat(path.c_str(), &st) == 0 ? std::uint64_t(st.st_size) : 0;
    // SQLite's own allocations stop cleanly at the limit (under the address-space limit the
    // parent set, other allocations fail there too).
    sqlite3_hard_heap_limit64(sqlite3_int64(ReaderMemoryLimit(size)));
    CatalogueStreamWriter out([fd](const char* p, std::size_t n) { return writeAll(fd, p, n); });
    try {
        readCatalogueFile(path, out);
        return out.done() ? 0 : 1;
    } catch (const DbError& e) {
        out.failed(e.number, e.description());
    } catch (const std::bad_alloc&) {
        out.failed(dberr::UnrecognizedFormat,
                   "データベース '" + path + "' の読み取りに必要なメモリが上限を超えたため中止しました。");
    } catch (const std::exception& e) {
        out.failed(dberr::ReaderFailure, e.what());
    }
    return 1;
}

IsolatedCatalogue::IsolatedCatalogue(std::string exe, int stallMs) : exe_(std::move(exe)), stallMs_(stallMs) {}

void IsolatedCatalogue::read(const std::string& path, TableSink& sink) const
{
    // Missing files, folders, FIFOs and unknown formats are refused before any child starts.
    checkCatalogueFile(path);
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        throw DbError(dberr::UnrecognizedFormat, "データベース形式 '" + path + "' を認識できません。");
    const std::uint64_t fileSize = std::uint64_t(st.st_size);
    if (exe_.empty())
        throw cannotStart(exe_, "exec", ENOENT);

    int data[2], err[2];
    if (::pipe2(data, O_CLOEXEC) != 0)
        throw cannotStart(exe_, "pipe", errno);
#ifdef F_SETPIPE_SZ
    // Room for the child to read ahead while the program stores what has come.
    ::fcntl(data[0], F_SETPIPE_SZ, 1 << 20);
#endif
    if (::pipe2(err, O_CLOEXEC) != 0) {
        const int e = errno;
        ::close(data[0]);
        ::close(data[1]);
        throw cannotStart(exe_, "pipe", e);
    }
    // Everything the child needs is made before the fork: after it, only async-signal-safe calls.
    const char* argv[] = {exe_.c_str(), kReadCatalogueSwitch, path.c_str(), nullptr};
    const rlim_t memory = rlim_t(ReaderMemoryLimit(fileSize));
    const rlim_t cpuSeconds = rlim_t(readTimeLimit(fileSize).count());
    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid < 0) {
        const int e = errno;
        for (int fd : {data[0], data[1], err[0], err[1]})
            ::close(fd);
        throw cannotStart(exe_, "fork", e);
    }
    if (pid == 0) {
        if (data[1] == 1)
            ::fcntl(1, F_SETFD, 0);
        else
            ::dup2(data[1], 1);
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
        struct rlimit cpu{cpuSeconds, cpuSeconds};
        ::setrlimit(RLIMIT_CPU, &cpu);
#ifndef ORV_ADDRESS_SANITIZER
        // AddressSanitizer reserves terabytes of address space for its shadow and cannot start
        // under this limit.
        struct rlimit as{memory, memory};
        ::setrlimit(RLIMIT_AS, &as);
#endif
        (void)memory;
        ::execv(argv[0], const_cast<char* const*>(argv));
        const int e = errno;
        [[maybe_unused]] auto w = ::write(err[1], &e, sizeof e);
        ::_exit(127);
    }
    ::close(data[1]);
    ::close(err[1]);

    auto stop = [&] {
        ::kill(pid, SIGKILL);
        ::close(data[0]);
        int status = 0;
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
    };
    // The error pipe closes on a successful exec; otherwise it brings exec's errno.
    int execError = 0;
    ssize_t n;
    while ((n = ::read(err[0], &execError, sizeof execError)) < 0 && errno == EINTR) {
    }
    ::close(err[0]);
    if (n > 0) {
        stop();
        throw cannotStart(exe_, "exec", execError);
    }

    PipeInput in(data[0], path, stallMs_, Clock::now() + readTimeLimit(fileSize));
    try {
        decodeCatalogueStream(in, sink, path, maxStreamBytes(fileSize));
    } catch (...) {
        stop();
        throw;
    }
    // Everything has arrived; the child's own clean-up is of no use to anyone.
    stop();
}

} // namespace orv
