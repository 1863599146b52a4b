#include "platform/settings/Ini.h"

#include "platform/text/Cp932.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <random>
#include <string_view>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace orv {

namespace {

// A file saved by a UTF-8 editor starts with a byte order mark, one saved as "Unicode" by a
// Windows editor with the UTF-16LE mark; such files keep their encoding (as the Windows profile
// functions do), everything else is CP932.
constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
constexpr std::string_view kUtf16LeBom = "\xFF\xFE";

// On reading, the value is cut to this many bytes of CP932 (a 128-byte buffer with its NUL).
constexpr size_t kMaxValueBytes = 127;

// Temporary files of an update older than this were left by an interrupted one.
constexpr auto kStaleTemporaryAge = std::chrono::seconds(60);

// Files are read and written through buffers of this size: a settings file of any size needs no
// memory of its size (a fresh allocation of tens of megabytes costs more than reading them).
constexpr size_t kChunkBytes = 1 << 20;

enum class Encoding { Cp932, Utf8, Utf16Le };

bool isBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view trim(std::string_view s)
{
    while (!s.empty() && isBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && isBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

// The caller's text as the profile functions receive it: a NUL-terminated string.
std::string_view upToNul(std::string_view s) { return s.substr(0, s.find('\0')); }

char foldAscii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

bool isLeadByte(unsigned char b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }

// Names compare without regard to ASCII case. In CP932 the second byte of a double-byte
// character may look like a letter, so double-byte characters compare exactly.
bool sameName(std::string_view a, std::string_view b, Encoding enc)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (enc == Encoding::Cp932 && isLeadByte(static_cast<unsigned char>(a[i])) && i + 1 < a.size()) {
            if (a[i] != b[i] || a[i + 1] != b[i + 1])
                return false;
            ++i;
        } else if (foldAscii(a[i]) != foldAscii(b[i])) {
            return false;
        }
    }
    return true;
}

enum class LineKind { Other, Section, Key };

struct ParsedLine {
    LineKind kind = LineKind::Other;
    std::string_view name; // section or key name, trimmed
    std::string_view value; // key value, trimmed
};

ParsedLine parseLine(std::string_view line)
{
    ParsedLine p;
    const std::string_view t = trim(line);
    if (t.empty() || t.front() == ';')
        return p;
    if (t.front() == '[') {
        const size_t close = t.rfind(']');
        if (close != std::string_view::npos) {
            p.kind = LineKind::Section;
            p.name = trim(t.substr(1, close - 1));
            return p;
        }
    }
    const size_t eq = t.find('=');
    if (eq == std::string_view::npos)
        return p;
    p.kind = LineKind::Key;
    p.name = trim(t.substr(0, eq));
    p.value = trim(t.substr(eq + 1));
    return p;
}

// --- Encodings -------------------------------------------------------------------------------------

void appendUtf8(std::string& out, uint32_t c)
{
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// Appends UTF-8 text (lone surrogates in their three-byte form allowed) as UTF-16LE; bytes that
// are no character become U+FFFD.
void appendUtf16Le(std::string& out, std::string_view s)
{
    const auto put = [&](uint32_t u) {
        out += static_cast<char>(u & 0xFF);
        out += static_cast<char>(u >> 8);
    };
    const auto b = [&](size_t i) { return static_cast<unsigned char>(s[i]); };
    size_t i = 0;
    while (i < s.size()) {
        const unsigned char c = b(i);
        size_t len = 0;
        uint32_t cp = 0;
        uint32_t min = 0;
        if (c < 0x80) {
            len = 1;
            cp = c;
        } else if (c >= 0xC2 && c <= 0xDF) {
            len = 2;
            cp = c & 0x1F;
            min = 0x80;
        } else if (c >= 0xE0 && c <= 0xEF) {
            len = 3;
            cp = c & 0x0F;
            min = 0x800;
        } else if (c >= 0xF0 && c <= 0xF4) {
            len = 4;
            cp = c & 0x07;
            min = 0x10000;
        }
        bool ok = len > 0 && i + len <= s.size();
        for (size_t k = 1; ok && k < len; ++k) {
            ok = (b(i + k) & 0xC0) == 0x80;
            cp = (cp << 6) | (b(i + k) & 0x3F);
        }
        ok = ok && cp >= min && cp <= 0x10FFFF;
        if (!ok) {
            put(0xFFFD);
            ++i;
            continue;
        }
        if (cp >= 0x10000) {
            put(0xD800 + ((cp - 0x10000) >> 10));
            put(0xDC00 + ((cp - 0x10000) & 0x3FF));
        } else {
            put(cp);
        }
        i += len;
    }
}

// Text for one line of the file: in its encoding, without line ends (blanks instead) or NULs.
std::string encodeForLine(std::string_view utf8, Encoding enc)
{
    std::string s = enc == Encoding::Cp932 ? utf8ToCp932(utf8) : std::string(utf8);
    s.resize(s.find('\0') == std::string::npos ? s.size() : s.find('\0'));
    for (char& c : s)
        if (c == '\r' || c == '\n')
            c = ' ';
    return s;
}

std::string encodeName(const std::string& utf8, Encoding enc) { return encodeForLine(trim(upToNul(utf8)), enc); }

// A stored value as the caller sees it: quotes around it dropped, cut at 127 bytes of CP932.
std::string decodeValue(std::string_view stored, Encoding enc)
{
    std::string_view v = upToNul(stored);
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
        v = v.substr(1, v.size() - 2);
    std::string cp932;
    if (enc == Encoding::Cp932) {
        cp932 = std::string(v.substr(0, kMaxValueBytes + 1));
    } else {
        // 127 CP932 bytes come from at most 127 characters, 4 bytes each in UTF-8.
        cp932 = utf8ToCp932(v.substr(0, 4 * kMaxValueBytes + 4));
    }
    cp932.resize(cp932PrefixLength(cp932, kMaxValueBytes));
    return cp932ToUtf8(cp932);
}

// --- Reading lines ---------------------------------------------------------------------------------

// The lines of a settings file, read through a buffer of fixed size, in the text the names and
// values are compared in: CP932 bytes, or UTF-8 for a file with a mark. A UTF-16LE file is decoded
// on the way; a surrogate without its partner keeps its three-byte form, so that writing the text
// back gives the same units, and an odd last byte is kept aside (oddByte). CR LF, LF and a lone
// CR each end a line; a last line without a line end counts.
class LineReader {
public:
    // fd < 0: an empty file. size: the file's size, to keep the buffer of a small file small.
    LineReader(int fd, off_t size) : fd_(fd)
    {
        if (fd_ < 0) {
            eof_ = true;
            return;
        }
        raw_.resize(std::min(kChunkBytes, static_cast<size_t>(std::max<off_t>(size, 0)) + 1));
        // The mark decides the encoding; a regular file gives its first bytes in one read.
        std::string first;
        while (first.size() < kUtf8Bom.size() && readRaw()) {
            first.append(raw_.data(), rawSize_);
        }
        std::string_view v = first;
        if (v.substr(0, kUtf8Bom.size()) == kUtf8Bom) {
            enc_ = Encoding::Utf8;
            v.remove_prefix(kUtf8Bom.size());
        } else if (v.substr(0, kUtf16LeBom.size()) == kUtf16LeBom) {
            enc_ = Encoding::Utf16Le;
            v.remove_prefix(kUtf16LeBom.size());
        }
        addText(v);
        if (eof_)
            finish();
    }

    Encoding encoding() const { return enc_; }
    bool failed() const { return failed_; }
    const std::string& oddByte() const { return oddByte_; }

    // The next line, valid until the next call; false at the end of the file or on a read error.
    bool next(std::string_view& line)
    {
        for (;;) {
            const size_t i = lineEnd(scanned_);
            scanned_ = i;
            if (i < buf_.size() && !(buf_[i] == '\r' && i + 1 == buf_.size() && !eof_)) {
                line = std::string_view(buf_).substr(pos_, i - pos_);
                pos_ = i + ((buf_[i] == '\r' && i + 1 < buf_.size() && buf_[i + 1] == '\n') ? 2 : 1);
                scanned_ = pos_;
                return true;
            }
            if (!eof_) {
                fill();
                continue;
            }
            if (pos_ < buf_.size()) {
                line = std::string_view(buf_).substr(pos_);
                pos_ = scanned_ = buf_.size();
                return true;
            }
            return false;
        }
    }

private:
    // The first CR or LF at or after from, or the end of the buffer. The next CR and the next LF
    // are remembered, so that a file of only one of them is not searched to its end per line.
    size_t lineEnd(size_t from)
    {
        const auto find = [&](char c, size_t& at) {
            if (at != std::string::npos && at >= from)
                return;
            const void* p = from < buf_.size() ? std::memchr(buf_.data() + from, c, buf_.size() - from) : nullptr;
            at = p ? static_cast<size_t>(static_cast<const char*>(p) - buf_.data()) : buf_.size();
        };
        find('\r', nextCr_);
        find('\n', nextLf_);
        return std::min(nextCr_, nextLf_);
    }

    bool readRaw()
    {
        for (;;) {
            const ssize_t n = ::read(fd_, raw_.data(), raw_.size());
            if (n > 0) {
                rawSize_ = static_cast<size_t>(n);
                return true;
            }
            if (n < 0 && errno == EINTR)
                continue;
            failed_ = n < 0;
            eof_ = true;
            return false;
        }
    }

    // Drops the lines already handed out and appends the next piece of the file.
    void fill()
    {
        buf_.erase(0, pos_);
        scanned_ -= pos_;
        pos_ = 0;
        nextCr_ = nextLf_ = std::string::npos;
        if (readRaw())
            addText(std::string_view(raw_.data(), rawSize_));
        if (eof_)
            finish();
    }

    void addText(std::string_view bytes)
    {
        if (enc_ != Encoding::Utf16Le) {
            buf_.append(bytes);
            return;
        }
        if (!carry_.empty() && !bytes.empty()) {
            unit(static_cast<unsigned char>(carry_[0]) | static_cast<unsigned char>(bytes[0]) << 8);
            carry_.clear();
            bytes.remove_prefix(1);
        }
        for (size_t i = 0; i + 1 < bytes.size(); i += 2)
            unit(static_cast<unsigned char>(bytes[i]) | static_cast<unsigned char>(bytes[i + 1]) << 8);
        if (bytes.size() % 2)
            carry_ = bytes.back();
    }

    void unit(uint32_t u)
    {
        if (high_) {
            if (u >= 0xDC00 && u <= 0xDFFF) {
                appendUtf8(buf_, 0x10000 + ((high_ - 0xD800) << 10) + (u - 0xDC00));
                high_ = 0;
                return;
            }
            appendUtf8(buf_, high_);
            high_ = 0;
        }
        if (u >= 0xD800 && u <= 0xDBFF)
            high_ = u;
        else
            appendUtf8(buf_, u);
    }

    void finish()
    {
        if (high_)
            appendUtf8(buf_, high_);
        high_ = 0;
        oddByte_ = carry_;
    }

    int fd_;
    Encoding enc_ = Encoding::Cp932;
    bool eof_ = false;
    bool failed_ = false;
    std::vector<char> raw_;
    size_t rawSize_ = 0;
    std::string buf_; // text of lines not yet handed out, from pos_ on
    size_t pos_ = 0;
    size_t scanned_ = 0; // no line end between pos_ and here
    size_t nextCr_ = std::string::npos;
    size_t nextLf_ = std::string::npos;
    std::string carry_; // UTF-16: a byte whose partner is in the next piece
    uint32_t high_ = 0; // UTF-16: a high surrogate waiting for its low one
    std::string oddByte_;
};

// --- Writing ----------------------------------------------------------------------------------------

// The new content of a file, in the file's encoding, to a file descriptor through a buffer, or
// into memory (fd < 0).
class Output {
public:
    // size: about the size of the content, to keep the buffer of a small file small.
    Output(Encoding enc, int fd, size_t size) : enc_(enc), fd_(fd)
    {
        buf_.reserve(std::min(size, kChunkBytes) + kChunkBytes / 16);
        if (enc == Encoding::Utf8)
            buf_ += kUtf8Bom;
        else if (enc == Encoding::Utf16Le)
            buf_ += kUtf16LeBom;
    }

    // Text of one or more whole lines, or of a part of one that ends before a line end.
    void put(std::string_view text)
    {
        if (enc_ == Encoding::Utf16Le)
            appendUtf16Le(buf_, text);
        else
            buf_ += text;
        if (fd_ >= 0 && buf_.size() >= kChunkBytes)
            flush();
    }
    void line(std::string_view text)
    {
        put(text);
        put("\r\n");
    }

    // The bytes written to memory.
    std::string& memory() { return buf_; }

    // Writes what is left, with the odd last byte of a UTF-16 file; false if any write failed.
    bool finish(const std::string& oddByte)
    {
        buf_ += oddByte;
        if (fd_ >= 0)
            flush();
        return ok_;
    }

private:
    void flush()
    {
        std::string_view data = buf_;
        while (ok_ && !data.empty()) {
            const ssize_t n = ::write(fd_, data.data(), data.size());
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0) {
                ok_ = false;
                break;
            }
            data.remove_prefix(static_cast<size_t>(n));
        }
        buf_.clear();
    }

    Encoding enc_;
    int fd_;
    std::string buf_;
    bool ok_ = true;
};

// --- Finding keys ------------------------------------------------------------------------------------

// The keys an update or a reading asks for, by section, with names in the file's encoding. Only
// the first section of a name counts, and in it only the first key of a name.
struct Wanted {
    struct Key {
        std::string name; // as first given
        std::string value; // the last value given, as stored
        size_t section;
    };
    struct Section {
        std::string name; // as first given
        std::vector<size_t> keys; // in order of first mention
    };
    Encoding enc;
    std::vector<Section> sections; // in order of first mention
    std::vector<Key> keys;

