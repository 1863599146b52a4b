#include "platform/Ini.h"

#include "platform/Cp932.h"

#include <array>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <random>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace orv {

namespace {

// A file saved by a UTF-8 editor starts with a byte order mark; such a file is kept in UTF-8
// (as the Windows profile functions do), everything else is CP932.
constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

// On reading, the value is cut to this many bytes of CP932 (a 128-byte buffer with its NUL).
constexpr size_t kMaxValueBytes = 127;

enum class Encoding { Cp932, Utf8 };

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

// Calls fn(index, line) for every line of body, without its line end. CR LF, LF and a lone CR
// each end a line; a last line without a line end counts.
template <typename Fn>
void forEachLine(std::string_view body, Fn fn)
{
    size_t index = 0;
    size_t pos = 0;
    while (pos < body.size()) {
        size_t end = body.find_first_of("\r\n", pos);
        if (end == std::string_view::npos)
            end = body.size();
        fn(index++, body.substr(pos, end - pos));
        pos = end;
        if (pos < body.size())
            pos += body.compare(pos, 2, "\r\n") == 0 ? 2 : 1;
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

struct Location {
    bool sectionFound = false;
    bool keyFound = false;
    size_t keyLine = 0;         // line of the key, when found
    size_t insertAfter = 0;     // last key line of the section, or its header
    std::string_view keyName;   // the key's name as the file spells it
    std::string_view value;     // the key's value as stored
};

// The first section of that name and the first key of that name in it.
Location locate(std::string_view body, std::string_view section, std::string_view key, Encoding enc)
{
    Location loc;
    bool inSection = false;
    bool done = false;
    forEachLine(body, [&](size_t index, std::string_view line) {
        if (done)
            return;
        const ParsedLine p = parseLine(line);
        if (p.kind == LineKind::Section) {
            if (inSection) {
                done = true; // only the first occurrence of a repeated section counts
                return;
            }
            if (sameName(p.name, section, enc)) {
                inSection = loc.sectionFound = true;
                loc.insertAfter = index;
            }
        } else if (p.kind == LineKind::Key && inSection) {
            loc.insertAfter = index;
            if (sameName(p.name, key, enc)) {
                loc.keyFound = true;
                loc.keyLine = index;
                loc.keyName = p.name;
                loc.value = p.value;
                done = true;
            }
        }
    });
    return loc;
}

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

// Writes content to a new file beside path and renames it over path, so that a failure at any
// step leaves the old file as it was.
bool replaceFile(const std::string& path, std::string_view content, const struct stat* old)
{
    const size_t slash = path.rfind('/');
    const std::string dir = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    if (base.empty())
        return false;

    std::random_device rd;
    std::string tmp;
    int fd = -1;
    for (int attempt = 0; attempt < 16 && fd < 0; ++attempt) {
        tmp = dir + "." + base + "." + std::to_string(rd()) + ".tmp";
        // 0666 under the umask: a new file gets the permissions any new file would get.
        fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST)
            return false;
    }
    if (fd < 0)
        return false;

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
    return ok;
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

} // namespace

std::string ReadIni(const std::string& file, const std::string& section, const std::string& key,
                    const std::string& def)
{
    std::string content;
    if (readFile(file, content, nullptr) != ReadResult::Ok)
        return def;
    std::string_view body = content;
    Encoding enc = Encoding::Cp932;
    if (body.substr(0, kUtf8Bom.size()) == kUtf8Bom) {
        body.remove_prefix(kUtf8Bom.size());
        enc = Encoding::Utf8;
    }
    const std::string sectionName = encodeForLine(trim(upToNul(section)), enc);
    const std::string keyName = encodeForLine(trim(upToNul(key)), enc);
    const Location loc = locate(body, sectionName, keyName, enc);
    if (!loc.keyFound)
        return def;
    return decodeValue(loc.value, enc);
}

bool WriteIni(const std::string& file, const std::string& section, const std::string& key,
              const std::string& value)
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

    std::string content;
    struct stat info {};
    const ReadResult read = readFile(path, content, &info);
    if (read == ReadResult::Failed)
        return false; // never replace what could not be read
    if (read == ReadResult::Ok && ::access(path.c_str(), W_OK) != 0)
        return false; // a read-only file stays as it is, although its folder would allow a rename

    std::string_view body = content;
    Encoding enc = Encoding::Cp932;
    std::string out;
    if (body.substr(0, kUtf8Bom.size()) == kUtf8Bom) {
        body.remove_prefix(kUtf8Bom.size());
        enc = Encoding::Utf8;
        out += kUtf8Bom;
    }
    const std::string sectionName = encodeForLine(trim(upToNul(section)), enc);
    const std::string keyName = encodeForLine(trim(upToNul(key)), enc);
    const std::string storedValue = encodeForLine(upToNul(value), enc);
    const Location loc = locate(body, sectionName, keyName, enc);

    out.reserve(body.size() + body.size() / 16 + sectionName.size() + keyName.size() + storedValue.size() + 16);
    const auto keyLine = [&](std::string_view name) {
        out += name;
        out += '=';
        out += storedValue;
        out += "\r\n";
    };
    forEachLine(body, [&](size_t index, std::string_view line) {
        if (loc.keyFound && index == loc.keyLine) {
            keyLine(loc.keyName);
            return;
        }
        out += line;
        out += "\r\n";
        if (loc.sectionFound && !loc.keyFound && index == loc.insertAfter)
            keyLine(keyName);
    });
    if (!loc.sectionFound) {
        out += '[';
        out += sectionName;
        out += "]\r\n";
        keyLine(keyName);
    }
    return replaceFile(path, out, read == ReadResult::Ok ? &info : nullptr);
}

} // namespace orv
