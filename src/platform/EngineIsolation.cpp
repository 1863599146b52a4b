#include "platform/EngineIsolation.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <filesystem>

#ifndef _WIN32
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
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

std::string g_reader;
int g_stallMs = 10000;

// Stream records.
constexpr char kTable = 'T', kRow = 'R', kEndTable = 'E', kDone = 'D', kError = 'X';
enum : unsigned char { TagNull = 0, TagInt = 1, TagReal = 2, TagText = 3 };

DbError unreadable(const std::string& path)
{
    return DbError(dberr::UnrecognizedFormat, "データベース形式 '" + path + "' を認識できません。");
}

#ifndef _WIN32

class Writer {
public:
    explicit Writer(int fd) : fd_(fd) { buf_.reserve(1 << 16); }
    ~Writer() { flush(); }
    void byte(char c) { buf_.push_back(c); maybeFlush(); }
    void u32(std::uint32_t v) { put(&v, 4); }
    void bytes(const std::string& s) { u32(static_cast<std::uint32_t>(s.size())); put(s.data(), s.size()); }
    void put(const void* p, size_t n)
    {
        buf_.append(static_cast<const char*>(p), n);
        maybeFlush();
    }
    bool flush()
    {
        size_t off = 0;
        while (off < buf_.size()) {
            const ssize_t w = ::write(fd_, buf_.data() + off, buf_.size() - off);
            if (w < 0) {
                if (errno == EINTR)
                    continue;
                buf_.clear();
                return false;
            }
            off += static_cast<size_t>(w);
        }
        buf_.clear();
        return true;
    }
private:
    void maybeFlush() { if (buf_.size() >= (1 << 16)) flush(); }
    int fd_;
    std::string buf_;
};

class StreamSink : public TableSink {
public:
    explicit StreamSink(Writer& w) : w_(w) {}
    void beginTable(const std::string& name, const std::vector<SourceColumn>& columns) override
    {
        w_.byte(kTable);
        w_.bytes(name);
        w_.u32(static_cast<std::uint32_t>(columns.size()));
        for (const auto& c : columns) {
            w_.byte(static_cast<char>(c.kind));
            w_.bytes(c.name);
        }
    }
    void addRow(std::vector<Value>& row) override
    {
        w_.byte(kRow);
        for (const auto& v : row) {
            if (auto s = std::get_if<std::string>(&v.v)) {
                w_.byte(static_cast<char>(TagText));
                w_.bytes(*s);
            } else if (auto i = std::get_if<std::int64_t>(&v.v)) {
                w_.byte(static_cast<char>(TagInt));
                w_.put(i, 8);
            } else if (auto d = std::get_if<double>(&v.v)) {
                w_.byte(static_cast<char>(TagReal));
                w_.put(d, 8);
            } else {
                w_.byte(static_cast<char>(TagNull));
            }
        }
    }
    void endTable() override { w_.byte(kEndTable); }
private:
    Writer& w_;
};

// Reads the child's stream with a stall limit, an overall deadline and size limits.
class Reader {
public:
    Reader(int fd, const std::string& path, std::uint64_t maxBytes, int stallMs, std::chrono::steady_clock::time_point deadline)
        : fd_(fd), path_(path), maxBytes_(maxBytes), stallMs_(stallMs), deadline_(deadline) {}

    void get(void* out, size_t n)
    {
        auto* o = static_cast<char*>(out);
        while (n > 0) {
            if (pos_ == len_)
                fill();
            const size_t k = std::min(n, len_ - pos_);
            std::memcpy(o, buf_ + pos_, k);
            pos_ += k;
            o += k;
            n -= k;
        }
    }
    char byte() { char c; get(&c, 1); return c; }
    // The child closed its end: it has ended, or is ending.
    bool ended() const { return ended_; }
    std::uint32_t u32() { std::uint32_t v; get(&v, 4); return v; }
    std::string bytes()
    {
        const std::uint32_t n = u32();
        if (n > maxBytes_)
            throw unreadable(path_);
        std::string s(n, '\0');
        get(s.data(), n);
        return s;
    }

private:
    void fill()
    {
        for (;;) {
            const auto now = std::chrono::steady_clock::now();
            if (now >= deadline_)
                throw unreadable(path_);
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline_ - now).count();
            pollfd p{fd_, POLLIN, 0};
            const int r = ::poll(&p, 1, static_cast<int>(std::min<long long>(left, stallMs_)));
            if (r == 0)
                throw unreadable(path_);   // nothing for too long: the reader is stuck
            if (r < 0) {
                if (errno == EINTR)
                    continue;
                throw unreadable(path_);
            }
            const ssize_t n = ::read(fd_, buf_, sizeof buf_);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                ended_ = true;
                throw unreadable(path_);   // the reader ended (or crashed) before it was done
            }
            total_ += static_cast<std::uint64_t>(n);
            if (total_ > maxBytes_)
                throw unreadable(path_);   // more than the file can hold: a loop in the file's structure
            pos_ = 0;
            len_ = static_cast<size_t>(n);
            return;
        }
    }

    int fd_;
    const std::string& path_;
    std::uint64_t maxBytes_;
    int stallMs_;
    std::chrono::steady_clock::time_point deadline_;
    char buf_[1 << 16];
    size_t pos_ = 0, len_ = 0;
    std::uint64_t total_ = 0;
    bool ended_ = false;
};

#endif

} // namespace