    explicit Wanted(Encoding e) : enc(e) {}

    // The key's slot; the same section and key (names without regard to case) give the same slot.
    size_t add(std::string_view section, std::string_view key)
    {
        size_t s = 0;
        while (s < sections.size() && !sameName(sections[s].name, section, enc))
            ++s;
        if (s == sections.size())
            sections.push_back({std::string(section), {}});
        for (size_t k : sections[s].keys)
            if (sameName(keys[k].name, key, enc))
                return k;
        keys.push_back({std::string(key), std::string(), s});
        sections[s].keys.push_back(keys.size() - 1);
        return keys.size() - 1;
    }

    // The wanted section a header names, if it was not seen before.
    long sectionFor(std::string_view name, std::vector<bool>& seen) const
    {
        for (size_t s = 0; s < sections.size(); ++s)
            if (!seen[s] && sameName(name, sections[s].name, enc)) {
                seen[s] = true;
                return static_cast<long>(s);
            }
        return -1;
    }

    // The wanted key of section s a key line names, if it was not found before.
    long keyFor(size_t s, std::string_view name, std::vector<bool>& found) const
    {
        for (size_t k : sections[s].keys)
            if (!found[k] && sameName(name, keys[k].name, enc)) {
                found[k] = true;
                return static_cast<long>(k);
            }
        return -1;
    }
};

// Copies the file's lines to out with every wanted key stored: a key found keeps its line (and
// the spelling of its name) with the new value; a key missing from a section that is there
// follows the section's last key line; a missing section comes at the end. Every line ends in
// CR LF. False when the file could not be read to its end.
bool rewriteLines(LineReader& in, const Wanted& w, Output& out)
{
    std::vector<bool> seen(w.sections.size()), found(w.keys.size());
    long current = -1; // the wanted section being copied
    std::vector<std::string> held; // its lines after its last key line
    const auto keyLine = [&](std::string_view name, size_t k) {
        out.put(name);
        out.put("=");
        out.line(w.keys[k].value);
    };
    const auto closeSection = [&] {
        if (current < 0)
            return;
        for (size_t k : w.sections[static_cast<size_t>(current)].keys)
            if (!found[k])
                keyLine(w.keys[k].name, k);
        for (const std::string& h : held)
            out.line(h);
        held.clear();
        current = -1;
    };
    std::string_view line;
    while (in.next(line)) {
        const ParsedLine p = parseLine(line);
        if (p.kind == LineKind::Section) {
            closeSection();
            current = w.sectionFor(p.name, seen);
            out.line(line);
        } else if (p.kind == LineKind::Key && current >= 0) {
            for (const std::string& h : held)
                out.line(h);
            held.clear();
            const long k = w.keyFor(static_cast<size_t>(current), p.name, found);
            if (k >= 0)
                keyLine(p.name, static_cast<size_t>(k));
            else
                out.line(line);
        } else if (current >= 0) {
            held.emplace_back(line);
        } else {
            out.line(line);
        }
    }
    if (in.failed())
        return false;
    closeSection();
    for (size_t s = 0; s < w.sections.size(); ++s) {
        if (seen[s])
            continue;
        out.put("[");
        out.put(w.sections[s].name);
        out.line("]");
        for (size_t k : w.sections[s].keys)
            keyLine(w.keys[k].name, k);
    }
    return true;
}

// --- Files -------------------------------------------------------------------------------------------

// A file descriptor closed with the object.
struct Fd {
    int fd = -1;
    Fd() = default;
    explicit Fd(int f) : fd(f) {}
    ~Fd()
    {
        if (fd >= 0)
            ::close(fd);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
};

enum class OpenResult { Ok, Missing, Failed };

// Opens a regular file for reading; opening does not block on a FIFO or device.
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

bool writeAll(int fd, std::string_view data)
{
    while (!data.empty()) {
        const ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

struct PathParts {
    std::string dir; // with its trailing '/', empty for the current folder
    std::string base;
};

PathParts splitPath(const std::string& path)
{
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return {std::string(), path};
    return {path.substr(0, slash + 1), path.substr(slash + 1)};
}

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

// Removes the temporary files that updates of path killed half-way left behind. Recent ones may
// belong to an update running now and stay.
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

// An exclusive advisory lock on ".<name>.lock" beside the settings file, held while the object
// lives. Taken with a bounded wait; without it (no lock file possible, or a holder that does not
// let go) the update goes ahead anyway: the settings of this run matter more than the turn.
class UpdateLock {
public:
    explicit UpdateLock(const std::vector<PathParts>& places)
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
    ~UpdateLock()
    {
        if (fd_ >= 0)
            ::close(fd_); // releases the lock
    }
    UpdateLock(const UpdateLock&) = delete;
    UpdateLock& operator=(const UpdateLock&) = delete;

private:
    int fd_ = -1;
};

// A new file beside the one it will replace, named so that a later update recognises it.
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

// Rewrites the file itself: its inode, links, owner and permissions stay. The space is taken
// first where the file system can, so that a full disk fails before anything is overwritten.
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

Wanted wantedEntries(const std::vector<IniEntry>& entries, Encoding enc)
{
    Wanted w(enc);
    for (const IniEntry& e : entries) {
        const size_t k = w.add(encodeName(e.section, enc), encodeName(e.key, enc));
        w.keys[k].value = encodeForLine(upToNul(e.value), enc);
    }
    return w;
}

} // namespace

std::vector<std::optional<std::string>> ReadIniKeys(const std::string& file, const std::vector<IniKey>& keys)
{
    std::vector<std::optional<std::string>> values(keys.size());
    Fd f;
    struct stat info {};
    if (keys.empty() || openRegular(file, f, &info) != OpenResult::Ok)
        return values;
    LineReader in(f.fd, info.st_size);
    Wanted w(in.encoding());
    std::vector<size_t> slots;
    slots.reserve(keys.size());
    for (const IniKey& k : keys)
        slots.push_back(w.add(encodeName(k.section, w.enc), encodeName(k.key, w.enc)));

    std::vector<std::optional<std::string>> bySlot(w.keys.size());
    std::vector<bool> seen(w.sections.size()), found(w.keys.size());
    size_t keysLeft = w.keys.size(), sectionsLeft = w.sections.size();
    long current = -1;
    std::string_view line;
    // Past the last wanted section, or with every key found, nothing more is to be had.
    while (keysLeft > 0 && (sectionsLeft > 0 || current >= 0) && in.next(line)) {
        const ParsedLine p = parseLine(line);
        if (p.kind == LineKind::Section) {
            current = w.sectionFor(p.name, seen);
            sectionsLeft -= current >= 0 ? 1 : 0;
        } else if (p.kind == LineKind::Key && current >= 0) {
            const long k = w.keyFor(static_cast<size_t>(current), p.name, found);
            if (k >= 0) {
                bySlot[static_cast<size_t>(k)] = decodeValue(p.value, w.enc);
                --keysLeft;
            }
        }
    }
    if (in.failed())
        return values;
    for (size_t i = 0; i < keys.size(); ++i)
        values[i] = bySlot[slots[i]];
    return values;
}

std::string ReadIni(const std::string& file, const std::string& section, const std::string& key, const std::string& def)
{
    std::optional<std::string> v = ReadIniKeys(file, {{section, key}}).front();
    return v ? std::move(*v) : def;
}

bool WriteIniEntries(const std::string& file, const std::vector<IniEntry>& entries)
{
    if (file.empty())
        return false;
    // Through a symbolic link the file it points at is updated, not the link replaced.
    std::string path = file;
    struct stat linkInfo {};
    if (::lstat(file.c_str(), &linkInfo) == 0 && S_ISLNK(linkInfo.st_mode)) {
        if (char* real = ::realpath(file.c_str(), nullptr)) {
            path = real;
            std::free(real);
        }
    }
    const PathParts parts = splitPath(path);
    if (parts.base.empty())
        return false;
    std::vector<PathParts> lockPlaces{parts};
    if (path != file)
        lockPlaces.push_back(splitPath(file)); // the target's folder may allow no new file
    const UpdateLock lock(lockPlaces);
    removeStaleTemporaries(parts);

    Fd source;
    struct stat info {};
    const OpenResult opened = openRegular(path, source, &info);
    if (opened == OpenResult::Failed)
        return false; // never replace what could not be read
    const bool exists = opened == OpenResult::Ok;
    if (exists && ::access(path.c_str(), W_OK) != 0)
        return false; // a read-only file stays as it is, although its folder would allow a rename

    // A rename would cut other hard links off the content; without room for a temporary file
    // there is nothing to rename. Then the file itself is rewritten, from a copy in memory.
    std::string tmp;
    Fd target;
    if (!exists || info.st_nlink <= 1)
        target.fd = createTemporary(parts, tmp);
    if (target.fd < 0) {
        if (!exists)
            return false;
        LineReader in(source.fd, info.st_size);
        Output out(in.encoding(), -1, static_cast<size_t>(info.st_size) * 2);
        if (!rewriteLines(in, wantedEntries(entries, in.encoding()), out) || !out.finish(in.oddByte()))
            return false;
        return rewriteInPlace(path, out.memory(), info);
    }

    LineReader in(source.fd, info.st_size);
    Output out(in.encoding(), target.fd, static_cast<size_t>(info.st_size) * 2);
    bool ok = rewriteLines(in, wantedEntries(entries, in.encoding()), out) && out.finish(in.oddByte())
        && ::fsync(target.fd) == 0;
    if (ok && exists) {
        ok = ::fchmod(target.fd, info.st_mode & 07777) == 0;
        if (ok && ::fchown(target.fd, info.st_uid, info.st_gid) != 0) {
            // Keeping the owner needs privileges; the content matters more.
        }
    }
    const int fd = target.fd;
    target.fd = -1;
    ok = ::close(fd) == 0 && ok;
    if (ok)
        ok = ::rename(tmp.c_str(), path.c_str()) == 0;
    if (!ok)
        ::unlink(tmp.c_str());
    return ok;
}

bool WriteIni(const std::string& file, const std::string& section, const std::string& key, const std::string& value)
{
    return WriteIniEntries(file, {{section, key, value}});
}

} // namespace orv
