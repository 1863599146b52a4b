#include "platform/DbTypes.h"

#include <cmath>
#include <cstdio>

namespace orv {

std::string Value::toText() const
{
    if (auto s = std::get_if<std::string>(&v))
        return *s;
    if (auto i = std::get_if<std::int64_t>(&v))
        return std::to_string(*i);
    if (auto d = std::get_if<double>(&v)) {
        // Shortest text that reads back to the same double, without exponent for ordinary values.
        char buf[64];
        for (int prec = 1; prec <= 17; ++prec) {
            std::snprintf(buf, sizeof buf, "%.*g", prec, *d);
            if (std::strtod(buf, nullptr) == *d)
                break;
        }
        return buf;
    }
    return {};
}

} // namespace orv
