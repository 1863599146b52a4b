// The list of a Jet file's tables, read from its system catalogue.
#pragma once

// libmdb's header includes glib inside its own extern "C" block; glib must come first in C++.
#include <glib.h>
#include <mdbtools.h>

namespace orv::mdbfile {

// Fills mdb->catalog with the table objects of the system catalogue, as mdb_read_catalog(mdb,
// MDB_TABLE) does but without the objects' property blobs: libmdb's property parser runs away
// on a damaged blob (gigabytes and minutes for one row), and no property is ever read here.
// False when the system catalogue cannot be read or lacks its columns.
bool readTableCatalogue(MdbHandle* mdb);

} // namespace orv::mdbfile
