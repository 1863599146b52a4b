#include "platform/reader/MdbReaderValues.h"

#include "platform/reader/MdbReaderBytes.h"

// libmdb's header includes glib inside its own extern "C" block; glib must come first in C++.
#include <glib.h>
#include <mdbtools.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace orv::mdbfile {

std::string formatJetDate(double stored)
{
    double whole = 0;
    double frac = std::fabs(std::modf(stored, &whole));
    long long day = static_cast<long long>(whole);
    long long secs = std::llround(frac * 86400.0);
    if (secs >= 86400) {
        secs -= 86400;
        ++day;
    }
    // Civil date from a day count (proleptic Gregorian), counted here from 0000-03-01.
    long long z = day - 25569 + 719468; // 1899-12-30 is 25569 days before 1970-01-01
    long long era = (z >= 0 ? z : z - 146096) / 146097;
    long long doe = z - era * 146097;
    long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    long long y = yoe + era * 400;
    long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    long long mp = (5 * doy + 2) / 153;
    long long d = doy - (153 * mp + 2) / 5 + 1;
    long long m = mp < 10 ? mp + 3 : mp - 9;
    if (m <= 2)
        ++y;
    char buf[64];
    int n = std::snprintf(buf, sizeof buf, "%04lld/%02lld/%02lld", y, m, d);
    if (secs != 0)
        std::snprintf(buf + n, sizeof buf - n, " %02lld:%02lld:%02lld", secs / 3600, secs / 60 % 60, secs % 60);
    return buf;
}

double numericToDouble(const unsigned char* p, int scale)
{
    // Sign byte, then a 128-bit magnitude as four little-endian 32-bit words, most significant first.
    unsigned __int128 mag = 0;
    for (int w = 0; w < 4; ++w)
        mag = (mag << 32) | get32(p + 1 + 4 * w);
    double v = static_cast<double>(mag);
    if (scale > 0)
        v /= std::pow(10.0, scale);
    return (p[0] & 0x80) ? -v : v;
}

std::string guidText(const unsigned char* k)
{
    char buf[40];
    std::snprintf(buf, sizeof buf, "{%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X}", k[3], k[2],
                  k[1], k[0], k[5], k[4], k[7], k[6], k[8], k[9], k[10], k[11], k[12], k[13], k[14], k[15]);
    return buf;
}

ColumnKind kindOf(int colType)
{
    switch (colType) {
    case MDB_TEXT:
    case MDB_MEMO:
    case MDB_REPID: return ColumnKind::Text;
    case MDB_BYTE:
    case MDB_INT:
    case MDB_LONGINT:
    case MDB_COMPLEX: return ColumnKind::Integer;
    case MDB_FLOAT:
    case MDB_DOUBLE:
    case MDB_MONEY:
    case MDB_NUMERIC: return ColumnKind::Real;
    case MDB_BOOL: return ColumnKind::Boolean;
    case MDB_DATETIME: return ColumnKind::DateTime;
    default: return ColumnKind::Binary;
    }
}

int fixedSize(int colType)
{
    switch (colType) {
    case MDB_BYTE: return 1;
    case MDB_INT: return 2;
    case MDB_LONGINT:
    case MDB_COMPLEX:
    case MDB_FLOAT: return 4;
    case MDB_DOUBLE:
    case MDB_MONEY:
    case MDB_DATETIME: return 8;
    case MDB_REPID: return 16;
    case MDB_NUMERIC: return 17;
    default: return 0;
    }
}

double readDouble(const unsigned char* p)
{
    std::uint64_t bits = std::uint64_t(get32(p)) | (std::uint64_t(get32(p + 4)) << 32);
    double d;
    std::memcpy(&d, &bits, 8);
    return d;
}

} // namespace orv::mdbfile
