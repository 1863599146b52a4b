// Reading a catalogue file in a child process. libmdb follows offsets found in the file; a
// malformed file must not be able to crash or hang the program, so the file is read by a child
// that streams the rows back, and whatever goes wrong there becomes an open failure here.
#pragma once

#include "platform/MdbReader.h"

#include <string>

namespace orv {

// The switch that makes the program or orvantis-query serve one catalogue read.
inline constexpr const char* kReadCatalogueSwitch = "--read-catalogue";

// Child side: reads the catalogue at path and writes tables and rows to fd. Returns the exit code.
int ServeCatalogueRead(const std::string& path, int fd);

// The executable that serves reads (it is run as `exe --read-catalogue PATH`); empty reads in this
// process. stallMs: how long the child may go without sending anything before it counts as hung.
void SetCatalogueReader(const std::string& exe, int stallMs = 10000);
const std::string& CatalogueReader();

// Parent side: runs the reader and feeds the sink. Throws DbError; a child that crashes, hangs or
// sends more than the file can hold gives 3343.
void ReadCatalogueIsolated(const std::string& path, TableSink& sink);

} // namespace orv
