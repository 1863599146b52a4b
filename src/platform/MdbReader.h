// Reads every user table of an Access (Jet 3 / Jet 4) file through libmdb.
#pragma once

#include "platform/DbTypes.h"

#include <cstddef>
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

enum class FileFormat { Missing, Unreadable, Jet3, Jet4, Ace, SQLite, Unknown };

// Looks at the file's first bytes only.
FileFormat detectFileFormat(const std::string& path);

// Reads all user tables (system tables skipped). Throws DbError: 3024 when the file does not exist,
// 3343 when it is not a Jet file or its structure cannot be read; nothing is delivered for a table
// whose definition cannot be read.
void readMdbFile(const std::string& path, TableSink& sink);

} // namespace orv
