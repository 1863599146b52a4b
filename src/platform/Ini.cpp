#include "platform/Ini.h"

#include "platform/Cp932.h"

#include <array>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <random>
#include <string_view>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <unordered_map>

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

// Calls fn(index, line) for every line of body, without its line end, while fn returns true.
// CR LF, LF and a lone CR each end a line; a last line without a line end counts.
template <typename Fn>
void forEachLine(std::string_view body, Fn fn)
{
    const char* p = body.data();
    const char* const end = p + body.size();
    size_t index = 0;
    while (p < end) {
        const char* e = p;
        while (e < end && *e != '\r' && *e != '\n')
            ++e;
        if (!fn(index++, std::string_view(p, static_cast<size_t>(e - p))))
            return;
        p = e;
        if (p < end)
            p += (*p == '\r' && p + 1 < end && p[1] == '\n') ? 2 : 1;
    }
}

enum class LineKind { Other, Section, Key };

struct ParsedLine {
    LineKind kind = LineKind::Other;
    std::string_view name;  // section or key name, trimmed
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

// UTF-16LE units to UTF-8. A surrogate without its partner keeps its three-byte form, so that
// writing the text back gives the same units; an odd last byte is handed back in oddByte.
std::string utf16LeToUtf8(std::string_view bytes, std::string& oddByte)
{
    const size_t units = bytes.size() / 2;
    const auto unit = [&](size_t i) {
        return static_cast<uint32_t>(static_cast<unsigned char>(bytes[2 * i])
                                     | static_cast<unsigned char>(bytes[2 * i + 1]) << 8);
    };
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 2);
    for (size_t i = 0; i < units; ++i) {
        uint32_t c = unit(i);
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < units) {
            const uint32_t low = unit(i + 1);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
                ++i;
            }
        }
        appendUtf8(out, c);
    }
    oddByte = bytes.size() % 2 ? std::string(1, bytes.back()) : std::string();
    return out;
}

// UTF-8 (lone surrogates in their three-byte form allowed) to UTF-16LE; bytes that are no
// character become U+FFFD.
std::string utf8ToUtf16Le(std::string_view s)
{
    std::string out;
    out.reserve(s.size() * 2);
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
    return out;
}

// The file's text as the lines are read: CP932 bytes, or UTF-8 for a file with a mark.
struct IniText {
    Encoding enc = Encoding::Cp932;
    std::string body;
    std::string oddByte; // a UTF-16 file's odd last byte, written back as it was
};

IniText decodeFile(std::string bytes)
{
    IniText t;
    const std::string_view v = bytes;
    if (v.substr(0, kUtf8Bom.size()) == kUtf8Bom) {
        t.enc = Encoding::Utf8;
        bytes.erase(0, kUtf8Bom.size());
        t.body = std::move(bytes);
    } else if (v.substr(0, kUtf16LeBom.size()) == kUtf16LeBom) {
        t.enc = Encoding::Utf16Le;
        t.body = utf16LeToUtf8(v.substr(kUtf16LeBom.size()), t.oddByte);
    } else {
        t.body = std::move(bytes);
    }
    return t;
}

