#include "platform/DbTypes.h"

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
    return {};
}

} // namespace orv
