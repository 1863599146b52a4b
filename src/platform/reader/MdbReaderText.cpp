#include "platform/reader/MdbReaderText.h"

#include "platform/reader/MdbReaderBytes.h"
#include "platform/text/IconvHandle.h"
#include "platform/text/Utf8.h"

#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>

namespace orv::mdbfile {

class Iconv : public IconvHandle {
public:
    using IconvHandle::IconvHandle;
};

namespace {

// UTF-16 code units to UTF-8 in a buffer of at least 3 bytes per unit; unpaired surrogates
// become U+FFFD. Most units are ASCII or below U+D800, written without looking further.
class Utf16Writer {
public:
    explicit Utf16Writer(char* o) : o_(o) {}
    void unit(std::uint16_t u)
    {
        if (high_ == 0) {
            if (u < 0x80) {
                *o_++ = char(u);
                return;
            }
            if (u < 0xD800 || u > 0xDFFF) {
                o_ = utf8::encode(u, o_);
                return;
            }
        }
        surrogateOrAfterHigh(u);
    }
    // A unit below U+0100 (one byte of compressed text): never a surrogate.
    void byteUnit(unsigned char b)
    {
        if (high_ != 0)
            surrogateOrAfterHigh(b);
        else if (b < 0x80)
            *o_++ = char(b);
        else
            o_ = utf8::encode(b, o_);
    }
    // Room for n ASCII characters written by the caller; null while a surrogate waits for its pair.
    char* asciiRun(std::size_t n)
    {
        if (high_)
            return nullptr;
        char* o = o_;
        o_ += n;
        return o;
    }
    char* finish()
    {
        if (high_)
            o_ = utf8::encode(0xFFFD, o_);
        high_ = 0;
        return o_;
    }

private:
    void surrogateOrAfterHigh(std::uint16_t u)
    {
        if (high_) {
            if (u >= 0xDC00 && u <= 0xDFFF) {
                o_ = utf8::encode(0x10000 + ((std::uint32_t(high_) - 0xD800) << 10) + (u - 0xDC00), o_);
                high_ = 0;
                return;
            }
            o_ = utf8::encode(0xFFFD, o_);
            high_ = 0;
        }
        if (u >= 0xD800 && u <= 0xDBFF)
            high_ = u;
        else if (u >= 0xDC00 && u <= 0xDFFF)
            o_ = utf8::encode(0xFFFD, o_);
        else
            o_ = utf8::encode(u, o_);
    }

    char* o_;
    std::uint16_t high_ = 0;
};

// Whether none of the 8 bytes of w is 0 or above 0x7F.
inline bool asciiWithoutZero(std::uint64_t w)
{
    constexpr std::uint64_t ones = 0x0101010101010101ull;
    return ((w | (w - ones)) & (0x80 * ones)) == 0;
}

} // namespace

TextDecoder::TextDecoder(bool jet3, const std::string& codePage)
    : jet3_(jet3), cd_(jet3 ? new Iconv("UTF-8", codePage.c_str()) : nullptr)
{}

TextDecoder::~TextDecoder() = default;

void TextDecoder::decode(const unsigned char* p, std::size_t n, std::string& out) const
{
    out.clear();
    if (jet3_)
        decodeBytes(p, n, out);
    else
        decodeUnicode(p, n, out);
}

void TextDecoder::decodeUnicode(const unsigned char* p, std::size_t n, std::string& out) const
{
    // At most three UTF-8 bytes per stored byte (a compressed byte above 0x7F takes two).
    if (scratchSize_ < 3 * n + 4) {
        scratchSize_ = 3 * n + 4;
        scratch_.reset(new char[scratchSize_]);
    }
    char* const start = scratch_.get();
    Utf16Writer w(start);
    std::size_t i = 0;
    if (n >= 2 && p[0] == 0xFF && p[1] == 0xFE) {
        // Compressed: one byte per character (below U+0100) until a zero byte, two bytes per
        // character after it until the next, and so on.
        i = 2;
        bool compressed = true;
        while (i < n) {
            if (compressed) {
                for (;;) {
                    if (n - i >= 8) {
                        std::uint64_t word;
                        std::memcpy(&word, p + i, 8);
                        if (asciiWithoutZero(word)) {
                            if (char* o = w.asciiRun(8)) {
                                std::memcpy(o, &word, 8);
                                i += 8;
                                continue;
                            }
                        }
                    }
                    if (i == n || p[i] == 0)
                        break;
                    w.byteUnit(p[i++]);
                }
            } else {
                while (i < n && p[i] != 0) {
                    if (i + 1 == n)
                        break;
                    w.unit(get16(p + i));
                    i += 2;
                }
                if (i + 1 == n && p[i] != 0)
                    break; // a character cut off at the end
            }
            if (i < n) {
                compressed = !compressed;
                ++i;
            }
        }
    } else {
        for (; i + 1 < n; i += 2)
            w.unit(get16(p + i));
    }
    out.assign(start, w.finish());
}

void TextDecoder::decodeBytes(const unsigned char* p, std::size_t n, std::string& out) const
{
    if (std::all_of(p, p + n, [](unsigned char c) { return c < 0x80; })) {
        out.assign(reinterpret_cast<const char*>(p), n);
        return;
    }
    if (!cd_ || !cd_->ok()) {
        // No converter for the code page: keep ASCII, mark the rest.
        for (std::size_t i = 0; i < n; ++i) {
            if (p[i] < 0x80)
                out.push_back(char(p[i]));
            else
                utf8::append(out, 0xFFFD);
        }
        return;
    }
    iconv(cd_->get(), nullptr, nullptr, nullptr, nullptr);
    char* in = const_cast<char*>(reinterpret_cast<const char*>(p));
    std::size_t inLeft = n;
    std::string buf(n * 4 + 16, '\0');
    std::size_t used = 0;
    while (inLeft > 0) {
        char* o = buf.data() + used;
        std::size_t oLeft = buf.size() - used;
        std::size_t r = iconv(cd_->get(), &in, &inLeft, &o, &oLeft);
        used = buf.size() - oLeft;
        if (r != std::size_t(-1))
            break;
        if (errno == E2BIG) {
            buf.resize(buf.size() * 2);
        } else {
            // An invalid or cut byte sequence: replace one byte and go on.
            ++in;
            --inLeft;
            std::string repl;
            utf8::append(repl, 0xFFFD);
            if (buf.size() - used < repl.size())
                buf.resize(buf.size() * 2);
            std::memcpy(buf.data() + used, repl.data(), repl.size());
            used += repl.size();
        }
    }
    buf.resize(used);
    out = std::move(buf);
}

} // namespace orv::mdbfile