// The bytes of the file for the lines in out, in the encoding the file had.
std::string encodeFile(const IniText& t, std::string out)
{
    switch (t.enc) {
    case Encoding::Utf8:
        return std::string(kUtf8Bom) + out;
    case Encoding::Utf16Le:
        return std::string(kUtf16LeBom) + utf8ToUtf16Le(out) + t.oddByte;
    case Encoding::Cp932:
        break;
    }
    return out;
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

// --- Finding keys ------------------------------------------------------------------------------------

// Where the wanted keys stand in a file, found in one pass over its lines. Only the first section
// of a name counts, and in it only the first key of a name.
class KeyFinder {
public:
    explicit KeyFinder(Encoding enc) : enc_(enc) {}

    // Slot of (section, key), names in the file's encoding; the same pair gives the same slot.
    size_t add(std::string_view section, std::string_view key)
    {
        size_t s = 0;
        while (s < sections_.size() && !sameName(sections_[s].name, section, enc_))
            ++s;
        if (s == sections_.size())
            sections_.push_back({std::string(section), {}});
        for (const auto& [name, slot] : sections_[s].keys)
            if (sameName(name, key, enc_))
                return slot;
        sectionOfSlot_.push_back(s);
        sections_[s].keys.emplace_back(std::string(key), sectionOfSlot_.size() - 1);
        return sectionOfSlot_.size() - 1;
    }

    size_t sectionOf(size_t slot) const { return sectionOfSlot_[slot]; }
    size_t sectionCount() const { return sections_.size(); }
    const std::string& sectionName(size_t s) const { return sections_[s].name; }

    struct SectionHit {
        bool found = false;
        size_t insertAfter = 0; // last key line of the section, or its header
    };
    struct KeyHit {
        bool found = false;
        size_t line = 0;
        std::string_view name;  // as the file spells it
        std::string_view value; // as stored
    };
    struct Hits {
        std::vector<SectionHit> sections;
        std::vector<KeyHit> keys;
    };

    // needInsertPoints: read each wanted section to its end, also when every key is found.
    Hits find(std::string_view body, bool needInsertPoints) const
    {
        Hits hits;
        hits.sections.resize(sections_.size());
        hits.keys.resize(sectionOfSlot_.size());
        size_t keysLeft = sectionOfSlot_.size();
        size_t sectionsLeft = sections_.size();
        long current = -1; // the wanted section being read, -1 elsewhere
        forEachLine(body, [&](size_t index, std::string_view line) {
            const ParsedLine p = parseLine(line);
            if (p.kind == LineKind::Section) {
                current = -1;
                for (size_t s = 0; s < sections_.size(); ++s) {
                    if (!hits.sections[s].found && sameName(p.name, sections_[s].name, enc_)) {
                        hits.sections[s] = {true, index};
                        current = static_cast<long>(s);
                        --sectionsLeft;
                        break;
                    }
                }
            } else if (p.kind == LineKind::Key && current >= 0) {
                hits.sections[static_cast<size_t>(current)].insertAfter = index;
                for (const auto& [name, slot] : sections_[static_cast<size_t>(current)].keys) {
                    if (!hits.keys[slot].found && sameName(p.name, name, enc_)) {
                        hits.keys[slot] = {true, index, p.name, p.value};
                        --keysLeft;
                        break;
                    }
                }
            }
            if (!needInsertPoints && keysLeft == 0)
                return false;
            // Past the last wanted section nothing more can be found.
            return sectionsLeft > 0 || current >= 0;
        });
        return hits;
    }

private:
    struct Section {
        std::string name;
        std::vector<std::pair<std::string, size_t>> keys; // name, slot
    };
    Encoding enc_;
    std::vector<Section> sections_;
    std::vector<size_t> sectionOfSlot_;
};

// --- Files -------------------------------------------------------------------------------------------

enum class ReadResult { Ok, Missing, Failed };

// Whole content of a regular file. Opening does not block on a FIFO or device.
ReadResult readFile(const std::string& path, std::string& out, struct stat* info)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return errno == ENOENT ? ReadResult::Missing : ReadResult::Failed;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return ReadResult::Failed;
    }
    if (info)
        *info = st;
    out.clear();
    out.reserve(static_cast<size_t>(st.st_size));
    std::array<char, 65536> buf;
    for (;;) {
        const ssize_t n = ::read(fd, buf.data(), buf.size());
        if (n == 0)
            break;
        if (n < 0) {
            if (errno == EINTR)
                continue;
            ::close(fd);
            return ReadResult::Failed;
        }
        out.append(buf.data(), static_cast<size_t>(n));
    }
    ::close(fd);
    return ReadResult::Ok;
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
    std::string dir;  // with its trailing '/', empty for the current folder
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

enum class WriteResult { Ok, NoTemporary, Failed };

// Writes content to a new file beside path and renames it over path, so that a failure at any
// step leaves the old file as it was.
WriteResult replaceFile(const std::string& path, const PathParts& parts, std::string_view content,
                        const struct stat* old)
{
    if (parts.base.empty())
        return WriteResult::Failed;
    std::random_device rd;
    std::string tmp;
    int fd = -1;
    for (int attempt = 0; attempt < 16 && fd < 0; ++attempt) {
        tmp = parts.dir + "." + parts.base + "." + std::to_string(rd()) + ".tmp";
        // 0666 under the umask: a new file gets the permissions any new file would get.
        fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST)
            return WriteResult::NoTemporary;
    }
    if (fd < 0)
        return WriteResult::NoTemporary;

    bool ok = writeAll(fd, content) && ::fsync(fd) == 0;
    if (ok && old) {
        ok = ::fchmod(fd, old->st_mode & 07777) == 0;
        if (ok && ::fchown(fd, old->st_uid, old->st_gid) != 0) {
            // Keeping the owner needs privileges; the content matters more.
        }
    }
    ok = ::close(fd) == 0 && ok;
    if (ok)
        ok = ::rename(tmp.c_str(), path.c_str()) == 0;
    if (!ok)
        ::unlink(tmp.c_str());
    return ok ? WriteResult::Ok : WriteResult::Failed;
}

// Rewrites the file itself: its inode, links, owner and permissions stay. The space is taken
// first where the file system can, so that a full disk fails before anything is overwritten.
bool rewriteInPlace(const std::string& path, std::string_view content, const struct stat& old)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat st {};
    bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_dev == old.st_dev && st.st_ino == old.st_ino;
    if (ok && static_cast<off_t>(content.size()) > st.st_size
        && ::fallocate(fd, 0, 0, static_cast<off_t>(content.size())) != 0)
        ok = errno == EOPNOTSUPP || errno == ENOSYS;
    ok = ok && ::lseek(fd, 0, SEEK_SET) == 0 && writeAll(fd, content)
         && ::ftruncate(fd, static_cast<off_t>(content.size())) == 0 && ::fsync(fd) == 0;
    return ::close(fd) == 0 && ok;
}

