// Reads every user table of an Access (Jet 3 / Jet 4) file through libmdb.
#pragma once

#include "platform/reader/CatalogueSource.h"

#include <string>

namespace orv {

enum class FileFormat { Missing, Unreadable, NotAFile, Jet3, Jet4, Ace, SQLite, Unknown };

// Looks at the file's first bytes only; anything but a regular file (a folder, a FIFO, a device)
// is NotAFile without being read.
FileFormat detectFileFormat(const std::string& path);

// Reads all user tables (system tables skipped). Throws DbError: 3024 when the file does not exist,
// 3343 when it is not a Jet file or its structure cannot be read, 30004 naming the table and page
// when what its pages hold disagrees with the file's own structure: its definition is another kind
// of table's than the system catalogue lists or disagrees with itself, a page it lists is missing
// or not one of its data pages, a row lies outside its page's data area, does not fit the
// definition or cannot be read, or the rows are not as many as its definition records (then part
// of the table may have been delivered).
// Memo fields are text; OLE object and binary fields are binary values.
void readMdbFile(const std::string& path, TableSink& sink);

} // namespace orv
