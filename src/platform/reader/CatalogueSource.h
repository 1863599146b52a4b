// Where a catalogue's tables come from. The engine copies a catalogue file into memory from a
// source it is given; the program's own source is the child reader (EngineIsolation.h), which
// keeps whatever a hostile file does to the readers away from the program.
#pragma once

#include "platform/reader/DbTypes.h"

#include <string>
#include <vector>

namespace orv {

struct SourceColumn {
    std::string name;
    ColumnKind kind;
};

// Receives the tables of a catalogue file, in the file's order, rows in table order.
class TableSink {
public:
    virtual ~TableSink() = default;
    virtual void beginTable(const std::string& name, const std::vector<SourceColumn>& columns) = 0;
    // row.size() == columns.size(); Text values are UTF-8, dates are text "yyyy/mm/dd[ hh:nn:ss]".
    virtual void addRow(std::vector<Value>& row) = 0;
    virtual void endTable() = 0;
};

class CatalogueSource {
public:
    virtual ~CatalogueSource() = default;
    // Delivers every table of the catalogue file at path. Throws DbError: 3024 missing, 3343 not a
    // regular file or not a catalogue, 30003 a format this program does not read, 30004 damaged;
    // after a throw, what was delivered must be thrown away.
    virtual void read(const std::string& path, TableSink& sink) const = 0;
};

// Reads in this process: for tests, for the child reader's own side, and for files the program
// wrote itself. Never for a file a user hands the program.
class InProcessCatalogue final : public CatalogueSource {
public:
    void read(const std::string& path, TableSink& sink) const override;
};

enum class FileFormat;

// The checks made before any reader touches a file: throws DbError 3024 for a missing file,
// 3343 for anything but a regular file (without opening it) or an unknown format, 30003 for
// Access 2007 and later. Returns the format (Jet3, Jet4 or SQLite).
FileFormat checkCatalogueFile(const std::string& path);

// A Jet or SQLite catalogue file read in this process (what InProcessCatalogue does).
void readCatalogueFile(const std::string& path, TableSink& sink);

} // namespace orv