// The new lines of the file: each entry stored as WriteIni stores one, in order.
std::string applyEntries(const IniText& text, const std::vector<IniEntry>& entries)
{
    struct Planned {
        size_t slot;
        std::string key;   // as given, in the file's encoding
        std::string value; // as stored
    };
    KeyFinder finder(text.enc);
    std::vector<Planned> planned;
    planned.reserve(entries.size());
    for (const IniEntry& e : entries) {
        std::string key = encodeName(e.key, text.enc);
        const size_t slot = finder.add(encodeName(e.section, text.enc), key);
        planned.push_back({slot, std::move(key), encodeForLine(upToNul(e.value), text.enc)});
    }
    const KeyFinder::Hits hits = finder.find(text.body, true);

    std::unordered_map<size_t, std::string> replaced;  // line index → new line
    struct AddedKey {
        size_t slot;
        std::string key; // spelt as first written
        std::string value;
    };
    std::vector<std::vector<AddedKey>> added(finder.sectionCount());
    std::vector<size_t> appendedSections;              // new sections, in order of writing
    for (const Planned& p : planned) {
        const KeyFinder::KeyHit& hit = hits.keys[p.slot];
        if (hit.found) {
            replaced[hit.line] = std::string(hit.name) + "=" + p.value;
            continue;
        }
        const size_t s = finder.sectionOf(p.slot);
        auto& lines = added[s];
        auto it = lines.begin();
        while (it != lines.end() && it->slot != p.slot)
            ++it;
        if (it != lines.end()) {
            it->value = p.value;
            continue;
        }
        if (!hits.sections[s].found && lines.empty())
            appendedSections.push_back(s);
        lines.push_back({p.slot, p.key, p.value});
    }
    std::unordered_map<size_t, size_t> insertAfter; // line index → section whose new keys follow it
    for (size_t s = 0; s < finder.sectionCount(); ++s)
        if (hits.sections[s].found && !added[s].empty())
            insertAfter[hits.sections[s].insertAfter] = s;

    std::string out;
    out.reserve(text.body.size() + text.body.size() / 16 + 64 * entries.size() + 64);
    const auto addLine = [&out](const AddedKey& k) {
        out += k.key;
        out += '=';
        out += k.value;
        out += "\r\n";
    };
    forEachLine(text.body, [&](size_t index, std::string_view line) {
        const auto r = replaced.find(index);
        out += r == replaced.end() ? line : std::string_view(r->second);
        out += "\r\n";
        if (const auto a = insertAfter.find(index); a != insertAfter.end())
            for (const AddedKey& k : added[a->second])
                addLine(k);
        return true;
    });
    for (size_t s : appendedSections) {
        out += '[';
        out += finder.sectionName(s);
        out += "]\r\n";
        for (const AddedKey& k : added[s])
            addLine(k);
    }
    return out;
}

} // namespace

std::vector<std::optional<std::string>> ReadIniKeys(const std::string& file, const std::vector<IniKey>& keys)
{
    std::vector<std::optional<std::string>> values(keys.size());
    std::string content;
    if (keys.empty() || readFile(file, content, nullptr) != ReadResult::Ok)
        return values;
    const IniText text = decodeFile(std::move(content));
    KeyFinder finder(text.enc);
    std::vector<size_t> slots;
    slots.reserve(keys.size());
    for (const IniKey& k : keys)
        slots.push_back(finder.add(encodeName(k.section, text.enc), encodeName(k.key, text.enc)));
    const KeyFinder::Hits hits = finder.find(text.body, false);
    for (size_t i = 0; i < keys.size(); ++i)
        if (hits.keys[slots[i]].found)
            values[i] = decodeValue(hits.keys[slots[i]].value, text.enc);
    return values;
}

std::string ReadIni(const std::string& file, const std::string& section, const std::string& key,
                    const std::string& def)
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
    std::vector<PathParts> lockPlaces{parts};
    if (path != file)
        lockPlaces.push_back(splitPath(file)); // the target's folder may allow no new file
    const UpdateLock lock(lockPlaces);
    removeStaleTemporaries(parts);

    std::string content;
    struct stat info {};
    const ReadResult read = readFile(path, content, &info);
    if (read == ReadResult::Failed)
        return false; // never replace what could not be read
    if (read == ReadResult::Ok && ::access(path.c_str(), W_OK) != 0)
        return false; // a read-only file stays as it is, although its folder would allow a rename

    IniText text = decodeFile(std::move(content));
    const std::string bytes = encodeFile(text, applyEntries(text, entries));
    text.body.clear();
    text.body.shrink_to_fit();

    if (read == ReadResult::Ok && info.st_nlink > 1)
        return rewriteInPlace(path, bytes, info); // a rename would cut the other links off
    const WriteResult r = replaceFile(path, parts, bytes, read == ReadResult::Ok ? &info : nullptr);
    if (r == WriteResult::NoTemporary && read == ReadResult::Ok)
        return rewriteInPlace(path, bytes, info);
    return r == WriteResult::Ok;
}

bool WriteIni(const std::string& file, const std::string& section, const std::string& key,
              const std::string& value)
{
    return WriteIniEntries(file, {{section, key, value}});
}

} // namespace orv
