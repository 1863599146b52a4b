// The list of a Jet file's tables, read from its system catalogue.
#pragma once

// libmdb's header includes glib inside its own extern "C" block; glib must come first in C++.
#include <glib.h>
#include <mdbtools.h>

#include <functional>

namespace orv::mdbfile {

// Fills mdb->catalog with the table objects of the system catalogue, as mdb_read_catalog(mdb,
// MDB_TABLE) does but without the objects' property blobs: libmdb's property parser runs away
// on a damaged blob (gigabytes and minutes for one row), and no property is ever read here.
// False when the system catalogue cannot be read or lacks its columns. checkDefinition is given
// the system catalogue's definition, columns read, before any of its rows is (it throws when the
// definition is unsound).
bool readTableCatalogue(MdbHandle* mdb, const std::function<void(const MdbTableDef&)>& checkDefinition);

} // namespace orv::mdbfile
