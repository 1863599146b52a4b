#include "platform/reader/DbTypes.h"

#include <charconv>

namespace orv {

std::string Value::toText() const
{
    if (auto s = std::get_if<std::string>(&v))
        return *s;
    if (auto i = std::get_if<std::int64_t>(&v))
        return std::to_string(*i);
    if (auto d = std::get_if<double>(&v)) {
        // Shortest text that reads back to the same double ("10", "0.5", "1e+20").
        char buf[64];
        const auto r = std::to_chars(buf, buf + sizeof buf, *d);
        return std::string(buf, r.ptr);
    }
    if (auto b = std::get_if<Bytes>(&v)) {
        static constexpr char kHex[] = "0123456789ABCDEF";
        std::string out = "0x";
        out.reserve(2 + 2 * b->data.size());
        for (unsigned char c : b->data) {
            out += kHex[c >> 4];
            out += kHex[c & 15];
        }
        return out;
    }
    return {};
}

} // namespace orv
