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

constexpr std::uint64_t kOnes = 0x0101010101010101ull;

// UTF-16 code units to UTF-8 in a buffer of at least 3 bytes per unit; unpaired surrogates
// become U+FFFD. Runs of units come in pieces (compressed text switches between one and two bytes
// per unit): a high surrogate ending one piece waits for the next.
class Utf16Writer {
public:
    explicit Utf16Writer(char* o) : o_(o) {}

    // Units stored as little-endian pairs from p to end, or (StopAtZero, in compressed text) to the
    // first unit whose first byte is zero; returns where it stopped. A unit cut off at the end is
    // left there.
    template <bool StopAtZero> const unsigned char* units(const unsigned char* p, const unsigned char* end)
    {
        const auto more = [&] { return end - p >= 2 && !(StopAtZero && *p == 0); };
        if (high_ != 0 && more()) {
            const std::uint32_t u = get16(p);
            if (u >= 0xDC00 && u <= 0xDFFF) {
                o_ = utf8::encode(0x10000 + ((std::uint32_t(high_) - 0xD800) << 10) + (u - 0xDC00), o_);
                p += 2;
            } else {
                o_ = utf8::encode(0xFFFD, o_);
            }
            high_ = 0;
        }
        char* o = o_;
        while (more()) {
            const std::uint32_t u = get16(p);
            p += 2;
            if (u < 0x80) {
                *o++ = char(u);
            } else if (u < 0x800) {
                o[0] = char(0xC0 | (u >> 6));
                o[1] = char(0x80 | (u & 0x3F));
                o += 2;
            } else if (u < 0xD800 || u > 0xDFFF) {
                o[0] = char(0xE0 | (u >> 12));
                o[1] = char(0x80 | ((u >> 6) & 0x3F));
                o[2] = char(0x80 | (u & 0x3F));
                o += 3;
            } else if (u > 0xDBFF) {
                o = utf8::encode(0xFFFD, o); // a low surrogate alone
            } else if (!more()) {
                high_ = std::uint16_t(u); // its pair may follow after a switch, or never
            } else if (const std::uint32_t low = get16(p); low >= 0xDC00 && low <= 0xDFFF) {
                o = utf8::encode(0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00), o);
                p += 2;
            } else {
                o = utf8::encode(0xFFFD, o);
            }
        }
        o_ = o;
        return p;
    }

    // count units of one byte each (compressed text: U+0001..U+00FF) at p.
    void bytes(const unsigned char* p, std::size_t count)
    {
        std::size_t k = 0;
        if (high_ != 0 && count > 0) {
            o_ = utf8::encode(0xFFFD, o_);
            high_ = 0;
        }
        char* o = o_;
        while (k < count) {
            if (count - k >= 8) {
                std::uint64_t w;
                std::memcpy(&w, p + k, 8);
                if ((w & (0x80 * kOnes)) == 0) {
                    std::memcpy(o, &w, 8);
                    o += 8;
                    k += 8;
                    continue;
                }
            }
            const unsigned char b = p[k++];
            if (b < 0x80)
                *o++ = char(b);
            else
                o = utf8::encode(b, o);
        }
        o_ = o;
    }

    char* finish()
    {
        if (high_)
            o_ = utf8::encode(0xFFFD, o_);
        high_ = 0;
        return o_;
    }

private:
    char* o_;
    std::uint16_t high_ = 0;
};

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
    if (n >= 2 && p[0] == 0xFF && p[1] == 0xFE) {
        // Compressed: one byte per character (below U+0100) until a zero byte, two bytes per
        // character after it until the next, and so on. A character cut off at the end is dropped.
        const unsigned char* const end = p + n;
        const unsigned char* q = p + 2;
        bool compressed = true;
        while (q < end) {
            if (compressed) {
                const auto* zero = static_cast<const unsigned char*>(std::memchr(q, 0, std::size_t(end - q)));
                const unsigned char* pieceEnd = zero ? zero : end;
                w.bytes(q, std::size_t(pieceEnd - q));
                q = pieceEnd;
            } else {
                // Two bytes a character: a zero byte switches only where a character would start.
                q = w.units<true>(q, end);
                if (q + 1 == end && *q != 0)
                    break;
            }
            if (q < end) {
                compressed = !compressed;
                ++q;
            }
        }
    } else {
        w.units<false>(p, p + n);
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
