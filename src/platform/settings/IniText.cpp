#include "platform/settings/IniText.h"

#include "platform/files/FileIo.h"
#include "platform/text/Cp932.h"
#include "platform/text/Utf8.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace orv::ini {

namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
constexpr std::string_view kUtf16LeBom = "\xFF\xFE";
constexpr std::string_view kUtf16BeBom = "\xFE\xFF";

bool isUtf16(Encoding enc) { return enc == Encoding::Utf16Le || enc == Encoding::Utf16Be; }

// On reading, the value is cut to this many bytes of CP932 (a 128-byte buffer with its NUL).
constexpr size_t kMaxValueBytes = 127;

// Appends UTF-8 text (lone surrogates in their three-byte form allowed) as UTF-16 in the given
// byte order; bytes that are no character become U+FFFD.
void appendUtf16(std::string& out, std::string_view s, bool bigEndian)
{
    const auto put = [&](std::uint32_t u) {
        const char low = static_cast<char>(u & 0xFF), high = static_cast<char>(u >> 8);
        out += bigEndian ? high : low;
        out += bigEndian ? low : high;
    };
    while (!s.empty()) {
        char32_t cp = 0;
        const size_t len = utf8::decode<utf8::Surrogates::Allowed>(s, cp);
        if (len == 0) {
            put(0xFFFD);
            s.remove_prefix(1);
            continue;
        }
        if (cp >= 0x10000) {
            put(0xD800 + ((cp - 0x10000) >> 10));
            put(0xDC00 + ((cp - 0x10000) & 0x3FF));
        } else {
            put(cp);
        }
        s.remove_prefix(len);
    }
}

} // namespace

std::string encodeForLine(std::string_view utf8, Encoding enc)
{
    std::string s = enc == Encoding::Cp932 ? utf8ToCp932(utf8) : std::string(utf8);
    s.resize(s.find('\0') == std::string::npos ? s.size() : s.find('\0'));
    for (char& c : s)
        if (c == '\r' || c == '\n')
            c = ' ';
    return s;
}

std::string readableValue(std::string_view stored, Encoding enc)
{
    std::string cp932;
    if (enc == Encoding::Cp932) {
        cp932 = std::string(stored.substr(0, kMaxValueBytes + 1));
    } else {
        // 127 CP932 bytes come from at most 127 characters, 4 bytes each in UTF-8.
        cp932 = utf8ToCp932(stored.substr(0, 4 * kMaxValueBytes + 4));
    }
    cp932.resize(cp932PrefixLength(cp932, kMaxValueBytes));
    return cp932ToUtf8(cp932);
}

// --- Reading lines ---------------------------------------------------------------------------------

LineReader::LineReader(int fd, off_t size) : fd_(fd)
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
    } else if (v.substr(0, kUtf16BeBom.size()) == kUtf16BeBom) {
        enc_ = Encoding::Utf16Be;
        v.remove_prefix(kUtf16BeBom.size());
    }
    addText(v);
    if (eof_)
        finish();
}

bool LineReader::next(std::string_view& line)
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

// The first CR or LF at or after from, or the end of the buffer. The next CR and the next LF
// are remembered, so that a file of only one of them is not searched to its end per line.
size_t LineReader::lineEnd(size_t from)
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

bool LineReader::readRaw()
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
void LineReader::fill()
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

void LineReader::addText(std::string_view bytes)
{
    if (!isUtf16(enc_)) {
        buf_.append(bytes);
        return;
    }
    const int first = enc_ == Encoding::Utf16Be ? 8 : 0; // the shift of a unit's first byte
    const auto pair = [&](char a, char b) {
        return static_cast<std::uint32_t>(static_cast<unsigned char>(a) << first
                                          | static_cast<unsigned char>(b) << (8 - first));
    };
    if (!carry_.empty() && !bytes.empty()) {
        unit(pair(carry_[0], bytes[0]));
        carry_.clear();
        bytes.remove_prefix(1);
    }
    for (size_t i = 0; i + 1 < bytes.size(); i += 2)
        unit(pair(bytes[i], bytes[i + 1]));
    if (bytes.size() % 2)
        carry_ = bytes.back();
}

void LineReader::unit(std::uint32_t u)
{
    if (high_) {
        if (u >= 0xDC00 && u <= 0xDFFF) {
            utf8::append(buf_, 0x10000 + ((high_ - 0xD800) << 10) + (u - 0xDC00));
            high_ = 0;
            return;
        }
        utf8::append(buf_, high_);
        high_ = 0;
    }
    if (u >= 0xD800 && u <= 0xDBFF)
        high_ = u;
    else
        utf8::append(buf_, u);
}

void LineReader::finish()
{
    if (high_)
        utf8::append(buf_, high_);
    high_ = 0;
    oddByte_ = carry_;
}

// --- Writing ----------------------------------------------------------------------------------------

Output::Output(Encoding enc, int fd, size_t size) : enc_(enc), fd_(fd)
{
    buf_.reserve(std::min(size, kChunkBytes) + kChunkBytes / 16);
    if (enc == Encoding::Utf8)
        buf_ += kUtf8Bom;
    else if (enc == Encoding::Utf16Le)
        buf_ += kUtf16LeBom;
    else if (enc == Encoding::Utf16Be)
        buf_ += kUtf16BeBom;
}

void Output::put(std::string_view text)
{
    if (isUtf16(enc_))
        appendUtf16(buf_, text, enc_ == Encoding::Utf16Be);
    else
        buf_ += text;
    if (fd_ >= 0 && buf_.size() >= kChunkBytes)
        flush();
}

bool Output::finish(const std::string& oddByte)
{
    buf_ += oddByte;
    if (fd_ >= 0)
        flush();
    return ok_;
}

void Output::flush()
{
    ok_ = ok_ && writeAll(fd_, buf_);
    buf_.clear();
}

} // namespace orv::ini