void SetCatalogueReader(const std::string& exe, int stallMs)
{
    g_reader = exe;
    g_stallMs = stallMs;
}

const std::string& CatalogueReader() { return g_reader; }

#ifndef _WIN32

int ServeCatalogueRead(const std::string& path, int fd)
{
    Writer w(fd);
    try {
        StreamSink sink(w);
        readMdbFile(path, sink);
        w.byte(kDone);
        return w.flush() ? 0 : 1;
    } catch (const DbError& e) {
        w.byte(kError);
        const std::int32_t n = e.number;
        w.put(&n, 4);
        w.bytes(e.description());
        w.flush();
        return 1;
    } catch (const std::exception& e) {
        w.byte(kError);
        const std::int32_t n = dberr::ReaderFailure;
        w.put(&n, 4);
        w.bytes(e.what());
        w.flush();
        return 1;
    }
}

void ReadCatalogueIsolated(const std::string& path, TableSink& sink)
{
    std::error_code ec;
    const auto fileSize = std::filesystem::file_size(path, ec);
    if (ec)
        return readMdbFile(path, sink);   // the reader's own checks name the failure

    int fds[2];
    if (::pipe(fds) != 0)
        return readMdbFile(path, sink);
    const std::string exe = g_reader;
    const pid_t pid = ::fork();
    if (pid < 0) {
        ::close(fds[0]);
        ::close(fds[1]);
        return readMdbFile(path, sink);
    }
    if (pid == 0) {
        // Only async-signal-safe calls between fork and exec.
        ::dup2(fds[1], 1);
        ::close(fds[0]);
        ::close(fds[1]);
        const int devnull = ::open("/dev/null", O_WRONLY);
        if (devnull >= 0)
            ::dup2(devnull, 2);
#ifndef ORV_ADDRESS_SANITIZER
        // A file whose structure loops must not take the machine's memory either. (AddressSanitizer
        // reserves terabytes of address space for its shadow and cannot start under this limit.)
        const rlim_t limit = static_cast<rlim_t>(2048ull * 1024 * 1024 + fileSize * 16);
        struct rlimit rl{limit, limit};
        ::setrlimit(RLIMIT_AS, &rl);
#endif
        const char* argv[] = {exe.c_str(), kReadCatalogueSwitch, path.c_str(), nullptr};
        ::execv(exe.c_str(), const_cast<char* const*>(argv));
        ::_exit(127);
    }
    ::close(fds[1]);

    bool finished = false;
    auto finish = [&](bool kill) {
        finished = true;
        if (kill)
            ::kill(pid, SIGKILL);
        ::close(fds[0]);
        int status = 0;
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
        return status;
    };

    // Decoded text can be larger than the stored text (UTF-16 and compressed runs as UTF-8, memo
    // pages): allow a generous multiple of the file, but not an endless stream.
    const std::uint64_t maxBytes = fileSize * 8 + (16u << 20);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60)
                          + std::chrono::milliseconds(fileSize / 1024);   // 1 s per MB on top
    Reader in(fds[0], path, maxBytes, g_stallMs, deadline);
    try {
        std::vector<SourceColumn> columns;
        std::vector<Value> row;
        bool execFailed = false;
        for (;;) {
            char kind;
            try {
                kind = in.byte();
            } catch (const DbError&) {
                // Nothing at all from a reader that could not start: read here instead.
                if (columns.empty() && in.ended()) {
                    const int status = finish(false);
                    execFailed = WIFEXITED(status) && WEXITSTATUS(status) == 127;
                    if (execFailed)
                        break;
                }
                throw;
            }
            if (kind == kDone)
                break;
            if (kind == kError) {
                std::int32_t n;
                in.get(&n, 4);
                const std::string description = in.bytes();
                finish(true);
                throw DbError(n, description);
            }
            if (kind == kTable) {
                const std::string name = in.bytes();
                const std::uint32_t count = in.u32();
                if (count > 4096)
                    throw unreadable(path);
                columns.clear();
                for (std::uint32_t i = 0; i < count; ++i) {
                    const char k = in.byte();
                    if (k < 0 || k > static_cast<char>(ColumnKind::Binary))
                        throw unreadable(path);
                    columns.push_back({in.bytes(), static_cast<ColumnKind>(k)});
                }
                sink.beginTable(name, columns);
                row.assign(columns.size(), Value());
            } else if (kind == kRow) {
                for (auto& v : row) {
                    switch (static_cast<unsigned char>(in.byte())) {
                    case TagNull: v = Value(); break;
                    case TagInt: { std::int64_t i; in.get(&i, 8); v = Value::integer(i); break; }
                    case TagReal: { double d; in.get(&d, 8); v = Value::real(d); break; }
                    case TagText: v = Value::text(in.bytes()); break;
                    default: throw unreadable(path);
                    }
                }
                sink.addRow(row);
            } else if (kind == kEndTable) {
                sink.endTable();
            } else {
                throw unreadable(path);
            }
        }
        if (execFailed)
            return readMdbFile(path, sink);
        // Everything has arrived; the child's own clean-up is of no use to anyone.
        finish(true);
    } catch (...) {
        if (!finished)
            finish(true);
        throw;
    }
}

#else

int ServeCatalogueRead(const std::string&, int) { return 1; }

// No child process on this platform yet: the catalogue is read in this process.
void ReadCatalogueIsolated(const std::string& path, TableSink& sink) { readMdbFile(path, sink); }

#endif

} // namespace orv
