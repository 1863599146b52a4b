// Stored Jet values turned into the catalogue's values: kinds, fixed sizes, dates, numbers.
#pragma once

#include "platform/reader/CatalogueSource.h"

#include <string>

namespace orv::mdbfile {

// The kind a column of libmdb's type holds.
ColumnKind kindOf(int colType);

// Stored size of a fixed-size value; 0 for variable-size kinds.
int fixedSize(int colType);

// Days since 1899-12-30 (the fraction is the time of day; before that date the whole days
// count back while the fraction still counts forward) as "yyyy/mm/dd[ hh:nn:ss]".
std::string formatJetDate(double stored);

// A Decimal value: sign byte, then a 128-bit magnitude, scaled by 10^-scale.
double numericToDouble(const unsigned char* p, int scale);

// A Replication ID as "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}".
std::string guidText(const unsigned char* k);

// A little-endian IEEE double.
double readDouble(const unsigned char* p);

} // namespace orv::mdbfile
