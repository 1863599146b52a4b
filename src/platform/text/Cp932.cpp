#include "platform/text/Cp932.h"

#include "platform/text/IconvHandle.h"
#include "platform/text/Utf8.h"

#include <cerrno>
#include <iconv.h>
#include <optional>

#include <QString>

namespace orv {

namespace {

// A conversion descriptor that converts whole texts.
class Converter : public IconvHandle {
public:
    using IconvHandle::IconvHandle;

    // Converts as much of in as possible, appending to out. Returns 0 when everything was
    // converted, else the errno that stopped it; in is advanced past what was converted.
    int convert(std::string_view& in, std::string& out)
    {
        char buf[4096];
        char* src = const_cast<char*>(in.data());
        size_t srcLeft = in.size();
        int err = 0;
        while (srcLeft > 0) {
            char* dst = buf;
            size_t dstLeft = sizeof buf;
            size_t r = iconv(get(), &src, &srcLeft, &dst, &dstLeft);
            out.append(buf, static_cast<size_t>(dst - buf));
            if (r == static_cast<size_t>(-1) && errno != E2BIG) {
                err = errno;
                break;
            }
        }
        in.remove_prefix(in.size() - srcLeft);
        return err;
    }

    void reset() { iconv(get(), nullptr, nullptr, nullptr, nullptr); }
};

// The character's compatibility decomposition without combining marks, in CP932; "?" when
// nothing of it is left or convertible.
std::string decomposed(std::string_view ch, Converter& strict)
{
    const QString parts =
        QString::fromUtf8(ch.data(), static_cast<qsizetype>(ch.size())).normalized(QString::NormalizationForm_KD);
    QString kept;
    for (QChar c : parts)
        if (c.category() != QChar::Mark_NonSpacing)
            kept += c;
    const QByteArray utf8 = kept.toUtf8();
    std::string_view in(utf8.constData(), static_cast<size_t>(utf8.size()));
    std::string out;
    if (in.empty() || in == ch || strict.convert(in, out) != 0 || out.empty()) {
        strict.reset();
        return "?";
    }
    return out;
}

} // namespace

std::string cp932ToUtf8(std::string_view bytes)
{
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 2);
    Converter cv("UTF-8", "CP932");
    if (!cv.ok()) {
        // No converter: keep ASCII, mark the rest.
        for (char c : bytes)
            out += static_cast<unsigned char>(c) < 0x80 ? std::string(1, c) : std::string("\xEF\xBF\xBD");
        return out;
    }
    while (!bytes.empty()) {
        if (cv.convert(bytes, out) == 0)
            break;
        // Invalid or incomplete sequence: one replacement character for the offending byte.
        out += "\xEF\xBF\xBD";
        bytes.remove_prefix(1);
        cv.reset();
    }
    return out;
}

std::string utf8ToCp932(std::string_view utf8)
{
    std::string out;
    out.reserve(utf8.size());
    Converter cv("CP932", "UTF-8");
    if (!cv.ok()) {
        for (char c : utf8)
            out += static_cast<unsigned char>(c) < 0x80 ? c : '?';
        return out;
    }
    std::optional<Converter> translit;
    while (!utf8.empty()) {
        if (cv.convert(utf8, out) == 0)
            break;
        cv.reset();
        char32_t cp;
        const size_t len = utf8::decode(utf8, cp);
        if (len == 0) {
            out += '?';
            utf8.remove_prefix(1);
            continue;
        }
        // A character CP932 lacks: its closest CP932 text, if the converter knows one.
        if (!translit)
            translit.emplace("CP932//TRANSLIT", "UTF-8");
        std::string_view ch = utf8.substr(0, len);
        std::string alt;
        if (!translit->ok() || translit->convert(ch, alt) != 0 || !ch.empty() || alt.empty())
            alt.assign(1, '?'); // not alt = "?": GCC 12 warns falsely on it under _FORTIFY_SOURCE
        if (translit->ok())
            translit->reset();
        // The C library's transliteration depends on the locale and often gives up with '?';
        // the compatibility decomposition without its accents finds "e" for "é" anywhere.
        if (alt == "?")
            alt = decomposed(utf8.substr(0, len), cv);
        out += alt;
        utf8.remove_prefix(len);
    }
    return out;
}

std::size_t cp932PrefixLength(std::string_view bytes, std::size_t maxBytes)
{
    std::size_t i = 0;
    while (i < bytes.size()) {
        const std::size_t len = isCp932LeadByte(static_cast<unsigned char>(bytes[i])) && i + 1 < bytes.size() ? 2 : 1;
        if (i + len > maxBytes)
            break;
        i += len;
    }
    return i;
}

} // namespace orv
