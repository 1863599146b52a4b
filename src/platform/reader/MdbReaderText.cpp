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
// become U+FFFD.
class Utf16Writer {
public:
    explicit Utf16Writer(char* o) : o_(o) {}
    void unit(std::uint16_t u)
    {
        if (u < 0x80 && !high_) {
            *o_++ = char(u);
            return;
        }
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
    scratch_.resize(3 * n + 4);
    Utf16Writer w(scratch_.data());
    std::size_t i = 0;
    if (n >= 2 && p[0] == 0xFF && p[1] == 0xFE) {
        bool compressed = true;
        i = 2;
        while (i < n) {
            if (p[i] == 0) {
                compressed = !compressed;
                ++i;
            } else if (compressed) {
                w.unit(p[i]);
                ++i;
            } else if (i + 1 < n) {
                w.unit(get16(p + i));
                i += 2;
            } else {
                break;
            }
        }
    } else {
        for (; i + 1 < n; i += 2)
            w.unit(get16(p + i));
    }
    out.assign(scratch_.data(), w.finish());
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
